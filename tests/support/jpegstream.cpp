#include "jpegstream.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

QList<Segment> segmentsOf(const QByteArray& stream) {
    QList<Segment> segments;
    const auto byte = [&](qsizetype i) { return int(uchar(stream.at(i))); };
    if (stream.size() < 2 || byte(0) != 0xFF || byte(1) != 0xD8)
        return segments;
    qsizetype pos = 2;
    while (pos + 4 <= stream.size() && byte(pos) == 0xFF) {
        const int marker = byte(pos + 1);
        const int length = byte(pos + 2) << 8 | byte(pos + 3);
        segments.append({marker, pos, stream.mid(pos + 4, length - 2)});
        if (marker == 0xDA)
            break;
        pos += 2 + length;
    }
    return segments;
}

qsizetype offsetOfMarker(const QByteArray& stream, int marker) {
    for (const Segment& segment : segmentsOf(stream))
        if (segment.marker == marker)
            return segment.offset;
    return -1;
}

const std::array<int, 64> StandardLuminance = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const std::array<int, 64> StandardChrominance = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// The natural position of each coefficient in the order a DQT segment lists them.
namespace {
constexpr std::array<int, 64> ZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

} // namespace

QList<int> quality90(const std::array<int, 64>& standard) {
    QList<int> table;
    for (int position : ZigZag)
        table.append(std::clamp((standard[size_t(position)] * 20 + 50) / 100, 1, 255));
    return table;
}

QMap<int, QList<int>> quantisationTables(const QByteArray& stream) {
    QMap<int, QList<int>> tables;
    for (const Segment& segment : segmentsOf(stream)) {
        if (segment.marker != 0xDB)
            continue;
        for (qsizetype pos = 0; pos + 65 <= segment.payload.size(); pos += 65) {
            const int precisionAndTable = int(uchar(segment.payload.at(pos)));
            if (precisionAndTable >> 4 != 0)
                break;
            QList<int> values;
            for (int i = 0; i < 64; ++i)
                values.append(int(uchar(segment.payload.at(pos + 1 + i))));
            tables.insert(precisionAndTable & 0x0F, values);
        }
    }
    return tables;
}

bool isBaselineQuality90Colour(const QByteArray& stream) {
    const QList<Segment> segments = segmentsOf(stream);
    if (segments.isEmpty() || segments.first().marker != 0xE0 ||
        !segments.first().payload.startsWith(QByteArray("JFIF\0", 5)))
        return false;
    const auto frame = std::find_if(segments.begin(), segments.end(), [](const Segment& s) {
        return s.marker >= 0xC1 && s.marker <= 0xCF && s.marker != 0xC4 && s.marker != 0xC8 &&
               s.marker != 0xCC;
    });
    const auto baseline = std::find_if(segments.begin(), segments.end(),
                                       [](const Segment& s) { return s.marker == 0xC0; });
    if (frame != segments.end() || baseline == segments.end() || baseline->payload.size() < 6 ||
        baseline->payload.at(5) != 3)
        return false;
    const QMap<int, QList<int>> tables = quantisationTables(stream);
    return tables.value(0) == quality90(StandardLuminance) &&
           tables.value(1) == quality90(StandardChrominance);
}

// A JPEG stream of `image` written by libjpeg at quality 90.
QByteArray compress(const QImage& image, StreamOptions options) {
    const QImage pixels = image.convertToFormat(options.grey   ? QImage::Format_Grayscale8
                                                : options.cmyk ? QImage::Format_RGB32
                                                               : QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(pixels.width());
    cinfo.image_height = JDIMENSION(pixels.height());
    cinfo.input_components = options.grey ? 1 : options.cmyk ? 4 : 3;
    cinfo.in_color_space = options.grey ? JCS_GRAYSCALE : options.cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (!options.grey && !options.cmyk) {
        cinfo.comp_info[0].h_samp_factor = options.chromaShare.width();
        cinfo.comp_info[0].v_samp_factor = options.chromaShare.height();
    }
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    std::vector<jpeg_scan_info> scans;
    if (options.scanPerCoefficient) {
        const int components = cinfo.num_components;
        scans.push_back({components, {0, 1, 2, 3}, 0, 0, 0, 0});
        for (int component = 0; component < components; ++component)
            for (int coefficient = 1; coefficient < 64; ++coefficient)
                scans.push_back({1, {component, 0, 0, 0}, coefficient, coefficient, 0, 0});
        cinfo.scan_info = scans.data();
        cinfo.num_scans = int(scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto row = const_cast<JSAMPROW>(pixels.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray stream(reinterpret_cast<const char*>(buffer), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return stream;
}

QByteArray withLastScanRepeated(const QByteArray& stream, int times) {
    const qsizetype lastScan = stream.lastIndexOf("\xff\xda");
    const qsizetype end = stream.size() - 2; // the end-of-image marker
    return stream.left(end) + stream.mid(lastScan, end - lastScan).repeated(times) +
           stream.right(2);
}

QByteArray greyJpeg(int width, int height, int level) {
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(QColor(level, level, level));
    return compress(image, {.grey = true});
}

QString pixelNotNearest(const QImage& page, const QImage& drawn) {
    const auto near = [](double at, int limit) {
        return std::pair{std::max(0, int(at) - 1), std::min(limit - 1, int(at) + 1)};
    };
    const double sx = double(page.width()) / drawn.width();
    const double sy = double(page.height()) / drawn.height();
    for (int y = 0; y < drawn.height(); ++y) {
        const auto [top, bottom] = near((y + 0.5) * sy, page.height());
        for (int x = 0; x < drawn.width(); ++x) {
            const auto [left, right] = near((x + 0.5) * sx, page.width());
            bool own = false;
            for (int v = top; v <= bottom && !own; ++v)
                for (int u = left; u <= right && !own; ++u)
                    own = page.pixel(u, v) == drawn.pixel(x, y);
            if (!own)
                return QStringLiteral("(%1, %2)").arg(x).arg(y);
        }
    }
    return {};
}

QByteArray withApp1(const QByteArray& stream, const QByteArray& payload) {
    const qsizetype length = payload.size() + 2;
    QByteArray segment("\xff\xe1");
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(payload);
    return stream.left(2) + segment + stream.mid(2);
}

QByteArray exifOrientation(int orientation, const char* byteOrder) {
    const bool little = QByteArrayView(byteOrder) == "II";
    QByteArray tiff(byteOrder);
    const auto put = [&](quint32 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            tiff.append(char(value >> 8 * (little ? i : bytes - 1 - i)));
    };
    put(42, 2);
    put(8, 4);           // IFD0 right after the header
    put(1, 2);           // one entry:
    put(0x0112, 2);      // orientation,
    put(3, 2);           // a SHORT,
    put(1, 4);           // one of them,
    put(orientation, 2); // its value, padded to four bytes
    put(0, 2);
    put(0, 4); // no next IFD
    return QByteArray("Exif\0\0", 6) + tiff;
}
