// Picture files as the import reads them: chosen by extension, JPEG bytes
// kept as they are, bitmaps held until they are stored.

#include "errors.h"
#include "failure.h"
#include "jpegpicture.h"
#include "libraryfiles.h"
#include "picturefile.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <cstdlib>
#include <functional>
#include <memory>

#include <sys/stat.h>

#include <jerror.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray bitmapFile(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

qint64 bitmapRowBytes(int width, int bits = 24) {
    return (qint64(width) * bits + 31) / 32 * 4;
}

// A bitmap file laid out field by field, for the kinds Qt's writer never makes.
struct BitmapLayout {
    QSize size; // a negative height: stored top-down
    int bits = 24;
    quint32 compression = 0; // 1: run-length, 3: bit fields
    quint32 headerSize = 40; // 12 for OS/2; from 56 on, with red, green, blue and alpha masks
    QByteArray palette;
    QByteArray pixels; // as stored
};

QByteArray bitmapBytes(const BitmapLayout& layout) {
    QByteArray head(14 + int(layout.headerSize), '\0');
    auto* out = reinterpret_cast<uchar*>(head.data());
    const auto offset = quint32(head.size() + layout.palette.size());
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(offset + quint32(layout.pixels.size()), out + 2);
    qToLittleEndian<quint32>(offset, out + 10);
    qToLittleEndian<quint32>(layout.headerSize, out + 14);
    if (layout.headerSize == 12) {
        qToLittleEndian<quint16>(quint16(layout.size.width()), out + 18);
        qToLittleEndian<quint16>(quint16(layout.size.height()), out + 20);
        qToLittleEndian<quint16>(1, out + 22);
        qToLittleEndian<quint16>(quint16(layout.bits), out + 24);
        return head + layout.palette + layout.pixels;
    }
    qToLittleEndian<qint32>(layout.size.width(), out + 18);
    qToLittleEndian<qint32>(layout.size.height(), out + 22);
    qToLittleEndian<quint16>(1, out + 26);
    qToLittleEndian<quint16>(quint16(layout.bits), out + 28);
    qToLittleEndian<quint32>(layout.compression, out + 30);
    qToLittleEndian<quint32>(quint32(layout.pixels.size()), out + 34);
    qToLittleEndian<quint32>(quint32(layout.palette.size() / 4), out + 46);
    const quint32 masks[] = {0xff0000, 0xff00, 0xff, 0xff000000};
    if (layout.headerSize >= 56)
        qToLittleEndian<quint32>(masks, 4, out + 54);
    return head + layout.palette + layout.pixels;
}

// The bytes of each row (its padding left zero) from `byte(index in the row, row)`.
QByteArray bitmapRows(QSize size, int bits, const std::function<int(int, int)>& byte) {
    const qint64 rowBytes = bitmapRowBytes(size.width(), bits);
    const int used = (size.width() * bits + 7) / 8, rows = std::abs(size.height());
    QByteArray pixels(rowBytes * rows, '\0');
    for (int y = 0; y < rows; ++y)
        for (int i = 0; i < used; ++i)
            pixels[y * rowBytes + i] = char(byte(i, y));
    return pixels;
}

int varied(int i, int y) {
    return i * 7 + y * 13 + i * y;
}

// `count` entries of four bytes (blue, green, red, unused; three for OS/2).
QByteArray palette(int count, bool grey, int entryBytes = 4) {
    QByteArray entries;
    for (int i = 0; i < count; ++i) {
        const int shade = i * 255 / std::max(count - 1, 1);
        const char entry[] = {char(shade), char(grey ? shade : 255 - shade),
                              char(grey ? shade : shade * 3), '\0'};
        entries += QByteArray(entry, entryBytes);
    }
    return entries;
}

// Run-length rows: each row one run of its own colour.
QByteArray runLengthRows(QSize size) {
    QByteArray rows;
    for (int y = 0; y < size.height(); ++y) {
        const char run[] = {char(size.width()), char(y * 9), '\0', '\0'};
        rows += QByteArray(run, sizeof run);
    }
    return rows + QByteArray("\0\1", 2);
}

