// export: scores written as JPEG files into a folder, named as the window's
// batch export names them, for a band mate or another program.

#include "command.h"

#include "scoreexport.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

const QString FindOption = u"find"_s;
const QString IdOption = u"id"_s;
const QString NameAsOption = u"name-as"_s;

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

ExportNaming namingOf(const QCommandLineParser& parser) {
    if (!parser.isSet(NameAsOption))
        return {};
    return {false, parser.value(NameAsOption)};
}

// "ID<tab>FILE" for each file written, FILE in the folder as it was given.
void exportInto(const QCommandLineParser& parser, const QStringList& arguments) {
    const ScoreSelection selection = selectionOf(parser);
    const ExportNaming naming = namingOf(parser);
    const OpenLibrary library(arguments[0]);
    const QDir folder(arguments[1]);
    const QList<ExportedScore> exported = about<FileError>(library.file, [&] {
        return exportLibraryScores(library.file, arguments[1], selection, naming);
    });
    for (const ExportedScore& score : exported)
        write(rowLine(score.rowId, folder.filePath(QFileInfo(score.file).fileName()).toUtf8()));
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
                                u"TEXT"_s)},
            exportInto};
}

} // namespace Tbrtool
