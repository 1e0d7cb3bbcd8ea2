#include "jpegpicture.h"

#include "errors.h"

#include <QImageReader>
#include <QTransform>
#include <QtEndian>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace JpegCodec {

namespace {

// libjpeg's own handler ends the process; ours jumps back to `guarded`, whose
// caller releases libjpeg's state and throws.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    bool tooManyScans = false;
};

[[noreturn]] void jumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are ignored, except two that are errors here: running out of data
// (a truncated picture is reported, not shown half grey), and a scan that
// repeats what earlier scans already gave, which no encoder writes and which
// only makes a picture cost one more pass over all its pixels.
void onMessage(j_common_ptr cinfo, int level) {
    const int code = cinfo->err->msg_code;
    if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_BOGUS_PROGRESSION))
        jumpOut(cinfo);
}

void silence(j_common_ptr) {}

void install(ErrorManager& manager, jpeg_common_struct& cinfo) {
    cinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = jumpOut;
    manager.pub.emit_message = onMessage;
    manager.pub.output_message = silence;
}

// Runs `work`, which calls libjpeg; a libjpeg error jumps back here and makes
// the call return false. The jump leaves `work`'s frame without running
// destructors, so `work` holds no object with one across a libjpeg call; and
// since values changed after setjmp in this frame are lost by the jump,
// everything `work` changes lives in the caller's frame.
template <class Work> [[gnu::noinline]] bool guarded(ErrorManager& manager, Work&& work) {
    if (setjmp(manager.jump))
        return false;
    work();
    return true;
}

// Each scan of a progressive picture is one more pass over all its pixels: a
// picture repeating a scan thousands of times would hold the window for
// minutes. Real pictures have a few scans (libjpeg's own progression has ten).
void countScans(j_common_ptr cinfo) {
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > JpegPicture::MaxScans) {
        reinterpret_cast<ErrorManager*>(cinfo->err)->tooManyScans = true;
        jumpOut(cinfo);
    }
}

// One use of libjpeg's decompressor, released however it ends.
struct Decompression {
    jpeg_decompress_struct cinfo{};
    ErrorManager manager{};
    jpeg_progress_mgr progress{};
    // The turn of a large picture, given back after libjpeg's memory.
    std::unique_lock<std::mutex> large;
    Decompression() {
        install(manager, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
        progress.progress_monitor = countScans;
    }
    ~Decompression() { jpeg_destroy_decompress(&cinfo); }
    Decompression(const Decompression&) = delete;
    Decompression& operator=(const Decompression&) = delete;
    [[noreturn]] void fail() const {
        if (manager.tooManyScans)
            throw Error(u"图片的扫描次数太多，无法显示：超过 %1 次"_s.arg(JpegPicture::MaxScans));
        throw JpegError(manager.pub.msg_code);
    }
};

struct Compression {
    jpeg_compress_struct cinfo{};
    ErrorManager manager{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    Compression() { install(manager, *reinterpret_cast<jpeg_common_struct*>(&cinfo)); }
    ~Compression() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    Compression(const Compression&) = delete;
    Compression& operator=(const Compression&) = delete;
    [[noreturn]] void fail() const { throw JpegError(manager.pub.msg_code); }
};

// A progressive picture, or one whose components come in scans of their own,
// is held whole while it decodes, as 2-byte coefficients: up to 8 bytes a
// pixel for four components. libjpeg keeps no backing store, so its working
// memory is bounded by what a picture within MaxPixels can need (its blocks
// padded to whole units, and its rows, take far less than the margin): every
// picture small enough to be shown decodes, while a stream asking for more
// fails with a JPEG error instead of exhausting the machine.
constexpr qint64 MostCoefficientBytesPerPixel = 4 * 2;
constexpr long MaxWorkingMemory =
    long(JpegPicture::MaxPixels * MostCoefficientBytesPerPixel + 64L * 1024 * 1024);

// Pictures held whole that take more than this decode one at a time, so that
// threads decoding at once (a library's check, the page drawn ahead) never
// hold several of the largest together.
constexpr qint64 LargeWorkingMemory = 256L * 1024 * 1024;
std::mutex largePictures;

// The coefficients libjpeg holds for the whole picture, once the header is read.
qint64 wholePictureBytes(jpeg_decompress_struct& cinfo) {
    if (!jpeg_has_multiple_scans(&cinfo))
        return 0;
    qint64 blocks = 0;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info& component = cinfo.comp_info[i];
        blocks += qint64(component.width_in_blocks) * component.height_in_blocks;
    }
    return blocks * qint64(sizeof(JBLOCK));
}

void startReading(Decompression& session, const QByteArray& data) {
    jpeg_decompress_struct& cinfo = session.cinfo;
    jpeg_create_decompress(&cinfo);
    // Set after the creation, which clears everything but the error handler.
    cinfo.progress = &session.progress;
    cinfo.mem->max_memory_to_use = MaxWorkingMemory;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    // APP1 holds the EXIF data with the orientation; a segment is at most
    // 64 KB, and no larger than the stream it is read from.
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_read_header(&cinfo, TRUE);
}

constexpr QByteArrayView ExifStart("Exif\0\0", 6);

// The first EXIF segment decides, as in every viewer; XMP and other APP1
// segments say nothing about it.
Orientation orientationOf(const jpeg_decompress_struct& cinfo) {
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker; marker = marker->next) {
        const QByteArrayView segment(reinterpret_cast<const char*>(marker->data),
                                     qsizetype(marker->data_length));
        if (marker->marker == JPEG_APP0 + 1 && segment.startsWith(ExifStart))
            return exifOrientation(segment);
    }
    return Orientation::Upright;
}

