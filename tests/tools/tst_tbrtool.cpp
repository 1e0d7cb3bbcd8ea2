// tbrtool, run as a separate program the way a user runs it.

#include "childprocess.h"
#include "jpegpicture.h"
#include "libraryfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <memory>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run tbrtool(const QStringList& arguments, const QString& folder = {}) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral(TBRTOOL_PATH), arguments);
    Run run;
    if (!process.waitForStarted() || !process.waitForFinished(60'000)) {
        process.kill();
        process.waitForFinished();
        run.err = "tbrtool did not run to its end";
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The columns of the table `pictures` in the file at `path`.
QStringList columnsOf(const QString& path) {
    QStringList columns;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, "select name from pragma_table_info('pictures')", -1, &statement,
                               nullptr) == SQLITE_OK)
            while (sqlite3_step(statement) == SQLITE_ROW)
                columns.append(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return columns;
}

// The first value `sql` gives on the file at `path`, as a number.
qint64 number(const QString& path, const QByteArray& sql) {
    sqlite3* db = nullptr;
    qint64 value = -1;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// The name of each row id from 1 to `count` in the file at `path`, "-" where
// no row has it.
QStringList namesByRowId(const QString& path, int count) {
    QStringList names(count, u"-"_s);
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
            SQLITE_OK &&
        sqlite3_prepare_v2(db, "select rowid, filename from pictures", -1, &statement, nullptr) ==
            SQLITE_OK)
        while (sqlite3_step(statement) == SQLITE_ROW)
            if (const int id = sqlite3_column_int(statement, 0); id <= count)
                names[id - 1] = QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return names;
}

// A JPEG stream behind the header older libraries carry.
QByteArray headed(const QByteArray& jpeg) {
    QByteArray header("\x01\x00\x00\x01", 4);
    for (int shift = 0; shift < 32; shift += 8)
        header += char((jpeg.size() >> shift) & 0xff);
    return header + jpeg;
}

QByteArray bitmapFile(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkMagenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes;
}

} // namespace

class TestTbrtool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void createMakesAnEmptyLibrary();
    void createLeavesAnExistingFileAlone_data();
    void createLeavesAnExistingFileAlone();
    void everyNameIsAFile_data();
    void everyNameIsAFile();
    void addStoresJpegFileByteForByte_data();
    void addStoresJpegFileByteForByte();
    void addEncodesBitmap();
    void addRefusesWhatIsNotAPicture_data();
    void addRefusesWhatIsNotAPicture();
    void addNeedsALibrary_data();
    void addNeedsALibrary();
    void addIsAllOrNothing();
    void addTakesAFolderInNameOrder();
    void addWhoseReportIsLostAddsNothing_data();
    void addWhoseReportIsLostAddsNothing();
    void cloneEmptiesATemplate();
    void listPrintsNamesInStoredOrder();
    void listAndFindForms_data();
    void listAndFindForms();
    void nameHoldingNulIsNeverSplit_data();
    void nameHoldingNulIsNeverSplit();
    void infoTellsSizes();
    void removeAndRenameByRowId_data();
    void removeAndRenameByRowId();
    void checkNamesEachProblem_data();
    void checkNamesEachProblem();
    void checkReportsADamagedFile();
    void checkQuotesHostileNames();
    void backupCopiesIntoANewFile();
    void exportWritesStoredBytes_data();
    void exportWritesStoredBytes();
    void fullDiskLeavesNoHalfFile_data();
    void fullDiskLeavesNoHalfFile();
    void everyCommandRefusesWhatIsNoLibrary_data();
    void everyCommandRefusesWhatIsNoLibrary();
    void lockedLibraryIsWaitedFor_data();
    void lockedLibraryIsWaitedFor();
    void wrongArgumentsPrintUsage_data();
    void wrongArgumentsPrintUsage();
    void helpAndVersion_data();
    void helpAndVersion();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString library() const { return path(u"scores.tbr"_s); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestTbrtool::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestTbrtool::createMakesAnEmptyLibrary() {
    const Run run = tbrtool({u"create"_s, library()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(QFileInfo::exists(library()));
    QCOMPARE(columnsOf(library()), QStringList({u"filename"_s, u"picture"_s}));
    QVERIFY(TestFiles::readLibrary(library()).isEmpty());
}

void TestTbrtool::createLeavesAnExistingFileAlone_data() {
    QTest::addColumn<QString>("kind");

    QTest::newRow("library") << u"library"_s;
    QTest::newRow("empty file") << u"empty"_s;
    QTest::newRow("database of another table") << u"other"_s;
    QTest::newRow("text file") << u"text"_s;
}

void TestTbrtool::createLeavesAnExistingFileAlone() {
    QFETCH(QString, kind);

    if (kind == u"library")
        TestFiles::makeLibrary(library(), {{u"keep me"_s, TestFiles::jpeg(8, 8)}});
    else if (kind == u"empty")
        TestFiles::writeFile(library(), {});
    else if (kind == u"other")
        TestFiles::execute(library(), u"create table songs (title TEXT)"_s);
    else
        TestFiles::writeFile(library(), "my notes\n"_ba);
    const QByteArray before = TestFiles::readFile(library());

    const Run run = tbrtool({u"create"_s, library()});
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.err.contains("exists"), run.err.constData());
    QVERIFY(run.out.isEmpty());
    QCOMPARE(TestFiles::readFile(library()), before);
}

void TestTbrtool::everyNameIsAFile_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("file: address of another database") << u"file:victim.db"_s;
    QTest::newRow("file: address of a memory database") << u"file:new.tbr?mode=memory"_s;
    QTest::newRow("the engine's memory database") << u":memory:"_s;
}

// A name is a file in the current folder, never an address of the engine's
// own: another database named in it is not touched.
void TestTbrtool::everyNameIsAFile() {
    QFETCH(QString, name);
    const QString victim = path(u"victim.db"_s);
    TestFiles::execute(victim, u"create table accounts (owner TEXT)"_s);
    const QByteArray before = TestFiles::readFile(victim);

    const Run run = tbrtool({u"create"_s, name}, m_dir->path());
    QVERIFY2(run.exitCode == 0, run.err.constData());
    // Joined by hand: Qt itself would take ":memory:" for one of its resources.
    QCOMPARE(columnsOf(m_dir->path() + u'/' + name), QStringList({u"filename"_s, u"picture"_s}));
    TestFiles::writeFile(path(u"page.jpg"_s), TestFiles::jpeg(8, 8));
    QCOMPARE(tbrtool({u"add"_s, name, u"page.jpg"_s}, m_dir->path()).exitCode, 0);
    QCOMPARE(tbrtool({u"list"_s, name}, m_dir->path()).out, "1\tpage\n"_ba);
    QCOMPARE(TestFiles::readFile(victim), before);
}

void TestTbrtool::addStoresJpegFileByteForByte_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("name");
    QTest::addColumn<QString>("stored");

    QTest::newRow("base name") << u"Prelude.jpg"_s << QStringList() << u"Prelude"_s;
    QTest::newRow("JPEG extension") << u"Nocturne.JPEG"_s << QStringList() << u"Nocturne"_s;
    QTest::newRow("given name") << u"scan0001.jpg"_s
                                << QStringList({u"--name"_s, u"Gavotte, page 2"_s})
                                << u"Gavotte, page 2"_s;
    QTest::newRow("Chinese name") << u"page.jpg"_s << QStringList({u"--name"_s, u"小夜曲"_s})
                                  << u"小夜曲"_s;
}

