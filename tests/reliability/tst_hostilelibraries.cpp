// Library files from anywhere: odd schemas, odd values, hostile triggers and
// views, and a thousand damaged copies. Opening and browsing either works or
// fails with an error of the engine or the record set; never a crash, and
// never a write to the file or beside it.

#include "connection.h"
#include "errors.h"
#include "libraryfiles.h"
#include "recordset.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <random>
#include <tuple>

#include <sqlite3.h>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

struct Browsed {
    QStringList names;
    int pictures = 0;   // shown
    QStringList errors; // reported
};

// Opens the library through the store and steps through every record the
// way the main window does: the name, then the picture decoded for display.
Browsed browse(const QString& path) {
    Browsed seen;
    try {
        Connection connection;
        connection.SetDatabase(path);
        RecordSet records(connection);
        records.Open();
        for (int row = 0; row < records.RecordCount(); ++row, records.Next()) {
            seen.names << records.CurrentName();
            try {
                Field& picture = records.FieldByName(u"picture"_s);
                if (!picture.IsNull()) {
                    picture.LoadPicture().toImage(QSize(459, 355));
                    ++seen.pictures;
                }
            } catch (const Error& e) {
                seen.errors << e.message();
            }
        }
    } catch (const Error& e) {
        seen.errors << e.message();
    }
    return seen;
}

QByteArray jpeg() {
    return TestFiles::jpeg(40, 30, Qt::darkRed);
}

int sideEffects = 0;
void touch(sqlite3_context* context, int, sqlite3_value**) {
    ++sideEffects;
    sqlite3_result_null(context);
}

} // namespace

class TestHostileLibraries : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }

    void oddButSoundLibrariesBrowse_data();
    void oddButSoundLibrariesBrowse();
    void veryLongName();
    void schemaCannotRunOurFunctions();
    void schemaCannotLoadExtensions();
    void damagedCopiesNeverCrash();
    void columnsNamedLikeTheIdentity_data();
    void columnsNamedLikeTheIdentity();
    void endlessWorkIsStopped_data();
    void endlessWorkIsStopped();

