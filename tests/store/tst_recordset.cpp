// The record set over a library file: opening, the cursor and its flags, the
// data-change events, writing changes at once, and sharing the file with
// other programs. Files are made and checked with SQLite directly.

#include "childprocess.h"
#include "connection.h"
#include "datasource.h"
#include "errors.h"
#include "failure.h"
#include "jpegpicture.h"
#include "library.h"
#include "libraryfiles.h"
#include "recordset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

// One program's view of a library: its connection, record set and data
// source, with every data-change event noted.
struct Library {
    explicit Library(const QString& path) {
        connection.SetDatabase(path);
        source.OnDataChange = [this](const Field* field) { events.append(field); };
    }

    Field& name() const { return records.FieldByName(u"filename"_s); }
    Field& picture() const { return records.FieldByName(u"picture"_s); }

    // The events since the last call.
    QList<const Field*> takeEvents() { return std::exchange(events, {}); }

    Connection connection;
    RecordSet records{connection};
    DataSource source{records};
    QList<const Field*> events;
};

const QString ClosedDataset = u"ADOQuery1: Cannot perform this operation on a closed dataset"_s;
const QString NotEditing = u"ADOQuery1: Dataset not in edit or insert mode"_s;

QList<Record> named(const QStringList& names) {
    QList<Record> records;
    for (const QString& name : names)
        records.append({name, TestFiles::jpeg(8 + int(records.size()), 8)});
    return records;
}

QStringList namesIn(const QString& path) {
    QStringList names;
    for (const Record& record : TestFiles::readLibrary(path))
        names.append(record.name.value_or(u"<null>"_s));
    return names;
}

QStringList namesIn(const RecordSet& records) {
    QStringList names;
    for (int row = 0; row < records.RowCount(); ++row)
        names.append(records.NameAt(row));
    return names;
}

// The first column of every row `sql` gives on the file at `path`.
QStringList query(const QString& path, const QString& sql) {
    sqlite3* db = nullptr;
    QStringList values;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) ==
            SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW)
                values.append(QString::fromUtf8(
                    reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))));
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return values;
}

QByteArray headed(const QByteArray& jpeg) {
    QByteArray header(8, '\0');
    auto* out = reinterpret_cast<uchar*>(header.data());
    qToLittleEndian<quint16>(1, out);
    qToLittleEndian<quint16>(0x0100, out + 2);
    qToLittleEndian<quint32>(quint32(jpeg.size()), out + 4);
    return header + jpeg;
}

} // namespace

class TestRecordSet : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    // Opening
    void openingNeverCreatesAFile_data();
    void openingNeverCreatesAFile();
    void specialFilesAreRefusedUnopened_data();
    void specialFilesAreRefusedUnopened();
    void tableWithoutPictureColumn();
    void namesAsTheEngineComparesThem_data();
    void namesAsTheEngineComparesThem();
    void closedSetRefusesWork();
    void openPutsCursorOnFirstRecord();
    void openReadsNoPictureBytes();

    // Moving
    void nextAndPriorWalkTheRecords();
    void oneRecordFlags();
    void firstAndLast();
    void emptyLibrary();

    // Changing
    void appendThenPost();
    void storingABitmapEncodesIt();
    void changesNeedEditOrInsertState();
    void editWithoutChangeWritesNothing();
    void editedNameIsWrittenOnMove();
    void appendWithoutChangeVanishes();
    void editOnEmptySetStartsInsert();
    void dataSourceEditOnlyInBrowseState();
    void deleteMovesToFollowingRecord_data();
    void deleteMovesToFollowingRecord();
    void deleteOnEmptySetFails();
    void otherColumnsAreCarriedAlong();

    // Values
    void storedPictureForms_data();
    void storedPictureForms();
    void nullAndEmptyValues();
    void rowIdentityLengthAndNameBytes();

    // Query text
    void replacingSqlClosesTheSet();
    void findListsMatchingNames();
    void unrunnableQueryLeavesSetClosed_data();
    void unrunnableQueryLeavesSetClosed();

    // Sharing the file
    void conflictingChangesAreRefused();
    void sameLengthChangeIsNoticed();
    void refusedValueIsNeverStoredAsNull_data();
    void refusedValueIsNeverStoredAsNull();
    void appendsFromTwoProgramsBothLand();
    void postWaitsForAnotherProgramsLock();
    void writesInOneTransactionAreAllOrNothing_data();
    void writesInOneTransactionAreAllOrNothing();
    void newLibraryNeverCopiesAHalfWrittenTemplate();
    void newLibraryFromAWriteAheadTemplate();
    void newLibraryIsTheTemplateEmptied_data();
    void newLibraryIsTheTemplateEmptied();
    void failedNewLibraryLeavesNothing_data();
    void failedNewLibraryLeavesNothing();

private:
    QString path(const QString& name = u"library.tbr"_s) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestRecordSet::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

// ---- Opening -------------------------------------------------------------------

void TestRecordSet::openingNeverCreatesAFile_data() {
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << false << QByteArray() << u"unable to open database file"_s;
    QTest::newRow("text file") << true << "A list of scores, one per line.\n"_ba.repeated(200)
                               << u"file is not a database"_s;
    QTest::newRow("empty file") << true << QByteArray() << u"no such table: pictures"_s;
}

void TestRecordSet::openingNeverCreatesAFile() {
    QFETCH(bool, exists);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);

    if (exists)
        TestFiles::writeFile(path(), content);
    Library library(path());
    const Failure failure = failureOf([&] { library.records.Open(); });
    QCOMPARE(failure.kind, u"EngineError"_s);
    QCOMPARE(failure.message, message);
    QVERIFY(!library.records.Active());
    QVERIFY(library.events.isEmpty());

    // Nothing was made or changed: no file, no journal beside it.
    QCOMPARE(QFileInfo::exists(path()), exists);
    if (exists)
        QCOMPARE(TestFiles::readFile(path()), content);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files),
             exists ? QStringList(u"library.tbr"_s) : QStringList());
}

void TestRecordSet::specialFilesAreRefusedUnopened_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");

    QTest::newRow("folder") << u"folder"_s << u"Is a directory"_s;
    QTest::newRow("named pipe") << u"pipe"_s << u"Not a regular file"_s;
    QTest::newRow("link to an endless device") << u"device"_s << u"Not a regular file"_s;
}

// A pipe would keep the engine's first read waiting for a writer for ever.
void TestRecordSet::specialFilesAreRefusedUnopened() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);

    if (kind == u"folder")
        QVERIFY(QDir().mkdir(path()));
    else if (kind == u"pipe")
        QCOMPARE(::mkfifo(QFile::encodeName(path()).constData(), 0644), 0);
    else
        QVERIFY(QFile::link(u"/dev/zero"_s, path()));
    Library library(path());
    const Failure failure = failureOf([&] { library.records.Open(); });
    QCOMPARE(failure.kind, u"FileError"_s);
    QCOMPARE(failure.message, u"Cannot open file \"%1\". %2"_s.arg(path(), reason));
    QVERIFY(!library.connection.Connected());
}

void TestRecordSet::tableWithoutPictureColumn() {
    TestFiles::execute(path(), u"create table pictures (filename TEXT)"_s);
    TestFiles::execute(path(), u"insert into pictures values ('only a name')"_s);

    Library library(path());
    library.records.Open();
    QCOMPARE(library.records.RecordCount(), 1);
    QCOMPARE(library.name().AsString(), u"only a name"_s);
    Failure failure = failureOf([&] { library.picture(); });
    QCOMPARE(failure.kind, u"DataSetError"_s);
    QCOMPARE(failure.message, u"ADOQuery1: Field 'picture' not found"_s);

    // Controls that show the picture refuse such a library: the set does not
    // stay open on it, so nothing can step through it or delete from it.
    library.records.Close();
    library.source.bindField(u"picture"_s);
    library.takeEvents();
    failure = failureOf([&] { library.records.Open(); });
    QCOMPARE(failure.message, u"ADOQuery1: Field 'picture' not found"_s);
    QVERIFY(!library.records.Active());
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(failureOf([&] { library.records.Delete(); }).message, ClosedDataset);
}