void TestTbrtool::addStoresJpegFileByteForByte() {
    QFETCH(QString, file);
    QFETCH(QStringList, name);
    QFETCH(QString, stored);

    TestFiles::makeLibrary(library(), {{u"already there"_s, TestFiles::jpeg(4, 4)}});
    // Trailing bytes after the end marker go into the library too.
    const QByteArray jpeg = TestFiles::jpeg(21, 13, Qt::darkGreen) + "\r\n-- scanner --"_ba;
    TestFiles::writeFile(path(file), jpeg);

    const Run run = tbrtool(QStringList({u"add"_s, library(), path(file)}) + name);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString::fromUtf8(run.out), u"2\t"_s + stored + u'\n');

    const QList<TestFiles::Record> records = TestFiles::readLibrary(library());
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[1].name, std::optional<QString>(stored));
    QCOMPARE(records[1].picture, std::optional<QByteArray>(jpeg));
}

void TestTbrtool::addEncodesBitmap() {
    TestFiles::makeLibrary(library());
    TestFiles::writeFile(path(u"Minuet.bmp"_s), bitmapFile(37, 23));

    const Run run = tbrtool({u"add"_s, library(), path(u"Minuet.bmp"_s)});
    QVERIFY2(run.exitCode == 0, run.err.constData());

    const QList<TestFiles::Record> records = TestFiles::readLibrary(library());
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0].name, std::optional<QString>(u"Minuet"_s));
    QVERIFY(records[0].picture);
    QVERIFY(records[0].picture->startsWith("\xff\xd8"_ba));
    const JpegPicture picture = JpegPicture::fromJpegData(*records[0].picture);
    QCOMPARE(picture.size(), QSize(37, 23));
    QVERIFY(!picture.isGrayscale());
    QCOMPARE(picture.toImage().size(), QSize(37, 23));
}

void TestTbrtool::addRefusesWhatIsNotAPicture_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("text file") << u"notes.txt"_s << "not a picture\n"_ba
                               << "Unknown picture file extension (.txt)"_ba;
    QTest::newRow("text as jpg") << u"notes.jpg"_s << "not a picture\n"_ba
                                 << "JPEG error #"_ba;
    QTest::newRow("text as bmp") << u"notes.bmp"_s << "not a picture\n"_ba
                                 << "Bitmap image is not valid"_ba;
    QTest::newRow("missing picture") << u"absent.jpg"_s << QByteArray() << "Cannot open file"_ba;
    // "->": a link to that file; read whole, it would never end.
    QTest::newRow("link to an endless device") << u"zero.jpg"_s << "->/dev/zero"_ba
                                               << "Not a regular file"_ba;
    QTest::newRow("a score the library's trigger ignores")
        << u"Ignored.jpg"_s << TestFiles::jpeg(8, 8)
        << "The library refused the change (a trigger?)"_ba;
    QTest::newRow("a score a trigger takes away again")
        << u"Undone.jpg"_s << TestFiles::jpeg(8, 8)
        << "The library refused the change (a trigger?)"_ba;
}

void TestTbrtool::addRefusesWhatIsNotAPicture() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, error);

    TestFiles::makeLibrary(library(), {{u"already there"_s, TestFiles::jpeg(4, 4)}});
    TestFiles::execute(library(), u"create trigger ignored before insert on pictures when "
                                  u"new.filename = 'Ignored' begin select raise(ignore); end; "
                                  u"create trigger undone after insert on pictures when "
                                  u"new.filename = 'Undone' begin delete from pictures where "
                                  u"rowid = new.rowid; end"_s);
    const QByteArray before = TestFiles::readFile(library());
    if (content.startsWith("->"))
        QVERIFY(QFile::link(QString::fromUtf8(content.sliced(2)), path(file)));
    else if (!content.isEmpty())
        TestFiles::writeFile(path(file), content);

    const Run run = tbrtool({u"add"_s, library(), path(file)});
    QVERIFY(run.exitCode != 0);
    QVERIFY2(run.err.contains(error), run.err.constData());
    QCOMPARE(TestFiles::readLibrary(library()).size(), 1);
    QCOMPARE(TestFiles::readFile(library()), before);
}

void TestTbrtool::addNeedsALibrary_data() {
    QTest::addColumn<QByteArray>("content");

    QTest::newRow("missing") << QByteArray();
    QTest::newRow("not a library") << "a shopping list\n"_ba.repeated(100);
}

void TestTbrtool::addNeedsALibrary() {
    QFETCH(QByteArray, content);

    TestFiles::writeFile(path(u"page.jpg"_s), TestFiles::jpeg(8, 8));
    if (!content.isEmpty())
        TestFiles::writeFile(library(), content);

    const Run run = tbrtool({u"add"_s, library(), path(u"page.jpg"_s)});
    QVERIFY(run.exitCode != 0);
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(QFileInfo::exists(library()), !content.isEmpty());
    if (!content.isEmpty())
        QCOMPARE(TestFiles::readFile(library()), content);
}

