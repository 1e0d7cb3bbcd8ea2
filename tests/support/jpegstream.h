#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <array>

// Reading a JPEG stream's marker segments, to check how it was encoded.

// One marker segment of a stream, up to the first scan.
struct Segment {
    int marker = 0;
    qsizetype offset = 0; // of the marker's FF
    QByteArray payload;
};

QList<Segment> segmentsOf(const QByteArray& stream);
qsizetype offsetOfMarker(const QByteArray& stream, int marker);

// The quantisation tables by number, entries in the order a DQT segment lists
// them; a table with 16-bit entries (not baseline) is left out.
QMap<int, QList<int>> quantisationTables(const QByteArray& stream);

// The tables of Annex K of the JPEG standard, in natural (row by row) order.
extern const std::array<int, 64> StandardLuminance;
extern const std::array<int, 64> StandardChrominance;
// A standard table at quality 90 (scale 20 %), as a DQT segment lists it.
QList<int> quality90(const std::array<int, 64>& standard);

// True for what libjpeg writes for a bitmap at quality 90: a JFIF stream,
// baseline, three components, with the standard tables at quality 90.
bool isBaselineQuality90Colour(const QByteArray& stream);

struct StreamOptions {
    bool grey = false;
    // Four components, each pixel's four bytes taken as its inks.
    bool cmyk = false;
    bool progressive = false;
    // Progressive, each AC coefficient of each component in a scan of its own
    // (1 + 63 scans a component): a valid stream with very many scans.
    bool scanPerCoefficient = false;
    // How many pixels across and down share one sample of each colour
    // difference: 2 x 2 (libjpeg's default), 2 x 1 or 1 x 1.
    QSize chromaShare{2, 2};
};
// A JPEG stream of `image` written by libjpeg at quality 90: colour, CMYK or
// one-channel grey, baseline or progressive.
QByteArray compress(const QImage& image, StreamOptions options = {});
// `stream` with its last scan written `times` times more, as a hostile
// picture does to cost a pass over every pixel for each copy.
QByteArray withLastScanRepeated(const QByteArray& stream, int times);
// `stream` with an APP1 segment holding `payload` right after its start
// marker, where cameras write their EXIF data.
QByteArray withApp1(const QByteArray& stream, const QByteArray& payload);
// EXIF data as a camera writes it: a TIFF header in Intel ("II") or
// Motorola ("MM") byte order, and IFD0 holding only the orientation tag.
QByteArray exifOrientation(int orientation, const char* byteOrder = "II");
// A one-channel (greyscale) JPEG of one grey level.
QByteArray greyJpeg(int width, int height, int level);

// The first pixel of `drawn` (the whole of `page` drawn at another size) that
// is none of the page's pixels within a pixel of its place, as "(x, y)";
// empty when each is one of them, whichever near pixel the drawing took.
QString pixelNotNearest(const QImage& page, const QImage& drawn);