// A 24-bit bitmap declaring `size` (bottom-up; top-down for a negative
// height), followed by `pixelBytes` bytes of white.
QByteArray whiteBitmap(QSize size, qint64 pixelBytes) {
    return bitmapBytes({size, 24, 0, 40, {}, QByteArray(pixelBytes, char(0xff))});
}

QString jpegError(int code) {
    return u"JPEG error #%1"_s.arg(code);
}

} // namespace

class TestPictureFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void unknownExtensionIsRefused_data();
    void unknownExtensionIsRefused();
    void fileThatCannotBeOpened_data();
    void fileThatCannotBeOpened();
    void contentNotMatchingExtension_data();
    void contentNotMatchingExtension();
    void jpegFileIsKeptByteForByte_data();
    void jpegFileIsKeptByteForByte();
    void bitmapFileIsHeldAsBitmap_data();
    void bitmapFileIsHeldAsBitmap();
    void largeBitmapsUpToThePixelLimit_data();
    void largeBitmapsUpToThePixelLimit();
    void everyKindOfBitmapIsStoredAsQtReadsIt_data();
    void everyKindOfBitmapIsStoredAsQtReadsIt();
    void brokenBitmapsAreRefusedAsQtRefusesThem_data();
    void brokenBitmapsAreRefusedAsQtRefusesThem();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestPictureFile::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestPictureFile::unknownExtensionIsRefused_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");

    QTest::newRow("png") << u"score.png"_s << u"Unknown picture file extension (.png)"_s;
    QTest::newRow("PNG keeps its case")
        << u"score.PNG"_s << u"Unknown picture file extension (.PNG)"_s;
    QTest::newRow("gif") << u"score.gif"_s << u"Unknown picture file extension (.gif)"_s;
    QTest::newRow("no extension") << u"score"_s << u"Unknown picture file extension (.)"_s;
    QTest::newRow("last part only")
        << u"score.jpg.txt"_s << u"Unknown picture file extension (.txt)"_s;
}

void TestPictureFile::unknownExtensionIsRefused() {
    QFETCH(QString, name);
    QFETCH(QString, message);

    // Even a real JPEG under such a name is refused.
    TestFiles::writeFile(path(name), TestFiles::jpeg(8, 8));
    const Failure failure = failureOf([&] { loadPictureFile(path(name)); });
    QCOMPARE(failure.message, message);
    QCOMPARE(failure.kind, u"Error"_s);
}

void TestPictureFile::fileThatCannotBeOpened_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");

    QTest::newRow("missing jpg") << u"missing.jpg"_s << u"No such file or directory"_s;
    QTest::newRow("missing bmp") << u"missing.bmp"_s << u"No such file or directory"_s;
    QTest::newRow("directory") << u"folder.jpg"_s << QString();
}

void TestPictureFile::fileThatCannotBeOpened() {
    QFETCH(QString, name);
    QFETCH(QString, reason);

    if (reason.isEmpty())
        QVERIFY(QDir(m_dir->path()).mkdir(name));

    // Named relatively, reported by its whole path.
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(m_dir->path()));
    const QString absolute = QDir::current().absoluteFilePath(name);
    const Failure failure = failureOf([&] { loadPictureFile(name); });
    QDir::setCurrent(previous);

    QCOMPARE(failure.kind, u"FileError"_s);
    const QString opening = u"Cannot open file \"%1\". "_s.arg(absolute);
    QVERIFY2(failure.message.startsWith(opening), qPrintable(failure.message));
    if (!reason.isEmpty())
        QCOMPARE(failure.message, opening + reason);
    else
        QVERIFY2(failure.message.size() > opening.size(), "the reason is given");
}

