// tbrtool: a library file from the command line, through the program's own store.
//
//   tbrtool create FILE                  an empty library (the template of every library)
//   tbrtool add FILE PICTURE [NAME]      a JPEG file byte for byte, a bitmap as JPEG data
//   tbrtool list FILE                    the names, in the library's own order

#include "connection.h"
#include "errors.h"
#include "library.h"
#include "picturefile.h"
#include "recordset.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err() {
    static QTextStream stream(stderr);
    return stream;
}

int usage() {
    err() << "usage: tbrtool create FILE\n"
             "       tbrtool add FILE PICTURE [NAME]\n"
             "       tbrtool list FILE\n";
    return 2;
}

void create(const QString& path) {
    try {
        createEmptyLibrary(path);
    } catch (const Error& e) {
        // An existing file is never taken over, whatever it holds.
        if (QFileInfo::exists(absoluteFilePath(path)))
            throw Error(path + u": already exists; nothing was changed"_s);
        throw Error(path + u": "_s + e.message());
    }
}

// Opens FILE as a library; a missing file is named plainly rather than
// reported in the engine's words.
void openLibrary(Connection& connection, RecordSet& records, const QString& path) {
    if (!QFileInfo::exists(absoluteFilePath(path)))
        throw Error(u"no such library file"_s);
    connection.SetDatabase(path);
    records.Open();
}

// Names the file a failure is about.
template <class Step> auto about(const QString& path, Step step) {
    try {
        return step();
    } catch (const Error& e) {
        throw Error(path + u": "_s + e.message());
    }
}

void add(const QString& path, const QString& picturePath, const QString& name) {
    JpegPicture picture = about(picturePath, [&] { return loadPictureFile(picturePath); });
    Connection connection;
    RecordSet records(connection);
    about(path, [&] { openLibrary(connection, records, path); });
    records.Append();
    records.FieldByName(Columns::Name).SetAsString(name);
    records.FieldByName(Columns::Picture).StorePicture(picture);
    about(path, [&] { records.Post(); });
}

void list(const QString& path) {
    Connection connection;
    RecordSet records(connection);
    about(path, [&] { openLibrary(connection, records, path); });
    for (int row = 0; row < records.RecordCount(); ++row)
        out() << records.NameAt(row) << '\n';
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString& command = args[0];
    try {
        if (command == u"create" && args.size() == 2)
            create(args[1]);
        else if (command == u"add" && (args.size() == 3 || args.size() == 4))
            add(args[1], args[2],
                args.size() == 4 ? args[3] : QFileInfo(args[2]).completeBaseName());
        else if (command == u"list" && args.size() == 2)
            list(args[1]);
        else
            return usage();
    } catch (const Error& e) {
        err() << "tbrtool: " << e.message() << '\n';
        return 1;
    } catch (const std::exception& e) {
        // Out of memory, above all: reported like any failure, never an abort.
        err() << "tbrtool: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