void TestTbrtool::listPrintsNamesInStoredOrder() {
    const QStringList names = {u"Sonata"_s, u"Aria"_s, u"茉莉花"_s, u"Étude, op. 10"_s, u"Aria"_s};
    QList<TestFiles::Record> records;
    for (const QString& name : names)
        records.append({name, TestFiles::jpeg(4, 4)});
    TestFiles::makeLibrary(library(), records);

    const auto lines = [](const QStringList& listed) {
        QString text;
        for (int i = 0; i < listed.size(); ++i)
            text += u"%1\t%2\n"_s.arg(i + 1).arg(listed[i]);
        return text;
    };
    const Run run = tbrtool({u"list"_s, library()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString::fromUtf8(run.out), lines(names));

    TestFiles::makeLibrary(path(u"empty.tbr"_s));
    const Run empty = tbrtool({u"list"_s, path(u"empty.tbr"_s)});
    QCOMPARE(empty.exitCode, 0);
    QCOMPARE(empty.out, QByteArray());

    const Run missing = tbrtool({u"list"_s, path(u"absent.tbr"_s)});
    QVERIFY(missing.exitCode != 0);
    QVERIFY(!missing.err.isEmpty());
    QVERIFY(!QFileInfo::exists(path(u"absent.tbr"_s)));

    // What add stores, list shows.
    TestFiles::writeFile(path(u"Polonaise.jpg"_s), TestFiles::jpeg(8, 8));
    QCOMPARE(tbrtool({u"add"_s, library(), path(u"Polonaise.jpg"_s)}).exitCode, 0);
    QCOMPARE(QString::fromUtf8(tbrtool({u"list"_s, library()}).out),
             lines(names + QStringList(u"Polonaise"_s)));
}

// A picture that cannot be taken undoes the pictures before it.
void TestTbrtool::addIsAllOrNothing() {
    TestFiles::makeLibrary(library(), {{u"already there"_s, TestFiles::jpeg(4, 4)}});
    const QByteArray before = TestFiles::readFile(library());
    TestFiles::writeFile(path(u"one.jpg"_s), TestFiles::jpeg(8, 8));
    TestFiles::writeFile(path(u"two.bmp"_s), bitmapFile(9, 9));
    TestFiles::writeFile(path(u"three.jpg"_s), "not a picture"_ba);

    const Run run = tbrtool(
        {u"add"_s, library(), path(u"one.jpg"_s), path(u"two.bmp"_s), path(u"three.jpg"_s)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.startsWith("tbrtool: " + path(u"three.jpg"_s).toUtf8() + ": JPEG error #"),
             run.err.constData());
    QVERIFY(run.out.isEmpty());
    QCOMPARE(TestFiles::readFile(library()), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 4); // no journal left
}

void TestTbrtool::addTakesAFolderInNameOrder() {
    TestFiles::makeLibrary(library());
    const QString scans = path(u"scans"_s);
    QVERIFY(QDir().mkpath(scans + u"/inner"_s));
    QMap<QString, QByteArray> files = {{u"page10.jpg"_s, TestFiles::jpeg(10, 10)},
                                       {u"page2.JPG"_s, TestFiles::jpeg(2, 2)},
                                       {u"page1.jpeg"_s, TestFiles::jpeg(1, 1)},
                                       {u"Cover.Bmp"_s, bitmapFile(3, 3)},
                                       {u"notes.txt"_s, "not taken"_ba},
                                       {u".hidden.jpg"_s, TestFiles::jpeg(5, 5)},
                                       {u"inner/deep.jpg"_s, TestFiles::jpeg(6, 6)}};
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        TestFiles::writeFile(scans + u'/' + file.key(), file.value());

    Run run = tbrtool({u"add"_s, library(), scans, path(u"scans/page2.JPG"_s)});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out, "1\tCover\n2\tpage1\n3\tpage2\n4\tpage10\n5\tpage2\n"_ba);
    const QList<TestFiles::Record> records = TestFiles::readLibrary(library());
    QCOMPARE(records.size(), 5);
    QCOMPARE(records[3].picture, std::optional<QByteArray>(files[u"page10.jpg"_s]));
    QCOMPARE(JpegPicture::fromJpegData(*records[0].picture).size(), QSize(3, 3));

    // A folder of no pictures, or a name that is nothing, is told of, and
    // nothing is added; --name is for one picture only.
    run = tbrtool({u"add"_s, library(), path(u"scans/page1.jpeg"_s), path(u"absent"_s)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("absent\". No such file or directory"), run.err.constData());
    QVERIFY(QDir().mkdir(path(u"empty"_s)));
    run = tbrtool({u"add"_s, library(), path(u"empty"_s)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("empty: holds no .jpg, .jpeg or .bmp file"), run.err.constData());
    run = tbrtool({u"add"_s, library(), scans, u"--name"_s, u"Book"_s});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("--name names one picture, not 4"), run.err.constData());
    QCOMPARE(TestFiles::readLibrary(library()).size(), 5);
}

void TestTbrtool::addWhoseReportIsLostAddsNothing_data() {
    QTest::addColumn<bool>("pipe"); // else a full disk

    QTest::newRow("a full disk") << false;
    QTest::newRow("a pipe without a reader") << true;
}

// The row ids add prints are written before the scores are committed: a
// script that tries again after a failure never adds them twice.
void TestTbrtool::addWhoseReportIsLostAddsNothing() {
    QFETCH(bool, pipe);

    TestFiles::makeLibrary(library(), {{u"already there"_s, TestFiles::jpeg(4, 4)}});
    TestFiles::writeFile(path(u"page.jpg"_s), TestFiles::jpeg(8, 8));
    const QByteArray before = TestFiles::readFile(library());
    QProcess process;
    if (pipe)
        process.setChildProcessModifier([] {
            int ends[2];
            if (::pipe(ends) == 0) {
                ::close(ends[0]);
                ::dup2(ends[1], STDOUT_FILENO);
            }
        });
    else
        process.setStandardOutputFile(u"/dev/full"_s);
    process.start(QStringLiteral(TBRTOOL_PATH), {u"add"_s, library(), path(u"page.jpg"_s)});
    QVERIFY(process.waitForFinished(60'000));
    QVERIFY(process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0);
    if (!pipe)
        QCOMPARE(process.readAllStandardError(),
                 "tbrtool: standard output: No space left on device\n"_ba);
    QCOMPARE(TestFiles::readFile(library()), before);
}

// The window's new library: the template's tables and rows, none of its scores.
void TestTbrtool::cloneEmptiesATemplate() {
    const QString model = path(u"pictures.tbr"_s);
    TestFiles::makeLibrary(model, {{u"Sonata"_s, TestFiles::jpeg(8, 8)}},
                           QString::fromLatin1(TestFiles::DefaultSchema) +
                               u"; create table settings (key TEXT, value TEXT); "
                               u"insert into settings values ('zoom', 'fit')"_s);
    const QByteArray template_ = TestFiles::readFile(model);

    Run run = tbrtool({u"clone"_s, model, library()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(TestFiles::readLibrary(library()).isEmpty());
    QCOMPARE(number(library(), "select count(*) from settings where value = 'fit'"), 1);
    QCOMPARE(TestFiles::readFile(model), template_);

    // Never over a file, never from what is no library.
    const QByteArray made = TestFiles::readFile(library());
    run = tbrtool({u"clone"_s, model, library()});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("already exists"), run.err.constData());
    QCOMPARE(TestFiles::readFile(library()), made);
    TestFiles::writeFile(path(u"notes.txt"_s), "a shopping list\n"_ba.repeated(100));
    for (const QString& from : {path(u"absent.tbr"_s), path(u"notes.txt"_s)}) {
        run = tbrtool({u"clone"_s, from, path(u"new.tbr"_s)});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("tbrtool: " + from.toUtf8() + ": "), run.err.constData());
        QVERIFY(!QFileInfo::exists(path(u"new.tbr"_s)));
    }
}

void TestTbrtool::listAndFindForms_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("list") << QStringList(u"list"_s)
                          << "1\tSonata\n2\t\"two\\nlines\"\n3\t\"tab\\there\"\n"
                             "4\t\"A\\xffB \\\\ \\x1b\"\n5\t\"\\\"quoted\"\n6\t\n7\tbroken\n"_ba;
    QTest::newRow("list, NUL-ended") << QStringList({u"list"_s, u"-0"_s})
                                     << "Sonata\0two\nlines\0tab\there\0A\xff"
                                        "B \\ \x1b\0\"quoted\0\0broken\0"_ba;
    QTest::newRow("list as JSON") << QStringList({u"list"_s, u"--json"_s})
                                  << R"([{"id":1,"name":"Sonata","bytes":%1,"width":21,"height":13},
              {"id":2,"name":"two\nlines","bytes":%1,"width":21,"height":13},
              {"id":3,"name":"tab\there","bytes":null,"width":null,"height":null},
              {"id":4,"name":"A\ufffdB \\ \u001b","name_base64":"Qf9CIFwgGw==","bytes":%2,
               "width":7,"height":5},
              {"id":5,"name":"\"quoted","bytes":0,"width":null,"height":null},
              {"id":6,"name":null,"bytes":%1,"width":21,"height":13},
              {"id":7,"name":"broken","bytes":13,"width":null,"height":null}])"_ba;
    // The word is data: % stands for any text, a quote is a quote.
    QTest::newRow("find") << QStringList({u"find"_s, u"N"_s})
                          << "1\tSonata\n2\t\"two\\nlines\"\n7\tbroken\n"_ba;
    QTest::newRow("find a wildcard")
        << QStringList({u"find"_s, u"t%e"_s, u"-0"_s}) << "two\nlines\0tab\there\0\"quoted\0"_ba;
    QTest::newRow("find a quote") << QStringList({u"find"_s, u"' or '1'='1"_s}) << QByteArray();
    QTest::newRow("find as JSON")
        << QStringList({u"find"_s, u"ken"_s, u"--json"_s})
        << R"([{"id":7,"name":"broken","bytes":13,"width":null,"height":null}])"_ba;
}

// Names are shown so that every one is one line, whatever it holds; -0 and
// JSON keep them whole.
void TestTbrtool::listAndFindForms() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, out);

    const QByteArray jpeg = TestFiles::jpeg(21, 13);
    TestFiles::makeLibrary(
        library(), {{u"Sonata"_s, jpeg}, {u"two\nlines"_s, jpeg}, {u"tab\there"_s, std::nullopt}});
    // A name that is not UTF-8, a picture in the older stored form.
    TestFiles::execute(library(), u"insert into pictures values (cast(x'41ff42205c201b' as "
                                  u"text), x'%1')"_s.arg(
                                      QString::fromLatin1(headed(TestFiles::jpeg(7, 5)).toHex())));
    // A picture stored as text, a NUL byte within it: all its 13 bytes count.
    TestFiles::execute(library(), u"insert into pictures values ('\"quoted', x''), "
                                  u"(NULL, x'%1'), ('broken', cast(x'%2' as text))"_s.arg(
                                      QString::fromLatin1(jpeg.toHex()),
                                      QString::fromLatin1("not a\0picture"_ba.toHex())));
    const QByteArray before = TestFiles::readFile(library());

    arguments.insert(1, library());
    const Run run = tbrtool(arguments);
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QVERIFY(run.err.isEmpty());
    if (arguments.contains(u"--json"_s)) {
        const QByteArray expected =
            out.replace("%1", QByteArray::number(jpeg.size()))
                .replace("%2", QByteArray::number(8 + TestFiles::jpeg(7, 5).size()));
        QJsonParseError error;
        const QJsonDocument listed = QJsonDocument::fromJson(run.out, &error);
        QVERIFY2(error.error == QJsonParseError::NoError, run.out.constData());
        QCOMPARE(listed, QJsonDocument::fromJson(expected));
    } else {
        QCOMPARE(run.out, out);
    }
    QCOMPARE(TestFiles::readFile(library()), before);
}

