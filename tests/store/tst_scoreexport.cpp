// Exporting a library's scores into a folder without a window: which scores,
// the files' names and bytes, and names or folders that would lead elsewhere.

#include "childprocess.h"
#include "errors.h"
#include "failure.h"
#include "jpegpicture.h"
#include "libraryfiles.h"
#include "scoreexport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <thread>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

// A picture of its own for each score, with bytes after the end marker that
// belong to it and must reach the file too.
QByteArray pictureOf(int i) {
    return TestFiles::jpeg(20 + i, 12, QColor::fromHsv((i * 53) % 360, 200, 220)) + "tail " +
           QByteArray::number(i);
}

QString described(const Failure& failure) {
    return failure.kind + u": "_s + failure.message;
}

// Scores held in memory as a run passes them: the passes it read, heard of
// and was told were written, and whether it was told on its own thread.
class HeldScores : public ExportScores {
public:
    HeldScores(QStringList names, QList<QByteArray> pictures)
        : m_names(std::move(names)), m_pictures(std::move(pictures)) {}
    int count() const override { return int(m_names.size()); }
    QString name(int pass) const override { return m_names[pass - 1]; }
    QByteArrayView jpeg(int pass, QByteArray& buffer) override {
        read << pass;
        buffer = m_pictures[pass - 1];
        JpegCodec::readHeader(buffer);
        return buffer;
    }
    void written(int pass, const QString& file) override {
        told << pass;
        files << QFileInfo(file).fileName();
        toldElsewhere |= std::this_thread::get_id() != m_caller;
    }
    void passedOver(int pass, PassedOver, const QString&) override { told << -pass; }

    QList<int> read, heard, told;
    QStringList files;
    bool toldElsewhere = false;

private:
    QStringList m_names;
    QList<QByteArray> m_pictures;
    std::thread::id m_caller = std::this_thread::get_id();
};

QList<int> passesTo(int last) {
    QList<int> passes;
    for (int pass = 1; pass <= last; ++pass)
        passes << pass;
    return passes;
}

} // namespace

class TestScoreExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void init();
    void cleanup() { m_dir.reset(); }

    void takesTheSelectedScores_data();
    void takesTheSelectedScores();
    void writesTheStoredBytes();
    void namesStayInTheFolder_data();
    void namesStayInTheFolder();
    void unreadablePictureStopsTheRun();
    void failureStopsTheWriting_data();
    void failureStopsTheWriting();
    void progressThatThrowsEndsTheRun_data();
    void progressThatThrowsEndsTheRun();
    void refusesBeforeWriting_data();
    void refusesBeforeWriting();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString library() const { return path(u"scores.tbr"_s); }
    QString out(const QString& name = {}) const { return path(u"out/"_s + name); }
    // A library of scores named `names`, each with its own picture (returned in order).
    QList<QByteArray> makeScores(const QStringList& names) const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestScoreExport::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir(m_dir->path()).mkdir(u"out"_s));
}

QList<QByteArray> TestScoreExport::makeScores(const QStringList& names) const {
    QList<Record> records;
    QList<QByteArray> pictures;
    for (int i = 0; i < names.size(); ++i) {
        pictures << pictureOf(i);
        records.append({names[i], pictures.last()});
    }
    TestFiles::makeLibrary(library(), records);
    return pictures;
}

