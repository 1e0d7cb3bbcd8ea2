#include "connection.h"

#include "errors.h"
#include "gatheredreads.h"
#include "recordset.h"
#include "wholefile.h"

#include <QFileInfo>

#include <sqlite3.h>

#include <utility>

#include <time.h>

using namespace Qt::StringLiterals;

Connection::~Connection() {
    Close();
}

void Connection::SetDatabase(const QString& path) {
    if (Connected())
        throw Error(QStringLiteral("Operation not allowed when the connection is open"));
    m_path = path;
}

void Connection::SetVfs(const char* name) {
    if (Connected())
        throw Error(QStringLiteral("Operation not allowed when the connection is open"));
    m_vfs = name;
}

void Connection::Open() {
    if (Connected())
        return;
    // An absolute path is never taken for a "file:" address or a temporary
    // database; a pipe or a device would keep the engine's first read waiting.
    const QString fullPath = absoluteFilePath(m_path);
    refuseSpecialFile(fullPath);
    const QByteArray path = fullPath.toUtf8();
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE,
                                   m_vfs ? m_vfs : GatheredReads::vfsName());
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        throw EngineError(message);
    }
    sqlite3_hard_heap_limit64(EngineMemoryLimit);
    // Every thousand steps of the engine's machine, the time limit is looked at.
    sqlite3_progress_handler(db, 1000, &Connection::onProgress, this);
    // A library whose settings cannot be made is not opened at all.
    const bool settled =
        sqlite3_busy_timeout(db, BusyTimeoutMs) == SQLITE_OK &&
        sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr) == SQLITE_OK &&
        sqlite3_db_config(db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr) == SQLITE_OK &&
        sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA cell_size_check = ON", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!settled) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        throw EngineError(message);
    }
    m_db = db;
}

void Connection::Close() {
    if (m_recordSet)
        m_recordSet->Close();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Connection::CopyFrom(const Connection& source) {
    if (!m_db)
        fail();
    sqlite3_backup* backup = sqlite3_backup_init(m_db, "main", source.m_db, "main");
    if (!backup)
        fail();
    const int copied = sqlite3_backup_step(backup, -1);
    if (sqlite3_backup_finish(backup) != SQLITE_OK || copied != SQLITE_DONE)
        fail();
}

bool Connection::WriteAheadLog() const {
    // The engine names its journal modes in lower case, always.
    Statement mode(*this, u"pragma journal_mode"_s);
    return mode.step() && mode.text(0) == u"wal";
}

// The engine answers with the bytes it keeps and sets the number given,
// unless that is negative.
int Connection::ReservedBytes() const {
    int bytes = -1;
    if (!m_db ||
        sqlite3_file_control(m_db, "main", SQLITE_FCNTL_RESERVE_BYTES, &bytes) != SQLITE_OK)
        fail();
    return bytes;
}

void Connection::SetReservedBytes(int bytes) {
    if (!m_db ||
        sqlite3_file_control(m_db, "main", SQLITE_FCNTL_RESERVE_BYTES, &bytes) != SQLITE_OK)
        fail();
}

void Connection::Execute(const QString& sql) {
    Statement statement(*this, sql);
    while (statement.step()) {
    }
}

std::optional<QByteArray> Connection::ReadBlob(const QString& table, const QString& column,
                                               qint64 rowid) const {
    if (!m_db)
        fail();
    BlobReader reader(*this, table, column);
    QByteArray bytes;
    if (!reader.read(rowid, bytes))
        return std::nullopt;
    return bytes;
}

void Connection::fail() const {
    if (std::exchange(m_stopped, false) && m_db && sqlite3_errcode(m_db) == SQLITE_INTERRUPT)
        throw EngineError(u"The library kept the engine busy for more than %1 seconds and was "
                          u"stopped"_s.arg(double(m_timeLimit.count()) / 1000));
    throw EngineError(m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                           : QStringLiteral("Connection is closed"));
}

namespace {
std::chrono::nanoseconds processorTime() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}
} // namespace

void Connection::startWork() const {
    if (m_working++ == 0) {
        m_workStarted = processorTime();
        m_stopped = false;
    }
}

void Connection::endWork() const {
    --m_working;
}

int Connection::onProgress(void* connection) {
    const auto* self = static_cast<const Connection*>(connection);
    // Outside a statement of ours (a transaction's begin or end) nothing is timed.
    if (self->m_working == 0 || processorTime() - self->m_workStarted <= self->m_timeLimit)
        return 0;
    self->m_stopped = true;
    return 1;
}

Statement::Statement(const Connection& connection, const QString& sql) : m_connection(connection) {
    if (!connection.Connected())
        connection.fail();
    const QByteArray utf8 = sql.toUtf8();
    if (sqlite3_prepare_v2(connection.handle(), utf8.constData(), int(utf8.size()), &m_stmt,
                           nullptr) != SQLITE_OK)
        connection.fail();
}

Statement::~Statement() {
    sqlite3_finalize(m_stmt);
    if (m_started)
        m_connection.endWork();
}

