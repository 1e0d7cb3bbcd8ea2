#include "library.h"

#include "connection.h"
#include "errors.h"
#include "recordset.h"
#include "wholefile.h"

#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <optional>

using namespace Qt::StringLiterals;

namespace Queries {

Query allScores() {
    return {u"select * from pictures"_s, {}};
}

Query namesContaining(const QString& word) {
    return {u"select * from pictures where filename like ?"_s, {u'%' + word + u'%'}};
}

} // namespace Queries

void createEmptyLibrary(const QString& path) {
    NewFile made(path);
    Connection library;
    library.SetDatabase(made.hiddenPath());
    library.Open();
    library.Execute(u"create table pictures (filename TEXT, picture BLOB)"_s);
    library.Close();
    made.place();
}

namespace {

// Making a new library from a large default library may keep the engine busy
// longer than one statement of everyday work.
constexpr std::chrono::minutes MakingTimeLimit{2};

QString quotedName(const QString& name) {
    return u'"' + QString(name).replace(u'"', u"\"\""_s) + u'"';
}

qint64 number(const Connection& connection, const QString& sql) {
    Statement statement(connection, sql);
    return statement.step() ? statement.int64(0) : 0;
}

// The rows of one table as they are carried over: every column that holds a
// value (a generated column is worked out again) and, where the rowids are
// kept, the rowid under a name no column of the table takes.
struct TableRows {
    QString table;
    QStringList columns;
    QString rowid;
};

// A new library as the template's schema makes it, in the order compacting
// the template would make it: tables, indexes, then views and triggers in the
// template's order. Nothing of it depends on the template's pictures.
struct Blueprint {
    // Fixed by the file's first table.
    int pageSize = 0;
    int reservedBytes = 0;
    qint64 autoVacuum = 0;
    QString encoding;
    // Kept in the file's first page.
    qint64 userVersion = 0;
    qint64 applicationId = 0;
    qint64 defaultCacheSize = 0; // 0: the engine's own
    bool writeAheadLog = false;

