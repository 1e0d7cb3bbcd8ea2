// info: what a library holds and how its file is laid out.

#include "command.h"

#include "wholefile.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

qint64 pragma(const Connection& connection, const QString& name) {
    Statement statement(connection, u"pragma "_s + name);
    return statement.step() ? statement.int64(0) : 0;
}

QByteArray line(const QString& label, qint64 value) {
    return (label + u':').leftJustified(15).toUtf8() + QByteArray::number(value) + '\n';
}

void printInfo(const QCommandLineParser&, const QStringList& arguments) {
    OpenLibrary library(arguments[0]);
    const ReadTransaction reading =
        about(library.file, [&] { return ReadTransaction(library.connection); });
    library.read();
    const RecordSet& records = library.records;
    qint64 pictureBytes = 0;
    for (int row = 0; row < records.RecordCount(); ++row)
        pictureBytes += std::max<qint64>(records.PictureLengthAt(row), 0);
    about(library.file, [&] {
        write(line(u"scores"_s, records.RecordCount()) + line(u"picture bytes"_s, pictureBytes) +
              line(u"file size"_s, QFileInfo(absoluteFilePath(library.file)).size()) +
              line(u"page size"_s, pragma(library.connection, u"page_size"_s)) +
              line(u"free pages"_s, pragma(library.connection, u"freelist_count"_s)));
    });
}

} // namespace

Command infoCommand() {
    return {u"info"_s,
            u"scores, bytes of pictures, file size, page size and free pages"_s,
            {{u"LIB"_s, u"the library"_s}},
            {},
            printInfo};
}

} // namespace Tbrtool
