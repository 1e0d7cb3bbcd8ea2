#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

struct sqlite3;
class RecordSet;

// The one connection to a library file.
//
// Opening never creates a file, applies SQLite's defensive settings (a library
// may come from anywhere) and waits on locks held by other programs instead of
// failing at once. The file stays one self-contained file (rollback journal).
//
// A library cannot make the program work without end: every statement (with
// the triggers and views it runs) is stopped once it has kept the engine busy
// for its time limit (DefaultTimeLimit unless set), and the engine's memory
// is bounded. Busy means the time the processor spent on it: a library on a
// slow disk waits, it does not work.
class Connection {
public:
    Connection() = default;
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // The library file's path; only while the connection is closed.
    void SetDatabase(const QString& path);
    const QString& Database() const { return m_path; }
    // The engine's file layer (VFS) the file is opened through: the one that
    // reads ahead (GatheredReads) unless named; only while the connection is
    // closed.
    void SetVfs(const char* name);

    void Open();
    // Closes the record set on this connection first.
    void Close();
    bool Connected() const { return m_db != nullptr; }
    // Makes this library a copy of `source`, through the engine's backup.
    // Inside a ReadTransaction on `source`, the copy is of one committed state.
    void CopyFrom(const Connection& source);
    // True for a library whose changes go to a write-ahead log beside it, so
    // that its file alone is not the whole library.
    bool WriteAheadLog() const;
    // The bytes left unused at the end of every page (kept for an extension
    // of the engine's); they can be set only before the first table is made.
    int ReservedBytes() const;
    void SetReservedBytes(int bytes);
    // Runs one statement that returns no rows, on its own.
    void Execute(const QString& sql);
    // A blob or text value of `table`.`column` in row `rowid`, read directly;
    // nothing when the engine cannot open it so (another type, a view, no such row).
    std::optional<QByteArray> ReadBlob(const QString& table, const QString& column,
                                       qint64 rowid) const;

    sqlite3* handle() const { return m_db; }
    // Throws the engine's message for the last failure on this connection.
    [[noreturn]] void fail() const;

    static constexpr int BusyTimeoutMs = 5000;
    static constexpr std::chrono::milliseconds DefaultTimeLimit{5000};
    // The engine's memory, for every connection of the program: far above any
    // picture a library holds, far below what would exhaust the machine.
    static constexpr qint64 EngineMemoryLimit = 1024LL * 1024 * 1024;
    // How long one statement may keep the engine busy on this connection.
    void SetTimeLimit(std::chrono::milliseconds limit) { m_timeLimit = limit; }

private:
    friend class RecordSet;
    friend class Statement;
    // Statements running now (nested ones count once): the time limit runs
    // from the first one's first step until the last one is done.
    void startWork() const;
    void endWork() const;
    static int onProgress(void* connection);
    friend class Transaction;

    QString m_path;
    const char* m_vfs = nullptr;
    sqlite3* m_db = nullptr;
    RecordSet* m_recordSet = nullptr;
    std::chrono::milliseconds m_timeLimit = DefaultTimeLimit;
    mutable int m_working = 0;
    mutable std::chrono::nanoseconds m_workStarted{0}; // of this thread's processor time
    mutable bool m_stopped = false;
    mutable int m_transactions = 0; // write transactions open, nested ones included
};

// An SQL statement that is finalized however its scope is left.
class Statement {
public:
    Statement(const Connection& connection, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    struct sqlite3_stmt* get() const {
        return m_stmt;
    }
    // Steps once; true while a row is available.
    bool step();
    void bind(int index, const QString& text);
    void bind(int index, const QByteArray& blob);
    // Binds `blob` without a copy of its bytes, for a picture of many
    // megabytes: it must stay as it is for as long as the statement lives.
    void bindUncopied(int index, const QByteArray& blob);
    void bind(int index, qint64 value);
    void bindNull(int index);
    // The value in `column` of the current row of `row`, as it is: its type
    // and its bytes.
    void bindValueOf(int index, const Statement& row, int column);
    // Ready to run again; the values bound stay until others are bound.
    void reset();

    QString text(int column) const;
    bool isNull(int column) const;
    qint64 int64(int column) const;
    QByteArray blob(int column) const;
    // A text value's bytes in UTF-8 as the engine hands them over, unchecked:
    // a name that is not valid UTF-8 keeps the bytes text() would replace.
    QByteArray utf8(int column) const;

private:
    void check(int rc) const;
    QByteArrayView textBytes(int column) const;
    bool m_started = false;
    const void* checked(const void* value, int column) const;

    const Connection& m_connection;
    struct sqlite3_stmt* m_stmt = nullptr;
};

// Reads the values of one column of a table row after row, each into a
// buffer the caller keeps from one row to the next: a run over every picture
// of a library then takes no fresh memory for each, every fresh page of which
// costs a fault. Between reads the row stays open, which holds the library as
// a read transaction does, until release().
class BlobReader {
public:
    BlobReader(const Connection& connection, const QString& table, const QString& column);
    ~BlobReader() { release(); }
    BlobReader(const BlobReader&) = delete;
    BlobReader& operator=(const BlobReader&) = delete;

    // The blob or text value in row `rowid` into `value` (resized to it;
    // its memory is reused when large enough). False, with `value` left
    // undefined, when the engine cannot read it so (another type, a view, no
    // such row) or fails to: a statement reading the value then gives the
    // engine's own words for it.
    bool read(qint64 rowid, QByteArray& value);
    void release() noexcept;

private:
    bool open(qint64 rowid);

    const Connection& m_connection;
    QByteArray m_table;
    QByteArray m_column;
    struct sqlite3_blob* m_blob = nullptr;
};

// A read transaction: while it lasts the library is seen as it was when it
// began, and in a library with a rollback journal no other program can
// commit a change to the file.
class ReadTransaction {
public:
    explicit ReadTransaction(const Connection& connection);
    ~ReadTransaction();
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    const Connection& m_connection;
};

// A write transaction that rolls back unless committed. Inside another one on
// the same connection it is a part of that one (a savepoint): its commit keeps
// its changes for the outer one's, its rollback undoes only its own. So a run
// of record set writes inside one Transaction is all or nothing.
class Transaction {
public:
    explicit Transaction(const Connection& connection);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

private:
    const Connection& m_connection;
    bool m_nested = false;
    bool m_open = false;
};