private:
    QString path(const QString& name = u"library.tbr"_s) const { return m_dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestHostileLibraries::oddButSoundLibrariesBrowse_data() {
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("pictures");
    const QString picture = u"x'"_s + QString::fromLatin1(jpeg().toHex()) + u"'"_s;
    QTest::newRow("extra tables, views and triggers")
        << u"create table pictures (filename TEXT, picture BLOB);"
           u"create table other (x);"
           u"create view everything as select * from pictures, other;"
           u"create trigger copy after insert on pictures begin insert into other values "
           u"(new.filename); end;"
           u"insert into pictures values ('a', %1);"_s.arg(picture)
        << QStringList{u"a"_s} << 1;
    QTest::newRow("names of another type")
        << u"create table pictures (filename INTEGER, picture BLOB);"
           u"insert into pictures values (42, %1);"
           u"insert into pictures values ('text', %1);"
           u"insert into pictures values (4.5, %1);"_s.arg(picture)
        << QStringList{u"42"_s, u"text"_s, u"4.5"_s} << 3;
    QTest::newRow("null names and pictures")
        << u"create table pictures (filename TEXT, picture BLOB);"
           u"insert into pictures values (null, %1);"
           u"insert into pictures values ('no picture', null);"
           u"insert into pictures values ('empty picture', x'');"_s.arg(picture)
        << QStringList{QString(), u"no picture"_s, u"empty picture"_s} << 1;
    QTest::newRow("more columns, other order")
        << u"create table pictures (id INTEGER PRIMARY KEY, picture BLOB, note TEXT, filename "
           u"TEXT);"
           u"insert into pictures values (7, %1, 'n', 'b');"_s.arg(picture)
        << QStringList{u"b"_s} << 1;
    QTest::newRow("picture stored as text")
        << u"create table pictures (filename TEXT, picture TEXT);"
           u"insert into pictures values ('t', 'not a picture');"_s
        << QStringList{u"t"_s} << 0;
}

void TestHostileLibraries::oddButSoundLibrariesBrowse() {
    QFETCH(QString, schema);
    QFETCH(QStringList, names);
    QFETCH(int, pictures);
    TestFiles::makeLibrary(path(), {}, schema);
    const QByteArray before = TestFiles::readFile(path());
    const Browsed seen = browse(path());
    QCOMPARE(seen.names, names);
    QCOMPARE(seen.pictures, pictures);
    QCOMPARE(TestFiles::readFile(path()), before);
}

void TestHostileLibraries::veryLongName() {
    const QString name(1024 * 1024, u'谱');
    TestFiles::makeLibrary(path(), {{name, jpeg()}});
    const Browsed seen = browse(path());
    QCOMPARE(seen.names.size(), 1);
    QCOMPARE(seen.names.first().size(), name.size());
    QCOMPARE(seen.pictures, 1);
}

// A trigger in the file may not call a function with side effects, even one
// the program itself has registered.
void TestHostileLibraries::schemaCannotRunOurFunctions() {
    TestFiles::makeLibrary(path(), {{u"a"_s, jpeg()}});
    TestFiles::execute(path(),
                       u"create trigger t after insert on pictures begin select touch(); end"_s);
    Connection connection;
    connection.SetDatabase(path());
    RecordSet records(connection);
    records.Open();
    sqlite3_create_function_v2(connection.handle(), "touch", 0, SQLITE_UTF8, nullptr, touch,
                               nullptr, nullptr, nullptr);
    sideEffects = 0;
    records.Append();
    records.FieldByName(u"filename"_s).SetAsString(u"b"_s);
    QString refused;
    try {
        records.Post();
    } catch (const EngineError& e) {
        refused = e.message();
    }
    QVERIFY2(refused.contains(u"unsafe use of touch()"_s), qPrintable(refused));
    QCOMPARE(sideEffects, 0);
    QCOMPARE(TestFiles::readLibrary(path()).size(), 1);
}

void TestHostileLibraries::schemaCannotLoadExtensions() {
    const QString library = m_dir->filePath(u"library.tbr"_s);
    TestFiles::makeLibrary(library, {},
                           u"create table scores (x);"
                           u"create view pictures as select 'n' as filename, "
                           u"load_extension('/nonexistent/extension') as picture"_s);
    const Browsed seen = browse(library);
    QCOMPARE(seen.names.size(), 0);
    QCOMPARE(seen.errors.size(), 1);
    QVERIFY2(seen.errors.first().contains(u"load_extension"_s) ||
                 seen.errors.first().contains(u"not authorized"_s),
             qPrintable(seen.errors.first()));
}

// Bytes flipped anywhere in a small library: the header, the schema, the
// pages of names and of pictures.
void TestHostileLibraries::damagedCopiesNeverCrash() {
    QList<Record> records;
    for (int i = 0; i < 6; ++i)
        records << Record{u"第 %1 首"_s.arg(i),
                          TestFiles::jpeg(60 + i * 10, 40, QColor::fromHsv(i * 50, 200, 200))};
    TestFiles::makeLibrary(path(u"sound.tbr"_s), records);
    const QByteArray sound = TestFiles::readFile(path(u"sound.tbr"_s));
    std::mt19937 random(7);
    int opened = 0, failed = 0;
    const int copies = 1000;
    for (int copy = 0; copy < copies; ++copy) {
        QByteArray damaged = sound;
        const int flips = std::uniform_int_distribution<int>(1, 12)(random);
        for (int i = 0; i < flips; ++i) {
            const auto at = std::uniform_int_distribution<qsizetype>(0, damaged.size() - 1)(random);
            damaged[at] =
                char(damaged[at] ^ (1 << std::uniform_int_distribution<int>(0, 7)(random)));
        }
        const QString file = path(u"damaged.tbr"_s);
        TestFiles::writeFile(file, damaged);
        const Browsed seen = browse(file);
        ++(seen.errors.isEmpty() ? opened : failed);
        QVERIFY2(TestFiles::readFile(file) == damaged,
                 qPrintable(u"copy %1 was written to"_s.arg(copy)));
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 2); // nothing beside it
    }
    qInfo("%d damaged copies: %d browsed cleanly, %d reported errors", copies, opened, failed);
}

void TestHostileLibraries::columnsNamedLikeTheIdentity_data() {
    QTest::addColumn<QString>("columns");
    QTest::addColumn<QString>("error"); // empty: each record is its own
    QTest::newRow("rowid") << u"rowid INTEGER"_s << QString();
    QTest::newRow("rowid and oid") << u"rowid INTEGER, oid INTEGER"_s << QString();
    QTest::newRow("all three") << u"rowid INTEGER, oid INTEGER, _rowid_ INTEGER"_s
                               << u"The table pictures has columns named rowid, _rowid_ and oid, "
                                  u"so its records cannot be told apart"_s;
}