void TestScoreExport::takesTheSelectedScores_data() {
    QTest::addColumn<QStringList>("names"); // rowids 1, 2, ...
    QTest::addColumn<ScoreSelection>("selection");
    QTest::addColumn<QString>("common"); // null: the scores' own names
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QList<qint64>>("exported"); // the rowids, in pass order

    const QStringList abc{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("all, own names, a name taken")
        << QStringList{u"a"_s, u"x"_s, u"b"_s, u"x"_s} << ScoreSelection::all() << QString()
        << QStringList{u"a.jpg"_s, u"x.jpg"_s, u"b.jpg"_s, u"x4.jpg"_s}
        << QList<qint64>{1, 2, 3, 4};
    QTest::newRow("names holding a word, in any case")
        << QStringList{u"keep one"_s, u"drop"_s, u"to keep"_s, u"KEEP"_s}
        << ScoreSelection::nameContaining(u"keep"_s) << QString()
        << QStringList{u"keep one.jpg"_s, u"to keep.jpg"_s, u"KEEP.jpg"_s}
        << QList<qint64>{1, 3, 4};
    QTest::newRow("a word found nowhere") << abc << ScoreSelection::nameContaining(u"zz"_s)
                                          << QString() << QStringList{} << QList<qint64>{};
    QTest::newRow("row ids in the order given")
        << abc << ScoreSelection::ids({3, 1}) << QString() << QStringList{u"c.jpg"_s, u"a.jpg"_s}
        << QList<qint64>{3, 1};
    QTest::newRow("a row id twice") << abc << ScoreSelection::ids({2, 2}) << QString()
                                    << QStringList{u"b.jpg"_s, u"b2.jpg"_s} << QList<qint64>{2, 2};
    // Pass 3 finds x.jpg taken and then x3.jpg, which pass 2 wrote.
    QTest::newRow("a file the run wrote is never replaced")
        << QStringList{u"x"_s, u"x3"_s, u"x"_s} << ScoreSelection::all() << QString()
        << QStringList{u"x.jpg"_s, u"x3.jpg"_s, u"x3_2.jpg"_s} << QList<qint64>{1, 2, 3};
    QTest::newRow("common name numbered by pass")
        << abc << ScoreSelection::ids({3, 1}) << u"page"_s
        << QStringList{u"page1.jpg"_s, u"page2.jpg"_s} << QList<qint64>{3, 1};
}

void TestScoreExport::takesTheSelectedScores() {
    QFETCH(QStringList, names);
    QFETCH(ScoreSelection, selection);
    QFETCH(QString, common);
    QFETCH(QStringList, files);
    QFETCH(QList<qint64>, exported);
    const QList<QByteArray> pictures = makeScores(names);
    const QByteArray before = TestFiles::readFile(library());

    const QList<ExportedScore> done =
        exportLibraryScores(library(), out(), selection, {common.isNull(), common});
    QCOMPARE(done.size(), files.size());
    for (qsizetype pass = 0; pass < done.size(); ++pass) {
        const qsizetype index = exported[pass] - 1;
        QCOMPARE(done[pass].rowId, exported[pass]);
        QCOMPARE(done[pass].name, names[index]);
        QCOMPARE(done[pass].file, out(files[pass]));
        QCOMPARE(done[pass].bytes, pictures[index].size());
        QCOMPARE(TestFiles::readFile(out(files[pass])), pictures[index]);
    }
    QStringList sorted = files;
    sorted.sort();
    QCOMPARE(TestFiles::entriesBelow(out()), sorted);
    QCOMPARE(TestFiles::readFile(library()), before);
}

// Byte for byte as stored, the older stored form unwrapped; a score without
// a picture gives an empty file, as in the window.
void TestScoreExport::writesTheStoredBytes() {
    const QByteArray plain = pictureOf(1), old = pictureOf(2);
    TestFiles::makeLibrary(library(), {{u"plain"_s, plain},
                                       {u"old form"_s, TestFiles::withOldHeader(old)},
                                       {u"null"_s, std::nullopt},
                                       {u"empty"_s, QByteArray("")},
                                       {std::nullopt, plain}});
    const QList<ExportedScore> done =
        exportLibraryScores(library(), out(), ScoreSelection::all(), {});
    QCOMPARE(done.size(), 5);
    QCOMPARE(TestFiles::readFile(out(u"plain.jpg"_s)), plain);
    QCOMPARE(TestFiles::readFile(out(u"old form.jpg"_s)), old);
    QCOMPARE(done[1].bytes, old.size());
    QCOMPARE(TestFiles::readFile(out(u"null.jpg"_s)), QByteArray());
    QCOMPARE(TestFiles::readFile(out(u"empty.jpg"_s)), QByteArray());
    // A score without a name is named as a blank one.
    QVERIFY(done[4].name.isNull());
    QCOMPARE(TestFiles::readFile(out(u".jpg"_s)), plain);
}

void TestScoreExport::namesStayInTheFolder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("common");
    QTest::addColumn<QString>("written"); // below the folder; null: refused
    QTest::addColumn<QString>("linkTo");  // where a link in the way leads, if one is
    QTest::newRow("into the parent") << u"../b"_s << false << QString() << QString();
    QTest::newRow("a NUL") << u"a\0b"_s << false << QString() << QString();
    QTest::newRow("too long for a file name")
        << QString(300, u'n') << false << QString() << QString();
    QTest::newRow("common name into the parent") << u"../c"_s << true << QString() << QString();
    QTest::newRow("dot dot") << u".."_s << false << u"...jpg"_s << QString();
    QTest::newRow("blank") << u""_s << false << u".jpg"_s << QString();
    QTest::newRow("a link out to nothing yet")
        << u"p"_s << false << QString() << u"../victim.jpg"_s;
    // The common name, since a score's own name would turn from a file there
    // to a numbered one.
    QTest::newRow("a link out to the library") << u"p"_s << true << QString() << u"../scores.tbr"_s;
    QTest::newRow("a link through the folder and out")
        << u"p"_s << false << QString() << u"../out/../victim.jpg"_s;
}

