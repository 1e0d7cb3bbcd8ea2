// Fuzz target: a library opened through the store, stepped through as the
// main window does (every name read, every picture decoded), then a score
// renamed, one deleted and one added, so that whatever the library runs on a
// change runs too.
//
// An input that is a library file ("SQLite format 3") is taken as the file.
// Any other input builds a new library: its first byte picks what `pictures`
// is (below), the rest is SQL run on it, each statement on its own and a
// failing one skipped.

#include "connection.h"
#include "errors.h"
#include "recordset.h"

#include <QFile>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include <sqlite3.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {
const char* const Schemas[] = {
    // The table every library has.
    "CREATE TABLE pictures (filename TEXT, picture BLOB);",
    // A view over another table, changed through its own triggers.
    "CREATE TABLE scores (filename TEXT, picture BLOB);"
    "CREATE VIEW pictures AS SELECT rowid AS rowid, filename, picture FROM scores;"
    "CREATE TRIGGER put INSTEAD OF INSERT ON pictures BEGIN"
    " INSERT INTO scores VALUES (new.filename, new.picture); END;"
    "CREATE TRIGGER change INSTEAD OF UPDATE ON pictures BEGIN UPDATE scores"
    " SET filename = new.filename, picture = new.picture WHERE rowid = old.rowid; END;"
    "CREATE TRIGGER remove INSTEAD OF DELETE ON pictures BEGIN"
    " DELETE FROM scores WHERE rowid = old.rowid; END;",
    // A view that repeats each score as often as it says.
    "CREATE TABLE scores (filename TEXT, picture BLOB, copies INTEGER);"
    "CREATE VIEW pictures AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n"
    " WHERE i < (SELECT max(copies) FROM scores))"
    " SELECT s.rowid * 65536 + i AS rowid, s.filename || i AS filename, s.picture"
    " FROM scores s JOIN n ON i <= s.copies;",
    // Triggers that log, change other records and refuse a delete.
    "CREATE TABLE pictures (filename TEXT, picture BLOB);"
    "CREATE TABLE history (what TEXT, filename TEXT);"
    "CREATE TRIGGER added AFTER INSERT ON pictures BEGIN"
    " INSERT INTO history VALUES ('added', new.filename); END;"
    "CREATE TRIGGER renamed AFTER UPDATE OF filename ON pictures BEGIN UPDATE pictures"
    " SET picture = NULL WHERE filename = new.filename AND rowid <> new.rowid; END;"
    "CREATE TRIGGER kept BEFORE DELETE ON pictures WHEN old.filename LIKE 'keep%' BEGIN"
    " SELECT RAISE(ABORT, 'kept'); END;",
    // Odd declared types, constraints and columns of its own.
    "CREATE TABLE pictures (id INTEGER PRIMARY KEY, filename INTEGER NOT NULL DEFAULT 0,"
    " added REAL DEFAULT 1.5, picture TEXT CHECK (length(picture) < 4000), note);",
    "CREATE TABLE pictures (filename INTEGER, picture TEXT) STRICT;",
    // Generated columns, which cannot be written.
    "CREATE TABLE pictures (name TEXT, stored BLOB,"
    " filename TEXT GENERATED ALWAYS AS (upper(name)) VIRTUAL,"
    " picture BLOB GENERATED ALWAYS AS (stored) STORED);",
    // No rowid, but a column of that name.
    "CREATE TABLE pictures (rowid INTEGER PRIMARY KEY, filename TEXT, picture BLOB)"
    " WITHOUT ROWID;",
    // A column named rowid that hides the real one.
    "CREATE TABLE pictures (rowid TEXT, filename TEXT, picture BLOB);",
};

QString scratchFile() {
    return QStringLiteral("/dev/shm/tamblor-fuzz-%1.tbr").arg(::getpid());
}

// The SQL stays inside the scratch library: no other file attached or
// written, no setting beyond the library's own format.
int onlyTheLibrary(void*, int action, const char* name, const char*, const char*, const char*) {
    if (action == SQLITE_ATTACH || action == SQLITE_DETACH)
        return SQLITE_DENY;
    if (action != SQLITE_PRAGMA)
        return SQLITE_OK;
    for (const char* allowed : {"page_size", "auto_vacuum", "encoding", "journal_mode"})
        if (sqlite3_stricmp(name, allowed) == 0)
            return SQLITE_OK;
    return SQLITE_DENY;
}

void build(const QString& path, const char* schema, const char* sql, const char* end) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) == SQLITE_OK) {
        sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 0); // VACUUM INTO attaches too
        sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
        sqlite3_exec(db, "PRAGMA max_page_count = 4096; PRAGMA synchronous = OFF", nullptr, nullptr,
                     nullptr);
        sqlite3_exec(db, schema, nullptr, nullptr, nullptr);
        sqlite3_set_authorizer(db, onlyTheLibrary, nullptr);
        // Half a second for all the statements together.
        auto deadline = std::chrono::steady_clock::now() + 500ms;
        sqlite3_progress_handler(
            db, 1000,
            [](void* when) {
                return int(std::chrono::steady_clock::now() >
                           *static_cast<decltype(deadline)*>(when));
            },
            &deadline);
        while (sql < end && std::chrono::steady_clock::now() < deadline) {
            sqlite3_stmt* statement = nullptr;
            const char* tail = nullptr;
            if (sqlite3_prepare_v2(db, sql, int(end - sql), &statement, &tail) == SQLITE_OK) {
                while (sqlite3_step(statement) == SQLITE_ROW) {
                }
            } else {
                const void* semicolon = std::memchr(sql, ';', size_t(end - sql));
                tail = semicolon ? static_cast<const char*>(semicolon) + 1 : end;
            }
            sqlite3_finalize(statement);
            sql = tail > sql ? tail : sql + 1; // past a zero byte too
        }
    }
    sqlite3_close_v2(db);
}

// Runs one change; a refused one is given up, as the window does.
template <class Change> void attempt(RecordSet& records, Change&& change) {
    try {
        change();
    } catch (const Error&) {
        records.Cancel();
    }
}

void browse(const QString& path) {
    Connection connection;
    connection.SetDatabase(path);
    connection.SetTimeLimit(200ms);
    RecordSet records(connection);
    records.Open();
    // The first records are enough: a library built by SQL can hold a great many.
    const int count = std::min(records.RecordCount(), 64);
    for (int row = 0; row < count; ++row, records.Next()) {
        (void)records.CurrentName();
        try {
            Field& picture = records.FieldByName(QStringLiteral("picture"));
            if (!picture.IsNull())
                picture.LoadPicture().toImage(QSize(459, 355));
        } catch (const EngineError&) {
            break; // the engine refuses this library; the next record costs as much again
        } catch (const Error&) {
        }
    }
    records.Last();
    records.Prior();
    const QString name = QStringLiteral("filename");
    attempt(records, [&] {
        records.Edit();
        records.FieldByName(name).SetAsString(QStringLiteral("renamed"));
        records.Post();
    });
    attempt(records, [&] { records.Delete(); });
    attempt(records, [&] {
        records.Append();
        records.FieldByName(name).SetAsString(QStringLiteral("keep"));
        records.Post();
    });
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = scratchFile();
    const auto* bytes = reinterpret_cast<const char*>(data);
    if (size >= 16 && std::memcmp(bytes, "SQLite format 3", 16) == 0) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(bytes, qint64(size));
    } else if (size > 0) {
        build(path, Schemas[data[0] % std::size(Schemas)], bytes + 1, bytes + size);
    }
    try {
        browse(path);
    } catch (const Error&) {
    }
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    return 0;
}
