// JPEG pictures: the header read on creation, decoding (whole and scaled),
// the failures a bad stream gives, and the stream our encoder writes.
//
// Streams are made here with libjpeg directly, so that decoding is checked
// against pictures the store did not write itself.

#include "errors.h"
#include "failure.h"
#include "jpegpicture.h"
#include "jpegstream.h"
#include "libraryfiles.h"

#include <QColor>
#include <QImage>
#include <QMap>
#include <QTest>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>

#include <jerror.h>
#include <jpeglib.h>

using namespace Qt::StringLiterals;

namespace {

QImage solid(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Busy enough that the scan data is most of the stream.
QImage pattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11) % 256, (x * x + y * 7) % 256, (x ^ y) % 256));
    return image;
}

bool near(QRgb actual, QColor expected, int tolerance = 12) {
    return qAbs(qRed(actual) - expected.red()) <= tolerance &&
           qAbs(qGreen(actual) - expected.green()) <= tolerance &&
           qAbs(qBlue(actual) - expected.blue()) <= tolerance;
}

QString describe(QRgb pixel) {
    return u"(%1, %2, %3)"_s.arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

} // namespace

class TestJpegPicture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void headerIsReadOnCreation_data();
    void headerIsReadOnCreation();
    void exifOrientationIsReadWithinItsSegment_data();
    void exifOrientationIsReadWithinItsSegment();
    void decodesWholePicture_data();
    void decodesWholePicture();
    void scaledDecodeCoversAskedSize_data();
    void scaledDecodeCoversAskedSize();
    void fittedDecodeTakesNearestPixels_data();
    void fittedDecodeTakesNearestPixels();
    void notJpegFailsOnCreation_data();
    void notJpegFailsOnCreation();
    void streamCutInHeaderFailsOnCreation_data();
    void streamCutInHeaderFailsOnCreation();
    void streamCutInScanFailsOnDecode();
    void hugeFrameIsRefusedBeforeDecoding();
    void everyPictureWithinThePixelLimitHasTheMemoryToDecode_data();
    void everyPictureWithinThePixelLimitHasTheMemoryToDecode();
    void jpegBytesStayUnchanged();
    void encodesBaselineColourAtQuality90_data();
    void encodesBaselineColourAtQuality90();
    void everyPixelFormatEncodesAlike();
    void seeThroughPixelsLieOnWhite_data();
    void seeThroughPixelsLieOnWhite();
    void bitmapPictureBecomesJpegOnEncode();
    void scansThatOnlyCostTimeAreRefused_data();
    void scansThatOnlyCostTimeAreRefused();
};

void TestJpegPicture::headerIsReadOnCreation_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<bool>("progressive");

    const QImage image = pattern(37, 21);
    QTest::newRow("baseline colour") << compress(image) << QSize(37, 21) << false << false;
    QTest::newRow("progressive colour")
        << compress(image, {.progressive = true}) << QSize(37, 21) << false << true;
    QTest::newRow("baseline grey")
        << compress(image, {.grey = true}) << QSize(37, 21) << true << false;
    QTest::newRow("progressive grey")
        << compress(image, {.grey = true, .progressive = true}) << QSize(37, 21) << true << true;
    QTest::newRow("one pixel") << compress(solid(1, 1, Qt::white)) << QSize(1, 1) << false << false;
}

void TestJpegPicture::headerIsReadOnCreation() {
    QFETCH(QByteArray, stream);
    QFETCH(QSize, size);
    QFETCH(bool, grey);
    QFETCH(bool, progressive);

    const JpegPicture picture = JpegPicture::fromJpegData(stream);
    QVERIFY(!picture.isEmpty());
    QVERIFY(picture.hasJpegData());
    QCOMPARE(picture.width(), size.width());
    QCOMPARE(picture.height(), size.height());
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.isGrayscale(), grey);
    QCOMPARE(picture.isProgressive(), progressive);

    const JpegCodec::Header header = JpegCodec::readHeader(stream);
    QCOMPARE(header.width, size.width());
    QCOMPARE(header.height, size.height());
    QCOMPARE(header.grayscale, grey);
    QCOMPARE(header.progressive, progressive);
}

