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

    int width() const { return m_width; }
    int height() const { return m_height; }
    QSize size() const { return {m_width, m_height}; }
    bool isGrayscale() const;
    bool isProgressive() const { return m_progressive; }

    // The pixels. JPEG data is decoded at the smallest libjpeg scale (n/8)
    // that still covers `atLeast` in both directions; with no size given, or
    // when the picture is smaller, at full size. A held bitmap is returned as
    // it is.
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
};

// Thin libjpeg wrappers; every libjpeg error becomes a JpegError.
namespace JpegCodec {

struct Header {
    int width = 0;
    int height = 0;
    bool grayscale = false;
    bool progressive = false;
};

Header readHeader(const QByteArray& data);
// The n of the n/8 scale that decode() uses for a picture of `full` pixels:
// the smallest whose output covers `atLeast`, or 8 (full size).
int scaleFor(QSize full, QSize atLeast);
// A JPEG has no transparency: `bitmap` laid on white paper, as a page with a
// transparent background looks wherever it is shown.
QImage onWhite(const QImage& bitmap);
QImage decode(const QByteArray& data, QSize atLeast);
// The picture drawn at `size` by the nearest pixel: each pixel of the result
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