void TestTbrtool::nameHoldingNulIsNeverSplit_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("ids");

    QTest::newRow("list") << QStringList(u"list"_s) << "2, 4"_ba;
    QTest::newRow("find") << QStringList({u"find"_s, u"a"_s}) << "2"_ba;
}

// A name holding a NUL byte would be two items to xargs -0: nothing is
// printed, and the scores are named.
void TestTbrtool::nameHoldingNulIsNeverSplit() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, ids);

    TestFiles::makeLibrary(library(), {{u"Sonata"_s, TestFiles::jpeg(4, 4)}});
    TestFiles::execute(library(), u"insert into pictures values (cast(x'%1' as text), NULL), "
                                  u"('Coda', NULL), (cast(x'7800' as text), NULL)"_s.arg(
                                      QString::fromLatin1("a\0b/../evil"_ba.toHex())));
    arguments.insert(1, library());
    const Run run = tbrtool(arguments << u"-0"_s);
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QByteArray());
    QCOMPARE(run.err, "tbrtool: " + library().toUtf8() +
                          ": a name holds a NUL byte, which -0 cannot print (row id " + ids +
                          ")\n");
}

void TestTbrtool::infoTellsSizes() {
    const QByteArray big = TestFiles::jpeg(400, 300, Qt::blue) + QByteArray(20'000, 'x');
    TestFiles::makeLibrary(library(),
                           {{u"big"_s, big},
                            {u"small"_s, TestFiles::jpeg(4, 4)},
                            {u"none"_s, std::nullopt},
                            {u"gone"_s, big}},
                           u"pragma page_size = 1024; "_s +
                               QString::fromLatin1(TestFiles::DefaultSchema));
    // A picture stored as text counts all its bytes, past a NUL byte too.
    const QByteArray text("\xff\xd8\0\0end", 7);
    TestFiles::execute(library(), u"delete from pictures where filename = 'gone'; insert into "
                                  u"pictures values ('text', cast(x'%1' as text))"_s.arg(
                                      QString::fromLatin1(text.toHex())));
    QVERIFY(number(library(), "pragma freelist_count") > 0);

    const Run run = tbrtool({u"info"_s, library()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString::fromUtf8(run.out),
             u"scores:        4\npicture bytes: %1\nfile size:     %2\npage size:     1024\n"
             u"free pages:    %3\n"_s.arg(big.size() + TestFiles::jpeg(4, 4).size() + text.size())
                 .arg(QFileInfo(library()).size())
                 .arg(number(library(), "pragma freelist_count")));
}

void TestTbrtool::removeAndRenameByRowId_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("names"); // by row id afterwards, "-" where none is
    QTest::addColumn<QByteArray>("error");

    // Row ids 1, 3, 4: Aria, Aria, Gigue.
    const QStringList unchanged = {u"Aria"_s, u"-"_s, u"Aria"_s, u"Gigue"_s};
    QTest::newRow("remove one of two names alike")
        << QStringList({u"remove"_s, u"3"_s}) << 0
        << QStringList({u"Aria"_s, u"-"_s, u"-"_s, u"Gigue"_s}) << QByteArray();
    QTest::newRow("remove several, one twice")
        << QStringList({u"remove"_s, u"4"_s, u"1"_s, u"4"_s}) << 0
        << QStringList({u"-"_s, u"-"_s, u"Aria"_s, u"-"_s}) << QByteArray();
    QTest::newRow("remove one that is not there")
        << QStringList({u"remove"_s, u"1"_s, u"2"_s, u"9"_s}) << 1 << unchanged
        << "no score has row id 2, 9; nothing was changed"_ba;
    QTest::newRow("remove by a name") << QStringList({u"remove"_s, u"1"_s, u"Gigue"_s}) << 2
                                      << unchanged << "not a row id: Gigue"_ba;
    QTest::newRow("rename") << QStringList({u"rename"_s, u"3"_s, u"Sarabande\nII"_s}) << 0
                            << QStringList({u"Aria"_s, u"-"_s, u"Sarabande\nII"_s, u"Gigue"_s})
                            << QByteArray();
    QTest::newRow("rename to nothing")
        << QStringList({u"rename"_s, u"4"_s, QString()}) << 0
        << QStringList({u"Aria"_s, u"-"_s, u"Aria"_s, QString()}) << QByteArray();
    QTest::newRow("rename one that is not there")
        << QStringList({u"rename"_s, u"2"_s, u"Sarabande"_s}) << 1 << unchanged
        << "no score has row id 2; nothing was changed"_ba;
    // Row id 5, Coda, a trigger keeps; a trigger ignores the name Ignored.
    QTest::newRow("remove one a trigger keeps, with another")
        << QStringList({u"remove"_s, u"1"_s, u"5"_s}) << 1 << unchanged
        << "The library refused the change (a trigger?)"_ba;
    QTest::newRow("rename to a name a trigger ignores")
        << QStringList({u"rename"_s, u"3"_s, u"Ignored"_s}) << 1 << unchanged
        << "The library refused the change (a trigger?)"_ba;
}

void TestTbrtool::removeAndRenameByRowId() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QStringList, names);
    QFETCH(QByteArray, error);

    TestFiles::makeLibrary(library(), {{u"Aria"_s, TestFiles::jpeg(4, 4)},
                                       {u"Minuet"_s, TestFiles::jpeg(5, 5)},
                                       {u"Aria"_s, TestFiles::jpeg(6, 6)},
                                       {u"Gigue"_s, TestFiles::jpeg(7, 7)},
                                       {u"Coda"_s, TestFiles::jpeg(8, 8)}});
    TestFiles::execute(library(),
                       u"delete from pictures where rowid = 2; "
                       u"create trigger kept before delete on pictures when old.filename = 'Coda' "
                       u"begin select raise(ignore); end; "
                       u"create trigger ignored before update on pictures when new.filename = "
                       u"'Ignored' begin select raise(ignore); end"_s);
    const QByteArray before = TestFiles::readFile(library());

    arguments.insert(1, library());
    const Run run = tbrtool(arguments);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains(error), run.err.constData());
    if (exitCode != 0)
        QCOMPARE(TestFiles::readFile(library()), before);
    QCOMPARE(namesByRowId(library(), 4), names);
}

