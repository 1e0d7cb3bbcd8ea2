// Checking a library after a scare: the engine's integrity check, every
// picture decoded to its end, pictures without bytes, over the pixel limit or
// stored twice, and damaged files that must give a report, not a crash.

#include "failure.h"
#include "jpegpicture.h"
#include "jpegstream.h"
#include "librarycheck.h"
#include "libraryfiles.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

// Busy enough that the scan data is most of the stream; each seed its own.
QImage pattern(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11 + seed) % 256, (x * x + y * 7) % 256,
                                (x ^ (y + seed)) % 256));
    return image;
}

QByteArray picture(int seed) {
    return compress(pattern(64, 48, seed));
}

// A picture whose frame header claims 20000 x 20000 pixels.
QByteArray overTheLimit() {
    QByteArray stream = picture(0);
    const qsizetype frame = offsetOfMarker(stream, 0xC0);
    qToBigEndian<quint16>(20000, stream.data() + frame + 5);
    qToBigEndian<quint16>(20000, stream.data() + frame + 7);
    return stream;
}

// Each problem as "row <id> <name>: <kind>: <message>", or "file: ..." for
// the file as a whole; JPEG error numbers as "#N".
QStringList described(const LibraryCheck& check) {
    static const QStringList kinds{u"integrity"_s,   u"unreadable"_s, u"no picture"_s, u"empty"_s,
                                   u"undecodable"_s, u"too large"_s,  u"duplicate"_s};
    QStringList lines;
    for (const LibraryProblem& problem : check.problems)
        lines << (problem.rowId ? u"row %1 %2"_s.arg(*problem.rowId).arg(problem.name)
                                : u"file"_s) +
                     u": "_s + kinds[int(problem.kind)] + u": "_s + problem.message;
    return lines.replaceInStrings(QRegularExpression(u"#\\d+"_s), u"#N"_s);
}

} // namespace

class TestLibraryCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_dir.reset(); }

    void soundLibrary();
    void problemOfOneScore_data();
    void problemOfOneScore();
    void problemsInTheLibrarysOrder();
    void damagedFile_data();
    void damagedFile();