QImage::Format formatFor(J_COLOR_SPACE space) {
    return space == JCS_GRAYSCALE ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
}

J_COLOR_SPACE outputSpaceFor(J_COLOR_SPACE space) {
    switch (space) {
    case JCS_GRAYSCALE:
        return JCS_GRAYSCALE;
    case JCS_CMYK:
    case JCS_YCCK:
        return JCS_CMYK;
    default:
        return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    }
}

// CMYK rows from Adobe files store inverted ink values.
void cmykToRgb32(const uchar* cmyk, QRgb* out, int width, bool inverted) {
    for (int x = 0; x < width; ++x, cmyk += 4) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// The pixels as libjpeg takes them: 32-bit pixels and 24-bit ones in either
// order as they are, in its extended colour spaces; anything else as a 24-bit
// copy. All give the same bytes.
QImage encodable(const QImage& bitmap) {
    if (bitmap.hasAlphaChannel())
        return onWhite(bitmap);
    switch (bitmap.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_RGB888:
    case QImage::Format_BGR888:
        return bitmap;
    default:
        return bitmap.convertToFormat(QImage::Format_RGB888);
    }
}

J_COLOR_SPACE inputSpaceFor(QImage::Format format) {
    switch (format) {
    case QImage::Format_RGB32:
        return Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    case QImage::Format_BGR888:
        return JCS_EXT_BGR;
    default:
        return JCS_RGB;
    }
}

} // namespace

Orientation exifOrientation(QByteArrayView app1) {
    if (!app1.startsWith(ExifStart))
        return Orientation::Upright;
    // A TIFF header: byte order, 42, and where IFD0 starts, counted from it.
    const QByteArrayView tiff = app1.sliced(ExifStart.size());
    const bool little = tiff.startsWith("II");
    if (tiff.size() < 8 || (!little && !tiff.startsWith("MM")))
        return Orientation::Upright;
    // Every read is checked against the segment's end before it is made.
    const auto number = [&](qint64 at, int bytes) -> qint64 {
        if (at < 0 || at + bytes > tiff.size())
            return -1;
        const char* from = tiff.data() + at;
        if (bytes == 2)
            return little ? qFromLittleEndian<quint16>(from) : qFromBigEndian<quint16>(from);
        return little ? qFromLittleEndian<quint32>(from) : qFromBigEndian<quint32>(from);
    };
    if (number(2, 2) != 42)
        return Orientation::Upright;
    const qint64 ifd = number(4, 4);
    const qint64 entries = number(ifd, 2);
    constexpr int OrientationTag = 0x0112, Short = 3, EntryBytes = 12;
    for (qint64 i = 0; i < entries; ++i) {
        const qint64 entry = ifd + 2 + i * EntryBytes;
        if (entry + EntryBytes > tiff.size())
            break;
        if (number(entry, 2) != OrientationTag)
            continue;
        const qint64 value = number(entry + 8, 2);
        if (number(entry + 2, 2) != Short || number(entry + 4, 4) != 1 || value < 1 || value > 8)
            return Orientation::Upright;
        return Orientation(value);
    }
    return Orientation::Upright;
}