void TestTbrtool::checkNamesEachProblem_data() {
    QTest::addColumn<std::optional<QByteArray>>("picture");
    QTest::addColumn<QByteArray>("line"); // of the second score, row id 2
    QTest::addColumn<QString>("kind");

    const QByteArray sound = TestFiles::jpeg(16, 16);
    const QByteArray other = TestFiles::jpeg(24, 8, Qt::blue);
    QTest::newRow("all well") << std::optional(other) << QByteArray() << QString();
    QTest::newRow("older stored form")
        << std::optional(TestFiles::withOldHeader(other)) << QByteArray() << QString();
    QTest::newRow("null") << std::optional<QByteArray>() << "2\tGigue\tno-picture: "_ba
                          << u"no-picture"_s;
    QTest::newRow("empty") << std::optional(QByteArray()) << "2\tGigue\tempty-picture: "_ba
                           << u"empty-picture"_s;
    QTest::newRow("cut short") << std::optional(other.first(other.size() / 2))
                               << "2\tGigue\tundecodable: "_ba << u"undecodable"_s;
    QTest::newRow("no JPEG data") << std::optional("a shopping list"_ba)
                                  << "2\tGigue\tundecodable: "_ba << u"undecodable"_s;
    QTest::newRow("over the pixel limit")
        << std::optional(TestFiles::withDeclaredSize(other, 20000, 20000))
        << "2\tGigue\ttoo-large: "_ba << u"too-large"_s;
    QTest::newRow("same as the first")
        << std::optional(sound) << "2\tGigue\tduplicate: The same picture as row 1"_ba
        << u"duplicate"_s;
    QTest::newRow("same in the older form")
        << std::optional(TestFiles::withOldHeader(sound))
        << "2\tGigue\tduplicate: The same picture as row 1"_ba << u"duplicate"_s;
}

// Each problem on a line of its own naming the score, or in JSON; the exit
// status says whether there was any.
void TestTbrtool::checkNamesEachProblem() {
    QFETCH(std::optional<QByteArray>, picture);
    QFETCH(QByteArray, line);
    QFETCH(QString, kind);

    TestFiles::makeLibrary(library(), {{u"Aria"_s, TestFiles::jpeg(16, 16)},
                                       {u"Gigue"_s, picture},
                                       {u"Coda"_s, TestFiles::jpeg(8, 8, Qt::green)}});
    const QByteArray before = TestFiles::readFile(library());
    const Run text = tbrtool({u"check"_s, library()});
    const Run json = tbrtool({u"check"_s, library(), u"--json"_s});
    QCOMPARE(TestFiles::readFile(library()), before);
    const QJsonObject report = QJsonDocument::fromJson(json.out).object();
    QCOMPARE(report[u"scores"_s].toInt(), 3);
    const QJsonArray problems = report[u"problems"_s].toArray();
    if (kind.isEmpty()) {
        QCOMPARE(text.exitCode, 0);
        QCOMPARE(text.out, "3 score(s) checked, all well\n"_ba);
        QCOMPARE(json.exitCode, 0);
        QVERIFY(report[u"ok"_s].toBool());
        QVERIFY(problems.isEmpty());
        return;
    }
    QCOMPARE(text.exitCode, 1);
    QCOMPARE(text.out.count('\n'), 1);
    QVERIFY2(text.out.startsWith(line), text.out.constData());
    QCOMPARE(text.err, "tbrtool: " + library().toUtf8() + ": 1 problem(s) found in 3 score(s)\n");
    QCOMPARE(json.exitCode, 1);
    QVERIFY(!report[u"ok"_s].toBool());
    QCOMPARE(problems.size(), 1);
    const QJsonObject problem = problems[0].toObject();
    QCOMPARE(problem[u"kind"_s].toString(), kind);
    QCOMPARE(problem[u"id"_s].toInteger(), 2);
    QCOMPARE(problem[u"name"_s].toString(), u"Gigue"_s);
    QVERIFY(!problem[u"message"_s].toString().isEmpty());
    if (kind == u"duplicate")
        QCOMPARE(problem[u"same_as_id"_s].toInteger(), 1);
}

// Pages of the file overwritten: reported, never a crash.
void TestTbrtool::checkReportsADamagedFile() {
    QList<TestFiles::Record> records;
    for (int i = 0; i < 40; ++i)
        records.append({u"Page %1"_s.arg(i), TestFiles::jpeg(40 + i, 40, QColor(i, 0, 0))});
    TestFiles::makeLibrary(library(), records);
    QByteArray file = TestFiles::readFile(library());
    QVERIFY(file.size() > 8 * 4096);
    // The second page onwards: the table's pages, where the rows are found.
    file.replace(4096, 4 * 4096, QByteArray(4 * 4096, '\x5a'));
    TestFiles::writeFile(library(), file);

    for (const QString& form : {u"--json"_s, QString()}) {
        QStringList arguments = {u"check"_s, library()};
        if (!form.isEmpty())
            arguments.append(form);
        const Run run = tbrtool(arguments);
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains("problem(s) found"), run.err.constData());
        if (form.isEmpty())
            QVERIFY2(run.out.startsWith("-\t\tdamaged: "), run.out.constData());
        else
            QCOMPARE(QJsonDocument::fromJson(run.out)[u"problems"_s][0][u"kind"_s].toString(),
                     u"damaged"_s);
    }
}

