#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <atomic>

// A score's picture: either JPEG data (the bytes of a JPEG file or of a stored
// picture, kept unchanged) or a bitmap that becomes JPEG data when it is stored.
//
// JPEG data has its header read at once, so a stream that is not JPEG fails
// early; its pixels are decoded only when someone asks for an image.
//
// A photographed page is stored as the camera wrote it, often on its side
// with an EXIF orientation saying how to stand it up. The bytes are kept as
// they are; every size and image given out here is of the page upright.
class JpegPicture {
public:
    // A picture whose pixels would take more than this are refused before any
    // large allocation: an A0 page scanned at 300 dpi (about 139 million
    // pixels) still fits, while a forged header of 65,000 x 65,000 does not.
    static constexpr qint64 MaxPixels = 200'000'000;
    // The widest and tallest picture a JPEG stream can hold.
    static constexpr int MaxSide = 65500;
    // A progressive picture with more scans than this is refused when it is
    // decoded, as djpeg's -maxscans does: each scan is one more pass over the
    // whole picture.
    static constexpr int MaxScans = 64;

    // Qt's image readers (bitmap files, the clipboard) refuse pictures far
    // smaller than that by a limit of their own; this sets theirs to ours, at
    // 32 bits a pixel.
    static void letQtReadUpToMaxPixels();

    JpegPicture() = default;
    static JpegPicture fromJpegData(const QByteArray& data);
    // A bitmap over MaxPixels, or wider or taller than MaxSide, is refused as
    // too large; see-through pixels
    // are laid on white, as they will be stored.
    static JpegPicture fromBitmap(const QImage& bitmap);

    bool isEmpty() const { return m_data.isEmpty() && m_bitmap.isNull(); }
    bool hasJpegData() const { return !m_data.isEmpty(); }
    // The JPEG bytes held now; empty while only a bitmap is held.
    const QByteArray& jpegData() const { return m_data; }
    // Encodes a held bitmap (quality 90, baseline, colour; see-through pixels
    // on white) and keeps the result.
    const QByteArray& encode();

    // The page as it is seen: upright.
    int width() const { return size().width(); }
    int height() const { return size().height(); }
    QSize size() const;
    bool isGrayscale() const;
    bool isProgressive() const { return m_progressive; }

    // The pixels, upright. JPEG data is decoded at the smallest libjpeg scale
    // (n/8) that still covers `atLeast` in both directions; with no size
    // given, or when the picture is smaller, at full size. A held bitmap is
    // returned as it is.
    QImage toImage(QSize atLeast = {}) const;
    // The picture drawn at `size`, each pixel the picture's own nearest its
    // place (JpegCodec::decodeFitted for JPEG data).
    QImage toFitted(QSize size) const;

private:
    QByteArray m_data;
    QImage m_bitmap;
    int m_width = 0;
    int m_height = 0;
    bool m_grayscale = false;
    bool m_progressive = false;
    bool m_sideways = false; // stored on its side: width and height swap
};

// Thin libjpeg wrappers; every libjpeg error becomes a JpegError.
namespace JpegCodec {

// The EXIF orientation of a picture whose stored pixels lie on their side
// or mirrored: 1 (as stored) to 8, as a camera writes it.
enum class Orientation {
    Upright = 1,
    Mirrored,
    Turned180,
    Flipped,
    Transposed,
    TurnedRight, // stand it up by a quarter turn clockwise
    Transversed,
    TurnedLeft,
};

struct Header {
    // As stored, before the orientation stands it up.
    int width = 0;
    int height = 0;
    bool grayscale = false;
    bool progressive = false;
    Orientation orientation = Orientation::Upright;
};

Header readHeader(const QByteArray& data);
// The orientation an APP1 segment's EXIF data gives (IFD0's tag 0x0112);
// Upright for anything else, or anything malformed.
Orientation exifOrientation(QByteArrayView app1);
// Whether the orientation swaps width and height.
bool turnsSideways(Orientation orientation);
// `image` (the stored pixels) stood up as `orientation` says.
QImage stoodUp(const QImage& image, Orientation orientation);
// The n of the n/8 scale that decode() uses for a picture of `full` stored pixels:
// the smallest whose output covers `atLeast`, or 8 (full size).
int scaleFor(QSize full, QSize atLeast);
// A JPEG has no transparency: `bitmap` laid on white paper, as a page with a
// transparent background looks wherever it is shown.
QImage onWhite(const QImage& bitmap);
// The picture upright; `atLeast` is of the upright picture.
QImage decode(const QByteArray& data, QSize atLeast);
// The picture upright, drawn at `size` by the nearest pixel: each pixel of the result
// is the picture's own pixel nearest its place, never an average. The whole
// picture is decoded, a row at a time, and only the rows drawn are kept, so
// no page is ever held at full size just to be shown small. Once `abandon`
// is set, the decoding stops at the next row and gives a null image.
QImage decodeFitted(const QByteArray& data, QSize size, const std::atomic_bool* abandon = nullptr);
// Decodes every pixel of the picture at full size, a few rows at a time,
// keeping none: whether the whole stream decodes, with no page ever held
// whole. Throws as decode() does, for a stream cut short too.
void decodeThrough(const QByteArray& data);
// Baseline JPEG of a 24-bit copy of `bitmap` (transparency laid on white):
// libjpeg's defaults at quality 90.
QByteArray encode(const QImage& bitmap);

} // namespace JpegCodec
