#include "librarycheck.h"

#include "connection.h"
#include "errors.h"
#include "handover.h"
#include "jpegpicture.h"
#include "recordset.h"
#include "storedpicture.h"

#include <QCryptographicHash>
#include <QHash>
#include <QRunnable>
#include <QScopeGuard>
#include <QThread>
#include <QThreadPool>

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Kind = LibraryProblem::Kind;

// The integrity check reads every page of the file: a large library keeps
// the engine busy far longer than any statement of everyday work.
constexpr std::chrono::minutes IntegrityTimeLimit{10};

// Each line of the engine's integrity check but its "ok". A library too
// damaged for the check to run is one problem in the engine's words; any
// other failure (no library, locked) is thrown.
QList<LibraryProblem> integrityProblems(Connection& library) {
    library.SetTimeLimit(IntegrityTimeLimit);
    const auto restore = qScopeGuard([&] { library.SetTimeLimit(Connection::DefaultTimeLimit); });
    QList<LibraryProblem> problems;
    try {
        Statement check(library, u"pragma integrity_check"_s);
        // The engine gives its findings one to a line, the first after a
        // line naming the database.
        while (check.step())
            for (const QString& line : check.text(0).split(u'\n', Qt::SkipEmptyParts))
                if (line != u"ok" && !line.startsWith(u"*** in database "))
                    problems.append({Kind::Integrity, {}, {}, line, {}, {}, {}, {}});
    } catch (const EngineError& e) {
        if ((sqlite3_errcode(library.handle()) & 0xff) != SQLITE_CORRUPT)
            throw;
        problems.append({Kind::Integrity, {}, {}, e.message(), {}, {}, {}, {}});
    }
    return problems;
}

// What decoding one picture found; no kind when all is well.
struct Outcome {
    std::optional<Kind> kind;
    QString message;
    QByteArray hash; // of the JPEG data, when there is any
};

// Whatever goes wrong is the picture's outcome: nothing leaves a worker.
Outcome examine(QByteArrayView value) noexcept {
    const QByteArrayView jpeg = StoredPicture::jpegWithin(value);
    if (jpeg.isEmpty())
        return {Kind::EmptyPicture, u"The picture has no bytes"_s, {}};
    Outcome outcome;
    try {
        outcome.hash = QCryptographicHash::hash(jpeg, QCryptographicHash::Blake2b_256);
        JpegCodec::decodeThrough(QByteArray::fromRawData(jpeg.data(), jpeg.size()));
    } catch (const PictureTooLargeError& e) {
        outcome.kind = Kind::TooLarge;
        outcome.message = e.message();
    } catch (const Error& e) {
        outcome.kind = Kind::Undecodable;
        outcome.message = e.message();
    } catch (const std::exception& e) {
        outcome.kind = Kind::Undecodable;
        outcome.message = QString::fromLocal8Bit(e.what());
    }
    return outcome;
}

// The few buffers the pictures are read into, taken by the reading thread
// and given back by the decoding ones, so that only that many pictures are
// ever held and none takes fresh memory.
class Buffers {
public:
    explicit Buffers(int count) : m_count(count), m_free(count) {}
    // `waiting` runs before a wait for a buffer to come back.
    QByteArray take(const std::function<void()>& waiting) {
        std::unique_lock lock(m_mutex);
        if (m_free.isEmpty()) {
            lock.unlock();
            waiting();
            lock.lock();
            m_returned.wait(lock, [this] { return !m_free.isEmpty(); });
        }
        return m_free.takeLast();
    }
    // Told under the lock: once the last is back, nothing here is touched.
    void give(QByteArray buffer) {
        const std::lock_guard lock(m_mutex);
        m_free.append(std::move(buffer));
        m_returned.notify_all();
    }
    // Once all are back, all the work given them is done.
    void waitForAll() {
        std::unique_lock lock(m_mutex);
        m_returned.wait(lock, [this] { return m_free.size() == m_count; });
    }

private:
    const qsizetype m_count;
    std::mutex m_mutex;
    std::condition_variable m_returned;
    QList<QByteArray> m_free;
};

// Reads every picture of `records` and has it examined on the pool: the
// outcome of row r in outcomes[r].
void examineAll(RecordSet& records, std::vector<Outcome>& outcomes) {
    const int workers = std::max(QThread::idealThreadCount(), 1);
    Buffers buffers(2 * workers);
    // After the buffers: it waits for the work still running before they go.
    QThreadPool pool;
    pool.setMaxThreadCount(workers);
    PictureReader reader(records);
    for (int row = 0; row < int(outcomes.size()); ++row) {
        QByteArray value = buffers.take([&] { reader.pause(); });
        bool held = false;
        try {
            held = reader.read(row, value);
            if (!held)
                outcomes[size_t(row)] = {Kind::NoPicture, u"The score has no picture"_s, {}};
        } catch (const Error& e) {
            outcomes[size_t(row)] = {Kind::Unreadable, e.message(), {}};
        }
        if (!held) {
            buffers.give(std::move(value));
            continue;
        }
        pool.start(Handover([&buffers, &outcomes, row, value = std::move(value)]() mutable {
            outcomes[size_t(row)] = examine(value);
            buffers.give(std::move(value));
        }));
    }
    reader.pause();
    buffers.waitForAll();
}

QString describedRow(qint64 rowId, const QString& name) {
    return u"row %1 \"%2\""_s.arg(rowId).arg(name);
}

QByteArray storedName(const RecordSet& records, int row) {
    return records.NameBytesAt(row).value_or(QByteArray());
}

// Each score's problems in the library's order, a duplicate's after its own.
QList<LibraryProblem> scoreProblems(const RecordSet& records,
                                    const std::vector<Outcome>& outcomes) {
    QList<LibraryProblem> problems;
    QHash<QByteArray, int> firstWith;
    for (int row = 0; row < int(outcomes.size()); ++row) {
        const Outcome& outcome = outcomes[size_t(row)];
        const qint64 id = records.IdAt(row);
        const QString name = records.NameAt(row);
        if (outcome.kind)
            problems.append(
                {*outcome.kind, id, name, outcome.message, {}, {}, storedName(records, row), {}});
        if (outcome.hash.isEmpty())
            continue;
        const auto first = firstWith.constFind(outcome.hash);
        if (first == firstWith.cend()) {
            firstWith.insert(outcome.hash, row);
            continue;
        }
        const qint64 firstId = records.IdAt(*first);
        const QString firstName = records.NameAt(*first);
        problems.append({Kind::Duplicate, id, name,
                         u"The same picture as "_s + describedRow(firstId, firstName), firstId,
                         firstName, storedName(records, row), storedName(records, *first)});
    }
    return problems;
}

} // namespace

LibraryCheck checkLibrary(const QString& path) {
    Connection library;
    library.SetDatabase(path);
    library.Open();
    LibraryCheck check;
    check.problems = integrityProblems(library);
    RecordSet records(library);
    try {
        records.Open();
    } catch (const Error& e) {
        // Scores unreadable in a sound file: it is no library at all.
        if (check.problems.isEmpty())
            throw;
        check.problems.append({Kind::Unreadable, {}, {}, e.message(), {}, {}, {}, {}});
        return check;
    }
    std::vector<Outcome> outcomes(size_t(records.RecordCount()));
    examineAll(records, outcomes);
    check.scores = int(outcomes.size());
    check.problems += scoreProblems(records, outcomes);
    return check;
}
