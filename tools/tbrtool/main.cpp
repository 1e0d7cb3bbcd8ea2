// tbrtool: a library file from the command line, through the program's own
// store. This file finds the command, parses its options, prints help and
// usage and turns the outcome into the exit code: 0 done, 1 failed ("tbrtool:
// FILE: message" on standard error, nothing changed), 2 wrong use. Each
// command is a file of its own; see command.h.

#include "command.h"

#include "heap.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Tbrtool;

namespace Tbrtool {
Command createCommand();
Command cloneCommand();
Command addCommand();
Command listCommand();
Command findCommand();
Command infoCommand();
Command removeCommand();
Command renameCommand();
Command checkCommand();
Command backupCommand();
Command exportCommand();
} // namespace Tbrtool

namespace {

// Every command, in the order help lists them.
const QList<Command>& commands() {
    static const QList<Command> all = {createCommand(), cloneCommand(),  addCommand(),
                                       listCommand(),   findCommand(),   infoCommand(),
                                       removeCommand(), renameCommand(), checkCommand(),
                                       backupCommand(), exportCommand()};
    return all;
}

void complain(const QString& text) {
    std::fputs((u"tbrtool: "_s + text + u'\n').toUtf8().constData(), stderr);
}

QString syntaxOf(const Argument& argument) {
    switch (argument.count) {
    case Argument::Count::Optional:
        return u'[' + argument.name + u']';
    case Argument::Count::OneOrMore:
        return argument.name + u"..."_s;
    case Argument::Count::One:
        break;
    }
    return argument.name;
}

// "-0" for a one-letter option, "--name NAME" for a word with a value.
QString syntaxOf(const QCommandLineOption& option) {
    const QString& name = option.names().constFirst();
    QString syntax = (name.size() == 1 ? u"-"_s : u"--"_s) + name;
    if (!option.valueName().isEmpty())
        syntax += u' ' + option.valueName();
    return u'[' + syntax + u']';
}

QString formOf(const Command& command) {
    QString form = command.name;
    for (const Argument& argument : command.arguments)
        form += u' ' + syntaxOf(argument);
    for (const QCommandLineOption& option : command.options)
        form += u' ' + syntaxOf(option);
    return form;
}

bool takes(const Command& command, qsizetype count) {
    qsizetype least = 0;
    bool endless = false;
    for (const Argument& argument : command.arguments) {
        least += argument.count == Argument::Count::Optional ? 0 : 1;
        endless = endless || argument.count == Argument::Count::OneOrMore;
    }
    return count >= least && (endless || count <= command.arguments.size());
}

// The first argument that is no option, which the command's options are
// needed to parse the rest.
const Command* commandIn(const QStringList& arguments) {
    QString name;
    for (qsizetype i = 1; i < arguments.size() && name.isEmpty(); ++i) {
        if (arguments[i] == u"--")
            name = arguments.value(i + 1);
        else if (!arguments[i].startsWith(u'-'))
            name = arguments[i];
    }
    const auto found = std::find_if(commands().begin(), commands().end(),
                                    [&](const Command& command) { return command.name == name; });
    return found == commands().end() ? nullptr : &*found;
}

// Wrong use: what was wrong, then the form of the command, or of them all.
int usage(const QString& problem, const Command* command) {
    complain(problem);
    QString prefix = u"usage: "_s;
    for (const Command& each : commands()) {
        if (command && &each != command)
            continue;
        std::fputs((prefix + u"tbrtool "_s + formOf(each) + u'\n').toUtf8().constData(), stderr);
        prefix.fill(u' ');
    }
    if (command)
        std::fputs(u"Try 'tbrtool %1 --help'.\n"_s.arg(command->name).toUtf8().constData(), stderr);
    return 2;
}

void describe(QCommandLineParser& parser, const Command* command) {
    if (!command) {
        QString text = u"A library file from the command line, through the program's own "
                       u"store.\n\nCommands:"_s;
        for (const Command& each : commands())
            text += u"\n  "_s + formOf(each) + u"\n      "_s + each.description;
        parser.setApplicationDescription(text);
        parser.addPositionalArgument(u"command"_s, u"one of the commands above"_s,
                                     u"command [arguments]"_s);
        return;
    }
    parser.setApplicationDescription(command->description);
    parser.addOptions(command->options);
    parser.addPositionalArgument(command->name, command->description, command->name);
    for (const Argument& argument : command->arguments)
        parser.addPositionalArgument(argument.name, argument.description, syntaxOf(argument));
}

// What is still buffered for standard output is written now; a failure there
// (a full disk) fails the command.
int finish(int code) {
    try {
        flush();
    } catch (const Error& e) {
        complain(e.message());
        return 1;
    }
    return code;
}

int run(const Command& command, const QCommandLineParser& parser, QStringList arguments) {
    try {
        command.run(parser, arguments);
    } catch (const UsageError& e) {
        return usage(e.message(), &command);
    } catch (const Error& e) {
        complain(e.message());
        return 1;
    } catch (const std::exception& e) {
        // Out of memory, above all: reported like any failure, never an abort.
        complain(QString::fromLocal8Bit(e.what()));
        return 1;
    }
    return finish(0);
}

} // namespace

int main(int argc, char* argv[]) {
    keepPictureBuffersForReuse();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TAMBLOR_VERSION));
    const QStringList arguments = QCoreApplication::arguments();
    const Command* command = commandIn(arguments);
    QCommandLineParser parser;
    // Not the parser's own help option: that one also offers Qt's options,
    // which mean nothing here.
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Shows this help."_s);
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    describe(parser, command);
    if (!parser.parse(arguments))
        return usage(parser.errorText(), command);
    if (parser.isSet(help)) {
        writeText(parser.helpText());
        return finish(0);
    }
    if (parser.isSet(version)) {
        writeText(u"tbrtool "_s + QCoreApplication::applicationVersion() + u'\n');
        return finish(0);
    }
    QStringList given = parser.positionalArguments();
    if (!command)
        return usage(given.isEmpty() ? u"no command given"_s
                                     : u"unknown command: "_s + given.constFirst(),
                     nullptr);
    given.removeFirst();
    if (!takes(*command, given.size()))
        return usage(u"wrong number of arguments for %1"_s.arg(command->name), command);
    return run(*command, parser, given);
}