// A camera's APP1 segment, as written or broken: the orientation it gives
// turns the page, and anything malformed leaves it as stored.
void TestJpegPicture::exifOrientationIsReadWithinItsSegment_data() {
    QTest::addColumn<QByteArray>("app1");
    QTest::addColumn<int>("orientation");
    // "Exif\0\0", then the TIFF header from offset 6: IFD0's offset at 10,
    // its entry count at 14, the entry's type at 18, count at 20, value at 24.
    const auto patched = [](qsizetype at, const QByteArray& bytes) {
        return exifOrientation(6).replace(at, bytes.size(), bytes);
    };
    QTest::newRow("6, Intel order") << exifOrientation(6) << 6;
    QTest::newRow("8, Motorola order") << exifOrientation(8, "MM") << 8;
    QTest::newRow("entry count beyond the segment") << patched(14, "\xff\xff"_ba) << 6;
    QTest::newRow("empty segment") << QByteArray() << 1;
    QTest::newRow("EXIF name only") << QByteArray("Exif\0\0", 6) << 1;
    QTest::newRow("XMP, not EXIF") << "http://ns.adobe.com/xap/1.0/\0"_ba + exifOrientation(6) << 1;
    QTest::newRow("unknown byte order") << patched(6, "XX"_ba) << 1;
    QTest::newRow("not 42") << patched(8, "\x2b\x00"_ba) << 1;
    QTest::newRow("IFD0 beyond the segment") << patched(10, "\xf0\xff\xff\xff"_ba) << 1;
    QTest::newRow("IFD0 at the last byte") << patched(10, "\x19\x00\x00\x00"_ba) << 1;
    QTest::newRow("entry cut short") << exifOrientation(6).left(6 + 8 + 2 + 10) << 1;
    QTest::newRow("not a SHORT") << patched(18, "\x04\x00"_ba) << 1;
    QTest::newRow("two values") << patched(20, "\x02"_ba) << 1;
    QTest::newRow("value 0") << exifOrientation(0) << 1;
    QTest::newRow("value 9") << exifOrientation(9) << 1;
    QTest::newRow("value 65535") << exifOrientation(0xffff) << 1;
}

void TestJpegPicture::exifOrientationIsReadWithinItsSegment() {
    QFETCH(QByteArray, app1);
    QFETCH(int, orientation);
    const QByteArray stream = withApp1(compress(pattern(37, 21)), app1);
    const QSize upright = orientation >= 5 ? QSize(21, 37) : QSize(37, 21);

    const JpegCodec::Header header = JpegCodec::readHeader(stream);
    QCOMPARE(int(header.orientation), orientation);
    QCOMPARE(QSize(header.width, header.height), QSize(37, 21));
    const JpegPicture picture = JpegPicture::fromJpegData(stream);
    QCOMPARE(picture.size(), upright);
    QCOMPARE(picture.toImage().size(), upright);
    QCOMPARE(picture.toFitted({7, 9}).size(), QSize(7, 9));
    QCOMPARE(picture.jpegData(), stream);
}

void TestJpegPicture::decodesWholePicture_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QColor>("color");

    QTest::newRow("red") << compress(solid(40, 24, Qt::red)) << QColor(Qt::red);
    QTest::newRow("teal") << compress(solid(40, 24, QColor(0, 128, 128))) << QColor(0, 128, 128);
    QTest::newRow("progressive yellow")
        << compress(solid(40, 24, Qt::yellow), {.progressive = true}) << QColor(Qt::yellow);
    QTest::newRow("grey") << compress(solid(40, 24, QColor(90, 90, 90)), {.grey = true})
                          << QColor(90, 90, 90);
}

void TestJpegPicture::decodesWholePicture() {
    QFETCH(QByteArray, stream);
    QFETCH(QColor, color);

    const JpegPicture picture = JpegPicture::fromJpegData(stream);
    const QImage image = picture.toImage();
    QCOMPARE(image.size(), QSize(40, 24));
    for (const QPoint point : {QPoint(0, 0), QPoint(39, 23), QPoint(20, 12), QPoint(5, 17)})
        QVERIFY2(near(image.pixel(point), color), qPrintable(describe(image.pixel(point))));
}