private:
    QString library() const { return m_dir->filePath(u"scores.tbr"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLibraryCheck::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// Every form a library holds its pictures in, each decoded to its end.
void TestLibraryCheck::soundLibrary() {
    const QImage page = pattern(120, 90, 3);
    TestFiles::makeLibrary(library(),
                           {{u"baseline"_s, compress(page)},
                            {u"progressive"_s, compress(page, {.progressive = true})},
                            {u"grey"_s, compress(page, {.grey = true})},
                            {u"older form"_s, TestFiles::withOldHeader(picture(4))},
                            {std::nullopt, picture(5)},
                            {u"odd sampling"_s, compress(page, {.chromaShare = {1, 1}})}});
    const LibraryCheck check = checkLibrary(library());
    QCOMPARE(described(check), QStringList());
    QVERIFY(check.ok());
    QCOMPARE(check.scores, 6);
}

void TestLibraryCheck::problemOfOneScore_data() {
    QTest::addColumn<std::optional<QByteArray>>("stored");
    QTest::addColumn<QString>("problem"); // "kind: message", the message as a pattern

    const QByteArray whole = picture(7);
    const QString jpegError = u"undecodable: JPEG error #N"_s;
    QTest::newRow("cut short in its scan")
        << std::optional(whole.first(whole.size() * 2 / 3)) << jpegError;
    QTest::newRow("cut short before its end marker")
        << std::optional(whole.first(whole.size() - 2)) << jpegError;
    QTest::newRow("no JPEG data") << std::optional(QByteArray("not a picture")) << jpegError;
    QTest::newRow("a scan repeated") << std::optional(withLastScanRepeated(
                                            compress(pattern(64, 48, 1), {.progressive = true}), 3))
                                     << jpegError;
    QTest::newRow("more scans than a picture may have")
        << std::optional(compress(pattern(64, 48, 1), {.scanPerCoefficient = true}))
        << u"undecodable: .*%1.*"_s.arg(JpegPicture::MaxScans);
    QTest::newRow("over the pixel limit by its header")
        << std::optional(overTheLimit()) << u"too large: .*20000 × 20000.*"_s;
    QTest::newRow("no bytes") << std::optional(QByteArray("")) << u"empty: .+"_s;
    QTest::newRow("older form around no bytes")
        << std::optional(TestFiles::withOldHeader({})) << u"empty: .+"_s;
    QTest::newRow("NULL") << std::optional<QByteArray>() << u"no picture: .+"_s;
}

// The score between two sound ones is named, and only it.
void TestLibraryCheck::problemOfOneScore() {
    QFETCH(std::optional<QByteArray>, stored);
    QFETCH(QString, problem);
    TestFiles::makeLibrary(library(),
                           {{u"first"_s, picture(1)}, {u"bad"_s, stored}, {u"last"_s, picture(2)}});
    const LibraryCheck check = checkLibrary(library());
    const QStringList lines = described(check);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(QRegularExpression(u"^row 2 bad: "_s + problem + u'$').match(lines[0]).hasMatch(),
             qPrintable(lines[0]));
    QVERIFY(!check.ok());
    QCOMPARE(check.scores, 3);
}

// Decoded on several threads, reported in the library's order. Either
// stored form of the same JPEG data is the same picture; each later score
// names the first.
void TestLibraryCheck::problemsInTheLibrarysOrder() {
    QList<Record> records;
    for (int i = 1; i <= 40; ++i)
        records.append({u"s%1"_s.arg(i), picture(i)});
    records[3].picture = records[3].picture->first(200);
    records[16].picture = std::nullopt;
    records[19].picture = picture(2);
    records[29].picture = TestFiles::withOldHeader(picture(2));
    records[37].picture = picture(5);
    records[38].picture = QByteArray("x");
    TestFiles::makeLibrary(library(), records);
    const LibraryCheck check = checkLibrary(library());
    QCOMPARE(described(check),
             (QStringList{u"row 4 s4: undecodable: JPEG error #N"_s,
                          u"row 17 s17: no picture: The score has no picture"_s,
                          u"row 20 s20: duplicate: The same picture as row 2 \"s2\""_s,
                          u"row 30 s30: duplicate: The same picture as row 2 \"s2\""_s,
                          u"row 38 s38: duplicate: The same picture as row 5 \"s5\""_s,
                          u"row 39 s39: undecodable: JPEG error #N"_s}));
    QCOMPARE(check.problems[4].sameAsRowId, 5);
    QCOMPARE(check.problems[4].sameAsName, u"s5"_s);
    QCOMPARE(check.scores, 40);
}

void TestLibraryCheck::damagedFile_data() {
    QTest::addColumn<qint64>("offset"); // of the bytes overwritten; -1: text instead, -2: none
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("first");      // the report's first line, or the failure
    QTest::addColumn<QStringList>("scores"); // the report's lines on scores
    const QString malformed = u"database disk image is malformed"_s;
    QTest::newRow("the schema page")
        << qint64(100) << 64 << u"file: integrity: "_s + malformed << QStringList();
    QTest::newRow("the table's first page")
        << qint64(4096) << 64 << u"file: integrity: Page 2: btreeInitPage() returns error code 11"_s
        << QStringList();
    // One picture over many pages: its overflow chain follows the table's page.
    QTest::newRow("a picture's overflow chain")
        << qint64(3 * 4096) << 4
        << u"file: integrity: On tree page 26 cell 0: invalid page number 2139062143"_s
        << QStringList{u"row 1 s1: unreadable: "_s + malformed};
    QTest::newRow("a text file") << qint64(-1) << 0 << u"EngineError: file is not a database"_s
                                 << QStringList();
    QTest::newRow("no file") << qint64(-2) << 0 << u"EngineError: unable to open database file"_s
                             << QStringList();
}

// A file damaged on disk gives the engine's report, and the check goes on to
// what it can still read; a file that is no library is no report at all.
void TestLibraryCheck::damagedFile() {
    QFETCH(qint64, offset);
    QFETCH(int, count);
    QFETCH(QString, first);
    QFETCH(QStringList, scores);
    QList<Record> records;
    for (int i = 1; i <= 30; ++i)
        records.append({u"s%1"_s.arg(i), picture(i)});
    records[0].picture = compress(pattern(400, 300, 9));
    TestFiles::makeLibrary(library(), records);
    QFile file(library());
    QVERIFY(offset < -1 ? file.remove() : file.open(QIODevice::ReadWrite));
    if (offset == -1)
        QVERIFY(file.resize(0) && file.write(QByteArray(5000, 't')) == 5000);
    else if (offset >= 0)
        QVERIFY(file.seek(offset) && file.write(QByteArray(count, '\x7F')) == count);
    file.close();

    QStringList report;
    const Failure failure = failureOf([&] { report = described(checkLibrary(library())); });
    if (failure.kind != u"none")
        report = {failure.kind + u": "_s + failure.message};
    QCOMPARE(report.value(0), first);
    QCOMPARE(report.filter(u"row "_s), scores);
}

QTEST_GUILESS_MAIN(TestLibraryCheck)
#include "tst_librarycheck.moc"