// Names are the library's data, not the terminal's: both the score's and the
// one it duplicates print as list prints them, one line, nothing acted on.
void TestTbrtool::checkQuotesHostileNames() {
    const QByteArray page = TestFiles::jpeg(8, 8);
    TestFiles::makeLibrary(library(), {{u"\x1b]0;owned\x07"
                                        u"Aria\nop. 2"_s,
                                        page},
                                       {u"Gigue\r"_s, page}});
    // Names that are not UTF-8: quoted byte for byte, their bytes beside them in JSON.
    TestFiles::execute(library(), u"insert into pictures values (cast(x'66ff6f' as text), x'%1'), "
                                  u"('Coda', x'%1'), (cast(x'67fe' as text), x'')"_s.arg(
                                      QString::fromLatin1(TestFiles::jpeg(9, 9).toHex())));
    const Run run = tbrtool({u"check"_s, library()});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, "2\t\"Gigue\\r\"\tduplicate: The same picture as row 1 "
                      "\"\\x1b]0;owned\\x07Aria\\nop. 2\"\n"
                      "4\tCoda\tduplicate: The same picture as row 3 \"f\\xffo\"\n"
                      "5\t\"g\\xfe\"\tempty-picture: The picture has no bytes\n"_ba);
    const QJsonArray problems =
        QJsonDocument::fromJson(tbrtool({u"check"_s, library(), u"--json"_s}).out)[u"problems"_s]
            .toArray();
    QCOMPARE(problems.size(), 3);
    QCOMPARE(problems[1][u"same_as_name"_s].toString(), u"f\ufffdo"_s);
    QCOMPARE(problems[1][u"same_as_name_base64"_s].toString(), u"Zv9v"_s);
    QCOMPARE(problems[2][u"name"_s].toString(), u"g\ufffd"_s);
    QCOMPARE(problems[2][u"name_base64"_s].toString(), u"Z/4="_s);
    QVERIFY(!problems[0].toObject().contains(u"name_base64"_s));
}

// The copy holds what the library holds; an existing file is never taken.
void TestTbrtool::backupCopiesIntoANewFile() {
    const QList<TestFiles::Record> records = {{u"Aria"_s, TestFiles::jpeg(300, 200)},
                                              {std::nullopt, TestFiles::jpeg(8, 8)},
                                              {u"Coda"_s, std::nullopt}};
    TestFiles::makeLibrary(library(), records);
    const QString copy = path(u"copies/scores.tbr"_s);
    QVERIFY(QDir().mkdir(path(u"copies"_s)));

    Run run = tbrtool({u"backup"_s, library(), copy});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.out, QByteArray());
    const QList<TestFiles::Record> copied = TestFiles::readLibrary(copy);
    QCOMPARE(copied.size(), records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        QCOMPARE(copied[i].name, records[i].name);
        QCOMPARE(copied[i].picture, records[i].picture);
    }
    // A check finds in the copy what it finds in the library: Coda's missing picture.
    const Run checked = tbrtool({u"check"_s, copy});
    QCOMPARE(checked.exitCode, 1);
    QCOMPARE(checked.out, tbrtool({u"check"_s, library()}).out);

    const QByteArray made = TestFiles::readFile(copy);
    run = tbrtool({u"backup"_s, library(), copy});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, "tbrtool: Cannot create file \"" + copy.toUtf8() + "\". File exists\n");
    QCOMPARE(TestFiles::readFile(copy), made);
    run = tbrtool({u"backup"_s, library(), path(u"absent/scores.tbr"_s)});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("No such file or directory"), run.err.constData());
}

void TestTbrtool::exportWritesStoredBytes_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("out"); // row id and file in the folder, per line
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("existing"); // in the folder before: "name -> link target"
    QTest::addColumn<std::optional<QByteArray>>("third"); // the picture of row 3; none: as made
    QTest::addColumn<QByteArray>("err"); // "<dir>" for the test folder; null: any failure

    const QStringList none;
    const std::optional<QByteArray> asMade = QByteArray("as made");
    const QByteArray notExported = "tbrtool: scores.tbr: 1 of 3 score(s) not exported\n";
    QTest::newRow("all, by name") << QStringList()
                                  << "1\tout/Aria.jpg\n2\tout/Gigue.jpg\n3\tout/Aria3.jpg\n"_ba << 0
                                  << none << asMade << ""_ba;
    QTest::newRow("found by a word")
        << QStringList({u"--find"_s, u"ri"_s}) << "1\tout/Aria.jpg\n3\tout/Aria2.jpg\n"_ba << 0
        << none << asMade << ""_ba;
    QTest::newRow("by row ids, in their order")
        << QStringList({u"--id"_s, u"3"_s, u"--id"_s, u"2"_s})
        << "3\tout/Aria.jpg\n2\tout/Gigue.jpg\n"_ba << 0 << none << asMade << ""_ba;
    QTest::newRow("a common name") << QStringList({u"--name-as"_s, u"Book "_s})
                                   << "1\tout/Book 1.jpg\n2\tout/Book 2.jpg\n3\tout/Book 3.jpg\n"_ba
                                   << 0 << none << asMade << ""_ba;
    QTest::newRow("a row id not held") << QStringList({u"--id"_s, u"1"_s, u"--id"_s, u"7"_s})
                                       << QByteArray() << 1 << none << asMade << QByteArray();
    QTest::newRow("a common name with a folder in it")
        << QStringList({u"--name-as"_s, u"../up"_s}) << QByteArray() << 1 << none << asMade
        << QByteArray();
    QTest::newRow("a file there before is not replaced")
        << QStringList() << "1\tout/Aria.jpg\n2\tout/Gigue.jpg\n"_ba << 1
        << QStringList(u"Aria3.jpg"_s) << asMade
        << "3\tAria\texists: out/Aria3.jpg is there already; not replaced without --overwrite\n" +
               notExported;
    QTest::newRow("--overwrite replaces it")
        << QStringList(u"--overwrite"_s)
        << "1\tout/Aria.jpg\n2\tout/Gigue.jpg\n3\tout/Aria3.jpg\n"_ba << 0
        << QStringList(u"Aria3.jpg"_s) << asMade << ""_ba;
    QTest::newRow("a link out of the folder is not followed")
        << QStringList({u"--name-as"_s, u"Book "_s}) << "1\tout/Book 1.jpg\n3\tout/Book 3.jpg\n"_ba
        << 1 << QStringList(u"Book 2.jpg -> ../victim.jpg"_s) << asMade
        << "2\tGigue\texists: out/Book 2.jpg is there already; not replaced without "
           "--overwrite\n" +
               notExported;
    // The files written before the failure are told.
    QTest::newRow("a link out of the folder, --overwrite")
        << QStringList({u"--name-as"_s, u"Book "_s, u"--overwrite"_s}) << "1\tout/Book 1.jpg\n"_ba
        << 1 << QStringList(u"Book 2.jpg -> ../victim.jpg"_s) << asMade
        << "tbrtool: Cannot create file \"<dir>/out/Book 2.jpg\". A symbolic link leads out "
           "of the folder\n"_ba;
    QTest::newRow("a score without a picture")
        << QStringList({u"--id"_s, u"3"_s, u"--id"_s, u"2"_s}) << "2\tout/Gigue.jpg\n"_ba << 1
        << none << std::optional<QByteArray>()
        << "3\tAria\tno-picture: The score has no picture\n"
           "tbrtool: scores.tbr: 1 of 2 score(s) not exported\n"_ba;
    QTest::newRow("a picture of no bytes")
        << QStringList({u"--id"_s, u"3"_s}) << QByteArray() << 1 << none
        << std::optional(QByteArray())
        << "3\tAria\tempty-picture: The picture has no bytes\n"
           "tbrtool: scores.tbr: 1 of 1 score(s) not exported\n"_ba;
}