void TestPictureFile::contentNotMatchingExtension_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    const QByteArray text = "These are the notes of a score.\n"_ba;
    QTest::newRow("text as bmp") << u"notes.bmp"_s << text << u"Bitmap image is not valid"_s;
    QTest::newRow("empty bmp") << u"empty.bmp"_s << QByteArray() << u"Bitmap image is not valid"_s;
    QTest::newRow("JPEG as bmp") << u"photo.bmp"_s << TestFiles::jpeg(8, 8)
                                 << u"Bitmap image is not valid"_s;
    // Qt's reader would fill the missing rows with black.
    QTest::newRow("bitmap cut short")
        << u"cut.bmp"_s << whiteBitmap({1000, 1000}, 100) << u"Bitmap image is not valid"_s;
    QTest::newRow("top-down bitmap cut short")
        << u"cut.bmp"_s << whiteBitmap({1000, -1000}, bitmapRowBytes(1000) * 999)
        << u"Bitmap image is not valid"_s;
    QTest::newRow("text as jpg") << u"notes.jpg"_s << text << jpegError(JERR_NO_SOI);
    QTest::newRow("text as jpeg") << u"notes.jpeg"_s << text << jpegError(JERR_NO_SOI);
    QTest::newRow("empty jpg") << u"empty.jpg"_s << QByteArray() << jpegError(JERR_INPUT_EMPTY);
    QTest::newRow("bitmap as jpg")
        << u"page.jpg"_s << bitmapFile(4, 4, Qt::red) << jpegError(JERR_NO_SOI);
    // Icons and metafiles are offered to the JPEG reader and fail there.
    QTest::newRow("icon") << u"tamblor.ico"_s << "\x00\x00\x01\x00\x01\x00"_ba
                          << jpegError(JERR_NO_SOI);
    QTest::newRow("wmf") << u"drawing.wmf"_s << "\xd7\xcd\xc6\x9a\x00\x00"_ba
                         << jpegError(JERR_NO_SOI);
    QTest::newRow("emf") << u"drawing.EMF"_s << "\x01\x00\x00\x00\x6c\x00"_ba
                         << jpegError(JERR_NO_SOI);
}

void TestPictureFile::contentNotMatchingExtension() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    TestFiles::writeFile(path(name), content);
    const Failure failure = failureOf([&] { loadPictureFile(path(name)); });
    QCOMPARE(failure.message, message);
}

void TestPictureFile::jpegFileIsKeptByteForByte_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");

    const QByteArray jpeg = TestFiles::jpeg(40, 30, Qt::darkBlue);
    QTest::newRow("jpg") << u"page.jpg"_s << jpeg;
    QTest::newRow("JPG") << u"page.JPG"_s << jpeg;
    QTest::newRow("Jpeg") << u"page.Jpeg"_s << jpeg;
    QTest::newRow("trailing bytes") << u"page.jpg"_s << jpeg + "\r\nsaved by a scanner\x00"_ba;
    QTest::newRow("ico holding JPEG") << u"page.ico"_s << jpeg;
    QTest::newRow("wmf holding JPEG") << u"page.wmf"_s << jpeg;
    QTest::newRow("emf holding JPEG") << u"page.emf"_s << jpeg;
}

void TestPictureFile::jpegFileIsKeptByteForByte() {
    QFETCH(QString, name);
    QFETCH(QByteArray, content);

    TestFiles::writeFile(path(name), content);
    JpegPicture picture = loadPictureFile(path(name));
    QVERIFY(picture.hasJpegData());
    QCOMPARE(picture.jpegData(), content);
    QCOMPARE(picture.size(), QSize(40, 30));
    QCOMPARE(picture.encode(), content);
}

void TestPictureFile::bitmapFileIsHeldAsBitmap_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");

    QTest::newRow("bmp") << u"page.bmp"_s << QSize(24, 16);
    QTest::newRow("BMP") << u"PAGE.BMP"_s << QSize(13, 7);
    QTest::newRow("Bmp") << u"page.Bmp"_s << QSize(1, 1);
}