void TestJpegPicture::scaledDecodeCoversAskedSize_data() {
    QTest::addColumn<QSize>("full");
    QTest::addColumn<QSize>("atLeast");
    QTest::addColumn<QSize>("expected");

    // The expected sizes are the full size times n/8, rounded up, for the
    // smallest n whose result still covers the asked size.
    QTest::newRow("1/8") << QSize(800, 600) << QSize(100, 75) << QSize(100, 75);
    QTest::newRow("2/8, height decides") << QSize(800, 600) << QSize(100, 76) << QSize(200, 150);
    QTest::newRow("3/8, width decides") << QSize(800, 600) << QSize(201, 10) << QSize(300, 225);
    QTest::newRow("7/8") << QSize(800, 600) << QSize(601, 1) << QSize(700, 525);
    QTest::newRow("just under full") << QSize(800, 600) << QSize(799, 600) << QSize(800, 600);
    QTest::newRow("exactly full") << QSize(800, 600) << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("larger than picture") << QSize(120, 90) << QSize(1000, 1000) << QSize(120, 90);
    QTest::newRow("no size asked") << QSize(120, 90) << QSize() << QSize(120, 90);
    QTest::newRow("odd 1/8 rounds up") << QSize(333, 217) << QSize(42, 28) << QSize(42, 28);
    QTest::newRow("odd 2/8") << QSize(333, 217) << QSize(50, 50) << QSize(84, 55);
    QTest::newRow("odd 5/8") << QSize(333, 217) << QSize(200, 100) << QSize(209, 136);
    QTest::newRow("odd 6/8") << QSize(333, 217) << QSize(10, 137) << QSize(250, 163);
    QTest::newRow("tall 4/8") << QSize(9, 1001) << QSize(1, 450) << QSize(5, 501);
}

void TestJpegPicture::scaledDecodeCoversAskedSize() {
    QFETCH(QSize, full);
    QFETCH(QSize, atLeast);
    QFETCH(QSize, expected);

    const int n = JpegCodec::scaleFor(full, atLeast);
    const QSize predicted((full.width() * n + 7) / 8, (full.height() * n + 7) / 8);
    QCOMPARE(predicted, expected);

    const JpegPicture picture =
        JpegPicture::fromJpegData(compress(solid(full.width(), full.height(), Qt::magenta)));
    const QImage image = picture.toImage(atLeast);
    QCOMPARE(image.size(), expected);
    QVERIFY2(near(image.pixel(image.width() / 2, image.height() / 2), Qt::magenta),
             qPrintable(describe(image.pixel(image.width() / 2, image.height() / 2))));
    QCOMPARE(JpegCodec::decode(picture.jpegData(), atLeast).size(), expected);
}

void TestJpegPicture::notJpegFailsOnCreation_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("code");

    QTest::newRow("empty") << QByteArray() << int(JERR_INPUT_EMPTY);
    QTest::newRow("text") << "Just some text, not a picture.\n"_ba << int(JERR_NO_SOI);
    QTest::newRow("PNG signature")
        << "\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR"_ba << int(JERR_NO_SOI);
    QTest::newRow("bitmap header") << "BM\x36\x00\x00\x00\x00\x00"_ba << int(JERR_NO_SOI);
    QTest::newRow("SOI bytes swapped") << "\xd8\xff\xe0\x00\x10JFIF"_ba << int(JERR_NO_SOI);
}

void TestJpegPicture::notJpegFailsOnCreation() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, code);

    const Failure failure = failureOf([&] { JpegPicture::fromJpegData(bytes); });
    QCOMPARE(failure.message, u"JPEG error #%1"_s.arg(code));
    QCOMPARE(failure.code, code);
}

void TestJpegPicture::streamCutInHeaderFailsOnCreation_data() {
    QTest::addColumn<QByteArray>("bytes");

    const QByteArray stream = compress(pattern(64, 48));
    const qsizetype frame = offsetOfMarker(stream, 0xC0);
    QVERIFY(frame > 0);
    const qsizetype tables = offsetOfMarker(stream, 0xDB);
    QVERIFY(tables > 0);

    QTest::newRow("start marker only") << stream.left(2);
    QTest::newRow("inside quantisation table") << stream.left(tables + 20);
    QTest::newRow("inside frame header") << stream.left(frame + 6);
    QTest::newRow("before frame header") << stream.left(frame);
}

