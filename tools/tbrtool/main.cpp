// tbrtool: a library file from the command line, through the program's own store.
//
//   tbrtool create FILE                  an empty library (the template of every library)
//   tbrtool add FILE PICTURE [NAME]      a JPEG file byte for byte, a bitmap as JPEG data
//   tbrtool list FILE                    the names, in the library's own order
//   tbrtool [COMMAND] --help | --version  this help, or the program's version

#include "connection.h"
#include "errors.h"
#include "library.h"
#include "picturefile.h"
#include "recordset.h"
#include "wholefile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>
#include <array>

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

// Each command with its arguments; one in brackets may be left out.
struct Argument {
    QString name;
    QString description;
    bool optional = false;
};
struct Command {
    QString name;
    QString description;
    QList<Argument> arguments;
    void (*run)(const QStringList& arguments);
};

const std::array<Command, 3> Commands = {
    Command{u"create"_s,
            u"an empty library (the template of every library)"_s,
            {{u"FILE"_s, u"the library to make; an existing file is never taken over"_s}},
            [](const QStringList& arguments) { create(arguments[0]); }},
    Command{u"add"_s,
            u"a JPEG file byte for byte, a bitmap as JPEG data"_s,
            {{u"FILE"_s, u"the library"_s},
             {u"PICTURE"_s, u"the picture file"_s},
             {u"NAME"_s,
              u"the score's name; the picture file's name without its extension "
              u"when left out"_s,
              true}},
            [](const QStringList& arguments) {
                add(arguments[0], arguments[1],
                    arguments.size() == 3 ? arguments[2]
                                          : QFileInfo(arguments[1]).completeBaseName());
            }},
    Command{u"list"_s,
            u"the names, in the library's own order"_s,
            {{u"FILE"_s, u"the library"_s}},
            [](const QStringList& arguments) { list(arguments[0]); }},
};

QString syntaxOf(const Argument& argument) {
    return argument.optional ? u'[' + argument.name + u']' : argument.name;
}

QString formOf(const Command& command) {
    QString form = command.name;
    for (const Argument& argument : command.arguments)
        form += u' ' + syntaxOf(argument);
    return form;
}

const Command* commandNamed(const QString& name) {
    for (const Command& command : Commands)
        if (command.name == name)
            return &command;
    return nullptr;
}

bool takes(const Command& command, qsizetype count) {
    const auto required =
        std::count_if(command.arguments.begin(), command.arguments.end(),
                      [](const Argument& argument) { return !argument.optional; });
    return count >= required && count <= command.arguments.size();
}

// Wrong arguments: what was wrong, if the parser could tell, then every form.
int usage(const QString& problem = {}) {
    if (!problem.isEmpty())
        err() << "tbrtool: " << problem << '\n';
    QString prefix = u"usage: "_s;
    for (const Command& command : Commands) {
        err() << prefix << "tbrtool " << formOf(command) << '\n';
        prefix.fill(u' ');
    }
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMBLOR_VERSION));
    QCommandLineParser parser;
    QString description = u"A library file from the command line, through the program's own "
                          u"store.\n\nCommands:"_s;
    for (const Command& command : Commands)
        description += u"\n  "_s + formOf(command).leftJustified(25) + command.description;
    parser.setApplicationDescription(description);
    // Not the parser's own help option: that one also offers Qt's options,
    // which mean nothing here.
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Shows this help."_s);
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(u"command"_s, u"create, add or list"_s, u"command [arguments]"_s);
    if (!parser.parse(app.arguments()))
        return usage(parser.errorText());
    QStringList args = parser.positionalArguments();
    const Command* command = args.isEmpty() ? nullptr : commandNamed(args.takeFirst());
    if (command) {
        // The help on a command names its own arguments.
        parser.clearPositionalArguments();
        parser.addPositionalArgument(command->name, command->description, command->name);
        for (const Argument& argument : command->arguments)
            parser.addPositionalArgument(argument.name, argument.description, syntaxOf(argument));
    }
    if (parser.isSet(help)) {
        out() << parser.helpText();
        return 0;
    }
    if (parser.isSet(version)) {
        out() << QCoreApplication::applicationName() << ' '
              << QCoreApplication::applicationVersion() << '\n';
        return 0;
    }
    if (!command || !takes(*command, args.size()))
        return usage();
    try {
        command->run(args);
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