bool turnsSideways(Orientation orientation) {
    return orientation >= Orientation::Transposed;
}

// Quarter turns by QImage's own rotation, which moves whole pixels and keeps
// the format (a grey page stays one byte a pixel).
QImage stoodUp(const QImage& image, Orientation orientation) {
    const auto turned = [&image](qreal degrees) {
        return image.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case Orientation::Upright:
        return image;
    case Orientation::Mirrored:
        return image.mirrored(true, false);
    case Orientation::Turned180:
        return image.mirrored(true, true);
    case Orientation::Flipped:
        return image.mirrored(false, true);
    case Orientation::Transposed:
        return turned(90).mirrored(true, false);
    case Orientation::TurnedRight:
        return turned(90);
    case Orientation::Transversed:
        return turned(270).mirrored(true, false);
    case Orientation::TurnedLeft:
        return turned(270);
    }
    return image;
}

QImage onWhite(const QImage& bitmap) {
    QImage flat = bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < flat.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x) {
            const int paper = 255 - qAlpha(row[x]);
            row[x] = qRgb(qRed(row[x]) + paper, qGreen(row[x]) + paper, qBlue(row[x]) + paper);
        }
    }
    return flat.convertToFormat(QImage::Format_RGB32);
}

int scaleFor(QSize full, QSize atLeast) {
    if (!atLeast.isValid())
        return 8;
    // libjpeg's output size at n/8 is the size times n/8, rounded up.
    const auto scaled = [](int size, int n) { return (qint64(size) * n + 7) / 8; };
    for (int n = 1; n < 8; ++n)
        if (scaled(full.width(), n) >= atLeast.width() &&
            scaled(full.height(), n) >= atLeast.height())
            return n;
    return 8;
}

Header readHeader(const QByteArray& data) {
    Decompression session;
    jpeg_decompress_struct& cinfo = session.cinfo;
    if (!guarded(session.manager, [&] { startReading(session, data); }))
        session.fail();
    return {int(cinfo.image_width), int(cinfo.image_height),
            cinfo.jpeg_color_space == JCS_GRAYSCALE, cinfo.progressive_mode != 0,
            orientationOf(cinfo)};
}

namespace {
// Starts decoding at the smallest n/8 of the full size that covers `atLeast`
// once stood up, and gives the orientation that stands it up; throws for a
// picture over the pixel limit or one libjpeg refuses.
Orientation startDecoding(Decompression& session, const QByteArray& data, QSize atLeast) {
    jpeg_decompress_struct& cinfo = session.cinfo;
    if (!guarded(session.manager, [&] { startReading(session, data); }))
        session.fail();
    const int width = int(cinfo.image_width), height = int(cinfo.image_height);
    if (qint64(width) * height > JpegPicture::MaxPixels)
        throw PictureTooLargeError(width, height);
    if (wholePictureBytes(cinfo) > LargeWorkingMemory)
        session.large = std::unique_lock(largePictures);
    const Orientation orientation = orientationOf(cinfo);
    cinfo.out_color_space = outputSpaceFor(cinfo.jpeg_color_space);
    cinfo.scale_num = unsigned(
        scaleFor({width, height}, turnsSideways(orientation) ? atLeast.transposed() : atLeast));
    cinfo.scale_denom = 8;
    if (!guarded(session.manager, [&] { jpeg_start_decompress(&cinfo); }))
        session.fail();
    return orientation;
}

// The source index nearest the middle of each of `count` places over `full`.
std::vector<int> nearestIndexes(int full, int count) {
    std::vector<int> indexes(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i)
        indexes[size_t(i)] = int((2 * qint64(i) + 1) * full / (2 * qint64(count)));
    return indexes;
}
// The pixels of `row` at `columns`, in order, into `out`. At full width
// every column is taken: the row is copied whole.
void takeColumns(const uchar* row, const std::vector<int>& columns, int pixelBytes, uchar* out) {
    const auto bytes = size_t(pixelBytes);
    if (columns.empty() || columns.back() == int(columns.size()) - 1) {
        std::memcpy(out, row, columns.size() * bytes);
        return;
    }
    for (size_t x = 0; x < columns.size(); ++x)
        std::memcpy(out + x * bytes, row + size_t(columns[x]) * bytes, bytes);
}
} // namespace