void TestRecordSet::namesAsTheEngineComparesThem_data() {
    QTest::addColumn<QString>("schema"); // %1: the picture's value
    QTest::addColumn<QString>("sql");    // empty: the set's own query
    QTest::addColumn<QString>("nameColumn");
    QTest::addColumn<QString>("pictureColumn");
    QTest::addColumn<QString>("error");

    QTest::newRow("columns in other cases")
        << u"create table pictures (FileName TEXT DEFAULT 'Étude', PICTURE BLOB DEFAULT %1)"_s
        << QString() << u"FileName"_s << u"PICTURE"_s << QString();
    QTest::newRow("table in another case")
        << u"create table PICTURES (filename TEXT DEFAULT 'Étude', picture BLOB DEFAULT %1)"_s
        << u"SELECT * FROM Pictures"_s << u"filename"_s << u"picture"_s << QString();
    // ı and İ are i in another case to some languages, never to the engine.
    QTest::newRow("dotless i")
        << u"create table pictures (filename TEXT DEFAULT 'Étude', \"pıcture\" BLOB DEFAULT %1)"_s
        << QString() << u"filename"_s << QString() << QString();
    QTest::newRow("dotted capital I")
        << u"create table pictures (\"FİLENAME\" TEXT DEFAULT 'Étude', picture BLOB DEFAULT %1)"_s
        << QString() << QString() << u"picture"_s << QString();
    QTest::newRow("look-alike before the column")
        << u"create table pictures (\"PİCTURE\" BLOB DEFAULT x'00', filename TEXT DEFAULT "
           u"'Étude', Picture BLOB DEFAULT %1)"_s
        << QString() << u"filename"_s << u"Picture"_s << QString();
    // ſ folds to s in Unicode, yet the engine holds pictureſ for a table of its own.
    QTest::newRow("table look-alike")
        << u"create table pictures (filename TEXT DEFAULT 'Étude', picture BLOB DEFAULT %1); "
           u"create table pictureſ (filename TEXT, picture BLOB)"_s
        << u"select * from pictureſ"_s << QString() << QString()
        << u"Only a query of all columns of the table pictures can be opened"_s;
    // Read from one table, the records would be written to the other.
    QTest::newRow("table name running on")
        << u"create table pictures (filename TEXT DEFAULT 'Étude', picture BLOB DEFAULT %1); "
           u"create table picturesé (filename TEXT, picture BLOB)"_s
        << u"select * from picturesé"_s << QString() << QString()
        << u"Only a query of all columns of the table pictures can be opened"_s;
}

void TestRecordSet::namesAsTheEngineComparesThem() {
    QFETCH(QString, schema);
    QFETCH(QString, sql);
    QFETCH(QString, nameColumn);
    QFETCH(QString, pictureColumn);
    QFETCH(QString, error);

    const QByteArray jpeg = TestFiles::jpeg(8, 8);
    TestFiles::makeLibrary(path(), {},
                           schema.arg(u"x'"_s + QString::fromLatin1(jpeg.toHex()) + u"'"_s));
    TestFiles::execute(path(), u"insert into pictures default values"_s);
    // The engine itself finds each column by the program's name for it, or not.
    const bool named = error.isEmpty();
    QCOMPARE(query(path(), u"select typeof(filename) from pictures"_s),
             named && nameColumn.isEmpty() ? QStringList() : QStringList(u"text"_s));
    QCOMPARE(query(path(), u"select typeof(picture) from pictures"_s),
             named && pictureColumn.isEmpty() ? QStringList() : QStringList(u"blob"_s));

    Library library(path());
    if (!sql.isEmpty())
        library.records.SetSQL(sql);
    const Failure failure = failureOf([&] { library.records.Open(); });
    QCOMPARE(failure.message, error);
    if (!error.isEmpty()) {
        QVERIFY(!library.records.Active());
        return;
    }
    QCOMPARE(library.records.NameFieldName(), nameColumn);
    QCOMPARE(library.records.CurrentName(), nameColumn.isEmpty() ? QString() : u"Étude"_s);
    if (pictureColumn.isEmpty()) {
        QCOMPARE(failureOf([&] { library.picture(); }).message,
                 u"ADOQuery1: Field 'picture' not found"_s);
        return;
    }
    Field& picture = library.records.FieldByName(u"PiCtUrE"_s);
    QCOMPARE(&picture, &library.picture());
    QCOMPARE(picture.FieldName(), pictureColumn);
    QCOMPARE(picture.Value(), jpeg);
    QCOMPARE(failureOf([&] { library.records.FieldByName(u"pıcture"_s); }).message,
             u"ADOQuery1: Field 'pıcture' not found"_s);
    if (nameColumn.isEmpty())
        return;

    // Written back through the library's own spelling of each column.
    library.records.Append();
    library.name().SetAsString(u"Gigue"_s);
    JpegPicture added = JpegPicture::fromJpegData(TestFiles::jpeg(6, 6));
    picture.StorePicture(added);
    library.records.Post();
    const QList<Record> stored = TestFiles::readLibrary(path());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(stored[1].name, std::optional<QString>(u"Gigue"_s));
    QCOMPARE(stored[1].picture, std::optional<QByteArray>(added.jpegData()));
}