void TestJpegPicture::streamCutInHeaderFailsOnCreation() {
    QFETCH(QByteArray, bytes);

    const Failure failure = failureOf([&] { JpegPicture::fromJpegData(bytes); });
    QVERIFY2(failure.code > 0, qPrintable(failure.message));
    QCOMPARE(failure.message, u"JPEG error #%1"_s.arg(failure.code));
}

void TestJpegPicture::streamCutInScanFailsOnDecode() {
    const QByteArray stream = compress(pattern(64, 48));
    const qsizetype scan = offsetOfMarker(stream, 0xDA);
    QVERIFY(scan > 0);
    const QByteArray cut = stream.left(scan + (stream.size() - scan) / 2);

    // The header is whole, so the picture is made and knows its size...
    const JpegPicture picture = JpegPicture::fromJpegData(cut);
    QCOMPARE(picture.size(), QSize(64, 48));

    // ...but its pixels run out: reported, not shown half grey.
    for (const QSize size : {QSize(), QSize(8, 6)}) {
        const Failure failure = failureOf([&] { picture.toImage(size); });
        QCOMPARE(failure.message, u"JPEG error #%1"_s.arg(int(JWRN_JPEG_EOF)));
        QCOMPARE(failure.code, int(JWRN_JPEG_EOF));
    }
}

void TestJpegPicture::hugeFrameIsRefusedBeforeDecoding() {
    QByteArray stream = compress(solid(16, 16, Qt::cyan));
    const qsizetype frame = offsetOfMarker(stream, 0xC0);
    QVERIFY(frame > 0);
    // Frame header: marker, length (2), precision (1), height (2), width (2).
    const QByteArray side("\xfd\xe8", 2); // 65000, big-endian
    stream.replace(frame + 5, 2, side);
    stream.replace(frame + 7, 2, side);

    const JpegPicture picture = JpegPicture::fromJpegData(stream);
    QCOMPARE(picture.width(), 65000);
    QCOMPARE(picture.height(), 65000);

    QString message;
    try {
        picture.toImage();
        QFAIL("a 65000 x 65000 picture must be refused");
    } catch (const PictureTooLargeError& e) {
        message = e.message();
    }
    QVERIFY2(message.contains(u"65000"_s), qPrintable(message));
}

void TestJpegPicture::everyPictureWithinThePixelLimitHasTheMemoryToDecode_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QSize>("claimed");
    const QImage page = pattern(64, 64);
    QTest::newRow("colour, progressive, 4:4:4, 14000 x 14000")
        << compress(page, {.progressive = true, .chromaShare = {1, 1}}) << QSize(14000, 14000);
    // Four components at full resolution, padded to whole blocks: the most
    // any picture within the limit holds (one more row is over it).
    QTest::newRow("CMYK, progressive, 65500 x 3053")
        << compress(page, {.cmyk = true, .progressive = true}) << QSize(65500, 3053);
}

// A picture that is held whole while it decodes (progressive) and is within
// the pixel limit gets the memory for it: it can be stored, so it can be
// shown and checked. The streams are small pages claiming the size, cut in
// their first scan: having its memory, the decoder fails only when the data
// runs out, having touched none of that memory but the first rows.
void TestJpegPicture::everyPictureWithinThePixelLimitHasTheMemoryToDecode() {
    QFETCH(QByteArray, stream);
    QFETCH(QSize, claimed);
    const qsizetype scan = offsetOfMarker(stream, 0xDA);
    QVERIFY(scan > 0);
    const QByteArray cut =
        TestFiles::withDeclaredSize(stream, claimed.width(), claimed.height()).left(scan + 40);
    const JpegPicture picture = JpegPicture::fromJpegData(cut);
    QCOMPARE(picture.size(), claimed);
    const QString cutShort = u"JPEG error #%1"_s.arg(JWRN_JPEG_EOF);
    QCOMPARE(failureOf([&] { picture.toFitted(QSize(300, 300)); }).message, cutShort);
    QCOMPARE(failureOf([&] { JpegCodec::decodeThrough(cut); }).message, cutShort);
}