QImage decodeFitted(const QByteArray& data, QSize size, const std::atomic_bool* abandon) {
    Decompression session;
    jpeg_decompress_struct& cinfo = session.cinfo;
    const Orientation orientation = startDecoding(session, data, {});
    const QSize stored = turnsSideways(orientation) ? size.transposed() : size;
    QImage image(stored, formatFor(cinfo.out_color_space));
    if (image.isNull())
        throw PictureTooLargeError(size.width(), size.height());
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    const int pixelBytes = image.depth() / 8;
    QByteArray source(qsizetype(cinfo.output_width) * 4, Qt::Uninitialized);
    QByteArray rgb(cmyk ? source.size() : 0, Qt::Uninitialized);
    const std::vector<int> columns = nearestIndexes(int(cinfo.output_width), stored.width());
    const std::vector<int> rows = nearestIndexes(int(cinfo.output_height), stored.height());
    size_t next = 0;
    bool abandoned = false;
    const bool read = guarded(session.manager, [&] {
        while (cinfo.output_scanline < cinfo.output_height) {
            if (abandon && abandon->load(std::memory_order_relaxed)) {
                abandoned = true;
                return;
            }
            // Rows up to the next one drawn are decoded but not turned into
            // pixels; those after the last are read, which checks the
            // picture to its end.
            if (next < rows.size() && cinfo.output_scanline < JDIMENSION(rows[next]))
                jpeg_skip_scanlines(&cinfo, JDIMENSION(rows[next]) - cinfo.output_scanline);
            const int y = int(cinfo.output_scanline);
            auto row = reinterpret_cast<JSAMPROW>(source.data());
            jpeg_read_scanlines(&cinfo, &row, 1);
            if (next >= rows.size() || rows[next] != y)
                continue;
            const uchar* pixels = row;
            if (cmyk) {
                cmykToRgb32(row, reinterpret_cast<QRgb*>(rgb.data()), int(cinfo.output_width),
                            cinfo.saw_Adobe_marker != 0);
                pixels = reinterpret_cast<const uchar*>(rgb.constData());
            }
            for (; next < rows.size() && rows[next] == y; ++next)
                takeColumns(pixels, columns, pixelBytes, image.scanLine(int(next)));
        }
        jpeg_finish_decompress(&cinfo);
    });
    if (!read)
        session.fail();
    if (abandoned)
        return {};
    return stoodUp(image, orientation);
}

QImage decode(const QByteArray& data, QSize atLeast) {
    Decompression session;
    jpeg_decompress_struct& cinfo = session.cinfo;
    const Orientation orientation = startDecoding(session, data, atLeast);
    QImage image(int(cinfo.output_width), int(cinfo.output_height),
                 formatFor(cinfo.out_color_space));
    if (image.isNull())
        throw PictureTooLargeError(int(cinfo.image_width), int(cinfo.image_height));
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    QByteArray cmykRow(cmyk ? qsizetype(cinfo.output_width) * 4 : 0, Qt::Uninitialized);
    const bool read = guarded(session.manager, [&] {
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = int(cinfo.output_scanline);
            JSAMPROW row = cmyk ? reinterpret_cast<JSAMPROW>(cmykRow.data()) : image.scanLine(y);
            jpeg_read_scanlines(&cinfo, &row, 1);
            if (cmyk)
                cmykToRgb32(row, reinterpret_cast<QRgb*>(image.scanLine(y)), image.width(),
                            cinfo.saw_Adobe_marker != 0);
        }
        jpeg_finish_decompress(&cinfo);
    });
    if (!read)
        session.fail();
    return stoodUp(image, orientation);
}

