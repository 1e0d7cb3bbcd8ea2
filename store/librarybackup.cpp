#include "librarybackup.h"

#include "connection.h"
#include "errors.h"
#include "gatheredwrites.h"
#include "wholefile.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <future>

using namespace Qt::StringLiterals;

namespace {

// Errors of writing the copy, as against reading the library.
bool isWriteFailure(int rc) {
    return (rc & 0xff) == SQLITE_FULL || (rc & 0xff) == SQLITE_READONLY ||
           rc == SQLITE_IOERR_WRITE || rc == SQLITE_IOERR_TRUNCATE;
}

// The engine's backup from `library` into `copy`, step by step.
class Backup {
public:
    Backup(const Connection& copy, const Connection& library, QString target)
        : m_target(std::move(target)),
          m_backup(sqlite3_backup_init(copy.handle(), "main", library.handle(), "main")) {
        if (!m_backup)
            copy.fail();
    }
    ~Backup() { sqlite3_backup_finish(m_backup); }
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;

    LibraryBackup run(int pageSize, const BackupSteps& steps) {
        int pages = int(std::clamp<qint64>(steps.bytes / pageSize, 1, INT_MAX));
        int remainingBefore = INT_MAX;
        LibraryBackup done{0, pageSize, 0};
        m_sinceProgress.start();
        for (bool finished = false; !finished;) {
            finished = step(pages);
            // A step that brought the copy no nearer its end began it again:
            // another program changed the library.
            const int remaining = sqlite3_backup_remaining(m_backup);
            if (!finished && remaining >= remainingBefore && ++done.restarts >= MaxBackupRestarts)
                pages = -1;
            remainingBefore = remaining;
            done.pages = sqlite3_backup_pagecount(m_backup);
            if (steps.progress)
                steps.progress(done.pages - remaining, done.pages);
        }
        return done;
    }

    // Writes what the file layer still gathers of `copy`, after the last step.
    void finishWriting(const Connection& copy) const {
        errno = 0;
        if (const int rc = GatheredWrites::flush(copy.handle()); rc != SQLITE_OK)
            fail(rc);
    }

private:
    // One step; true once every page is copied. A library another program
    // holds is tried again until the busy time has passed since the last
    // step done.
    bool step(int pages) {
        for (;;) {
            errno = 0;
            const int rc = sqlite3_backup_step(m_backup, pages);
            if (rc == SQLITE_OK || rc == SQLITE_DONE) {
                m_sinceProgress.restart();
                return rc == SQLITE_DONE;
            }
            if ((rc != SQLITE_BUSY && rc != SQLITE_LOCKED) ||
                m_sinceProgress.elapsed() >= Connection::BusyTimeoutMs)
                fail(rc);
            QThread::msleep(20);
        }
    }

    // A failure to write the copy in the system's words where it has them
    // ("File too large", "No space left on device"), which say more than the
    // engine's "disk I/O error". `error` is errno, cleared before the call
    // that failed.
    [[noreturn]] void fail(int rc, int error = errno) const {
        const QString words = QString::fromUtf8(sqlite3_errstr(rc));
        if (!isWriteFailure(rc))
            throw EngineError(words);
        throw FileError::cannotWrite(m_target,
                                     error ? QString::fromLocal8Bit(std::strerror(error)) : words);
    }

    QString m_target;
    sqlite3_backup* m_backup;
    QElapsedTimer m_sinceProgress;
};

// Read before the copy is made: a file that is no library, or one locked
// beyond the busy time, fails here, with nothing made.
int pageSizeOf(Connection& library) {
    library.Execute(u"select count(*) from sqlite_schema"_s);
    Statement size(library, u"pragma page_size"_s);
    return size.step() ? int(size.int64(0)) : 4096;
}

// In a library with a rollback journal, the file itself is one committed
// state for as long as a reader holds it: no other program may write to it
// meanwhile. It is then copied whole inside the kernel, as fast as a file
// copy. Writers wait for it, though, so only until `limit` has passed; then
// the target is emptied again and false returned. The file's locks belong to
// the process, and closing the copy's own descriptor on the library lets go
// of them: the read transaction ends right after, and no other connection of
// this process may be in a transaction on the library meanwhile.
bool copiedWhileHeld(Connection& library, const QString& source, const QString& target,
                     std::chrono::milliseconds limit) {
    const ReadTransaction holding(library);
    // With a write-ahead log, committed pages may still be in the log. Asked
    // only once the read lock is held: before it, another program could turn
    // the log on, and its checkpoints would rewrite the file while it is copied.
    if (library.WriteAheadLog())
        return false;
    if (copyFileContents(source, target, QDeadlineTimer(limit)))
        return true;
    if (!QFile::resize(target, 0))
        throw FileError::cannotWrite(target, u"Cannot empty it again"_s);
    return false;
}

// The engine's backup into the empty file `target`, step by step, the library
// left free for other programs between steps.
LibraryBackup backupByPages(Connection& library, const QString& target, int pageSize,
                            const BackupSteps& steps) {
    Connection copy;
    copy.SetDatabase(target);
    copy.SetVfs(GatheredWrites::vfsName());
    copy.Open();
    // A new file holds nothing to restore: its journal stays in memory,
    // and a failure removes the file.
    copy.Execute(u"pragma journal_mode = memory"_s);
    copy.Execute(u"pragma synchronous = off"_s);
    Backup backup(copy, library, target);
    const LibraryBackup done = backup.run(pageSize, steps);
    backup.finishWriting(copy);
    return done;
}

// The engine's first complaint of a quick check of `library`, without the
// line naming the database; empty when it passes.
QString firstProblem(const Connection& library) {
    Statement check(library, u"pragma quick_check(1)"_s);
    const QString found = check.step() ? check.text(0) : QString();
    return found == u"ok" ? QString() : found.section(u'\n', -1);
}

// The copy as it is kept: with a rollback journal whatever the library's mode
// (a copy that wants a log beside it cannot be read where it may not be
// written), and whole: it passes the engine's quick check, as the library
// does. The copy is closed again before it is synced.
void settleCopy(const Connection& library, const QString& target) {
    Connection copy;
    copy.SetDatabase(target);
    copy.Open();
    if (copy.WriteAheadLog())
        copy.Execute(u"pragma journal_mode = delete"_s);
    const QString problem = firstProblem(copy);
    if (problem.isEmpty())
        return;
    const QString ownProblem = firstProblem(library);
    if (!ownProblem.isEmpty())
        throw EngineError(u"The library fails the engine's check, so no copy is kept: "_s +
                          ownProblem);
    throw FileError::cannotWrite(target, u"The copy fails the engine's check: "_s + problem);
}

} // namespace

LibraryBackup backupLibrary(const QString& source, const QString& destination,
                            const BackupSteps& steps) {
    Connection library;
    library.SetDatabase(source);
    library.Open();
    const int pageSize = pageSizeOf(library);
    NewFile made(destination);
    const QString copy = made.hiddenPath();
    LibraryBackup done;
    try {
        if (copiedWhileHeld(library, absoluteFilePath(source), copy, steps.holdAtMost)) {
            done = {QFileInfo(copy).size() / pageSize, pageSize, 0, true};
            if (steps.progress)
                steps.progress(done.pages, done.pages);
        } else {
            done = backupByPages(library, copy, pageSize, steps);
        }
        // The disk takes the copy while the engine checks it: each about as
        // long as the copy itself.
        std::future<void> writingOut = std::async(std::launch::async, [&made] { made.writeOut(); });
        settleCopy(library, copy);
        writingOut.get();
    } catch (const FileError& e) {
        throw made.named(e);
    }
    made.place();
    return done;
}