void TestJpegPicture::jpegBytesStayUnchanged() {
    const QByteArray stream = compress(pattern(30, 20));
    QCOMPARE(stream.right(2), "\xff\xd9"_ba);
    const QByteArray withTrailer = stream + "trailing bytes after the end marker\x00\x01"_ba;

    JpegPicture picture = JpegPicture::fromJpegData(withTrailer);
    QCOMPARE(picture.jpegData(), withTrailer);
    QCOMPARE(picture.size(), QSize(30, 20));
    // Encoding a picture that already holds JPEG data leaves the data as it is.
    QCOMPARE(picture.encode(), withTrailer);
    QCOMPARE(picture.jpegData(), withTrailer);
    QCOMPARE(picture.toImage().size(), QSize(30, 20));
    QCOMPARE(picture.jpegData(), withTrailer);
}

void TestJpegPicture::encodesBaselineColourAtQuality90_data() {
    QTest::addColumn<QImage>("bitmap");
    QTest::addColumn<QColor>("color");

    QTest::newRow("RGB32") << solid(64, 32, Qt::blue) << QColor(Qt::blue);
    QTest::newRow("odd size") << solid(17, 9, Qt::darkGreen) << QColor(Qt::darkGreen);

    QImage grey(20, 12, QImage::Format_Grayscale8);
    grey.fill(QColor(128, 128, 128));
    QTest::newRow("greyscale") << grey << QColor(128, 128, 128);

    QImage alpha(20, 12, QImage::Format_ARGB32);
    alpha.fill(QColor(200, 40, 40, 255));
    QTest::newRow("with alpha") << alpha << QColor(200, 40, 40);

    QImage mono(24, 8, QImage::Format_Mono);
    mono.fill(0);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    QTest::newRow("one bit") << mono << QColor(Qt::white);
}

void TestJpegPicture::encodesBaselineColourAtQuality90() {
    QFETCH(QImage, bitmap);
    QFETCH(QColor, color);

    const QByteArray stream = JpegCodec::encode(bitmap);
    const QList<Segment> segments = segmentsOf(stream);
    QVERIFY2(!segments.isEmpty(), "not a JPEG stream");
    QCOMPARE(segments.last().marker, 0xDA);

    QList<int> markers;
    for (const Segment& segment : segments)
        markers.append(segment.marker);
    QVERIFY(markers.contains(0xC0));
    QVERIFY(!markers.contains(0xC2));
    QVERIFY(!markers.contains(0xC1));

    // JFIF marker.
    QCOMPARE(segments.first().marker, 0xE0);
    QVERIFY(segments.first().payload.startsWith("JFIF\0"_ba));

    // Frame: 8-bit, the bitmap's size, three components; luma 2x2 with
    // table 0, both chroma components 1x1 with table 1.
    const auto frame = std::find_if(segments.begin(), segments.end(),
                                    [](const Segment& s) { return s.marker == 0xC0; });
    const QByteArray& sof = frame->payload;
    const auto at = [&](qsizetype i) { return int(uchar(sof.at(i))); };
    QCOMPARE(at(0), 8);
    QCOMPARE(at(1) << 8 | at(2), bitmap.height());
    QCOMPARE(at(3) << 8 | at(4), bitmap.width());
    QCOMPARE(at(5), 3);
    QCOMPARE(sof.size(), 6 + 3 * 3);
    QCOMPARE(at(7), 0x22);
    QCOMPARE(at(8), 0);
    QCOMPARE(at(10), 0x11);
    QCOMPARE(at(11), 1);
    QCOMPARE(at(13), 0x11);
    QCOMPARE(at(14), 1);

    // Quantisation tables: the standard ones scaled for quality 90.
    const QMap<int, QList<int>> tables = quantisationTables(stream);
    QCOMPARE(tables.keys(), QList<int>({0, 1}));
    QCOMPARE(tables.value(0).first(8), QList<int>({3, 2, 2, 3, 2, 2, 3, 3}));
    QCOMPARE(tables.value(0), quality90(StandardLuminance));
    QCOMPARE(tables.value(1), quality90(StandardChrominance));

    // And it shows the bitmap.
    const JpegPicture decoded = JpegPicture::fromJpegData(stream);
    QCOMPARE(decoded.size(), bitmap.size());
    QVERIFY(!decoded.isGrayscale());
    QVERIFY(!decoded.isProgressive());
    const QImage image = decoded.toImage();
    const QPoint middle(image.width() / 2, image.height() / 2);
    QVERIFY2(near(image.pixel(middle), color), qPrintable(describe(image.pixel(middle))));
}