void TestRecordSet::closedSetRefusesWork() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    Library library(path());

    const auto checkClosed = [&] {
        QVERIFY(!library.records.Active());
        QCOMPARE(library.records.State(), DataSetState::Inactive);
        QCOMPARE(library.records.RowCount(), 0);
        QCOMPARE(library.records.RecNo(), -1);
        QCOMPARE(failureOf([&] { library.records.RecordCount(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.name(); }).message,
                 u"ADOQuery1: Field 'filename' not found"_s);
        QCOMPARE(failureOf([&] { library.picture(); }).message,
                 u"ADOQuery1: Field 'picture' not found"_s);
        QCOMPARE(failureOf([&] { library.records.Next(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Prior(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.First(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Last(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Edit(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Append(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Delete(); }).message, ClosedDataset);
        QCOMPARE(failureOf([&] { library.records.Post(); }).message, ClosedDataset);
        QVERIFY(library.takeEvents().isEmpty());
    };

    checkClosed();
    if (QTest::currentTestFailed())
        return;

    library.records.Open();
    QCOMPARE(library.records.RecordCount(), 2);
    library.takeEvents();
    library.records.Close();
    checkClosed();
    if (QTest::currentTestFailed())
        return;

    // Closing the connection closes the set as well.
    library.records.Open();
    library.takeEvents();
    library.connection.Close();
    QVERIFY(!library.connection.Connected());
    checkClosed();
    QCOMPARE(namesIn(path()), QStringList({u"a"_s, u"b"_s}));
}

void TestRecordSet::openPutsCursorOnFirstRecord() {
    TestFiles::makeLibrary(path(), named({u"first"_s, u"second"_s, u"third"_s}));
    Library library(path());

    library.records.Open();
    QVERIFY(library.records.Active());
    QCOMPARE(library.records.State(), DataSetState::Browse);
    QCOMPARE(library.records.RecordCount(), 3);
    QVERIFY(library.records.Bof());
    QVERIFY(!library.records.Eof());
    QCOMPARE(library.name().AsString(), u"first"_s);
    QCOMPARE(library.records.CurrentName(), u"first"_s);
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));

    // Open on an open set does nothing at all: the query is not run again.
    TestFiles::execute(path(), u"insert into pictures (filename) values ('fourth')"_s);
    library.records.Next();
    library.takeEvents();
    library.records.Open();
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(library.records.RecordCount(), 3);
    QCOMPARE(library.name().AsString(), u"second"_s);

    // A fresh Open sees the file as it is now.
    library.records.Close();
    library.records.Open();
    QCOMPARE(library.records.RecordCount(), 4);
    QCOMPARE(namesIn(library.records),
             QStringList({u"first"_s, u"second"_s, u"third"_s, u"fourth"_s}));
}

void TestRecordSet::openReadsNoPictureBytes() {
    constexpr int Records = 20;
    constexpr qsizetype PictureBytes = 1024 * 1024;
    QList<Record> records;
    for (int i = 0; i < Records; ++i)
        records.append({u"page %1"_s.arg(i), QByteArray(PictureBytes, char('a' + i))});
    TestFiles::makeLibrary(path(), records);
    const qint64 pages = QFileInfo(path()).size() / 4096;
    QVERIFY(pages > Records * PictureBytes / 4096);

    Library library(path());
    library.records.Open();
    QCOMPARE(library.records.RecordCount(), Records);
    QCOMPARE(library.records.NameAt(Records - 1), u"page %1"_s.arg(Records - 1));

    const auto cacheMisses = [&] {
        int current = 0, highest = 0;
        sqlite3_db_status(library.connection.handle(), SQLITE_DBSTATUS_CACHE_MISS, &current,
                          &highest, 0);
        return current;
    };
    const int afterOpen = cacheMisses();
    QVERIFY2(afterOpen < pages / 20, qPrintable(u"%1 pages read"_s.arg(afterOpen)));

    // Reading one picture does read its pages: the count above is a real measure.
    QCOMPARE(library.picture().Value().size(), PictureBytes);
    QVERIFY2(cacheMisses() - afterOpen > PictureBytes / 4096 * 9 / 10,
             qPrintable(u"%1 pages read"_s.arg(cacheMisses() - afterOpen)));
}

// ---- Moving --------------------------------------------------------------------

void TestRecordSet::nextAndPriorWalkTheRecords() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s, u"c"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    // On the first record Bof is already set: Prior does nothing.
    records.Prior();
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(records.CurrentName(), u"a"_s);

    const auto expect = [&](const QString& name, bool bof, bool eof, qsizetype events) {
        QCOMPARE(records.CurrentName(), name);
        QCOMPARE(library.name().AsString(), name);
        QCOMPARE(records.Bof(), bof);
        QCOMPARE(records.Eof(), eof);
        const QList<const Field*> raised = library.takeEvents();
        QCOMPARE(raised.size(), events);
        for (const Field* field : raised)
            QCOMPARE(field, nullptr);
    };

    records.Next();
    expect(u"b"_s, false, false, 1);
    records.Next();
    expect(u"c"_s, false, false, 1);
    records.Next(); // no further record: stays, sets Eof
    expect(u"c"_s, false, true, 1);
    records.Next(); // Eof already set: nothing
    expect(u"c"_s, false, true, 0);

    records.Prior();
    expect(u"b"_s, false, false, 1);
    records.Prior();
    expect(u"a"_s, false, false, 1);
    records.Prior(); // no earlier record: stays, sets Bof
    expect(u"a"_s, true, false, 1);
    records.Prior();
    expect(u"a"_s, true, false, 0);

    QCOMPARE(records.RecordCount(), 3);
    QCOMPARE(records.State(), DataSetState::Browse);
}

void TestRecordSet::oneRecordFlags() {
    TestFiles::makeLibrary(path(), named({u"solo"_s}));
    Library library(path());
    RecordSet& records = library.records;

    records.Open();
    QVERIFY(records.Bof());
    QVERIFY(!records.Eof());

    records.Next();
    QVERIFY(!records.Bof());
    QVERIFY(records.Eof());
    QCOMPARE(records.CurrentName(), u"solo"_s);

    records.Prior();
    QVERIFY(records.Bof());
    QVERIFY(!records.Eof());
    QCOMPARE(records.CurrentName(), u"solo"_s);
    QVERIFY(!library.picture().IsNull());
}

void TestRecordSet::firstAndLast() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    records.Last();
    QCOMPARE(records.CurrentName(), u"d"_s);
    QCOMPARE(records.RecNo(), 3);
    QVERIFY(!records.Bof());
    QVERIFY(records.Eof());
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));

    records.Prior();
    records.First();
    QCOMPARE(records.CurrentName(), u"a"_s);
    QCOMPARE(records.RecNo(), 0);
    QVERIFY(records.Bof());
    QVERIFY(!records.Eof());
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr, nullptr}));
}

void TestRecordSet::emptyLibrary() {
    TestFiles::makeLibrary(path());
    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    QCOMPARE(records.RecordCount(), 0);
    QVERIFY(records.Bof());
    QVERIFY(records.Eof());
    QVERIFY(library.picture().IsNull());
    QVERIFY(library.name().IsNull());
    QCOMPARE(library.name().AsString(), QString());
    QCOMPARE(records.RowCount(), 0);
    QCOMPARE(records.RecNo(), -1);
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));

    records.Next();
    records.Prior();
    QVERIFY(library.takeEvents().isEmpty());
    QVERIFY(records.Bof());
    QVERIFY(records.Eof());
}

// ---- Changing ------------------------------------------------------------------

void TestRecordSet::appendThenPost() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    records.Append();
    QCOMPARE(records.State(), DataSetState::Insert);
    QVERIFY(!records.Bof());
    QVERIFY(records.Eof());
    QCOMPARE(records.RowCount(), 3);
    QCOMPARE(records.RecordCount(), 2);
    QCOMPARE(records.RecNo(), 2);
    QVERIFY(library.picture().IsNull());
    QVERIFY(library.name().IsNull());
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));

    const QString name = u"练习曲 No. 3"_s;
    library.name().SetAsString(name);
    QCOMPARE(library.takeEvents(), QList<const Field*>({&library.name()}));
    QCOMPARE(library.name().AsString(), name);
    QCOMPARE(records.NameAt(2), name);

    const QByteArray jpeg = TestFiles::jpeg(30, 20, Qt::darkCyan) + "trailer"_ba;
    JpegPicture picture = JpegPicture::fromJpegData(jpeg);
    library.picture().StorePicture(picture);
    QCOMPARE(library.takeEvents(), QList<const Field*>({&library.picture()}));
    QVERIFY(!library.picture().IsNull());
    QVERIFY(records.Modified());

    // Nothing reaches the file before Post.
    QCOMPARE(TestFiles::readLibrary(path()).size(), 2);

    records.Post();
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));
    QCOMPARE(records.State(), DataSetState::Browse);
    QVERIFY(!records.Bof());
    QVERIFY(!records.Eof());
    QCOMPARE(records.RecordCount(), 3);
    QCOMPARE(records.RowCount(), 3);
    QCOMPARE(records.RecNo(), 2);
    QCOMPARE(library.name().AsString(), name);
    QCOMPARE(library.picture().Value(), jpeg);
    QCOMPARE(library.picture().LoadPicture().jpegData(), jpeg);

    const QList<Record> stored = TestFiles::readLibrary(path());
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored[2].name, std::optional<QString>(name));
    QCOMPARE(stored[2].picture, std::optional<QByteArray>(jpeg));

    // A new record stays the last one while the set is open.
    records.First();
    records.Last();
    QCOMPARE(records.CurrentName(), name);
}

void TestRecordSet::storingABitmapEncodesIt() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    const QList<Record> before = TestFiles::readLibrary(path());
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    records.Next();

    QImage bitmap(24, 18, QImage::Format_RGB32);
    bitmap.fill(Qt::darkYellow);
    JpegPicture picture = JpegPicture::fromBitmap(bitmap);
    records.Edit();
    QCOMPARE(records.State(), DataSetState::Edit);
    library.picture().StorePicture(picture);
    // The picture object keeps what was encoded for it.
    QVERIFY(picture.hasJpegData());
    QVERIFY(picture.jpegData().startsWith("\xff\xd8"_ba));
    records.Post();

    const QList<Record> after = TestFiles::readLibrary(path());
    QCOMPARE(after.size(), 2);
    QCOMPARE(after[0].picture, before[0].picture);
    QCOMPARE(after[1].name, before[1].name);
    QCOMPARE(after[1].picture, std::optional<QByteArray>(picture.jpegData()));
    QCOMPARE(library.picture().LoadPicture().size(), QSize(24, 18));
    QCOMPARE(records.CurrentName(), u"b"_s);
}

