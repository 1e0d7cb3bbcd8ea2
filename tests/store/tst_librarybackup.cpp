// A backup of a library through the engine: one committed state of it, even
// while another program writes, into a new file that a failure removes.

#include "childprocess.h"
#include "connection.h"
#include "errors.h"
#include "failure.h"
#include "librarybackup.h"
#include "libraryfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

QList<Record> records(int count, int size) {
    QList<Record> made;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes(size, char(i));
        bytes.replace(0, 4, QByteArray::number(i * 7919).rightJustified(4, '0'));
        made.append({u"score %1"_s.arg(i), bytes});
    }
    return made;
}

// Each score's name and a hash of its picture in rowid order, then what the
// engine's check says.
QStringList contentOf(const QString& library) {
    QStringList lines;
    for (const Record& record : TestFiles::readLibrary(library))
        lines << *record.name + u' ' + QString::number(qHash(*record.picture));
    Connection connection;
    connection.SetDatabase(library);
    connection.Open();
    Statement check(connection, u"pragma integrity_check"_s);
    while (check.step())
        lines << u"check: "_s + check.text(0);
    Statement mode(connection, u"pragma journal_mode"_s);
    lines << u"journal: "_s + (mode.step() ? mode.text(0) : QString());
    return lines;
}

// What a backup of a library with `content` holds: the same, with a rollback
// journal whatever the library's, so that the copy can be read where it may
// not be written.
QStringList backedUp(QStringList content) {
    content.last() = u"journal: delete"_s;
    return content;
}

} // namespace

