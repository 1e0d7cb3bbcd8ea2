// Every library is read through the layer that reads ahead: what it reads
// must be what the file holds, in any order, and another program's change
// must be seen by the next transaction, never what was read ahead before it.

#include "connection.h"
#include "libraryfiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char& byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// Sizes around the engine's pages and the layer's reads ahead (up to 4 MiB).
const QList<qsizetype> Sizes{1, 4093, 64 * 1024, 300'000, 5 * 1024 * 1024 + 17, 10'000};

QByteArray picture(const Connection& connection, qint64 rowid) {
    return connection.ReadBlob(u"pictures"_s, u"picture"_s, rowid).value_or("(none)");
}

// Another program writes the picture of `rowid` where it lies (its pages
// stay where they were) and, for a library with a write-ahead log, copies
// the log into the file.
void overwriteElsewhere(const QString& library, qint64 rowid, const QByteArray& bytes) {
    sqlite3* db = nullptr;
    QCOMPARE(sqlite3_open_v2(library.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, "unix"),
             SQLITE_OK);
    sqlite3_blob* blob = nullptr;
    QCOMPARE(sqlite3_blob_open(db, "main", "pictures", "picture", rowid, 1, &blob), SQLITE_OK);
    QCOMPARE(sqlite3_blob_write(blob, bytes.constData(), int(bytes.size()), 0), SQLITE_OK);
    QCOMPARE(sqlite3_blob_close(blob), SQLITE_OK);
    QCOMPARE(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr),
             SQLITE_OK);
    QCOMPARE(sqlite3_close(db), SQLITE_OK);
}

} // namespace

class TestGatheredReads : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void readsWhatTheFileHolds_data();
    void readsWhatTheFileHolds();
    void seesAnotherProgramsChange_data();
    void seesAnotherProgramsChange();

private:
    QString library() const { return m_dir->filePath(u"scores.tbr"_s); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QList<QByteArray> m_pictures; // rowid 1, 2, ...
};

void TestGatheredReads::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QList<TestFiles::Record> records;
    m_pictures.clear();
    for (const qsizetype size : Sizes) {
        m_pictures << randomBytes(size, quint32(size));
        records.append({u"score"_s, m_pictures.last()});
    }
    TestFiles::makeLibrary(library(), records);
}

void TestGatheredReads::readsWhatTheFileHolds_data() {
    QTest::addColumn<QList<int>>("rowids");
    QTest::newRow("in order") << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::newRow("the last alone") << QList<int>{6};
    QTest::newRow("backwards") << QList<int>{6, 5, 4, 3, 2, 1};
    QTest::newRow("to and fro, each twice") << QList<int>{6, 6, 1, 5, 2, 4, 3, 3, 4, 2, 5, 1};
}

void TestGatheredReads::readsWhatTheFileHolds() {
    QFETCH(QList<int>, rowids);
    Connection connection;
    connection.SetDatabase(library());
    connection.Open();
    for (const int rowid : rowids)
        QVERIFY2(picture(connection, rowid) == m_pictures[rowid - 1],
                 qPrintable(u"rowid %1"_s.arg(rowid)));
}

void TestGatheredReads::seesAnotherProgramsChange_data() {
    QTest::addColumn<QString>("journal");
    QTest::newRow("rollback journal") << u"delete"_s;
    QTest::newRow("write-ahead log") << u"wal"_s;
}

// A library small enough to be read ahead whole. The other program rewrites
// the last picture's pages where they lie, round after round: what was read
// ahead in one round is in memory when the next begins.
void TestGatheredReads::seesAnotherProgramsChange() {
    QFETCH(QString, journal);
    QFile::remove(library());
    TestFiles::makeLibrary(library(),
                           {{u"one"_s, m_pictures[1]}, {u"two"_s, randomBytes(20'000, 0)}});
    TestFiles::execute(library(), u"pragma journal_mode = "_s + journal);
    Connection connection;
    connection.SetDatabase(library());
    connection.Open();
    for (quint32 round = 1; round <= 3; ++round) {
        QVERIFY(picture(connection, 1) == m_pictures[1]);
        const QByteArray changed = randomBytes(20'000, round);
        overwriteElsewhere(library(), 2, changed);
        QVERIFY2(picture(connection, 2) == changed, qPrintable(u"round %1"_s.arg(round)));
    }
}

QTEST_GUILESS_MAIN(TestGatheredReads)
#include "tst_gatheredreads.moc"