void TestScoreExport::namesStayInTheFolder() {
    QFETCH(QString, name);
    QFETCH(bool, common);
    QFETCH(QString, written);
    QFETCH(QString, linkTo);
    TestFiles::makeLibrary(library(), {{common ? u"score"_s : name, pictureOf(0)}});
    if (!linkTo.isNull())
        QVERIFY(QFile::link(linkTo, out(name + (common ? u"1.jpg"_s : u".jpg"_s))));
    const QStringList before = TestFiles::entriesBelow(m_dir->path());
    const QByteArray stored = TestFiles::readFile(library());

    const Failure failure = failureOf([&] {
        exportLibraryScores(library(), out(), ScoreSelection::all(), {!common, name});
    });
    QStringList after = before;
    if (written.isNull()) {
        QCOMPARE(failure.kind, u"FileError"_s);
        QVERIFY2(failure.message.startsWith(u"Cannot create file \""_s + out()),
                 qPrintable(failure.message));
    } else {
        QCOMPARE(described(failure), u"none: "_s);
        QCOMPARE(TestFiles::readFile(out(written)), pictureOf(0));
        after << u"out/"_s + written;
        after.sort();
    }
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), after);
    QCOMPARE(TestFiles::readFile(library()), stored);
}

// The run stops at the picture that is no JPEG data: the files before it
// stay, nothing else is left, not even half a file.
void TestScoreExport::unreadablePictureStopsTheRun() {
    TestFiles::makeLibrary(library(), {{u"one"_s, pictureOf(0)},
                                       {u"two"_s, QByteArray("not a picture")},
                                       {u"three"_s, pictureOf(2)}});
    const Failure failure =
        failureOf([&] { exportLibraryScores(library(), out(), ScoreSelection::all(), {}); });
    QCOMPARE(failure.kind, u"JpegError"_s);
    QCOMPARE(TestFiles::entriesBelow(out()), QStringList{u"one.jpg"_s});
    QCOMPARE(TestFiles::readFile(out(u"one.jpg"_s)), pictureOf(0));
}

// Pictures are read while the files before them are still being written; a
// failure still ends the run at its own score, whatever was read beyond it:
// nothing after it is written, heard of or told, and no picture is read past
// one that cannot be.
void TestScoreExport::failureStopsTheWriting_data() {
    QTest::addColumn<QString>("name3");
    QTest::addColumn<QByteArray>("picture3");
    QTest::addColumn<bool>("common");
    QTest::addColumn<bool>("folderInTheWay"); // a folder named s3.jpg
    QTest::addColumn<QString>("failure");     // "none" when every score is written
    const QByteArray good = pictureOf(3), bad = "not a picture";
    QTest::newRow("every score") << u"s3"_s << good << false << false << u"none"_s;
    QTest::newRow("a name that is no file name")
        << u"x/y"_s << good << false << false << u"FileError"_s;
    QTest::newRow("a picture that is no JPEG data")
        << u"s3"_s << bad << false << false << u"JpegError"_s;
    QTest::newRow("its own name fails before its picture")
        << u"x/y"_s << bad << false << false << u"FileError"_s;
    QTest::newRow("a common name, its picture fails")
        << u"s3"_s << bad << true << false << u"JpegError"_s;
    QTest::newRow("a file that cannot be written")
        << u"s3"_s << good << true << true << u"FileError"_s;
}