    QStringList tables;
    QList<TableRows> rows; // every table's but the pictures'
    // The counters of AUTOINCREMENT keys, as the template has them.
    bool sequence = false;
    QStringList indexes;
    QStringList viewsAndTriggers;
};

// Nothing when the template holds what only a whole copy reproduces: the
// engine's statistics (sqlite_stat*), a virtual table, an indexed table whose
// rowid every one of its names (rowid, oid, _rowid_) hides, or pictures whose
// deleting runs a trigger.
std::optional<Blueprint> blueprintOf(const Connection& source) {
    Blueprint plan;
    Statement schema(source,
                     u"select type, name, sql, rootpage from sqlite_schema order by rowid"_s);
    while (schema.step()) {
        const QString type = schema.text(0);
        const QString name = schema.text(1);
        if (type == u"table") {
            if (sameIdentifier(name, u"sqlite_sequence")) {
                plan.sequence = true;
                continue;
            }
            if (sameIdentifier(name.left(7), u"sqlite_") || schema.int64(3) == 0)
                return std::nullopt;
            plan.tables.append(schema.text(2));
            if (!sameIdentifier(name, u"pictures"))
                plan.rows.append({name, {}, {}});
        } else if (type == u"index") {
            // The indexes of UNIQUE and PRIMARY KEY come with their tables.
            if (!schema.isNull(2))
                plan.indexes.append(schema.text(2));
        } else {
            plan.viewsAndTriggers.append(schema.text(2));
        }
    }

    for (TableRows& rows : plan.rows) {
        Statement columns(source, u"select name, hidden from pragma_table_xinfo(?, 'main')"_s);
        columns.bind(1, rows.table);
        QStringList names;
        while (columns.step()) {
            names.append(columns.text(0));
            if (columns.int64(1) == 0)
                rows.columns.append(names.last());
        }
        // Compacting keeps the rowids of a table with an index, which point
        // to them, and numbers the rows of any other table afresh in their
        // order, as inserting them without rowids does. A table without rowid
        // has an index of its key.
        Statement indexed(source, u"select wr = 0 and exists (select 1 from "
                                  u"pragma_index_list(?1, 'main')) from pragma_table_list(?1) "
                                  u"where schema = 'main'"_s);
        indexed.bind(1, rows.table);
        if (indexed.step() && indexed.int64(0) != 0) {
            for (const QString& rowid : {u"rowid"_s, u"oid"_s, u"_rowid_"_s}) {
                if (std::none_of(names.cbegin(), names.cend(), [&](const QString& column) {
                        return sameIdentifier(column, rowid);
                    })) {
                    rows.rowid = rowid;
                    break;
                }
            }
            if (rows.rowid.isEmpty())
                return std::nullopt;
        }
    }

    // The engine's own plan for emptying the table: a trigger it would fire
    // runs as a program of its own. Deleting from a view or a table the
    // template does not have fails here as it would on a whole copy.
    Statement emptying(source, u"explain delete from pictures"_s);
    while (emptying.step()) {
        if (emptying.text(1) == u"Program")
            return std::nullopt;
    }

    plan.pageSize = int(number(source, u"pragma page_size"_s));
    plan.reservedBytes = source.ReservedBytes();
    plan.autoVacuum = number(source, u"pragma auto_vacuum"_s);
    Statement encoding(source, u"pragma encoding"_s);
    plan.encoding = encoding.step() ? encoding.text(0) : u"UTF-8"_s;
    plan.userVersion = number(source, u"pragma user_version"_s);
    plan.applicationId = number(source, u"pragma application_id"_s);
    // The engine tells an unset size as its own default, negative.
    plan.defaultCacheSize = std::max<qint64>(number(source, u"pragma default_cache_size"_s), 0);
    plan.writeAheadLog = source.WriteAheadLog();
    return plan;
}

void copyRows(const Connection& source, const Connection& library, const TableRows& rows) {
    QStringList names;
    if (!rows.rowid.isEmpty())
        names.append(rows.rowid);
    names.append(rows.columns);
    for (QString& name : names)
        name = quotedName(name);
    const QString list = names.join(u", "_s);
    const QString table = quotedName(rows.table);
    Statement read(source, u"select %1 from %2"_s.arg(list, table));
    Statement write(library, u"insert into %1 (%2) values (%3)"_s.arg(
                                 table, list, QStringList(names.size(), u"?"_s).join(u", "_s)));
    const int count = int(names.size());
    while (read.step()) {
        for (int column = 0; column < count; ++column)
            write.bindValueOf(column + 1, read, column);
        write.step();
        write.reset();
    }
}

void makeFromBlueprint(const Connection& source, Connection& library, const Blueprint& plan) {
    library.Execute(u"pragma page_size = %1"_s.arg(plan.pageSize));
    library.SetReservedBytes(plan.reservedBytes);
    library.Execute(u"pragma auto_vacuum = %1"_s.arg(plan.autoVacuum));
    library.Execute(u"pragma encoding = '%1'"_s.arg(plan.encoding));
    // The template's rows go in as they are, as compacting takes them.
    library.Execute(u"pragma ignore_check_constraints = on"_s);

    Transaction making(library);
    for (const QString& sql : plan.tables)
        library.Execute(sql);
    for (const TableRows& rows : plan.rows)
        copyRows(source, library, rows);
    // Filling a table of AUTOINCREMENT keys moved its counter on.
    if (plan.sequence &&
        number(library, u"select count(*) from sqlite_schema where name = 'sqlite_sequence'"_s) >
            0) {
        library.Execute(u"delete from sqlite_sequence"_s);
        copyRows(source, library, {u"sqlite_sequence"_s, {u"name"_s, u"seq"_s}, {}});
    }
    // Made after the rows, so no trigger runs while they go in.
    for (const QString& sql : plan.indexes + plan.viewsAndTriggers)
        library.Execute(sql);
    library.Execute(u"pragma user_version = %1"_s.arg(plan.userVersion));
    library.Execute(u"pragma application_id = %1"_s.arg(plan.applicationId));
    if (plan.defaultCacheSize > 0)
        library.Execute(u"pragma default_cache_size = %1"_s.arg(plan.defaultCacheSize));
    making.commit();
    if (plan.writeAheadLog)
        library.Execute(u"pragma journal_mode = wal"_s);
}

// The pictures of a whole copy deleted (their triggers run), and the file
// compacted so that nothing of them is left in it.
void emptyAndCompact(Connection& library) {
    // Zeroing every page the pictures free would write them all again, twice
    // with the journal, in a file that compacting rewrites anyway.
    const qint64 secureDelete = number(library, u"pragma secure_delete"_s);
    library.Execute(u"pragma secure_delete = off"_s);
    library.Execute(u"delete from pictures"_s);
    library.Execute(u"pragma secure_delete = %1"_s.arg(
        secureDelete == 2 ? u"fast"_s : QString::number(secureDelete)));
    library.Execute(u"vacuum"_s);
}

} // namespace

void makeEmptyCopy(const QString& templatePath, const QString& target) {
    if (!QFileInfo::exists(templatePath))
        return;
    NewFile made(target);
    const QString hidden = made.hiddenPath();
    Connection source;
    source.SetDatabase(templatePath);
    source.SetTimeLimit(MakingTimeLimit);
    source.Open();
    Connection library;
    library.SetDatabase(hidden);
    library.SetTimeLimit(MakingTimeLimit);
    bool fromPlan = false;
    {
        // No other program can change the template while it is read.
        const ReadTransaction reading(source);
        if (const std::optional<Blueprint> plan = blueprintOf(source)) {
            library.Open();
            makeFromBlueprint(source, library, *plan);
            fromPlan = true;
        } else if (source.WriteAheadLog()) {
            library.Open();
            library.CopyFrom(source);
        } else {
            try {
                copyFileContents(templatePath, hidden);
            } catch (const FileError& e) {
                throw made.named(e);
            }
        }
    }
    if (!fromPlan) {
        library.Open();
        emptyAndCompact(library);
    }
    // Closed first: with a write-ahead log, the library is whole in its file
    // only once its log has gone back into it.
    library.Close();
    made.place();
}
