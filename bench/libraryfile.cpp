#include "libraryfile.h"

#include "errors.h"

#include <QFile>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace LibraryFile {

namespace {

class Database {
public:
    explicit Database(const QString& path) {
        QFile::remove(path);
        if (sqlite3_open(QFile::encodeName(path).constData(), &m_db) != SQLITE_OK)
            fail();
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void execute(const char* sql) {
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
    }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(m_db, sql, -1, &statement, nullptr) != SQLITE_OK)
            fail();
        return statement;
    }
    [[noreturn]] void fail() const { throw EngineError(QString::fromUtf8(sqlite3_errmsg(m_db))); }

private:
    sqlite3* m_db = nullptr;
};

void insertAll(Database& database, const Content& content) {
    sqlite3_stmt* insert = database.prepare("insert into pictures values (?, ?)");
    for (int record = 0; record < content.count; ++record) {
        const QByteArray name = content.name(record).toUtf8();
        const QByteArray picture = content.picture(record);
        sqlite3_bind_text(insert, 1, name.constData(), int(name.size()), SQLITE_STATIC);
        sqlite3_bind_blob(insert, 2, picture.constData(), int(picture.size()), SQLITE_STATIC);
        const bool stored = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
        if (!stored) {
            sqlite3_finalize(insert);
            database.fail();
        }
    }
    sqlite3_finalize(insert);
}

} // namespace

void write(const QString& path, const Content& content) {
    Database database(path);
    database.execute("pragma journal_mode = off; pragma synchronous = off");
    database.execute("begin");
    database.execute("create table pictures (filename TEXT, picture BLOB)");
    insertAll(database, content);
    database.execute("commit");
}

} // namespace LibraryFile