void TestRecordSet::changesNeedEditOrInsertState() {
    TestFiles::makeLibrary(path(), named({u"a"_s}));
    const QByteArray file = TestFiles::readFile(path());
    Library library(path());
    library.records.Open();
    library.takeEvents();

    JpegPicture picture = JpegPicture::fromJpegData(TestFiles::jpeg(4, 4));
    QCOMPARE(failureOf([&] { library.records.Post(); }).message, NotEditing);
    QCOMPARE(failureOf([&] { library.name().SetAsString(u"x"_s); }).message, NotEditing);
    QCOMPARE(failureOf([&] { library.picture().StorePicture(picture); }).message, NotEditing);

    // After a Post the set browses again and refuses changes once more.
    library.records.Edit();
    library.name().SetAsString(u"renamed"_s);
    library.records.Post();
    library.takeEvents();
    QCOMPARE(failureOf([&] { library.name().SetAsString(u"again"_s); }).message, NotEditing);
    QCOMPARE(failureOf([&] { library.records.Post(); }).message, NotEditing);
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(namesIn(path()), QStringList(u"renamed"_s));
    QVERIFY(TestFiles::readFile(path()) != file);
}

void TestRecordSet::editWithoutChangeWritesNothing() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    const QByteArray file = TestFiles::readFile(path());
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    records.Edit();
    QCOMPARE(records.State(), DataSetState::Edit);
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));
    QVERIFY(!records.Modified());
    records.Next();
    QCOMPARE(records.State(), DataSetState::Browse);
    QCOMPARE(records.CurrentName(), u"b"_s);
    QCOMPARE(TestFiles::readFile(path()), file);
}

void TestRecordSet::editedNameIsWrittenOnMove() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    records.Edit();
    library.name().SetAsString(u"Adagio"_s);
    QCOMPARE(namesIn(path()), QStringList({u"a"_s, u"b"_s}));
    records.Next();
    QCOMPARE(records.State(), DataSetState::Browse);
    QCOMPARE(records.CurrentName(), u"b"_s);
    QCOMPARE(namesIn(path()), QStringList({u"Adagio"_s, u"b"_s}));
    QCOMPARE(records.NameAt(0), u"Adagio"_s);
}

void TestRecordSet::appendWithoutChangeVanishes() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    const QByteArray file = TestFiles::readFile(path());
    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    records.Append();
    QCOMPARE(records.RowCount(), 3);
    records.Next();
    QCOMPARE(records.State(), DataSetState::Browse);
    QCOMPARE(records.RowCount(), 2);
    QCOMPARE(records.RecordCount(), 2);
    QCOMPARE(namesIn(records), QStringList({u"a"_s, u"b"_s}));
    QCOMPARE(TestFiles::readFile(path()), file);

    // Append ends a pending empty insert the same way.
    records.Append();
    records.Append();
    QCOMPARE(records.RowCount(), 3);
    records.Prior();
    QCOMPARE(records.RowCount(), 2);
    QCOMPARE(TestFiles::readFile(path()), file);
}

void TestRecordSet::editOnEmptySetStartsInsert() {
    TestFiles::makeLibrary(path());
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    records.Edit();
    QCOMPARE(records.State(), DataSetState::Insert);
    QCOMPARE(records.RowCount(), 1);
    QCOMPARE(records.RecordCount(), 0);
    QVERIFY(library.picture().IsNull());
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));

    // Delete of a pending new record only abandons it.
    records.Delete();
    QCOMPARE(records.State(), DataSetState::Browse);
    QCOMPARE(records.RowCount(), 0);
    QCOMPARE(records.RecordCount(), 0);
    QVERIFY(records.Bof());
    QVERIFY(records.Eof());
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));
    QVERIFY(TestFiles::readLibrary(path()).isEmpty());

    // An insert started by Edit is written like any other.
    records.Edit();
    library.name().SetAsString(u"first page"_s);
    records.Post();
    QCOMPARE(records.RecordCount(), 1);
    QCOMPARE(namesIn(path()), QStringList(u"first page"_s));
}

void TestRecordSet::dataSourceEditOnlyInBrowseState() {
    TestFiles::makeLibrary(path(), named({u"a"_s}));
    Library library(path());
    RecordSet& records = library.records;

    library.source.Edit(); // closed: nothing, not even an error
    QCOMPARE(records.State(), DataSetState::Inactive);

    records.Open();
    library.takeEvents();
    library.source.Edit();
    QCOMPARE(records.State(), DataSetState::Edit);
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));
    library.name().SetAsString(u"kept"_s);
    library.takeEvents();

    library.source.Edit(); // already editing: the pending change stays
    QCOMPARE(records.State(), DataSetState::Edit);
    QCOMPARE(library.name().AsString(), u"kept"_s);
    QVERIFY(library.takeEvents().isEmpty());

    records.Append();
    library.takeEvents();
    library.source.Edit(); // inserting: stays an insert
    QCOMPARE(records.State(), DataSetState::Insert);
    QCOMPARE(records.RowCount(), 2);
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(namesIn(path()), QStringList(u"kept"_s));
}

void TestRecordSet::deleteMovesToFollowingRecord_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QStringList>("remaining");

    const QStringList three = {u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("first") << three << 0 << u"b"_s << QStringList({u"b"_s, u"c"_s});
    QTest::newRow("middle") << three << 1 << u"c"_s << QStringList({u"a"_s, u"c"_s});
    QTest::newRow("last") << three << 2 << u"b"_s << QStringList({u"a"_s, u"b"_s});
    QTest::newRow("only") << QStringList(u"a"_s) << 0 << QString() << QStringList();
    QTest::newRow("same names") << QStringList({u"x"_s, u"x"_s, u"y"_s}) << 1 << u"y"_s
                                << QStringList({u"x"_s, u"y"_s});
}

void TestRecordSet::deleteMovesToFollowingRecord() {
    QFETCH(QStringList, names);
    QFETCH(int, position);
    QFETCH(QString, current);
    QFETCH(QStringList, remaining);

    TestFiles::makeLibrary(path(), named(names));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    records.MoveBy(position);
    QCOMPARE(records.RecNo(), position);
    library.takeEvents();

    records.Delete();
    QCOMPARE(library.takeEvents(), QList<const Field*>({nullptr}));
    QCOMPARE(records.State(), DataSetState::Browse);
    QCOMPARE(records.RecordCount(), remaining.size());
    QCOMPARE(namesIn(records), remaining);
    QCOMPARE(records.CurrentName(), current);
    QCOMPARE(library.name().IsNull(), remaining.isEmpty());
    QCOMPARE(library.picture().IsNull(), remaining.isEmpty());
    // Both flags clear, both set when nothing is left.
    QCOMPARE(records.Bof(), remaining.isEmpty());
    QCOMPARE(records.Eof(), remaining.isEmpty());
    // Written at once.
    QCOMPARE(namesIn(path()), remaining);
}

void TestRecordSet::deleteOnEmptySetFails() {
    TestFiles::makeLibrary(path(), named({u"a"_s}));
    Library library(path());
    library.records.Open();
    library.records.Delete();
    library.takeEvents();

    const Failure failure = failureOf([&] { library.records.Delete(); });
    QCOMPARE(failure.kind, u"DataSetError"_s);
    QCOMPARE(failure.message, u"ADOQuery1: Cannot perform this operation on an empty dataset"_s);
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(library.records.RecordCount(), 0);
}

void TestRecordSet::otherColumnsAreCarriedAlong() {
    TestFiles::makeLibrary(
        path(), named({u"first"_s, u"second"_s}),
        u"create table pictures (filename TEXT, picture BLOB, note TEXT DEFAULT 'x')"_s);
    TestFiles::execute(path(), u"update pictures set note = 'kept' where filename = 'first'"_s);
    const QList<Record> before = TestFiles::readLibrary(path());

    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    records.Edit();
    library.name().SetAsString(u"renamed"_s);
    records.Post();

    records.Append();
    library.name().SetAsString(u"new"_s);
    JpegPicture picture = JpegPicture::fromJpegData(TestFiles::jpeg(6, 6));
    library.picture().StorePicture(picture);
    records.Post();

    QCOMPARE(query(path(), u"select filename || ':' || note from pictures order by rowid"_s),
             QStringList({u"renamed:kept"_s, u"second:x"_s, u"new:x"_s}));
    const QList<Record> after = TestFiles::readLibrary(path());
    QCOMPARE(after[0].picture, before[0].picture);
    QCOMPARE(after[2].picture, std::optional<QByteArray>(picture.jpegData()));
}

// ---- Values --------------------------------------------------------------------