// The stored JPEG data unchanged, under the batch export's names, in the
// folder given and nowhere else; nothing there before replaced unless asked.
void TestTbrtool::exportWritesStoredBytes() {
    QFETCH(QStringList, options);
    QFETCH(QByteArray, out);
    QFETCH(int, exitCode);
    QFETCH(QStringList, existing);
    QFETCH(std::optional<QByteArray>, third);
    QFETCH(QByteArray, err);

    const QByteArray aria = TestFiles::jpeg(30, 20), gigue = TestFiles::jpeg(20, 30, Qt::blue),
                     again = TestFiles::jpeg(10, 10, Qt::green);
    TestFiles::makeLibrary(library(), {{u"Aria"_s, aria},
                                       {u"Gigue"_s, TestFiles::withOldHeader(gigue)},
                                       {u"Aria"_s, third == "as made" ? again : third}});
    QVERIFY(QDir().mkdir(path(u"out"_s)));
    QStringList expected = {u"out/"_s, u"scores.tbr"_s};
    for (const QString& entry : existing) {
        const QStringList link = entry.split(u" -> "_s);
        if (link.size() == 2)
            QVERIFY(QFile::link(link[1], path(u"out/"_s + link[0])));
        else
            TestFiles::writeFile(path(u"out/"_s + entry), "there before");
        expected.append(u"out/"_s + link[0]);
    }
    const Run run =
        tbrtool(QStringList({u"export"_s, u"scores.tbr"_s, u"out"_s}) + options, m_dir->path());
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.out, out);
    const QHash<qint64, QByteArray> stored = {{1, aria}, {2, gigue}, {3, again}};
    for (const QByteArray& line : out.split('\n')) {
        if (line.isEmpty())
            continue;
        const QList<QByteArray> fields = line.split('\t');
        QCOMPARE(TestFiles::readFile(path(QString::fromUtf8(fields[1]))),
                 stored.value(fields[0].toLongLong()));
        if (!expected.contains(QString::fromUtf8(fields[1])))
            expected.append(QString::fromUtf8(fields[1]));
    }
    expected.sort();
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), expected);
    for (const QString& entry : existing)
        if (!entry.contains(u" -> "_s) && !out.contains("out/" + entry.toUtf8()))
            QCOMPARE(TestFiles::readFile(path(u"out/"_s + entry)), "there before"_ba);
    if (!err.isNull())
        QCOMPARE(run.err, err.replace("<dir>", m_dir->path().toUtf8()));
    else
        QVERIFY2(run.err.startsWith("tbrtool: "), run.err.constData());
}

void TestTbrtool::fullDiskLeavesNoHalfFile_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("left"); // besides the library and the folder

    QTest::newRow("export") << QStringList({u"export"_s, u"scores.tbr"_s, u"out"_s})
                            << QStringList(u"out/Aria.jpg"_s);
    QTest::newRow("backup") << QStringList({u"backup"_s, u"scores.tbr"_s, u"out/copy.tbr"_s})
                            << QStringList();
}

// A file size limit stands in for a full disk: the failure is told, and no
// file is left that is not whole.
void TestTbrtool::fullDiskLeavesNoHalfFile() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, left);

    const QByteArray small = TestFiles::jpeg(8, 8);
    QImage noise(400, 400, QImage::Format_RGB32);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x ^ y) & 0xff, y % 256));
    QByteArray large;
    QBuffer buffer(&large);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(noise.save(&buffer, "JPG", 95));
    TestFiles::makeLibrary(library(), {{u"Aria"_s, small}, {u"Gigue"_s, large}});
    QVERIFY(QDir().mkdir(path(u"out"_s)));
    const rlim_t limit = rlim_t(large.size() / 2);
    QVERIFY(limit > rlim_t(small.size()));

    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.setChildProcessModifier([limit] {
        // Writing past the limit fails with "File too large" instead of a signal.
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit size{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &size);
    });
    process.start(QStringLiteral(TBRTOOL_PATH), arguments);
    QVERIFY(process.waitForFinished(60'000));
    QCOMPARE(process.exitCode(), 1);
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.contains("File too large"), error.constData());
    QStringList expected = QStringList({u"out/"_s, u"scores.tbr"_s}) + left;
    expected.sort();
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), expected);
    for (const QString& file : left)
        QCOMPARE(TestFiles::readFile(path(file)), small);
}

void TestTbrtool::everyCommandRefusesWhatIsNoLibrary_data() {
    QTest::addColumn<QStringList>("arguments"); // LIB: the file
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("error");

    const QList<QStringList> commands = {
        {u"list"_s, u"LIB"_s},
        {u"find"_s, u"LIB"_s, u"a"_s},
        {u"info"_s, u"LIB"_s},
        {u"add"_s, u"LIB"_s, u"page.jpg"_s},
        {u"remove"_s, u"LIB"_s, u"1"_s},
        {u"rename"_s, u"LIB"_s, u"1"_s, u"x"_s},
        {u"clone"_s, u"LIB"_s, u"new.tbr"_s},
        {u"check"_s, u"LIB"_s},
        {u"backup"_s, u"LIB"_s, u"copy.tbr"_s},
        {u"export"_s, u"LIB"_s, u"."_s},
    };
    const QList<std::pair<QString, QByteArray>> kinds = {
        {u"missing"_s, "no such library file"},
        {u"text file"_s, "file is not a database"},
        {u"database of another table"_s, "no such table: pictures"},
        {u"named pipe"_s, "Not a regular file"},
        {u"link to an endless device"_s, "Not a regular file"},
        {u"folder"_s, "Is a directory"},
    };
    for (const QStringList& command : commands)
        for (const auto& [kind, error] : kinds)
            QTest::addRow("%s, %s", qPrintable(command[0]), qPrintable(kind))
                << command << kind << error;
}

// Each a message naming the file, exit 1, nothing made or changed, and never
// a wait for a pipe's writer.
void TestTbrtool::everyCommandRefusesWhatIsNoLibrary() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, kind);
    QFETCH(QByteArray, error);

    const QString file = path(u"scores.tbr"_s);
    if (kind == u"text file")
        TestFiles::writeFile(file, "a shopping list\n"_ba.repeated(100));
    else if (kind == u"database of another table")
        TestFiles::execute(file, u"create table songs (title TEXT)"_s);
    else if (kind == u"named pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0644), 0);
    else if (kind == u"link to an endless device")
        QVERIFY(QFile::link(u"/dev/zero"_s, file));
    else if (kind == u"folder")
        QVERIFY(QDir().mkdir(file));
    TestFiles::writeFile(path(u"page.jpg"_s), TestFiles::jpeg(8, 8));
    const QStringList before = TestFiles::entriesBelow(m_dir->path());
    const QByteArray content = QFileInfo(file).isFile() ? TestFiles::readFile(file) : QByteArray();

    const Run run = tbrtool(arguments.replaceInStrings(u"LIB"_s, u"scores.tbr"_s), m_dir->path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.startsWith("tbrtool: scores.tbr: "), run.err.constData());
    QVERIFY2(run.err.contains(error), run.err.constData());
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
    if (QFileInfo(file).isFile())
        QCOMPARE(TestFiles::readFile(file), content);
}

