// tbrtool, run as a separate program the way a developer runs it.

#include "jpegpicture.h"
#include "libraryfiles.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sqlite3.h>

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
    void listPrintsNamesInStoredOrder();
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
    QCOMPARE(TestFiles::readFile(victim), before);
    QCOMPARE(tbrtool({u"list"_s, name}, m_dir->path()).exitCode, 0);
}

void TestTbrtool::addStoresJpegFileByteForByte_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("name");
    QTest::addColumn<QString>("stored");

    QTest::newRow("base name") << u"Prelude.jpg"_s << QStringList() << u"Prelude"_s;
    QTest::newRow("JPEG extension") << u"Nocturne.JPEG"_s << QStringList() << u"Nocturne"_s;
    QTest::newRow("given name") << u"scan0001.jpg"_s << QStringList(u"Gavotte, page 2"_s)
                                << u"Gavotte, page 2"_s;
    QTest::newRow("Chinese name") << u"page.jpg"_s << QStringList(u"小夜曲"_s) << u"小夜曲"_s;
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
}

void TestTbrtool::addRefusesWhatIsNotAPicture() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, error);

    TestFiles::makeLibrary(library(), {{u"already there"_s, TestFiles::jpeg(4, 4)}});
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

    const Run run = tbrtool({u"list"_s, library()});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(QString::fromUtf8(run.out), names.join(u'\n') + u'\n');

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
             names.join(u'\n') + u"\nPolonaise\n"_s);
}

void TestTbrtool::wrongArgumentsPrintUsage_data() {
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("nothing") << QStringList();
    QTest::newRow("unknown command") << QStringList({u"remove"_s, u"x.tbr"_s});
    QTest::newRow("create without file") << QStringList(u"create"_s);
    QTest::newRow("create two files") << QStringList({u"create"_s, u"a.tbr"_s, u"b.tbr"_s});
    QTest::newRow("add without picture") << QStringList({u"add"_s, u"a.tbr"_s});
    QTest::newRow("add with extra argument")
        << QStringList({u"add"_s, u"a.tbr"_s, u"p.jpg"_s, u"name"_s, u"more"_s});
    QTest::newRow("list without file") << QStringList(u"list"_s);
    QTest::newRow("list two files") << QStringList({u"list"_s, u"a.tbr"_s, u"b.tbr"_s});
    QTest::newRow("unknown option") << QStringList({u"list"_s, u"--all"_s, u"a.tbr"_s});
}

void TestTbrtool::wrongArgumentsPrintUsage() {
    QFETCH(QStringList, arguments);

    QProcess process;
    process.setWorkingDirectory(m_dir->path());
    process.start(QStringLiteral(TBRTOOL_PATH), arguments);
    QVERIFY(process.waitForFinished(60'000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QByteArray err = process.readAllStandardError();
    QVERIFY2(err.contains("usage"), err.constData());
    QVERIFY(err.contains("create FILE"));
    QVERIFY(err.contains("add FILE PICTURE [NAME]"));
    QVERIFY(err.contains("list FILE"));
    // Nothing was made in the working directory.
    QVERIFY(QDir(m_dir->path()).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty());
}

void TestTbrtool::helpAndVersion_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArrayList>("shown");

    const QByteArrayList everyForm = {"create FILE", "add FILE PICTURE [NAME]", "list FILE",
                                      "--help", "--version"};
    QTest::newRow("help") << QStringList(u"--help"_s) << everyForm;
    QTest::newRow("short help") << QStringList(u"-h"_s) << everyForm;
    QTest::newRow("help on add") << QStringList({u"add"_s, u"--help"_s})
                                 << QByteArrayList({"add FILE PICTURE [NAME]", "PICTURE"});
    QTest::newRow("help beside wrong arguments")
        << QStringList({u"create"_s, u"a.tbr"_s, u"b.tbr"_s, u"-h"_s})
        << QByteArrayList({"create FILE"});
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
