// The bytes a library keeps in its picture column: the bare stream we write
// and the 8-byte headed form older libraries carry.

#include "errors.h"
#include "jpegpicture.h"
#include "libraryfiles.h"
#include "storedpicture.h"

#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

QByteArray header(quint16 count, quint16 type, quint32 length) {
    QByteArray bytes(8, '\0');
    auto* out = reinterpret_cast<uchar*>(bytes.data());
    qToLittleEndian<quint16>(count, out);
    qToLittleEndian<quint16>(type, out + 2);
    qToLittleEndian<quint32>(length, out + 4);
    return bytes;
}

quint32 lengthOf(const QByteArray& bytes) {
    return quint32(bytes.size());
}

} // namespace

class TestStoredPicture : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void jpegFromValue_data();
    void jpegFromValue();
    void emptyHeadedValueHoldsNoPicture();
    void valueFromJpegIsTheBareStream();
};

void TestStoredPicture::jpegFromValue_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray jpeg = TestFiles::jpeg(16, 8, Qt::blue);
    const quint32 length = lengthOf(jpeg);

    QTest::newRow("bare stream") << jpeg << jpeg;
    QTest::newRow("headed stream") << header(1, 0x0100, length) + jpeg << jpeg;
    // The header is skipped on its own merits: the rest is whatever follows.
    QTest::newRow("headed non-JPEG") << header(1, 0x0100, 5) + "hello"
                                     << "hello"_ba;

    // Any field that does not match leaves the value as it is.
    const QList<std::pair<const char*, QByteArray>> mismatched = {
        {"count 0", header(0, 0x0100, length)},
        {"count 2", header(2, 0x0100, length)},
        {"type 0x0001", header(1, 0x0001, length)},
        {"type 0x0101", header(1, 0x0101, length)},
        {"length one short", header(1, 0x0100, length - 1)},
        {"length one over", header(1, 0x0100, length + 1)},
        {"length zero", header(1, 0x0100, 0)},
    };
    for (const auto& [name, head] : mismatched)
        QTest::newRow(name) << head + jpeg << head + jpeg;

    // Too short to be headed, even where the bytes there agree with a header.
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("7 bytes, header-like")
        << header(1, 0x0100, 0).left(7) << header(1, 0x0100, 0).left(7);
    QTest::newRow("3 bytes") << "\x01\x00\x00"_ba
                             << "\x01\x00\x00"_ba;

    const QByteArray nine = header(1, 0x0100, 1) + "\xff"_ba;
    QTest::newRow("9 bytes, length 1") << nine << "\xff"_ba;
    QTest::newRow("8 bytes, length 1") << header(1, 0x0100, 1) << header(1, 0x0100, 1);
}

void TestStoredPicture::jpegFromValue() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    QCOMPARE(StoredPicture::jpegFromValue(value), expected);
}

void TestStoredPicture::emptyHeadedValueHoldsNoPicture() {
    const QByteArray value = header(1, 0x0100, 0);
    const QByteArray data = StoredPicture::jpegFromValue(value);
    QVERIFY(data.isEmpty());

    bool failed = false;
    try {
        JpegPicture::fromJpegData(data);
    } catch (const JpegError& e) {
        failed = true;
        QCOMPARE(e.message(), u"JPEG error #%1"_s.arg(e.code()));
    }
    QVERIFY2(failed, "no JPEG data must not make a picture");
}

void TestStoredPicture::valueFromJpegIsTheBareStream() {
    const QByteArray jpeg = TestFiles::jpeg(9, 7, Qt::green);
    const QByteArray value = StoredPicture::valueFromJpeg(jpeg);
    QCOMPARE(value, jpeg);
    QCOMPARE(value.left(2), "\xff\xd8"_ba);
    QCOMPARE(StoredPicture::jpegFromValue(value), jpeg);
}

QTEST_GUILESS_MAIN(TestStoredPicture)
#include "tst_storedpicture.moc"