void TestJpegPicture::bitmapPictureBecomesJpegOnEncode() {
    QImage bitmap(33, 21, QImage::Format_Grayscale8);
    bitmap.fill(QColor(60, 60, 60));

    JpegPicture picture = JpegPicture::fromBitmap(bitmap);
    QVERIFY(!picture.isEmpty());
    QVERIFY(!picture.hasJpegData());
    QVERIFY(picture.jpegData().isEmpty());
    QCOMPARE(picture.size(), QSize(33, 21));
    QVERIFY(picture.isGrayscale());
    // Until it is encoded, its image is the bitmap itself.
    QCOMPARE(picture.toImage(), bitmap);
    QCOMPARE(picture.toImage(QSize(4, 4)), bitmap);

    const QByteArray stream = picture.encode();
    QVERIFY(stream.startsWith("\xff\xd8"_ba));
    QVERIFY(picture.hasJpegData());
    QCOMPARE(picture.jpegData(), stream);
    QCOMPARE(picture.size(), QSize(33, 21));
    QVERIFY2(!picture.isGrayscale(), "a bitmap is always stored as colour");
    QVERIFY(!picture.isProgressive());

    // A second encode keeps the data it has.
    QCOMPARE(picture.encode(), stream);
    QVERIFY(near(picture.toImage().pixel(16, 10), QColor(60, 60, 60)));

    JpegPicture none;
    QVERIFY(none.isEmpty());
    QVERIFY(none.encode().isEmpty());
}

// 32-bit bitmaps are fed to libjpeg as they are; the bytes must be those of
// the 24-bit copy.
void TestJpegPicture::everyPixelFormatEncodesAlike() {
    const QImage source = pattern(97, 61).convertToFormat(QImage::Format_ARGB32);
    const QByteArray expected = JpegCodec::encode(source.convertToFormat(QImage::Format_RGB888));
    for (QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_RGB888, QImage::Format_BGR888,
          QImage::Format_RGBX8888})
        QCOMPARE(JpegCodec::encode(source.convertToFormat(format)), expected);
}

void TestJpegPicture::seeThroughPixelsLieOnWhite_data() {
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("ARGB32") << QImage::Format_ARGB32;
    QTest::newRow("premultiplied") << QImage::Format_ARGB32_Premultiplied;
    QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
    QTest::newRow("RGBA64") << QImage::Format_RGBA64;
}

// A page with a transparent background (a PNG from the clipboard) is stored as
// it looks on paper, not black.
void TestJpegPicture::seeThroughPixelsLieOnWhite() {
    QFETCH(QImage::Format, format);
    QImage page(48, 32, QImage::Format_ARGB32);
    page.fill(Qt::transparent);
    for (int y = 0; y < 32; ++y)
        for (int x = 24; x < 48; ++x)
            page.setPixel(x, y, x < 36 ? qRgba(0, 0, 200, 255) : qRgba(255, 0, 0, 128));
    // As held and shown before it is stored, and as stored.
    JpegPicture held = JpegPicture::fromBitmap(page.convertToFormat(format));
    const QImage before = held.toImage();
    const QImage stored = JpegPicture::fromJpegData(held.encode()).toImage();
    for (const QImage& shown : {before, stored}) {
        QVERIFY2(near(shown.pixel(8, 16), QColor(255, 255, 255)), "transparent: white paper");
        QVERIFY2(near(shown.pixel(30, 16), QColor(0, 0, 200)), "opaque: as it is");
        QVERIFY2(near(shown.pixel(44, 16), QColor(255, 127, 127)), "half: blended with white");
    }
    // libjpeg fed directly lays it on white too.
    const QImage direct =
        JpegPicture::fromJpegData(JpegCodec::encode(page.convertToFormat(format))).toImage();
    QVERIFY(near(direct.pixel(8, 16), QColor(255, 255, 255)));
}

