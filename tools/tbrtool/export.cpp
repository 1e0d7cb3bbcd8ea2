// export: scores written as JPEG files into a folder, named as the window's
// batch export names them, for a band mate or another program.

#include "command.h"

#include "scoreexport.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

const QString FindOption = u"find"_s;
const QString IdOption = u"id"_s;
const QString NameAsOption = u"name-as"_s;
const QString OverwriteOption = u"overwrite"_s;

QList<qint64> rowIds(const QStringList& values) {
    QList<qint64> ids;
    for (const QString& value : values) {
        bool number = false;
        ids.append(value.toLongLong(&number));
        if (!number)
            throw UsageError(u"not a row id: "_s + value);
    }
    return ids;
}

ScoreSelection selectionOf(const QCommandLineParser& parser) {
    const bool byWord = parser.isSet(FindOption), byId = parser.isSet(IdOption);
    if (byWord && byId)
        throw UsageError(u"--find and --id do not go together"_s);
    if (byWord)
        return ScoreSelection::nameContaining(parser.value(FindOption));
    if (byId)
        return ScoreSelection::ids(rowIds(parser.values(IdOption)));
    return ScoreSelection::all();
}

// A script's export: nothing that is there is replaced unless it asks, and
// a score without a picture gives no file, rather than an empty one.
ExportNaming namingOf(const QCommandLineParser& parser) {
    ExportNaming naming;
    if (parser.isSet(NameAsOption))
        naming = {false, parser.value(NameAsOption)};
    naming.replaceExisting = parser.isSet(OverwriteOption);
    naming.emptyFiles = false;
    return naming;
}

// "KIND: what is wrong", the words check uses for a score without a picture.
QByteArray whyPassedOver(const ExportedScore& score, const QByteArray& file) {
    if (score.passedOver == PassedOver::FileExists)
        return "exists: " + quotedName(file) +
               " is there already; not replaced without --overwrite";
    return score.bytes < 0 ? "no-picture: The score has no picture"
                           : "empty-picture: The picture has no bytes";
}

// "ID<tab>FILE" on standard output for each file written, FILE in the folder
// as it was given, told as it is written, so that a failure later leaves
// them told; "ID<tab>NAME<tab>KIND: message" on standard error for each score
// passed over.
void tell(const ExportedScore& score, const QDir& folder) {
    const QByteArray file = score.file.isNull()
                                ? QByteArray()
                                : folder.filePath(QFileInfo(score.file).fileName()).toUtf8();
    if (!score.passedOver)
        return write(rowLine(score.rowId, file));
    const std::optional<QByteArray> name =
        score.name.isNull() ? std::nullopt : std::optional(score.name.toUtf8());
    QByteArray line = rowLine(score.rowId, name);
    line.insert(line.size() - 1, '\t' + whyPassedOver(score, file));
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
}

void exportInto(const QCommandLineParser& parser, const QStringList& arguments) {
    const ScoreSelection selection = selectionOf(parser);
    const ExportNaming naming = namingOf(parser);
    const OpenLibrary library(arguments[0]);
    const QDir folder(arguments[1]);
    const QList<ExportedScore> exported = about<FileError>(library.file, [&] {
        return exportLibraryScores(library.file, arguments[1], selection, naming,
                                   [&](const ExportedScore& score) { tell(score, folder); });
    });
    const qsizetype passedOver =
        std::count_if(exported.begin(), exported.end(),
                      [](const ExportedScore& score) { return score.passedOver.has_value(); });
    if (passedOver)
        throw Error(library.file +
                    u": %1 of %2 score(s) not exported"_s.arg(passedOver).arg(exported.size()));
}

} // namespace

Command exportCommand() {
    return {u"export"_s,
            u"JPEG files of the scores in the folder DIR, named as the batch export names them"_s,
            {{u"LIB"_s, u"the library"_s}, {u"DIR"_s, u"an existing folder"_s}},
            {QCommandLineOption(FindOption, u"Exports only the scores find shows for WORD."_s,
                                u"WORD"_s),
             QCommandLineOption(IdOption,
                                u"Exports the score with row id N; may be given more "
                                u"than once."_s,
                                u"N"_s),
             QCommandLineOption(NameAsOption,
                                u"Names the files TEXT1.jpg, TEXT2.jpg, ... in "
                                u"the order they are exported."_s,
                                u"TEXT"_s),
             QCommandLineOption(OverwriteOption,
                                u"Replaces files that are there already; without it none is."_s)},
            exportInto};
}

} // namespace Tbrtool
