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
#include <memory>

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

qint64 bitmapRowBytes(int width) {
    return (qint64(width) * 3 + 3) / 4 * 4;
}

// A 24-bit bitmap declaring `size` (bottom-up; top-down for a negative
// height), followed by `pixelBytes` bytes of white.
QByteArray whiteBitmap(QSize size, qint64 pixelBytes) {
    QByteArray header(54, '\0');
    auto* out = reinterpret_cast<uchar*>(header.data());
    out[0] = 'B';
    out[1] = 'M';
    const qint64 declared = bitmapRowBytes(size.width()) * std::abs(size.height());
    qToLittleEndian<quint32>(quint32(54 + declared), out + 2);
    qToLittleEndian<quint32>(54, out + 10);
    qToLittleEndian<quint32>(40, out + 14);
    qToLittleEndian<qint32>(size.width(), out + 18);
    qToLittleEndian<qint32>(size.height(), out + 22);
    qToLittleEndian<quint16>(1, out + 26);
    qToLittleEndian<quint16>(24, out + 28);
    return header + QByteArray(pixelBytes, char(0xff));
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

QTEST_GUILESS_MAIN(TestPictureFile)
#include "tst_picturefile.moc"
