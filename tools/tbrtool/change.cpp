// remove, rename: scores chosen by row id, since names need not be unique.

#include "command.h"

#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

QList<qint64> idsOf(const QStringList& texts) {
    QList<qint64> ids;
    for (const QString& text : texts) {
        bool ok = false;
        ids.append(text.toLongLong(&ok));
        if (!ok)
            throw UsageError(u"not a row id: "_s + text);
    }
    return ids;
}

// The rows of the scores with `ids`, each once. All are looked up before
// anything changes: one that no score has fails the whole command.
QList<int> rowsOf(const RecordSet& records, const QList<qint64>& ids) {
    QHash<qint64, int> rowById;
    for (int row = 0; row < records.RecordCount(); ++row)
        rowById.insert(records.IdAt(row), row);
    QList<int> rows;
    QStringList missing;
    for (const qint64 id : ids) {
        const int row = rowById.value(id, -1);
        if (row < 0)
            missing.append(QString::number(id));
        else if (!rows.contains(row))
            rows.append(row);
    }
    if (!missing.isEmpty())
        throw Error(u"no score has row id %1; nothing was changed"_s.arg(missing.join(u", "_s)));
    return rows;
}

// The change and the look-up before it see one state of the library.
template <class Change> void change(const QString& file, const QList<qint64>& ids, Change change) {
    OpenLibrary library(file);
    Transaction whole = about(file, [&] { return Transaction(library.connection); });
    library.read();
    about(file, [&] {
        change(library.records, rowsOf(library.records, ids));
        whole.commit();
    });
}

void removeScores(const QCommandLineParser&, const QStringList& arguments) {
    change(arguments[0], idsOf(arguments.mid(1)), [](RecordSet& records, QList<int> rows) {
        // From the last, so that the rows still to go keep their places.
        std::sort(rows.begin(), rows.end(), std::greater<>());
        for (const int row : rows) {
            records.MoveTo(row);
            records.Delete();
        }
    });
}

void renameScore(const QCommandLineParser&, const QStringList& arguments) {
    const QString& name = arguments[2];
    change(arguments[0], idsOf({arguments[1]}), [&](RecordSet& records, const QList<int>& rows) {
        records.MoveTo(rows[0]);
        records.Edit();
        records.FieldByName(Columns::Name).SetAsString(name);
        records.Post();
    });
}

} // namespace

Command removeCommand() {
    return {u"remove"_s,
            u"the scores with these row ids, all or none"_s,
            {{u"LIB"_s, u"the library"_s},
             {u"ID"_s, u"a row id, as list prints it"_s, Argument::Count::OneOrMore}},
            {},
            removeScores};
}

Command renameCommand() {
    return {u"rename"_s,
            u"a new name, taken as it is, for the score with this row id"_s,
            {{u"LIB"_s, u"the library"_s},
             {u"ID"_s, u"a row id, as list prints it"_s},
             {u"NAME"_s, u"the new name"_s}},
            {},
            renameScore};
}

} // namespace Tbrtool