void decodeThrough(const QByteArray& data) {
    Decompression session;
    jpeg_decompress_struct& cinfo = session.cinfo;
    startDecoding(session, data, {});
    // As many rows as libjpeg hands out at once, so none is copied twice.
    const auto rowBytes = qsizetype(cinfo.output_width) * cinfo.output_components;
    const int count = std::max(cinfo.rec_outbuf_height, 1);
    QByteArray buffer(rowBytes * count, Qt::Uninitialized);
    std::vector<JSAMPROW> rows(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        rows[size_t(i)] = reinterpret_cast<JSAMPROW>(buffer.data() + i * rowBytes);
    const bool read = guarded(session.manager, [&] {
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_scanlines(&cinfo, rows.data(), JDIMENSION(count));
        jpeg_finish_decompress(&cinfo);
    });
    if (!read)
        session.fail();
}

QByteArray encode(const QImage& bitmap) {
    const QImage pixels = encodable(bitmap);
    Compression session;
    jpeg_compress_struct& cinfo = session.cinfo;
    const bool written = guarded(session.manager, [&] {
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &session.buffer, &session.size);
        cinfo.image_width = JDIMENSION(pixels.width());
        cinfo.image_height = JDIMENSION(pixels.height());
        cinfo.input_components = pixels.depth() / 8;
        cinfo.in_color_space = inputSpaceFor(pixels.format());
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 90, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            auto row = const_cast<JSAMPROW>(pixels.constScanLine(int(cinfo.next_scanline)));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
    });
    if (!written)
        session.fail();
    return QByteArray(reinterpret_cast<const char*>(session.buffer), qsizetype(session.size));
}

} // namespace JpegCodec

JpegPicture JpegPicture::fromJpegData(const QByteArray& data) {
    const JpegCodec::Header header = JpegCodec::readHeader(data);
    JpegPicture picture;
    picture.m_data = data;
    picture.m_width = header.width;
    picture.m_height = header.height;
    picture.m_grayscale = header.grayscale;
    picture.m_progressive = header.progressive;
    picture.m_sideways = JpegCodec::turnsSideways(header.orientation);
    return picture;
}

JpegPicture JpegPicture::fromBitmap(const QImage& bitmap) {
    if (qint64(bitmap.width()) * bitmap.height() > MaxPixels || bitmap.width() > MaxSide ||
        bitmap.height() > MaxSide)
        throw PictureTooLargeError(bitmap.width(), bitmap.height());
    JpegPicture picture;
    // Shown as it will be stored.
    picture.m_bitmap = bitmap.hasAlphaChannel() ? JpegCodec::onWhite(bitmap) : bitmap;
    picture.m_width = bitmap.width();
    picture.m_height = bitmap.height();
    return picture;
}

// A held bitmap is looked at only when asked: to find a page grey takes a look
// at every pixel.
QSize JpegPicture::size() const {
    const QSize stored(m_width, m_height);
    return m_sideways ? stored.transposed() : stored;
}

bool JpegPicture::isGrayscale() const {
    return m_bitmap.isNull() ? m_grayscale : m_bitmap.isGrayscale();
}

void JpegPicture::letQtReadUpToMaxPixels() {
    constexpr qint64 BytesPerPixel = 4, Megabyte = 1024 * 1024;
    QImageReader::setAllocationLimit(int((MaxPixels * BytesPerPixel + Megabyte - 1) / Megabyte));
}

const QByteArray& JpegPicture::encode() {
    if (m_data.isEmpty() && !m_bitmap.isNull()) {
        *this = fromJpegData(JpegCodec::encode(m_bitmap));
    }
    return m_data;
}

QImage JpegPicture::toImage(QSize atLeast) const {
    if (!m_data.isEmpty())
        return JpegCodec::decode(m_data, atLeast);
    return m_bitmap;
}

QImage JpegPicture::toFitted(QSize size) const {
    if (!m_data.isEmpty())
        return JpegCodec::decodeFitted(m_data, size);
    return m_bitmap.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}