void TestRecordSet::storedPictureForms_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("jpeg");

    const QByteArray jpeg = TestFiles::jpeg(12, 10, Qt::gray);
    QTest::newRow("bare") << jpeg << jpeg;
    QTest::newRow("headed") << headed(jpeg) << jpeg;
}

void TestRecordSet::storedPictureForms() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, jpeg);

    TestFiles::makeLibrary(path(), {{u"page"_s, value}});
    Library library(path());
    library.records.Open();

    QVERIFY(!library.picture().IsNull());
    QCOMPARE(library.picture().Value(), value);
    const JpegPicture picture = library.picture().LoadPicture();
    QCOMPARE(picture.jpegData(), jpeg);
    QCOMPARE(picture.size(), QSize(12, 10));
    // Reading changes nothing in the file.
    QCOMPARE(TestFiles::readLibrary(path()).first().picture, std::optional<QByteArray>(value));
}

void TestRecordSet::nullAndEmptyValues() {
    const QByteArray jpeg = TestFiles::jpeg(5, 5);
    TestFiles::makeLibrary(path(), {{std::nullopt, jpeg},
                                    {u"empty picture"_s, QByteArray()},
                                    {u"null picture"_s, std::nullopt},
                                    {u"whole"_s, jpeg}});
    // The empty picture is a zero-length value in the file, not a null.
    QCOMPARE(TestFiles::readLibrary(path())[1].picture, std::optional<QByteArray>(QByteArray()));

    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    QVERIFY(library.name().IsNull());
    QCOMPARE(library.name().AsString(), QString());
    QCOMPARE(records.CurrentName(), QString());
    QVERIFY(!library.picture().IsNull());

    records.Next();
    QVERIFY(!library.name().IsNull());
    QVERIFY(library.picture().IsNull());

    records.Next();
    QVERIFY(!library.name().IsNull());
    QVERIFY(library.picture().IsNull());

    records.Next();
    QVERIFY(!library.picture().IsNull());
    QCOMPARE(library.picture().Value(), jpeg);

    // A picture being written counts as null while it has no bytes.
    records.Append();
    JpegPicture nothing;
    library.picture().StorePicture(nothing);
    QVERIFY(library.picture().IsNull());
    JpegPicture something = JpegPicture::fromJpegData(jpeg);
    library.picture().StorePicture(something);
    QVERIFY(!library.picture().IsNull());
    QCOMPARE(library.picture().Value(), jpeg);
    records.Cancel();
    QCOMPARE(TestFiles::readLibrary(path()).size(), 4);
}

void TestRecordSet::rowIdentityLengthAndNameBytes() {
    TestFiles::makeLibrary(path());
    TestFiles::execute(path(), u"insert into pictures (rowid, filename, picture) values "
                               u"(5, 'Aria', x'ffd8ffd9'), (9, cast(x'41ff0a42' as text), NULL), "
                               u"(12, NULL, x'')"_s);
    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    QCOMPARE(QList<qint64>({records.IdAt(0), records.IdAt(1), records.IdAt(2), records.IdAt(3)}),
             QList<qint64>({5, 9, 12, 0}));
    QCOMPARE(QList<qint64>({records.PictureLengthAt(0), records.PictureLengthAt(1),
                            records.PictureLengthAt(2), records.PictureLengthAt(-1)}),
             QList<qint64>({4, -1, 0, -1}));
    // The name list shows what is not UTF-8 replaced; the bytes stay as stored.
    QCOMPARE(records.NameAt(1), u"A\ufffd\nB"_s);
    QCOMPARE(records.NameBytesAt(1), std::optional<QByteArray>("A\xff\nB"_ba));
    QCOMPARE(records.NameBytesAt(0), std::optional<QByteArray>("Aria"_ba));
    QCOMPARE(records.NameBytesAt(2), std::nullopt);
    QCOMPARE(records.NameBytesAt(3), std::nullopt);

    records.Close();
    QCOMPARE(records.IdAt(0), 0);
    QCOMPARE(records.NameBytesAt(0), std::nullopt);
}

// ---- Query text ----------------------------------------------------------------