class TestLibraryBackup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void init();
    void cleanup() { m_dir.reset(); }

    void copiesOneCommittedState_data();
    void copiesOneCommittedState();
    void copiesWhileAnotherProgramWrites_data();
    void copiesWhileAnotherProgramWrites();
    void waitsForALockedLibrary_data();
    void waitsForALockedLibrary();
    void refusesAnExistingDestination();
    void failuresLeaveNoCopy_data();
    void failuresLeaveNoCopy();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    QString library() const { return path(u"scores.tbr"_s); }
    QString copy() const { return path(u"copy.tbr"_s); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestLibraryBackup::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestLibraryBackup::copiesOneCommittedState_data() {
    QTest::addColumn<QString>("journal");
    QTest::addColumn<int>("pageSize");
    QTest::addColumn<int>("writes"); // by another program, one after each of the first steps
    QTest::addColumn<bool>("held");  // whether other programs may be held off for the copy
    QTest::addColumn<bool>("wholeFile");
    QTest::newRow("rollback journal") << u"delete"_s << 4096 << 0 << true << true;
    QTest::newRow("rollback journal, by pages") << u"delete"_s << 4096 << 0 << false << false;
    QTest::newRow("write-ahead log") << u"wal"_s << 4096 << 0 << true << false;
    QTest::newRow("large pages") << u"delete"_s << 65536 << 0 << true << true;
    QTest::newRow("large pages, by pages") << u"delete"_s << 65536 << 0 << false << false;
    QTest::newRow("one write meanwhile") << u"delete"_s << 4096 << 1 << false << false;
    QTest::newRow("writes without end") << u"delete"_s << 4096 << 1000 << false << false;
    QTest::newRow("write-ahead log, writes without end")
        << u"wal"_s << 4096 << 1000 << true << false;
}

// Page by page, the other program adds two scores in one transaction between
// steps: each write begins the copy again, up to the limit, after which the
// rest goes over at once. What is copied is the library as it is now, since
// no write follows the last step.
void TestLibraryBackup::copiesOneCommittedState() {
    QFETCH(QString, journal);
    QFETCH(int, pageSize);
    QFETCH(int, writes);
    QFETCH(bool, held);
    QFETCH(bool, wholeFile);
    TestFiles::makeLibrary(library(), records(40, 20'000),
                           u"pragma page_size = %1; "_s.arg(pageSize) +
                               QString::fromLatin1(TestFiles::DefaultSchema));
    TestFiles::execute(library(), u"pragma journal_mode = "_s + journal);
    Connection window;
    window.SetDatabase(library());
    window.Open();
    int written = 0;
    QList<qint64> heard;
    const auto writePair = [&](qint64 copied, qint64 total) {
        heard << copied;
        if (written >= writes || copied == total)
            return;
        Transaction adding(window);
        ++written;
        window.Execute(u"insert into pictures values ('pair %1 a', zeroblob(5000)), "
                       u"('pair %1 b', randomblob(5000))"_s.arg(written));
        adding.commit();
    };
    BackupSteps steps{64 * 1024, writePair};
    if (!held)
        steps.holdAtMost = std::chrono::milliseconds(0);
    const LibraryBackup done = backupLibrary(library(), copy(), steps);

    QCOMPARE(contentOf(copy()), backedUp(contentOf(library())));
    QVERIFY(contentOf(copy()).contains(u"check: ok"_s));
    QCOMPARE(done.wholeFile, wholeFile);
    QCOMPARE(done.restarts, std::min(written, MaxBackupRestarts));
    QCOMPARE(done.pageSize, pageSize);
    QCOMPARE(done.pages * pageSize, QFileInfo(copy()).size());
    QVERIFY(heard.size() >= (wholeFile ? 1 : 3));
    QCOMPARE(heard.last(), done.pages);
}

// Another program adds pairs of scores in one transaction each, as fast as
// it can, all through the backup: the copy is of one committed state, whole
// pairs only, whichever way it is made.
void TestLibraryBackup::copiesWhileAnotherProgramWrites_data() {
    QTest::addColumn<bool>("held");
    QTest::newRow("whole file") << true;
    QTest::newRow("by pages") << false;
}

void TestLibraryBackup::copiesWhileAnotherProgramWrites() {
    QFETCH(bool, held);
    const int first = 300;
    TestFiles::makeLibrary(library(), records(first, 60'000));
    std::atomic_bool stop = false;
    std::atomic_int pairs = 0;
    QString writerFailure;
    std::thread writer([&] {
        try {
            Connection other;
            other.SetDatabase(library());
            other.Open();
            while (!stop) {
                Transaction adding(other);
                other.Execute(u"insert into pictures values ('a', randomblob(30000)), "
                              u"('b', randomblob(30000))"_s);
                adding.commit();
                ++pairs;
                // A program a user works in: a pause between changes, in
                // which the backup may take its step.
                QThread::msleep(2);
            }
        } catch (const Error& e) {
            writerFailure = e.message();
        }
    });
    const auto joined = qScopeGuard([&] {
        stop = true;
        if (writer.joinable())
            writer.join();
    });
    while (pairs < 2)
        QThread::msleep(1);
    BackupSteps steps;
    steps.bytes = 256 * 1024;
    if (!held)
        steps.holdAtMost = std::chrono::milliseconds(0);
    const LibraryBackup done = backupLibrary(library(), copy(), steps);
    stop = true;
    writer.join();

    QCOMPARE(writerFailure, QString());
    QCOMPARE(done.wholeFile, held);
    const QStringList copied = contentOf(copy());
    QVERIFY(copied.contains(u"check: ok"_s));
    const qsizetype scores = copied.size() - 2; // less the check and journal lines
    QVERIFY(scores >= first + 4);
    QCOMPARE((scores - first) % 2, 0);
}

void TestLibraryBackup::waitsForALockedLibrary_data() {
    QTest::addColumn<bool>("released"); // else held until the copy gives up
    QTest::newRow("released while the copy waits") << true;
    QTest::newRow("held beyond the busy time") << false;
}

void TestLibraryBackup::waitsForALockedLibrary() {
    QFETCH(bool, released);
    TestFiles::makeLibrary(library(), records(3, 1000));
    std::atomic_bool locked = false, copying = false, release = false;
    const pid_t copier = pid_t(::gettid());
    std::thread holder([&] {
        Connection other;
        other.SetDatabase(library());
        other.Open();
        other.Execute(u"begin exclusive"_s);
        locked = true;
        // Let go once the copy has been turned away and waits, or once it
        // has given up.
        while (!copying && !release)
            QThread::msleep(1);
        if (released)
            waitUntilAsleep(copier, &release);
        while (!release && !released)
            QThread::msleep(10);
        other.Execute(u"rollback"_s);
    });
    const auto joined = qScopeGuard([&] {
        release = true;
        holder.join();
    });
    while (!locked)
        QThread::msleep(1);

    copying = true;
    const Failure failure = failureOf([&] { backupLibrary(library(), copy()); });
    if (!released) {
        QCOMPARE(failure.kind + u": "_s + failure.message, u"EngineError: database is locked"_s);
        QVERIFY(!QFileInfo::exists(copy()));
    } else {
        QCOMPARE(failure.kind, u"none"_s);
        QCOMPARE(contentOf(copy()), backedUp(contentOf(library())));
    }
}

void TestLibraryBackup::refusesAnExistingDestination() {
    TestFiles::makeLibrary(library(), records(2, 100));
    TestFiles::writeFile(copy(), "an earlier backup");
    const Failure failure = failureOf([&] { backupLibrary(library(), copy()); });
    QCOMPARE(failure.kind + u": "_s + failure.message,
             u"FileError: Cannot create file \""_s + copy() + u"\". File exists"_s);
    QCOMPARE(TestFiles::readFile(copy()), QByteArray("an earlier backup"));
}

void TestLibraryBackup::failuresLeaveNoCopy_data() {
    QTest::addColumn<QString>("source"); // below the test folder
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("sizeLimit");   // of the files written; 0: none
    QTest::addColumn<QString>("failure"); // "<copy>" for the target's full path
    QTest::newRow("missing library")
        << u"missing"_s << u"copy.tbr"_s << 0 << u"EngineError: unable to open database file"_s;
    QTest::newRow("no library") << u"text"_s << u"copy.tbr"_s << 0
                                << u"EngineError: file is not a database"_s;
    // A copy that fails the engine's check is no backup, even when made as
    // the library is.
    QTest::newRow("damaged library")
        << u"damaged.tbr"_s << u"free/copy.tbr"_s << 0
        << u"EngineError: The library fails the engine's check, so no copy is kept: "
           u"Page 2: btreeInitPage() returns error code 11"_s;
    QTest::newRow("folder not writable")
        << u"scores.tbr"_s << u"locked/copy.tbr"_s << 0
        << u"FileError: Cannot create file \"<copy>\". Permission denied"_s;
    QTest::newRow("no such folder")
        << u"scores.tbr"_s << u"none/copy.tbr"_s << 0
        << u"FileError: Cannot create file \"<copy>\". No such file or directory"_s;
    // A file size limit stands in for a full disk.
    QTest::newRow("full disk") << u"scores.tbr"_s << u"free/copy.tbr"_s << 100'000
                               << u"FileError: Cannot write file \"<copy>\". File too large"_s;
}

// Run as another user where the test runs as root, whose rights would hide
// the locked folder; the copy that fails goes where that user may write, so
// only the failure itself keeps it from being made.
void TestLibraryBackup::failuresLeaveNoCopy() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(int, sizeLimit);
    QFETCH(QString, failure);
    QCOMPARE(::chmod(QFile::encodeName(m_dir->path()).constData(), 0755), 0);
    for (const QString& folder : {u"locked"_s, u"free"_s})
        QVERIFY(QDir(m_dir->path()).mkdir(folder));
    QCOMPARE(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0555), 0);
    QCOMPARE(::chmod(QFile::encodeName(path(u"free"_s)).constData(), 0777), 0);
    TestFiles::makeLibrary(library(), records(20, 20'000));
    TestFiles::writeFile(path(u"text"_s), QByteArray(5000, 't'));
    // The scores' first page no page of a table: the file still opens.
    QByteArray damaged = TestFiles::readFile(library());
    damaged[4096] = 0;
    TestFiles::writeFile(path(u"damaged.tbr"_s), damaged);
    const QStringList before = TestFiles::entriesBelow(m_dir->path());

    const Failure failed = inChild([&] { backupLibrary(path(source), path(target)); },
                                   {true, sizeLimit > 0 ? rlim_t(sizeLimit) : RLIM_INFINITY});
    QCOMPARE(failed.kind + u": "_s + failed.message,
             QString(failure).replace(u"<copy>"_s, path(target)));
    QCOMPARE(TestFiles::entriesBelow(m_dir->path()), before);
}

QTEST_GUILESS_MAIN(TestLibraryBackup)
#include "tst_librarybackup.moc"
