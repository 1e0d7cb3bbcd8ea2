// The names the batch export gives its files, against a real folder.

#include "exportnames.h"
#include "failure.h"
#include "libraryfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace {

enum class Rule { ScoreName, CommonName };
} // namespace

Q_DECLARE_METATYPE(Rule)

class TestExportNames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();

    void scoreNames_data();
    void scoreNames();
    void commonNames_data();
    void commonNames();
    void nextFreeName_data();
    void nextFreeName();
    void slashIsNoFileName_data();
    void slashIsNoFileName();
    void rootFolderGetsOneSeparator();

private:
    // Makes each entry in the target folder; one ending in "/" is a folder.
    void make(const QStringList& entries) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_folder; // the target, one level below m_dir
};

void TestExportNames::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_folder = m_dir->filePath(u"target"_s);
    QVERIFY(QDir().mkdir(m_folder));
}

void TestExportNames::make(const QStringList& entries) const {
    for (const QString& entry : entries) {
        const QString path = m_folder + u'/' + entry;
        if (entry.endsWith(u'/'))
            QVERIFY(QDir().mkpath(path));
        else
            TestFiles::writeFile(path, "old");
    }
}

void TestExportNames::scoreNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<int>("pass");
    QTest::addColumn<QString>("expected");

    QTest::newRow("free name") << u"x"_s << QStringList() << 2 << u"x.jpg"_s;
    QTest::newRow("taken name gets the pass")
        << u"x"_s << QStringList{u"x.jpg"_s} << 5 << u"x5.jpg"_s;
    // Only the plain name is looked at: a numbered file in the way is replaced.
    QTest::newRow("numbered name taken too")
        << u"x"_s << QStringList{u"x.jpg"_s, u"x5.jpg"_s} << 5 << u"x5.jpg"_s;
    QTest::newRow("only the numbered name taken")
        << u"x"_s << QStringList{u"x3.jpg"_s} << 3 << u"x.jpg"_s;
    QTest::newRow("name taken by a folder")
        << u"x"_s << QStringList{u"x.jpg/"_s} << 1 << u"x1.jpg"_s;
    QTest::newRow("pass 9") << u"x"_s << QStringList{u"x.jpg"_s} << 9 << u"x9.jpg"_s;
    QTest::newRow("pass 10") << u"x"_s << QStringList{u"x.jpg"_s} << 10 << u"x10.jpg"_s;
    QTest::newRow("pass 1000") << u"x"_s << QStringList{u"x.jpg"_s} << 1000 << u"x1000.jpg"_s;
    QTest::newRow("empty name") << QString() << QStringList() << 1 << u".jpg"_s;
    QTest::newRow("empty name taken") << QString() << QStringList{u".jpg"_s} << 4 << u"4.jpg"_s;
    QTest::newRow("blanks and CJK kept")
        << u" 月亮 代表 "_s << QStringList() << 1 << u" 月亮 代表 .jpg"_s;
    QTest::newRow("extension in the name") << u"x.jpg"_s << QStringList() << 1 << u"x.jpg.jpg"_s;
    QTest::newRow("case matters") << u"x"_s << QStringList{u"X.jpg"_s} << 2 << u"x.jpg"_s;
    // "." and ".." are names like any other once ".jpg" follows.
    QTest::newRow("dot") << u"."_s << QStringList() << 1 << u"..jpg"_s;
    QTest::newRow("dot taken") << u"."_s << QStringList{u"..jpg"_s} << 2 << u".2.jpg"_s;
    QTest::newRow("dot dot") << u".."_s << QStringList() << 1 << u"...jpg"_s;
    QTest::newRow("dot dot taken") << u".."_s << QStringList{u"...jpg"_s} << 7 << u"..7.jpg"_s;
}