// Columns that take the names of a record's identity hold other records'
// numbers: the program still shows and deletes the record under the cursor.
void TestHostileLibraries::columnsNamedLikeTheIdentity() {
    QFETCH(QString, columns);
    QFETCH(QString, error);
    const QStringList names = columns.split(u", "_s).replaceInStrings(u" INTEGER"_s, QString());
    TestFiles::makeLibrary(
        path(), {}, u"create table pictures (%1, filename TEXT, picture BLOB)"_s.arg(columns));
    for (const auto& [name, colour, other] :
         {std::tuple(u"red"_s, QColor(Qt::red), 2), std::tuple(u"green"_s, QColor(Qt::green), 1)})
        TestFiles::execute(
            path(), u"insert into pictures (%1, filename, picture) values (%2, "
                    u"'%3', x'%4')"_s.arg(names.join(u", "_s))
                        .arg(QStringList(names.size(), QString::number(other)).join(u", "_s))
                        .arg(name, QString::fromLatin1(TestFiles::jpeg(8, 8, colour).toHex())));
    Connection connection;
    connection.SetDatabase(path());
    RecordSet records(connection);
    QString message;
    try {
        records.Open();
        QCOMPARE(records.CurrentName(), u"red"_s);
        const QImage shown = records.FieldByName(u"picture"_s).LoadPicture().toImage();
        QVERIFY(QColor(shown.pixel(4, 4)).red() > 200);
        records.Delete();
        QCOMPARE(records.CurrentName(), u"green"_s);
    } catch (const Error& e) {
        message = e.message();
    }
    QCOMPARE(message, error);
    QStringList left;
    for (const Record& record : TestFiles::readLibrary(path()))
        left << *record.name;
    left.sort(); // read back in the order of the column named rowid, if there is one
    QCOMPARE(left, error.isEmpty() ? QStringList(u"green"_s) : QStringList({u"green"_s, u"red"_s}));
}

void TestHostileLibraries::endlessWorkIsStopped_data() {
    QTest::addColumn<QString>("schema");
    QTest::addColumn<bool>("deleting"); // the work is a delete's, not the opening's
    QTest::addColumn<int>("timeLimit"); // milliseconds
    QTest::addColumn<QString>("error");
    const QString endless = u"with recursive c(x) as (select 1 union all select x + 1 from c) "_s;
    const QString busy = u"The library kept the engine busy for more than 0.3 seconds and was "
                         u"stopped"_s;
    QTest::newRow("view that never gives a row")
        << u"create view pictures as "_s + endless +
               u"select 'x' as filename, null as picture from c where x < 0"_s
        << false << 300 << busy;
    QTest::newRow("view without end")
        << u"create view pictures as "_s + endless + u"select x as filename, x as picture from c"_s
        << false << int(Connection::DefaultTimeLimit.count())
        << u"The library lists more than 1000000 scores"_s;
    QTest::newRow("view of ever longer names")
        << u"create view pictures as "_s + endless +
               u"select printf('%.*c', 1000000, 'n') as filename, null as picture from c"_s
        << false << int(Connection::DefaultTimeLimit.count())
        << u"The library's names hold more than 67108864 characters"_s;
    QTest::newRow("trigger without end on delete")
        << QString::fromLatin1(TestFiles::DefaultSchema) +
               u"; create table log (x); create trigger endless after delete on pictures begin "
               u"insert into log "_s +
               endless + u"select x from c; end"_s
        << true << 300 << busy;
}

// A library cannot make the program work without end: a clear error, soon,
// with the program's memory bounded, and nothing written.
void TestHostileLibraries::endlessWorkIsStopped() {
    QFETCH(QString, schema);
    QFETCH(bool, deleting);
    QFETCH(int, timeLimit);
    QFETCH(QString, error);
    const QString path = m_dir->filePath(u"hostile.tbr"_s);
    TestFiles::makeLibrary(path, {}, schema);
    if (deleting)
        TestFiles::execute(path, u"insert into pictures values ('a', x'00'), ('b', x'00')"_s);
    const QByteArray before = TestFiles::readFile(path);

    Connection connection;
    connection.SetDatabase(path);
    connection.SetTimeLimit(std::chrono::milliseconds(timeLimit));
    RecordSet records(connection);
    QString message;
    try {
        records.Open();
        if (deleting)
            records.Delete();
    } catch (const Error& e) {
        message = e.message();
    }
    QCOMPARE(message, error);
    QCOMPARE(records.Active(), deleting);
    QCOMPARE(TestFiles::readFile(path), before);
}

QTEST_GUILESS_MAIN(TestHostileLibraries)
#include "tst_hostilelibraries.moc"
