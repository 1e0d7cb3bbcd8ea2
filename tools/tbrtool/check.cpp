// check: a library looked over after a scare, each problem on a line of its
// own (or in JSON), and an exit status a script can trust.

#include "command.h"

#include "librarycheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

const QString JsonOption = u"json"_s;

using Kind = LibraryProblem::Kind;

// The word a script matches on; the message says the rest.
QString kindWord(Kind kind) {
    switch (kind) {
    case Kind::Integrity:
        return u"damaged"_s;
    case Kind::Unreadable:
        return u"unreadable"_s;
    case Kind::NoPicture:
        return u"no-picture"_s;
    case Kind::EmptyPicture:
        return u"empty-picture"_s;
    case Kind::Undecodable:
        return u"undecodable"_s;
    case Kind::TooLarge:
        return u"too-large"_s;
    case Kind::Duplicate:
        return u"duplicate"_s;
    }
    return {};
}

std::optional<QByteArray> nameOf(const QString& name, const QByteArray& bytes) {
    return name.isNull() ? std::nullopt : std::optional(bytes);
}

// "ID<tab>NAME<tab>KIND: message", the name quoted as list quotes it; a
// problem of the whole file has "-" for its id and no name.
QByteArray lineOf(const LibraryProblem& problem) {
    QByteArray line =
        problem.rowId ? rowLine(*problem.rowId, nameOf(problem.name, problem.nameBytes)) : "-\t\n";
    line.chop(1);
    // The other score's name is quoted as any name is: it may hold anything.
    const QByteArray message = problem.kind == Kind::Duplicate
                                   ? "The same picture as row " +
                                         QByteArray::number(problem.sameAsRowId.value_or(0)) + ' ' +
                                         quotedName(problem.sameAsNameBytes)
                                   : problem.message.toUtf8().replace('\n', ' ');
    return line + '\t' + kindWord(problem.kind).toUtf8() + ": " + message + '\n';
}

QJsonValue optionalId(const std::optional<qint64>& id) {
    return id ? QJsonValue(*id) : QJsonValue();
}

QJsonObject jsonOf(const LibraryProblem& problem) {
    QJsonObject object{{u"kind"_s, kindWord(problem.kind)},
                       {u"id"_s, optionalId(problem.rowId)},
                       {u"message"_s, problem.message}};
    putName(object, u"name"_s, nameOf(problem.name, problem.nameBytes));
    if (problem.kind == Kind::Duplicate) {
        object[u"same_as_id"_s] = optionalId(problem.sameAsRowId);
        putName(object, u"same_as_name"_s, nameOf(problem.sameAsName, problem.sameAsNameBytes));
    }
    return object;
}

void print(const LibraryCheck& check, bool json) {
    if (json) {
        QJsonArray problems;
        for (const LibraryProblem& problem : check.problems)
            problems.append(jsonOf(problem));
        const QJsonObject report{
            {u"scores"_s, check.scores}, {u"ok"_s, check.ok()}, {u"problems"_s, problems}};
        return write(QJsonDocument(report).toJson(QJsonDocument::Indented));
    }
    for (const LibraryProblem& problem : check.problems)
        write(lineOf(problem));
    if (check.ok())
        writeText(u"%1 score(s) checked, all well\n"_s.arg(check.scores));
}

void checkOne(const QCommandLineParser& parser, const QStringList& arguments) {
    const OpenLibrary library(arguments[0]);
    const LibraryCheck check = about(library.file, [&] { return checkLibrary(library.file); });
    print(check, parser.isSet(JsonOption));
    if (!check.ok())
        throw Error(
            library.file +
            u": %1 problem(s) found in %2 score(s)"_s.arg(check.problems.size()).arg(check.scores));
}

} // namespace

Command checkCommand() {
    return {u"check"_s,
            u"the engine's integrity check, every picture decoded, duplicates; exit 0 only "
            u"when all is well"_s,
            {{u"LIB"_s, u"the library"_s}},
            {QCommandLineOption(JsonOption, u"Prints the problems as JSON."_s)},
            checkOne};
}

} // namespace Tbrtool