void TestPictureFile::bitmapFileIsHeldAsBitmap() {
    QFETCH(QString, name);
    QFETCH(QSize, size);

    TestFiles::writeFile(path(name), bitmapFile(size.width(), size.height(), Qt::darkRed));
    JpegPicture picture = loadPictureFile(path(name));
    QVERIFY(!picture.isEmpty());
    QVERIFY(!picture.hasJpegData());
    QCOMPARE(picture.size(), size);
    QCOMPARE(picture.toImage().size(), size);
    QCOMPARE(QColor(picture.toImage().pixel(0, 0)), QColor(Qt::darkRed));

    const QByteArray stream = picture.encode();
    QVERIFY(stream.startsWith("\xff\xd8"_ba));
    QCOMPARE(JpegPicture::fromJpegData(stream).size(), size);
    QCOMPARE(picture.jpegData(), stream);
}

void TestPictureFile::largeBitmapsUpToThePixelLimit_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QString>("message"); // empty: taken
    QTest::newRow("A4 at 600 dpi, 104 MB") << QSize(4960, 7016) << QString();
    QTest::newRow("wider than a JPEG can be")
        << QSize(70000, 2) << u"图片太大，无法显示：70000 × 2 像素"_s;
    QTest::newRow("over the limit")
        << QSize(20000, 10001) << u"图片太大，无法显示：20000 × 10001 像素"_s;
}

// A bitmap is taken up to the program's own pixel limit, the same that holds
// for JPEG pictures and the clipboard; over it, it is refused by its header.
void TestPictureFile::largeBitmapsUpToThePixelLimit() {
    QFETCH(QSize, size);
    QFETCH(QString, message);
    const qint64 pixelBytes = qint64(size.width()) * size.height() <= JpegPicture::MaxPixels
                                  ? bitmapRowBytes(size.width()) * size.height()
                                  : 0;
    TestFiles::writeFile(path(u"page.bmp"_s), whiteBitmap(size, pixelBytes));

    const Failure failure = failureOf([&] {
        const JpegPicture picture = loadPictureFile(path(u"page.bmp"_s));
        QCOMPARE(picture.size(), size);
        QCOMPARE(QColor(picture.toImage().pixel(size.width() - 1, 0)), QColor(Qt::white));
    });
    QCOMPARE(failure.message, message);
}

void TestPictureFile::everyKindOfBitmapIsStoredAsQtReadsIt_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("byTurboJpeg"); // else by Qt's reader, the only one that takes it

    const QSize odd(37, 23); // rows of 24-bit pixels padded by one byte
    const auto rows = [&](int bits, const std::function<int(int, int)>& byte = varied) {
        return bitmapRows(odd, bits, byte);
    };
    // Every third pixel see-through, every third half so.
    const auto alpha = [](int i, int y) { return i % 4 == 3 ? i / 4 % 3 * 127 : varied(i, y); };
    QTest::newRow("24-bit") << bitmapBytes({odd, 24, 0, 40, {}, rows(24)}) << true;
    QTest::newRow("24-bit, OS/2 header") << bitmapBytes({odd, 24, 0, 12, {}, rows(24)}) << true;
    QTest::newRow("24-bit, width a multiple of 4")
        << bitmapBytes({{40, 3}, 24, 0, 40, {}, bitmapRows({40, 3}, 24, varied)}) << true;
    QTest::newRow("32-bit, fourth byte unused")
        << bitmapBytes({odd, 32, 0, 40, {}, rows(32, alpha)}) << true;
    QTest::newRow("8-bit palette")
        << bitmapBytes({odd, 8, 0, 40, palette(256, false), rows(8)}) << true;
    QTest::newRow("8-bit grey palette")
        << bitmapBytes({odd, 8, 0, 40, palette(256, true), rows(8)}) << true;
    QTest::newRow("8-bit, 16 colours")
        << bitmapBytes({odd, 8, 0, 40, palette(16, false),
                        rows(8, [](int i, int y) { return (i + y) % 16; })})
        << true;
    QTest::newRow("8-bit, OS/2 palette")
        << bitmapBytes({odd, 8, 0, 12, palette(256, false, 3), rows(8)}) << true;
    QTest::newRow("32-bit with alpha, see-through pixels")
        << bitmapBytes({odd, 32, 3, 124, {}, rows(32, alpha)}) << false;
    QTest::newRow("24-bit top-down") << bitmapBytes({{37, -23}, 24, 0, 40, {}, rows(24)}) << false;
    QTest::newRow("24-bit, Windows 5 header")
        << bitmapBytes({odd, 24, 0, 124, {}, rows(24)}) << false;
    QTest::newRow("8-bit, pixels past the palette")
        << bitmapBytes({odd, 8, 0, 40, palette(16, false), rows(8)}) << false;
    QTest::newRow("8-bit run-length")
        << bitmapBytes({odd, 8, 1, 40, palette(256, false), runLengthRows(odd)}) << false;
    QTest::newRow("1-bit") << bitmapBytes({odd, 1, 0, 40, palette(2, true), rows(1)}) << false;
    QTest::newRow("4-bit") << bitmapBytes({odd, 4, 0, 40, palette(16, false), rows(4)}) << false;
    QTest::newRow("16-bit") << bitmapBytes({odd, 16, 0, 40, {}, rows(16)}) << false;
}

