// list, find: the scores of a library, or those the window's find shows, as
// lines of row id and name, as JSON, or as names alone ended by NUL bytes.

#include "command.h"

#include "jpegpicture.h"
#include "storedpicture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSize>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

const QString JsonOption = u"json"_s;
const QString NulOption = u"0"_s;

enum class Form { Lines, Json, Nul };

Form formOf(const QCommandLineParser& parser) {
    const bool json = parser.isSet(JsonOption), nul = parser.isSet(NulOption);
    if (json && nul)
        throw UsageError(u"--json and -0 do not go together"_s);
    return json ? Form::Json : nul ? Form::Nul : Form::Lines;
}

// From the JPEG header alone; nothing for a picture that has none to read.
std::optional<QSize> pictureSize(RecordSet& records, int row) {
    if (records.PictureLengthAt(row) <= 0)
        return std::nullopt;
    try {
        const JpegCodec::Header header =
            JpegCodec::readHeader(StoredPicture::jpegFromValue(records.PictureValueAt(row)));
        return QSize(header.width, header.height);
    } catch (const JpegError&) {
        return std::nullopt;
    }
}

// Null stands for what the library holds as null or cannot tell. A name that
// is not UTF-8 is shown with replacement characters, its bytes given beside.
QByteArray jsonOf(RecordSet& records, int row) {
    QJsonObject score;
    score[u"id"_s] = records.IdAt(row);
    putName(score, u"name"_s, records.NameBytesAt(row));
    const qint64 length = records.PictureLengthAt(row);
    score[u"bytes"_s] = length < 0 ? QJsonValue() : QJsonValue(length);
    const std::optional<QSize> size = pictureSize(records, row);
    score[u"width"_s] = size ? QJsonValue(size->width()) : QJsonValue();
    score[u"height"_s] = size ? QJsonValue(size->height()) : QJsonValue();
    return QJsonDocument(score).toJson(QJsonDocument::Compact);
}

void printJson(RecordSet& records) {
    write("[");
    for (int row = 0; row < records.RecordCount(); ++row) {
        write(row == 0 ? "\n" : ",\n");
        write(jsonOf(records, row));
    }
    write("\n]\n");
}

// Every name ended by a NUL byte, or none: a name that holds one would be
// taken for two, so it fails the whole list before anything is printed. (A
// NUL byte stays one in the name shown; bytes that are not UTF-8 never
// become one.)
void printNulEnded(const RecordSet& records) {
    QStringList holdingNul;
    for (int row = 0; row < records.RecordCount(); ++row)
        if (records.NameAt(row).contains(QChar(u'\0')))
            holdingNul.append(QString::number(records.IdAt(row)));
    if (!holdingNul.isEmpty())
        throw Error(u"a name holds a NUL byte, which -0 cannot print (row id %1)"_s.arg(
            holdingNul.join(u", "_s)));
    for (int row = 0; row < records.RecordCount(); ++row)
        write(records.NameBytesAt(row).value_or(QByteArray()) + '\0');
}

void print(RecordSet& records, Form form) {
    if (form == Form::Json)
        return printJson(records);
    if (form == Form::Nul)
        return printNulEnded(records);
    for (int row = 0; row < records.RecordCount(); ++row)
        write(rowLine(records.IdAt(row), records.NameBytesAt(row)));
}

// The scores `query` selects, all read in one state of the library.
void printScores(const QCommandLineParser& parser, const QString& file,
                 const Queries::Query& query) {
    const Form form = formOf(parser);
    OpenLibrary library(file);
    const ReadTransaction reading =
        about(file, [&] { return ReadTransaction(library.connection); });
    library.read(query);
    about(file, [&] { print(library.records, form); });
}

QList<QCommandLineOption> forms() {
    return {QCommandLineOption(JsonOption, u"Prints JSON: row id, name, size in bytes and "
                                           u"pixel dimensions of each score."_s),
            QCommandLineOption(NulOption, u"Prints only the names, each ended by a NUL byte, "
                                          u"as they are stored."_s)};
}

} // namespace

Command listCommand() {
    return {u"list"_s,
            u"the row id and name of every score, in the library's order"_s,
            {{u"LIB"_s, u"the library"_s}},
            forms(),
            [](const QCommandLineParser& parser, const QStringList& arguments) {
                printScores(parser, arguments[0], Queries::allScores());
            }};
}

Command findCommand() {
    return {u"find"_s,
            u"the scores whose names hold WORD, as the window's find; printed as list prints"_s,
            {{u"LIB"_s, u"the library"_s},
             {u"WORD"_s, u"found anywhere in a name; % and _ stand for any text and any one "
                         u"character"_s}},
            forms(),
            [](const QCommandLineParser& parser, const QStringList& arguments) {
                printScores(parser, arguments[0], Queries::namesContaining(arguments[1]));
            }};
}

} // namespace Tbrtool