void TestRecordSet::replacingSqlClosesTheSet() {
    TestFiles::makeLibrary(path(), named({u"a"_s, u"b"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();
    library.takeEvents();

    records.SetSQL(u"select * from pictures"_s);
    QVERIFY(!records.Active());
    QVERIFY(library.takeEvents().isEmpty());
    QCOMPARE(failureOf([&] { records.RecordCount(); }).message, ClosedDataset);
    QVERIFY(library.connection.Connected());

    records.Open();
    QCOMPARE(records.RecordCount(), 2);
    QCOMPARE(records.SQL(), u"select * from pictures"_s);
}

void TestRecordSet::findListsMatchingNames() {
    TestFiles::makeLibrary(path(), named({u"Waltz in A"_s, u"Etude"_s, u"Second waltz"_s,
                                          u"Tango"_s, u"100% waltz"_s}));
    Library library(path());
    RecordSet& records = library.records;
    records.Open();

    records.SetSQL(u"select * from pictures where filename like ?"_s, {u"%waltz%"_s});
    QVERIFY(!records.Active());
    records.Open();
    QCOMPARE(namesIn(records), QStringList({u"Waltz in A"_s, u"Second waltz"_s, u"100% waltz"_s}));
    QCOMPARE(records.RecordCount(), 3);

    // The word is a value, never part of the query text.
    records.SetSQL(u"select * from pictures where filename like ?"_s, {u"%' or '1'='1%"_s});
    records.Open();
    QCOMPARE(records.RecordCount(), 0);

    // A record changed through the find is the one the find showed.
    records.SetSQL(u"select * from pictures where filename like ?"_s, {u"%tango%"_s});
    records.Open();
    records.Edit();
    library.name().SetAsString(u"Tango no. 2"_s);
    records.Post();
    QCOMPARE(namesIn(path()), QStringList({u"Waltz in A"_s, u"Etude"_s, u"Second waltz"_s,
                                           u"Tango no. 2"_s, u"100% waltz"_s}));

    records.SetSQL(u"Select * from pictures"_s);
    records.Open();
    QCOMPARE(records.RecordCount(), 5);
}

void TestRecordSet::unrunnableQueryLeavesSetClosed_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown column")
        << u"select * from pictures where nosuch = 1"_s << u"no such column: nosuch"_s;
    QTest::newRow("unfinished") << u"select * from pictures where"_s << u"incomplete input"_s;
    QTest::newRow("unknown table") << u"select * from nosuch"_s << u"no such table: nosuch"_s;
    QTest::newRow("misspelt") << u"selec * from pictures"_s << u"near \"selec\": syntax error"_s;
}

void TestRecordSet::unrunnableQueryLeavesSetClosed() {
    QFETCH(QString, sql);
    QFETCH(QString, message);

    TestFiles::makeLibrary(path(), named({u"a"_s}));
    Library library(path());
    library.records.SetSQL(sql);
    const Failure failure = failureOf([&] { library.records.Open(); });
    QCOMPARE(failure.kind, u"EngineError"_s);
    QCOMPARE(failure.message, message);
    QVERIFY(!library.records.Active());
    QVERIFY(library.events.isEmpty());
    QCOMPARE(failureOf([&] { library.records.RecordCount(); }).message, ClosedDataset);
}

// ---- Sharing the file ----------------------------------------------------------

void TestRecordSet::conflictingChangesAreRefused() {
    TestFiles::makeLibrary(path(), named({u"one"_s, u"two"_s, u"three"_s}));
    Library a(path()), b(path());
    a.records.Open();
    b.records.Open();

    b.records.Edit();
    b.name().SetAsString(u"one by B"_s);
    b.records.Post();

    a.records.Edit();
    a.name().SetAsString(u"one by A"_s);
    Failure failure = failureOf([&] { a.records.Post(); });
    QCOMPARE(failure.kind, u"EngineError"_s);
    QVERIFY2(failure.message.startsWith(u"Row cannot be located for updating"_s),
             qPrintable(failure.message));
    QCOMPARE(namesIn(path()), QStringList({u"one by B"_s, u"two"_s, u"three"_s}));
    a.records.Cancel();

    b.records.Next();
    b.records.Delete();
    QCOMPARE(namesIn(path()), QStringList({u"one by B"_s, u"three"_s}));

    a.records.Next();
    QCOMPARE(a.records.CurrentName(), u"two"_s);
    failure = failureOf([&] { a.records.Delete(); });
    QCOMPARE(failure.kind, u"EngineError"_s);
    QVERIFY2(failure.message.startsWith(u"Row cannot be located for deleting"_s),
             qPrintable(failure.message));
    QCOMPARE(namesIn(path()), QStringList({u"one by B"_s, u"three"_s}));

    // A record nobody else touched is still A's to change.
    a.records.Next();
    a.records.Edit();
    a.name().SetAsString(u"three by A"_s);
    a.records.Post();
    QCOMPARE(namesIn(path()), QStringList({u"one by B"_s, u"three by A"_s}));
}

// Another program changed one byte in the middle of the picture shown: the
// same length, the same name, and still not this program's to delete.
void TestRecordSet::sameLengthChangeIsNoticed() {
    QByteArray picture = TestFiles::jpeg(40, 30);
    picture += QByteArray(300 * 1024 - picture.size(), 'x');
    TestFiles::makeLibrary(path(), {{u"page"_s, picture}, {u"other"_s, TestFiles::jpeg(8, 8)}});
    Library library(path());
    library.records.Open();
    QCOMPARE(library.picture().LoadPicture().jpegData(), picture);

    picture[150000] = 'y';
    TestFiles::execute(path(), u"update pictures set picture = x'%1' where filename = 'page'"_s.arg(
                                   QString::fromLatin1(picture.toHex())));
    Failure failure = failureOf([&] { library.records.Delete(); });
    QVERIFY2(failure.message.startsWith(u"Row cannot be located for deleting"_s),
             qPrintable(failure.message));
    library.records.Edit();
    library.name().SetAsString(u"renamed"_s);
    failure = failureOf([&] { library.records.Post(); });
    QVERIFY2(failure.message.startsWith(u"Row cannot be located for updating"_s),
             qPrintable(failure.message));
    QCOMPARE(namesIn(path()), QStringList({u"page"_s, u"other"_s}));
    QCOMPARE(*TestFiles::readLibrary(path())[0].picture, picture);
}

void TestRecordSet::refusedValueIsNeverStoredAsNull_data() {
    QTest::addColumn<bool>("newRecord");
    QTest::addColumn<bool>("bigName");
    QTest::newRow("new score, big picture") << true << false;
    QTest::newRow("new score, big name") << true << true;
    QTest::newRow("changed score, big picture") << false << false;
    QTest::newRow("changed score, big name") << false << true;
}

// A value over what the engine stores is refused with the engine's own
// text; nothing is written, not even NULL in its place.
void TestRecordSet::refusedValueIsNeverStoredAsNull() {
    QFETCH(bool, newRecord);
    QFETCH(bool, bigName);
    TestFiles::makeLibrary(path(), named({u"a"_s}));
    const QByteArray before = TestFiles::readFile(path());
    Library library(path());
    library.records.Open();
    constexpr int Limit = 20000;
    sqlite3_limit(library.connection.handle(), SQLITE_LIMIT_LENGTH, Limit);
    if (newRecord)
        library.records.Append();
    else
        library.records.Edit();
    library.name().SetAsString(bigName ? QString(Limit + 1, u'x') : u"small"_s);
    JpegPicture picture =
        JpegPicture::fromJpegData(TestFiles::jpeg(16, 16) + QByteArray(bigName ? 0 : Limit, '\0'));
    library.picture().StorePicture(picture);

    const Failure failure = failureOf([&] { library.records.Post(); });
    QCOMPARE(failure.kind, u"EngineError"_s);
    QCOMPARE(failure.message, u"string or blob too big"_s);
    QCOMPARE(TestFiles::readFile(path()), before);
}

void TestRecordSet::appendsFromTwoProgramsBothLand() {
    TestFiles::makeLibrary(path(), named({u"one"_s, u"two"_s}));
    Library a(path()), b(path());
    a.records.Open();
    b.records.Open();

    a.records.Append();
    a.name().SetAsString(u"from A"_s);
    a.records.Post();
    b.records.Append();
    b.name().SetAsString(u"from B"_s);
    b.records.Post();

    // Each keeps its own snapshot, with its own new record last.
    QCOMPARE(namesIn(a.records), QStringList({u"one"_s, u"two"_s, u"from A"_s}));
    QCOMPARE(namesIn(b.records), QStringList({u"one"_s, u"two"_s, u"from B"_s}));
    QCOMPARE(namesIn(path()), QStringList({u"one"_s, u"two"_s, u"from A"_s, u"from B"_s}));

    a.records.Close();
    a.records.Open();
    QCOMPARE(namesIn(a.records), QStringList({u"one"_s, u"two"_s, u"from A"_s, u"from B"_s}));
}

void TestRecordSet::postWaitsForAnotherProgramsLock() {
    TestFiles::makeLibrary(path(), named({u"one"_s}));
    Library a(path());
    a.records.Open();
    a.records.Append();
    a.name().SetAsString(u"after the lock"_s);

    std::atomic<int> locked = 0; // 1: holding the write lock, -1: could not take it
    std::atomic<bool> posting = false, releasing = false;
    const pid_t poster = pid_t(::gettid());
    const QByteArray file = path().toUtf8();
    std::jthread holder([&] {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        const bool ok = sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
        locked = ok ? 1 : -1;
        if (ok) {
            // Let go once the post has been turned away and waits.
            while (!posting)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            waitUntilAsleep(poster);
            releasing = true;
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        sqlite3_close(db);
    });
    while (locked == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QCOMPARE(locked.load(), 1);

    posting = true;
    a.records.Post();
    // The write could only happen once the other program let go.
    QVERIFY(releasing);
    QCOMPARE(namesIn(path()), QStringList({u"one"_s, u"after the lock"_s}));
    QCOMPARE(a.records.RecordCount(), 2);
}

void TestRecordSet::writesInOneTransactionAreAllOrNothing_data() {
    QTest::addColumn<bool>("commit");

    QTest::newRow("committed") << true;
    QTest::newRow("given up") << false;
}

// Each write of the record set is a part of the transaction around them: one
// that fails undoes only itself, and nothing is stored until the whole commits.
void TestRecordSet::writesInOneTransactionAreAllOrNothing() {
    QFETCH(bool, commit);

    TestFiles::makeLibrary(path(), named({u"one"_s, u"two"_s}),
                           u"create table pictures (filename TEXT check (filename <> 'refused'), "
                           u"picture BLOB)"_s);
    Library library(path());
    library.connection.Open();
    {
        Transaction all(library.connection);
        RecordSet& records = library.records;
        records.Open();
        records.Delete();
        for (const QString& name : {u"three"_s, u"refused"_s, u"four"_s}) {
            records.Append();
            library.name().SetAsString(name);
            const Failure failure = failureOf([&] { records.Post(); });
            QCOMPARE(failure.kind, name == u"refused" ? u"EngineError"_s : u"none"_s);
            records.Cancel();
        }
        QCOMPARE(namesIn(records), QStringList({u"two"_s, u"three"_s, u"four"_s}));
        // Another program sees none of it yet.
        QCOMPARE(namesIn(path()), QStringList({u"one"_s, u"two"_s}));
        if (commit)
            all.commit();
    }
    QCOMPARE(namesIn(path()), commit ? QStringList({u"two"_s, u"three"_s, u"four"_s})
                                     : QStringList({u"one"_s, u"two"_s}));
    // The connection is free for a transaction of its own again.
    library.records.Append();
    library.name().SetAsString(u"five"_s);
    library.records.Post();
    QCOMPARE(namesIn(path()).last(), u"five"_s);
}

// Another program is in the middle of a large change of the default library
// (its pages already partly written to the file) while a new library is made
// from it: the copy holds the last committed state, whole.
void TestRecordSet::newLibraryNeverCopiesAHalfWrittenTemplate() {
    const QString templatePath = path(u"pictures.tbr"_s);
    TestFiles::makeLibrary(templatePath, named({u"a"_s, u"b"_s}));
    TestFiles::execute(templatePath, u"create table notes (text TEXT)"_s);
    const qint64 committedSize = QFileInfo(templatePath).size();

    std::atomic<bool> spilled = false, changing = false, copied = false;
    const pid_t copier = pid_t(::gettid());
    const QByteArray file = templatePath.toUtf8();
    std::jthread writer([&] {
        sqlite3* db = nullptr;
        sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        // A tiny cache: the change goes to the file before it is committed.
        sqlite3_exec(db, "PRAGMA cache_size = 5; BEGIN;", nullptr, nullptr, nullptr);
        sqlite3_exec(
            db,
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
            " INSERT INTO notes SELECT randomblob(1000) FROM n",
            nullptr, nullptr, nullptr);
        spilled = QFileInfo(QString::fromUtf8(file)).size() > committedSize;
        changing = true;
        // Given up only once the copy has met the change and waits for it.
        waitUntilAsleep(copier, &copied);
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    });
    while (!changing)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(spilled);

    const QString copy = path(u"new.tbr"_s);
    makeEmptyCopy(templatePath, copy);
    copied = true;
    QCOMPARE(query(copy, u"pragma integrity_check"_s), QStringList(u"ok"_s));
    QCOMPARE(query(copy, u"select count(*) from notes"_s), QStringList(u"0"_s));
    QCOMPARE(query(copy, u"select count(*) from pictures"_s), QStringList(u"0"_s));
    QCOMPARE(namesIn(templatePath), QStringList({u"a"_s, u"b"_s}));
}

// A default library in write-ahead mode keeps its latest changes beside the
// file, where another program left them: the copy has them too.
void TestRecordSet::newLibraryFromAWriteAheadTemplate() {
    const QString templatePath = path(u"pictures.tbr"_s);
    TestFiles::makeLibrary(templatePath, named({u"a"_s}));
    TestFiles::execute(templatePath, u"pragma journal_mode = wal"_s);
    sqlite3* other = nullptr;
    QCOMPARE(
        sqlite3_open_v2(templatePath.toUtf8().constData(), &other, SQLITE_OPEN_READWRITE, nullptr),
        SQLITE_OK);
    const auto closeOther = qScopeGuard([other] { sqlite3_close(other); });
    QCOMPARE(sqlite3_exec(other,
                          "pragma wal_autocheckpoint = 0; create table notes (text TEXT);"
                          "insert into notes values ('only in the log')",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);

    const QString copy = path(u"new.tbr"_s);
    makeEmptyCopy(templatePath, copy);
    QCOMPARE(query(copy, u"select text from notes"_s), QStringList(u"only in the log"_s));
    QCOMPARE(query(copy, u"select count(*) from pictures"_s), QStringList(u"0"_s));
}

namespace {

// Runs `sql` on `db`: the engine's message, empty when it ran.
QString run(sqlite3* db, const QString& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) == SQLITE_OK)
        return {};
    const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db));
    sqlite3_free(error);
    return message;
}

// A default library made by `script`, with `reservedBytes` left unused at the
// end of every page, then given four pictures of `pictureBytes` random bytes
// (none for 0).
QString makeTemplate(const QString& path, const QString& script, int reservedBytes,
                     int pictureBytes) {
    sqlite3* db = nullptr;
    const auto close = qScopeGuard([&] { sqlite3_close(db); });
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
        return u"cannot open "_s + path;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_RESERVE_BYTES, &reservedBytes) != SQLITE_OK)
        return u"cannot reserve bytes"_s;
    QString error = run(db, script);
    for (int i = 1; error.isEmpty() && pictureBytes > 0 && i <= 4; ++i)
        error =
            run(db, u"insert into pictures (filename, picture) values ('第%1首', randomblob(%2))"_s
                        .arg(i)
                        .arg(pictureBytes));
    return error;
}

