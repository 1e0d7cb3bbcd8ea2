#include "jpegpicture.h"

#include "errors.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace JpegCodec {

namespace {

// libjpeg's own handler ends the process; ours jumps back to the caller,
// which releases libjpeg's state and throws.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are ignored, except running out of data: a truncated picture is
// reported, not shown half grey.
void onMessage(j_common_ptr cinfo, int level) {
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        jumpOut(cinfo);
}

void silence(j_common_ptr) {}

void install(ErrorManager& manager, jpeg_common_struct& cinfo) {
    cinfo.err = jpeg_std_error(&manager.pub);
    manager.pub.error_exit = jumpOut;
    manager.pub.emit_message = onMessage;
    manager.pub.output_message = silence;
}

// libjpeg keeps no backing store: a stream that needs more working memory
// than this fails with a JPEG error instead of exhausting the machine.
constexpr long MaxWorkingMemory = 1024L * 1024 * 1024;

void startReading(jpeg_decompress_struct& cinfo, const QByteArray& data) {
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MaxWorkingMemory;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
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

} // namespace

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
    jpeg_decompress_struct cinfo{};
    ErrorManager manager;
    install(manager, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
    if (setjmp(manager.jump)) {
        const int code = manager.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        throw JpegError(code);
    }
    startReading(cinfo, data);
    Header header;
    header.width = int(cinfo.image_width);
    header.height = int(cinfo.image_height);
    header.grayscale = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    header.progressive = cinfo.progressive_mode != 0;
    jpeg_destroy_decompress(&cinfo);
    return header;
}

QImage decode(const QByteArray& data, QSize atLeast) {
    jpeg_decompress_struct cinfo{};
    ErrorManager manager;
    QImage image;
    QByteArray cmykRow;
    install(manager, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
    if (setjmp(manager.jump)) {
        const int code = manager.pub.msg_code;
        jpeg_destroy_decompress(&cinfo);
        throw JpegError(code);
    }
    startReading(cinfo, data);
    if (qint64(cinfo.image_width) * cinfo.image_height > JpegPicture::MaxPixels) {
        const int width = int(cinfo.image_width), height = int(cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        throw PictureTooLargeError(width, height);
    }
    cinfo.out_color_space = outputSpaceFor(cinfo.jpeg_color_space);
    cinfo.scale_num =
        unsigned(scaleFor({int(cinfo.image_width), int(cinfo.image_height)}, atLeast));
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    image =
        QImage(int(cinfo.output_width), int(cinfo.output_height), formatFor(cinfo.out_color_space));
    if (image.isNull()) {
        const int width = int(cinfo.image_width), height = int(cinfo.image_height);
        jpeg_destroy_decompress(&cinfo);
        throw PictureTooLargeError(width, height);
    }
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    if (cmyk)
        cmykRow.resize(qsizetype(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        JSAMPROW row = cmyk ? reinterpret_cast<JSAMPROW>(cmykRow.data()) : image.scanLine(y);
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (cmyk)
            cmykToRgb32(row, reinterpret_cast<QRgb*>(image.scanLine(y)), image.width(),
                        cinfo.saw_Adobe_marker != 0);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return image;
}

QByteArray encode(const QImage& bitmap) {
    // 32-bit pixels go to libjpeg as they are, in its extended colour spaces;
    // the result is the same as from the 24-bit copy anything else becomes.
    const bool direct =
        bitmap.format() == QImage::Format_RGB32 || bitmap.format() == QImage::Format_ARGB32;
    const QImage rgb = direct ? bitmap : bitmap.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    ErrorManager manager;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    install(manager, *reinterpret_cast<jpeg_common_struct*>(&cinfo));
    if (setjmp(manager.jump)) {
        const int code = manager.pub.msg_code;
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw JpegError(code);
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = direct ? 4 : 3;
    cinfo.in_color_space = !direct                           ? JCS_RGB
                           : Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX
                                                             : JCS_EXT_XRGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto row = const_cast<JSAMPROW>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(buffer), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return result;
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
    return picture;
}

JpegPicture JpegPicture::fromBitmap(const QImage& bitmap) {
    JpegPicture picture;
    picture.m_bitmap = bitmap;
    picture.m_width = bitmap.width();
    picture.m_height = bitmap.height();
    picture.m_grayscale = bitmap.isGrayscale();
    return picture;
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