void TestJpegPicture::scansThatOnlyCostTimeAreRefused_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QString>("refusal"); // empty: shown
    const QImage page = pattern(96, 64);
    const QByteArray progressive = compress(page, {.progressive = true});
    QTest::newRow("libjpeg's own progression, ten scans") << progressive << QString();
    QTest::newRow("its last scan repeated 500 times")
        << withLastScanRepeated(progressive, 500)
        << u"JPEG error #%1"_s.arg(JWRN_BOGUS_PROGRESSION);
    QTest::newRow("a scan for every coefficient, 190 scans")
        << compress(page, {.scanPerCoefficient = true})
        << u"图片的扫描次数太多，无法显示：超过 64 次"_s;
}

// Each scan is one more pass over every pixel: a picture made of scans that
// add nothing, or of more scans than any encoder writes, is refused when it
// is decoded (its header still reads, and its bytes still export).
void TestJpegPicture::scansThatOnlyCostTimeAreRefused() {
    QFETCH(QByteArray, stream);
    QFETCH(QString, refusal);
    const JpegPicture picture = JpegPicture::fromJpegData(stream);
    QCOMPARE(picture.size(), QSize(96, 64));
    for (const QSize atLeast : {QSize(), QSize(12, 8)})
        QCOMPARE(failureOf([&] { picture.toImage(atLeast); }).message, refusal);
}

void TestJpegPicture::fittedDecodeTakesNearestPixels_data() {
    QTest::addColumn<StreamOptions>("stream");
    QTest::addColumn<QSize>("size");
    const QList<std::pair<const char*, StreamOptions>> streams = {
        {"colour", {}},
        {"grey", {.grey = true}},
        {"colour 2x1", {.chromaShare = {2, 1}}},
        {"colour 1x1", {.chromaShare = {1, 1}}},
        {"progressive", {.progressive = true}},
        {"progressive grey", {.grey = true, .progressive = true}},
    };
    for (const auto& [kind, stream] : streams) {
        QTest::addRow("%s, own size", kind) << stream << QSize(301, 203);
        QTest::addRow("%s, a third", kind) << stream << QSize(100, 67);
        QTest::addRow("%s, one pixel", kind) << stream << QSize(1, 1);
        QTest::addRow("%s, wider than high", kind) << stream << QSize(290, 20);
        QTest::addRow("%s, every other row", kind) << stream << QSize(301, 101);
        QTest::addRow("%s, larger", kind) << stream << QSize(602, 406);
    }
}

// Each drawn pixel is one of the picture's own, from within a pixel of its
// place; at the picture's own size the drawing is the picture.
void TestJpegPicture::fittedDecodeTakesNearestPixels() {
    QFETCH(StreamOptions, stream);
    QFETCH(QSize, size);
    QImage source(301, 203, QImage::Format_RGB32);
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            source.setPixel(
                x, y, (x % 7 == 0 || y % 5 == 0) ? qRgb(0, 0, 0) : qRgb(x % 256, y % 256, 200));
    const QByteArray jpeg = compress(source, stream);
    const QImage full = JpegCodec::decode(jpeg, {});
    const QImage drawn = JpegCodec::decodeFitted(jpeg, size);
    QCOMPARE(drawn.size(), size);
    // A grey page takes one byte a pixel, as it is stored.
    QCOMPARE(drawn.format(), stream.grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    QCOMPARE(drawn.format(), full.format());
    if (size == full.size())
        QCOMPARE(drawn, full);
    QCOMPARE(pixelNotNearest(full, drawn), QString());
    // Exactly the pixel under the middle of its place, as if every row had
    // been turned into pixels, however many rows the drawing passed over.
    const auto middle = [](int i, int count, int whole) {
        return int((2 * qint64(i) + 1) * whole / (2 * qint64(count)));
    };
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            if (drawn.pixel(x, y) != full.pixel(middle(x, size.width(), full.width()),
                                                middle(y, size.height(), full.height())))
                QFAIL(qPrintable(u"(%1, %2) is not the pixel under its middle"_s.arg(x).arg(y)));
    // A drawing nobody waits for any more stops without a picture.
    const std::atomic_bool abandon = true;
    QVERIFY(JpegCodec::decodeFitted(jpeg, size, &abandon).isNull());
}

QTEST_GUILESS_MAIN(TestJpegPicture)
#include "tst_jpegpicture.moc"