bool Statement::step() {
    if (!m_started) {
        m_connection.startWork();
        m_started = true;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    m_connection.fail();
}

// A value the engine refuses (too big, out of memory) fails here: a refused
// value must never go in as NULL.
void Statement::check(int rc) const {
    if (rc != SQLITE_OK)
        m_connection.fail();
}

void Statement::bind(int index, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    check(sqlite3_bind_text64(m_stmt, index, utf8.constData(), sqlite3_uint64(utf8.size()),
                              SQLITE_TRANSIENT, SQLITE_UTF8));
}

namespace {

// An empty QByteArray still binds an empty blob, not NULL.
const char* bytesOf(const QByteArray& blob) {
    static const char none = 0;
    return blob.isEmpty() ? &none : blob.constData();
}

} // namespace

void Statement::bind(int index, const QByteArray& blob) {
    check(sqlite3_bind_blob64(m_stmt, index, bytesOf(blob), sqlite3_uint64(blob.size()),
                              SQLITE_TRANSIENT));
}

void Statement::bindUncopied(int index, const QByteArray& blob) {
    check(sqlite3_bind_blob64(m_stmt, index, bytesOf(blob), sqlite3_uint64(blob.size()),
                              SQLITE_STATIC));
}

void Statement::bind(int index, qint64 value) {
    check(sqlite3_bind_int64(m_stmt, index, value));
}

void Statement::bindNull(int index) {
    check(sqlite3_bind_null(m_stmt, index));
}

void Statement::bindValueOf(int index, const Statement& row, int column) {
    check(sqlite3_bind_value(m_stmt, index, sqlite3_column_value(row.m_stmt, column)));
}

// The failure of the last step was reported by step() already.
void Statement::reset() {
    sqlite3_reset(m_stmt);
}

// A value the engine could not hand over (out of memory) is a failure, not an
// empty value.
const void* Statement::checked(const void* value, int column) const {
    if (!value && sqlite3_column_bytes(m_stmt, column) > 0)
        m_connection.fail();
    return value;
}

QByteArrayView Statement::textBytes(int column) const {
    const auto* chars =
        static_cast<const char*>(checked(sqlite3_column_text(m_stmt, column), column));
    return QByteArrayView(chars, sqlite3_column_bytes(m_stmt, column));
}

QString Statement::text(int column) const {
    return QString::fromUtf8(textBytes(column));
}

QByteArray Statement::utf8(int column) const {
    return textBytes(column).toByteArray();
}

bool Statement::isNull(int column) const {
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const {
    return sqlite3_column_int64(m_stmt, column);
}

QByteArray Statement::blob(int column) const {
    const auto* bytes =
        static_cast<const char*>(checked(sqlite3_column_blob(m_stmt, column), column));
    return QByteArray(bytes, sqlite3_column_bytes(m_stmt, column));
}

BlobReader::BlobReader(const Connection& connection, const QString& table, const QString& column)
    : m_connection(connection), m_table(table.toUtf8()), m_column(column.toUtf8()) {}

void BlobReader::release() noexcept {
    sqlite3_blob_close(m_blob);
    m_blob = nullptr;
}

// The row held is moved on where it can be, which spares the engine setting
// up a new read for every row. A failed move leaves the handle of no more use.
bool BlobReader::open(qint64 rowid) {
    if (m_blob && sqlite3_blob_reopen(m_blob, rowid) == SQLITE_OK)
        return true;
    release();
    if (!m_connection.Connected())
        m_connection.fail();
    if (sqlite3_blob_open(m_connection.handle(), "main", m_table.constData(), m_column.constData(),
                          rowid, 0, &m_blob) == SQLITE_OK)
        return true;
    release();
    return false;
}

bool BlobReader::read(qint64 rowid, QByteArray& value) {
    if (!open(rowid))
        return false;
    const int size = sqlite3_blob_bytes(m_blob);
    // A buffer too small is replaced, not grown: its old bytes need no copy.
    if (value.capacity() < size || !value.isDetached())
        value = QByteArray(size, Qt::Uninitialized);
    else
        value.resize(size);
    if (sqlite3_blob_read(m_blob, value.data(), int(value.size()), 0) == SQLITE_OK)
        return true;
    release();
    return false;
}

ReadTransaction::ReadTransaction(const Connection& connection) : m_connection(connection) {
    if (sqlite3_exec(connection.handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        connection.fail();
    // The read lock is taken now, waiting for a writer as any read does.
    if (sqlite3_exec(connection.handle(), "SELECT count(*) FROM sqlite_schema", nullptr, nullptr,
                     nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(connection.handle()));
        sqlite3_exec(connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw EngineError(message);
    }
}

ReadTransaction::~ReadTransaction() {
    sqlite3_exec(m_connection.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

Transaction::Transaction(const Connection& connection)
    : m_connection(connection), m_nested(connection.m_transactions > 0) {
    // IMMEDIATE takes the write lock now, so a busy file is waited for here.
    const char* begin = m_nested ? "SAVEPOINT part" : "BEGIN IMMEDIATE";
    if (sqlite3_exec(connection.handle(), begin, nullptr, nullptr, nullptr) != SQLITE_OK)
        connection.fail();
    m_open = true;
    ++m_connection.m_transactions;
}

Transaction::~Transaction() {
    if (!m_open)
        return;
    --m_connection.m_transactions;
    // A savepoint rolled back stays open until released.
    sqlite3_exec(m_connection.handle(), m_nested ? "ROLLBACK TO part; RELEASE part" : "ROLLBACK",
                 nullptr, nullptr, nullptr);
}

void Transaction::commit() {
    const char* end = m_nested ? "RELEASE part" : "COMMIT";
    if (sqlite3_exec(m_connection.handle(), end, nullptr, nullptr, nullptr) != SQLITE_OK)
        m_connection.fail();
    m_open = false;
    --m_connection.m_transactions;
}