void TestExportNames::scoreNames() {
    QFETCH(QString, name);
    QFETCH(QStringList, existing);
    QFETCH(int, pass);
    QFETCH(QString, expected);
    make(existing);
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    const QString path = ExportNames::forScoreName(m_folder, name, pass);
    QCOMPARE(path, m_folder + u'/' + expected);
    QCOMPARE(QFileInfo(path).absolutePath(), m_folder);
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

void TestExportNames::commonNames_data() {
    QTest::addColumn<QString>("common");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<int>("pass");
    QTest::addColumn<QString>("expected");

    QTest::newRow("untouched text")
        << u"输入公用名"_s << QStringList() << 1 << u"输入公用名1.jpg"_s;
    QTest::newRow("numbered file exists") << u"c"_s << QStringList{u"c2.jpg"_s} << 2 << u"c2.jpg"_s;
    QTest::newRow("plain file exists") << u"c"_s << QStringList{u"c.jpg"_s} << 3 << u"c3.jpg"_s;
    QTest::newRow("pass 9") << u"c"_s << QStringList() << 9 << u"c9.jpg"_s;
    QTest::newRow("pass 10") << u"c"_s << QStringList() << 10 << u"c10.jpg"_s;
    QTest::newRow("empty") << QString() << QStringList() << 1 << u"1.jpg"_s;
    QTest::newRow("empty, pass 12") << QString() << QStringList{u"12.jpg"_s} << 12 << u"12.jpg"_s;
    QTest::newRow("dot") << u"."_s << QStringList() << 1 << u".1.jpg"_s;
    QTest::newRow("dot dot") << u".."_s << QStringList() << 2 << u"..2.jpg"_s;
}

void TestExportNames::commonNames() {
    QFETCH(QString, common);
    QFETCH(QStringList, existing);
    QFETCH(int, pass);
    QFETCH(QString, expected);
    make(existing);
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    const QString path = ExportNames::forCommonName(m_folder, common, pass);
    QCOMPARE(path, m_folder + u'/' + expected);
    QCOMPARE(QFileInfo(path).absolutePath(), m_folder);
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

void TestExportNames::nextFreeName_data() {
    QTest::addColumn<QString>("taken"); // the name the run wrote
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");

    QTest::newRow("the first") << u"x3.jpg"_s << QStringList{u"x3.jpg"_s} << u"x3_2.jpg"_s;
    QTest::newRow("past a file and a folder")
        << u"x3.jpg"_s << QStringList{u"x3.jpg"_s, u"x3_2.jpg"_s, u"x3_3.jpg/"_s} << u"x3_4.jpg"_s;
    QTest::newRow("a name of the extension alone")
        << u".jpg"_s << QStringList{u".jpg"_s} << u"_2.jpg"_s;
    // Left for the writing to refuse, rather than looked for without end.
    const QString longest = QString(251, u'n');
    QTest::newRow("too long to look at")
        << longest + u".jpg"_s << QStringList{longest + u".jpg"_s} << longest + u"_2.jpg"_s;
}

void TestExportNames::nextFreeName() {
    QFETCH(QString, taken);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    make(existing);
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    QCOMPARE(ExportNames::nextFree(m_folder + u'/' + taken), m_folder + u'/' + expected);
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

void TestExportNames::slashIsNoFileName_data() {
    QTest::addColumn<Rule>("rule");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("pass");
    QTest::addColumn<QString>("reported"); // below the target folder

    // The subfolder "sub" exists and holds sub/x.jpg, so a path into it could be written.
    QTest::newRow("score name into a subfolder")
        << Rule::ScoreName << u"sub/x"_s << 2 << u"sub/x.jpg"_s;
    QTest::newRow("score name into a folder to be made")
        << Rule::ScoreName << u"new/x"_s << 2 << u"new/x.jpg"_s;
    QTest::newRow("score name into the parent")
        << Rule::ScoreName << u"../x"_s << 1 << u"../x.jpg"_s;
    QTest::newRow("absolute score name") << Rule::ScoreName << u"/tmp/x"_s << 1 << u"/tmp/x.jpg"_s;
    QTest::newRow("score name of a slash") << Rule::ScoreName << u"/"_s << 3 << u"/.jpg"_s;
    QTest::newRow("score name ending in a slash")
        << Rule::ScoreName << u"sub/"_s << 3 << u"sub/.jpg"_s;
    // A NUL would cut the name short where the system reads it.
    QTest::newRow("score name holding a NUL")
        << Rule::ScoreName << u"x"_s + QChar(0) + u"y"_s << 1 << u"x"_s + QChar(0) + u"y.jpg"_s;
    QTest::newRow("common name into a subfolder")
        << Rule::CommonName << u"sub/"_s << 4 << u"sub/4.jpg"_s;
    QTest::newRow("common name into the parent")
        << Rule::CommonName << u"../c"_s << 1 << u"../c1.jpg"_s;
}

void TestExportNames::slashIsNoFileName() {
    QFETCH(Rule, rule);
    QFETCH(QString, name);
    QFETCH(int, pass);
    QFETCH(QString, reported);
    make({u"sub/"_s, u"sub/x.jpg"_s});
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    const Failure failure = failureOf([&] {
        if (rule == Rule::ScoreName)
            ExportNames::forScoreName(m_folder, name, pass);
        else
            ExportNames::forCommonName(m_folder, name, pass);
    });
    QCOMPARE(failure.kind, u"FileError"_s);
    const QString opening = u"Cannot create file \""_s + m_folder + u'/' + reported + u"\". "_s;
    QVERIFY2(failure.message.startsWith(opening), qPrintable(failure.message));
    // The reason, after the path, says why: it is not left blank.
    QVERIFY2(!failure.message.sliced(opening.size()).trimmed().isEmpty(),
             qPrintable(failure.message));
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

// At the root the separator is not doubled.
void TestExportNames::rootFolderGetsOneSeparator() {
    const QString name = u"tamblor-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QVERIFY(!QFileInfo::exists(u"/"_s + name + u".jpg"_s));
    QCOMPARE(ExportNames::forScoreName(u"/"_s, name, 3), u"/"_s + name + u".jpg"_s);
    QCOMPARE(ExportNames::forCommonName(u"/"_s, u"c"_s, 12), u"/c12.jpg"_s);
    QCOMPARE(ExportNames::forCommonName(u"/"_s, QString(), 1), u"/1.jpg"_s);
}

QTEST_GUILESS_MAIN(TestExportNames)

#include "tst_exportnames.moc"