// A value as the engine holds it: its type and its exact content.
QString typedValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return u"integer "_s + QString::number(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return u"real "_s + QString::number(sqlite3_column_double(statement, column), 'g', 17);
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        return u"text "_s + QString::fromUtf8(text, sqlite3_column_bytes(statement, column));
    }
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
        return u"blob "_s + QString::fromLatin1(
                                QByteArray(bytes, sqlite3_column_bytes(statement, column)).toHex());
    }
    default:
        return u"null"_s;
    }
}

// Every row `sql` gives on `db`, its values typed.
QStringList rowsOf(sqlite3* db, const QString& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        return {u"cannot run: "_s + sql};
    QStringList rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
        QStringList values;
        for (int column = 0; column < sqlite3_column_count(statement); ++column)
            values << typedValue(statement, column);
        rows << values.join(u" | "_s);
    }
    sqlite3_finalize(statement);
    return rows;
}

// What two libraries made from one template share: the settings of the
// file's first page, the schema in its order, and every row of every table
// with its rowid. Read with the engine directly.
QStringList describe(const QString& path) {
    // Page size, file format versions (2 for a write-ahead log), reserved bytes
    // and payload fractions; schema format, default cache size, largest root
    // page, text encoding, user version, incremental vacuum, application id.
    const QByteArray header = TestFiles::readFile(path).left(100);
    QStringList description{
        QString::fromLatin1(header.mid(16, 8).toHex() + ' ' + header.mid(44, 28).toHex())};
    sqlite3* db = nullptr;
    const auto close = qScopeGuard([&] { sqlite3_close(db); });
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
        SQLITE_OK)
        return {u"cannot open "_s + path};
    for (const QString& pragma :
         {u"page_size"_s, u"encoding"_s, u"auto_vacuum"_s, u"user_version"_s, u"application_id"_s,
          u"journal_mode"_s, u"default_cache_size"_s, u"freelist_count"_s})
        description << pragma + u": "_s + rowsOf(db, u"pragma "_s + pragma).join(u"; "_s);
    description << rowsOf(db,
                          u"select type, name, tbl_name, sql from sqlite_schema order by rowid"_s);
    const QString tables = u"select name from pragma_table_list where schema = 'main' and "
                           u"name <> 'sqlite_schema' and wr = %1 order by name"_s;
    for (const QString& table : query(path, tables.arg(0)))
        description << table + u":"_s << rowsOf(db, u"select _rowid_, * from \"%1\""_s.arg(table));
    for (const QString& table : query(path, tables.arg(1)))
        description << table + u":"_s << rowsOf(db, u"select * from \"%1\""_s.arg(table));
    return description;
}

// While one lives, no file of this program can grow past `bytes`: a write
// beyond fails (EFBIG) instead of stopping the program.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_before;
        limited.rlim_cur = std::min(bytes, m_before.rlim_max);
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_signal);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_before{};
    void (*m_signal)(int) = SIG_DFL;
};

} // namespace