void TestScoreExport::failureStopsTheWriting() {
    QFETCH(QString, name3);
    QFETCH(QByteArray, picture3);
    QFETCH(bool, common);
    QFETCH(bool, folderInTheWay);
    QFETCH(QString, failure);
    QStringList names;
    QList<QByteArray> pictures;
    for (int pass = 1; pass <= 12; ++pass) {
        names << (pass == 3 ? name3 : u"s"_s + QString::number(pass));
        pictures << (pass == 3 ? picture3 : pictureOf(pass));
    }
    if (folderInTheWay)
        QVERIFY(QDir(out()).mkdir(u"s3.jpg"_s));
    HeldScores scores(names, pictures);

    const Failure failed = failureOf([&] {
        exportScores(scores, out(), {!common, u"s"_s},
                     [&](int pass, int count) { scores.heard << pass * (count == 12 ? 1 : -1); });
    });
    QCOMPARE(failed.kind, failure);
    const int writtenTo = failure == u"none"_s ? 12 : 2;
    QCOMPARE(scores.told, passesTo(writtenTo));
    QCOMPARE(scores.heard, passesTo(qMin(writtenTo + 1, 12)));
    QVERIFY(!scores.toldElsewhere);
    if (failure == u"JpegError"_s)
        QCOMPARE(scores.read, passesTo(3));
    QStringList files = scores.files;
    if (folderInTheWay)
        files << u"s3.jpg/"_s;
    files.sort();
    QCOMPARE(TestFiles::entriesBelow(out()), files);
    for (int pass = 1; pass <= writtenTo; ++pass)
        QCOMPARE(TestFiles::readFile(out(scores.files[pass - 1])), pictures[pass - 1]);
}

// A progress that fails (the window's, out of memory) ends the run where it
// fails, the writing thread with it, and the failure reaches the caller. The
// files written stay, whole: those told, and any the writing had finished or
// was finishing meanwhile, never one after a gap.
void TestScoreExport::progressThatThrowsEndsTheRun_data() {
    QTest::addColumn<int>("failingPass");
    QTest::newRow("the first") << 1;
    QTest::newRow("the third") << 3;
}

void TestScoreExport::progressThatThrowsEndsTheRun() {
    QFETCH(int, failingPass);
    QStringList names;
    QList<QByteArray> pictures;
    for (int pass = 1; pass <= 8; ++pass) {
        names << u"s"_s + QString::number(pass);
        pictures << pictureOf(pass);
    }
    HeldScores scores(names, pictures);
    const Failure failed = failureOf([&] {
        exportScores(scores, out(), {}, [&](int pass, int) {
            if (pass == failingPass)
                throw Error(u"no progress"_s);
        });
    });
    QCOMPARE(described(failed), u"Error: no progress"_s);
    QCOMPARE(scores.told, passesTo(failingPass - 1));
    const qsizetype written = TestFiles::entriesBelow(out()).size();
    QVERIFY2(written >= failingPass - 1 && written < names.size(),
             qPrintable(QString::number(written)));
    for (int pass = 1; pass <= written; ++pass)
        QCOMPARE(TestFiles::readFile(out(u"s%1.jpg"_s.arg(pass))), pictures[pass - 1]);
}

void TestScoreExport::refusesBeforeWriting_data() {
    QTest::addColumn<QString>("folder"); // below the test folder
    QTest::addColumn<QList<qint64>>("ids");
    QTest::addColumn<QString>("failure"); // "<folder>" for its full path
    QTest::newRow("a row id not in the library")
        << u"out"_s << QList<qint64>{1, 99} << u"Error: The library has no score with row id 99"_s;
    QTest::newRow("no such folder") << u"none"_s << QList<qint64>{}
                                    << u"FileError: Cannot write into folder \"<folder>\". "
                                       u"No such file or directory"_s;
    QTest::newRow("a file, not a folder")
        << u"scores.tbr"_s << QList<qint64>{}
        << u"FileError: Cannot write into folder \"<folder>\". Not a directory"_s;
    QTest::newRow("a folder the user may not write")
        << u"locked"_s << QList<qint64>{}
        << u"FileError: Cannot create file \"<folder>/a.jpg\". Permission denied"_s;
}

// Run as another user where the test runs as root, whose rights would hide
// the locked folder.
void TestScoreExport::refusesBeforeWriting() {
    QFETCH(QString, folder);
    QFETCH(QList<qint64>, ids);
    QFETCH(QString, failure);
    makeScores({u"a"_s, u"b"_s});
    QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755), 0);
    QVERIFY(QDir(m_dir->path()).mkdir(u"locked"_s));
    QCOMPARE(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0555), 0);
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    const ScoreSelection chosen = ids.isEmpty() ? ScoreSelection::all() : ScoreSelection::ids(ids);
    const Failure failed =
        inChild([&] { exportLibraryScores(library(), path(folder), chosen, {}); },
                ChildSetup{true, RLIM_INFINITY});
    QCOMPARE(described(failed), QString(failure).replace(u"<folder>"_s, path(folder)));
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

QTEST_GUILESS_MAIN(TestScoreExport)
#include "tst_scoreexport.moc"