void TestTbrtool::lockedLibraryIsWaitedFor_data() {
    QTest::addColumn<bool>("released");

    QTest::newRow("lock let go") << true;
    QTest::newRow("lock kept") << false;
}

// Another program holding the library is waited for, as long as the window
// waits; then the engine's own words.
void TestTbrtool::lockedLibraryIsWaitedFor() {
    QFETCH(bool, released);

    TestFiles::makeLibrary(library(), {{u"Aria"_s, TestFiles::jpeg(4, 4)}});
    TestFiles::writeFile(path(u"Gigue.jpg"_s), TestFiles::jpeg(8, 8));
    // Read before the lock is taken: closing the file in this process would
    // let the lock go.
    const QByteArray before = TestFiles::readFile(library());
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open(library().toUtf8().constData(), &db), SQLITE_OK);
    auto closing = qScopeGuard([db] { sqlite3_close(db); });
    QCOMPARE(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);

    QProcess process;
    process.start(QStringLiteral(TBRTOOL_PATH), {u"add"_s, library(), path(u"Gigue.jpg"_s)});
    QVERIFY(process.waitForStarted());
    // Turned away, it waits for the lock.
    QVERIFY(waitUntilAsleep(pid_t(process.processId())));
    if (released)
        QCOMPARE(sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr), SQLITE_OK);
    QVERIFY(process.waitForFinished(60'000));
    closing.dismiss();
    sqlite3_close(db);
    if (released) {
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(namesByRowId(library(), 2), QStringList({u"Aria"_s, u"Gigue"_s}));
        return;
    }
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardError(),
             "tbrtool: " + library().toUtf8() + ": database is locked\n");
    QCOMPARE(TestFiles::readFile(library()), before);
}

void TestTbrtool::wrongArgumentsPrintUsage_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("shown");

    const QByteArrayList everyForm = {
        "create LIB",
        "clone TEMPLATE LIB",
        "add LIB FILE... [--name NAME]",
        "list LIB [--json] [-0]",
        "find LIB WORD [--json] [-0]",
        "info LIB",
        "remove LIB ID...",
        "rename LIB ID NAME",
        "check LIB [--json]",
        "backup LIB DEST",
        "export LIB DIR [--find WORD] [--id N] [--name-as TEXT] [--overwrite]"};
    QTest::newRow("nothing") << QStringList() << everyForm;
    QTest::newRow("unknown command") << QStringList({u"frobnicate"_s, u"x.tbr"_s}) << everyForm;
    QTest::newRow("create two files")
        << QStringList({u"create"_s, u"a.tbr"_s, u"b.tbr"_s}) << QByteArrayList({"create LIB"});
    QTest::newRow("add without picture")
        << QStringList({u"add"_s, u"a.tbr"_s}) << QByteArrayList({"add LIB FILE..."});
    QTest::newRow("add a name for two pictures")
        << QStringList({u"add"_s, u"a.tbr"_s, u"p.jpg"_s, u"q.jpg"_s, u"--name"_s, u"n"_s})
        << QByteArrayList({"--name names one picture, not 2", "add LIB FILE..."});
    QTest::newRow("add a name without its value")
        << QStringList({u"add"_s, u"a.tbr"_s, u"p.jpg"_s, u"--name"_s})
        << QByteArrayList({"Missing value after '--name'"});
    QTest::newRow("list without file") << QStringList(u"list"_s) << QByteArrayList({"list LIB"});
    QTest::newRow("list in two forms") << QStringList({u"list"_s, u"--json"_s, u"-0"_s, u"a.tbr"_s})
                                       << QByteArrayList({"--json and -0 do not go together"});
    QTest::newRow("unknown option") << QStringList({u"list"_s, u"--all"_s, u"a.tbr"_s})
                                    << QByteArrayList({"Unknown option 'all'", "list LIB"});
    QTest::newRow("remove by name") << QStringList({u"remove"_s, u"a.tbr"_s, u"Aria"_s})
                                    << QByteArrayList({"not a row id: Aria", "remove LIB ID..."});
    QTest::newRow("export by a word and by ids")
        << QStringList({u"export"_s, u"a.tbr"_s, u"."_s, u"--find"_s, u"a"_s, u"--id"_s, u"1"_s})
        << QByteArrayList({"--find and --id do not go together", "export LIB DIR"});
    QTest::newRow("export by a name as id")
        << QStringList({u"export"_s, u"a.tbr"_s, u"."_s, u"--id"_s, u"Aria"_s})
        << QByteArrayList({"not a row id: Aria", "export LIB DIR"});
    QTest::newRow("backup without its copy")
        << QStringList({u"backup"_s, u"a.tbr"_s}) << QByteArrayList({"backup LIB DEST"});
}

void TestTbrtool::wrongArgumentsPrintUsage() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, shown);

    const Run run = tbrtool(arguments, m_dir->path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QVERIFY2(run.err.contains("usage: tbrtool "), run.err.constData());
    for (const QByteArray& text : shown)
        QVERIFY2(run.err.contains(text), run.err.constData());
    // Nothing was made in the working directory.
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

void TestTbrtool::helpAndVersion_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("shown");

    const QByteArrayList everyForm = {
        "create LIB", "clone TEMPLATE LIB", "add LIB FILE...",    "list LIB", "find LIB WORD",
        "info LIB",   "remove LIB ID...",   "rename LIB ID NAME", "--help",   "--version",
        "check LIB",  "backup LIB DEST",    "export LIB DIR"};
    QTest::newRow("help") << QStringList(u"--help"_s) << everyForm;
    QTest::newRow("short help") << QStringList(u"-h"_s) << everyForm;
    QTest::newRow("help on add") << QStringList({u"add"_s, u"--help"_s})
                                 << QByteArrayList({"add LIB FILE...", "--name <NAME>"});
    QTest::newRow("help on list") << QStringList({u"list"_s, u"-h"_s})
                                  << QByteArrayList({"list LIB", "--json", "-0"});
    QTest::newRow("help beside wrong arguments")
        << QStringList({u"create"_s, u"a.tbr"_s, u"b.tbr"_s, u"-h"_s})
        << QByteArrayList({"create LIB"});
    const QByteArrayList version = {"tbrtool " TAMBLOR_VERSION "\n"};
    QTest::newRow("version") << QStringList(u"--version"_s) << version;
    QTest::newRow("short version") << QStringList(u"-v"_s) << version;
}

// Asked for, help and the version are the output, not an error.
void TestTbrtool::helpAndVersion() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArrayList, shown);

    const Run run = tbrtool(arguments, m_dir->path());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.err, QByteArray());
    for (const QByteArray& text : shown)
        QVERIFY2(run.out.contains(text), run.out.constData());
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

QTEST_GUILESS_MAIN(TestTbrtool)
#include "tst_tbrtool.moc"