// Each row a default library's schema. The new library must be what copying
// the template whole, deleting its pictures and compacting gives (made here
// with the engine directly). It is made first where no file may grow past a
// limit the template exceeds: a library made from the schema fits, while a
// template only a whole copy reproduces (`copiedWhole`) fails there, leaving
// nothing behind, and is made again without the limit.
void TestRecordSet::newLibraryIsTheTemplateEmptied_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("reservedBytes");
    QTest::addColumn<int>("pictureBytes");
    QTest::addColumn<bool>("copiedWhole");

    const QString pictures = QString::fromLatin1(TestFiles::DefaultSchema) + u';';
    const int small = 100 * 1024;
    QTest::newRow("the default") << pictures << 0 << small << false;
    QTest::newRow("large pictures, a few pages made") << pictures << 0 << 1024 * 1024 << false;
    QTest::newRow("a table of every value type")
        << pictures + u"create table notes (a, b INTEGER, c REAL, d TEXT, e BLOB);"
                      u"insert into notes values (1, -9223372036854775808, 0.1, '七里香', x'00ff'),"
                      u" (null, 9223372036854775807, -1e308, '', x''),"
                      u" (2.5, 'text', 3, x'41', 'not a blob'), (-0.0, null, null, null, null);"
                      u"insert into notes (rowid, a) values (100, 'after a gap');"_s
        << 0 << small << false;
    QTest::newRow("indexes") << pictures +
                                    u"create index byName on pictures (filename);"
                                    u"create table tags (tag TEXT UNIQUE, score INTEGER);"
                                    u"insert into tags values ('b', 2), ('a', 1);"
                                    u"create index byScore on tags (score desc) where score > 0;"_s
                             << 0 << small << false;
    QTest::newRow("a view")
        << pictures + u"create view names as select filename from pictures order by 1;"_s << 0
        << small << false;
    QTest::newRow("a trigger on another table")
        << pictures + u"create table notes (text TEXT); create table log (text TEXT);"
                      u"create trigger noted after insert on notes"
                      u" begin insert into log values ('noted ' || new.text); end;"
                      u"insert into notes values ('one'), ('two');"_s
        << 0 << small << false;
    QTest::newRow("AUTOINCREMENT keys of another table")
        << pictures + u"create table events (id INTEGER PRIMARY KEY AUTOINCREMENT, what TEXT);"
                      u"insert into events (what) values ('a'), ('b'), ('c');"
                      u"delete from events where what = 'c';"_s
        << 0 << small << false;
    QTest::newRow("AUTOINCREMENT keys of the pictures")
        << u"create table pictures (id INTEGER PRIMARY KEY AUTOINCREMENT, filename TEXT,"
           u" picture BLOB);"_s
        << 0 << small << false;
    QTest::newRow("the counters of a dropped AUTOINCREMENT table")
        << pictures + u"create table gone (id INTEGER PRIMARY KEY AUTOINCREMENT);"
                      u"insert into gone default values; drop table gone;"_s
        << 0 << small << false;
    QTest::newRow("8192-byte pages, UTF-16le")
        << u"pragma page_size = 8192; pragma encoding = 'UTF-16le';"_s + pictures +
               u"create table notes (text TEXT); insert into notes values ('晴天'), (x'0041');"_s
        << 0 << small << false;
    QTest::newRow("incremental auto-vacuum")
        << u"pragma auto_vacuum = incremental;"_s + pictures +
               u"create table notes (text TEXT); insert into notes values ('one'), ('two');"
               u"create index byText on notes (text);"_s
        << 0 << small << false;
    QTest::newRow("user version, application id, default cache size")
        << pictures + u"pragma user_version = -7; pragma application_id = 1952607346;"
                      u"pragma default_cache_size = 500;"_s
        << 0 << small << false;
    QTest::newRow("reserved bytes on every page") << pictures << 8 << small << false;
    QTest::newRow("a table without rowid, generated columns")
        << pictures + u"create table keyed (k TEXT PRIMARY KEY, v INTEGER,"
                      u" twice INTEGER GENERATED ALWAYS AS (v * 2) STORED,"
                      u" half GENERATED ALWAYS AS (v / 2.0)) without rowid;"
                      u"insert into keyed (k, v) values ('b', 4), ('a', 3);"_s
        << 0 << small << false;
    QTest::newRow("an indexed table with columns named rowid and oid")
        << pictures + u"create table odd (rowid TEXT, oid TEXT, v);"
                      u"insert into odd values ('x', 'y', 1);"
                      u"insert into odd (_rowid_, v) values (50, 2);"
                      u"create index byV on odd (v);"_s
        << 0 << small << false;
    QTest::newRow("an indexed table with every name of its rowid taken")
        << pictures + u"create table odd (rowid TEXT, oid TEXT, _rowid_ TEXT UNIQUE);"
                      u"insert into odd values ('x', 'y', 'z');"_s
        << 0 << small << true;
    QTest::newRow("a write-ahead log")
        << u"pragma journal_mode = wal;"_s + pictures +
               u"create table notes (text TEXT); insert into notes values ('one');"_s
        << 0 << small << false;
    const QString deleteTrigger =
        u"create table log (what TEXT); create trigger forget after delete on pictures"
        u" begin insert into log values ('deleted ' || old.filename); end;"_s;
    QTest::newRow("a delete trigger on the pictures")
        << pictures + deleteTrigger << 0 << small << true;
    QTest::newRow("a delete trigger on the pictures, a write-ahead log")
        << u"pragma journal_mode = wal;"_s + pictures + deleteTrigger << 0 << small << true;
    QTest::newRow("the engine's statistics")
        << pictures + u"create index byName on pictures (filename); analyze;"_s << 0 << small
        << true;
    QTest::newRow("a virtual table") << pictures + u"create virtual table words using fts5 (word);"
                                                   u"insert into words values ('天空之城');"_s
                                     << 0 << small << true;
}

void TestRecordSet::newLibraryIsTheTemplateEmptied() {
    QFETCH(QString, script);
    QFETCH(int, reservedBytes);
    QFETCH(int, pictureBytes);
    QFETCH(bool, copiedWhole);
    const QString templatePath = path(u"pictures.tbr"_s);
    const QString expected = path(u"expected.tbr"_s);
    const QString made = path(u"new.tbr"_s);
    QCOMPARE(makeTemplate(templatePath, script, reservedBytes, pictureBytes), QString());
    QVERIFY(QFile::copy(templatePath, expected));
    QVERIFY_THROWS_NO_EXCEPTION(TestFiles::execute(expected, u"delete from pictures; vacuum"_s));
    const QByteArray templateBefore = TestFiles::readFile(templatePath);
    constexpr rlim_t Limit = 256 * 1024;
    QVERIFY(templateBefore.size() > qsizetype(Limit));

    Failure failure;
    {
        const FileSizeLimit limit(Limit);
        failure = failureOf([&] { makeEmptyCopy(templatePath, made); });
    }
    QVERIFY2((failure.kind != u"none"_s) == copiedWhole,
             qPrintable(failure.kind + u": "_s + failure.message));
    if (copiedWhole) {
        QCOMPARE(TestFiles::entriesBelow(m_dir->path()),
                 QStringList({u"expected.tbr"_s, u"pictures.tbr"_s}));
        QVERIFY_THROWS_NO_EXCEPTION(makeEmptyCopy(templatePath, made));
    }

    QCOMPARE(query(made, u"pragma integrity_check"_s), QStringList(u"ok"_s));
    QCOMPARE(query(made, u"select count(*) from pictures"_s), QStringList(u"0"_s));
    QCOMPARE(describe(made), describe(expected));
    // Nothing of the pictures is in the file: it has a page for each table and index.
    const QByteArray madeBytes = TestFiles::readFile(made);
    QCOMPARE(madeBytes.size(), QFileInfo(expected).size());
    QVERIFY(query(made, u"pragma page_count"_s).value(0).toInt() <= 8);
    for (const Record& record : TestFiles::readLibrary(templatePath))
        QVERIFY(!madeBytes.contains(record.picture->mid(record.picture->size() / 2, 64)));
    QCOMPARE(TestFiles::readFile(templatePath), templateBefore);
}

// Whichever way the new library is made, a failure leaves no file of it, and
// the template as it was.
void TestRecordSet::failedNewLibraryLeavesNothing_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("pictureBytes");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("message");

    const QString pictures = QString::fromLatin1(TestFiles::DefaultSchema) + u';';
    const qint64 none = qint64(RLIM_INFINITY);
    QTest::newRow("no table of pictures") << u"create table notes (text TEXT);"_s << 0 << none
                                          << u"EngineError"_s << u"no such table: pictures"_s;
    QTest::newRow("no table of pictures, the engine's statistics")
        << u"create table notes (text TEXT UNIQUE); analyze;"_s << 0 << none << u"EngineError"_s
        << u"no such table: pictures"_s;
    QTest::newRow("no room for a second page")
        << pictures << 10000 << qint64(4096) << u"EngineError"_s << u"disk I/O error"_s;
}

void TestRecordSet::failedNewLibraryLeavesNothing() {
    QFETCH(QString, script);
    QFETCH(int, pictureBytes);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    const QString templatePath = path(u"pictures.tbr"_s);
    QCOMPARE(makeTemplate(templatePath, script, 0, pictureBytes), QString());
    const QByteArray templateBefore = TestFiles::readFile(templatePath);

    Failure failure;
    {
        const FileSizeLimit limit{rlim_t(fileSizeLimit)};
        failure = failureOf([&] { makeEmptyCopy(templatePath, path(u"new.tbr"_s)); });
    }
    QCOMPARE(failure.kind, kind);
    QCOMPARE(failure.message, message);
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), QStringList(u"pictures.tbr"_s));
    QCOMPARE(TestFiles::readFile(templatePath), templateBefore);
}

QTEST_GUILESS_MAIN(TestRecordSet)
#include "tst_recordset.moc"