// TurboJPEG reads the common bitmaps, Qt's reader the others; either way the
// picture shown while it is named and the JPEG stored are those Qt's reader
// alone gives.
void TestPictureFile::everyKindOfBitmapIsStoredAsQtReadsIt() {
    QFETCH(QByteArray, content);
    QFETCH(bool, byTurboJpeg);
    TestFiles::writeFile(path(u"page.bmp"_s), content);

    JpegPicture picture = loadPictureFile(path(u"page.bmp"_s));
    JpegPicture byQt = loadBitmapWithQt(path(u"page.bmp"_s));
    QCOMPARE(picture.size(), byQt.size());
    QCOMPARE(picture.toImage().format() == QImage::Format_BGR888, byTurboJpeg);
    QCOMPARE(picture.toImage().convertToFormat(QImage::Format_RGB32),
             byQt.toImage().convertToFormat(QImage::Format_RGB32));
    QCOMPARE(picture.encode(), byQt.encode());
}

void TestPictureFile::brokenBitmapsAreRefusedAsQtRefusesThem_data() {
    QTest::addColumn<QByteArray>("content"); // "pipe": a named pipe
    QTest::addColumn<QString>("message");    // "%1" stands for the file's path

    const QSize size(37, 23);
    const QString invalid = u"Bitmap image is not valid"_s;
    const QByteArray palette8 = palette(256, false);
    QTest::newRow("8-bit cut short")
        << bitmapBytes({size, 8, 0, 40, palette8, bitmapRows(size, 8, varied).chopped(41)})
        << invalid;
    QTest::newRow("32-bit cut short")
        << bitmapBytes({size, 32, 0, 40, {}, bitmapRows(size, 32, varied).left(148)}) << invalid;
    // TurboJPEG would read it as the picture it is.
    QTest::newRow("PPM picture") << "P6\n2 2\n255\n000000000000"_ba << invalid;
    QTest::newRow("8-bit over the limit") << bitmapBytes({{20000, 10001}, 8, 0, 40, palette8, {}})
                                          << u"图片太大，无法显示：20000 × 10001 像素"_s;
    QTest::newRow("named pipe") << "pipe"_ba << u"Cannot open file \"%1\". Not a regular file"_s;
}

void TestPictureFile::brokenBitmapsAreRefusedAsQtRefusesThem() {
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    const QString file = path(u"page.bmp"_s);
    if (content == "pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
    else
        TestFiles::writeFile(file, content);

    message.replace(u"%1"_s, file);
    QCOMPARE(failureOf([&] { loadPictureFile(file); }).message, message);
    QCOMPARE(failureOf([&] { loadBitmapWithQt(file); }).message, message);
}

QTEST_GUILESS_MAIN(TestPictureFile)
#include "tst_picturefile.moc"
