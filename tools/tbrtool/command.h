#pragma once

// What every tbrtool command is made of, and what the commands share.
//
// A command is one file (create.cpp, add.cpp, ...) defining a function that
// returns its Command: its name, arguments and options, and the function that
// runs it. Adding one is that file, its line in the table in main.cpp and its
// source in CMakeLists.txt; main.cpp parses the command line with the
// command's own options, prints help and usage, and turns failures into exit
// codes.

#include "connection.h"
#include "errors.h"
#include "library.h"
#include "recordset.h"

#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace Tbrtool {

struct Argument {
    enum class Count { One, Optional, OneOrMore };
    QString name;
    QString description;
    Count count = Count::One;
};

struct Command {
    QString name;
    QString description; // one line
    QList<Argument> arguments;
    QList<QCommandLineOption> options;
    // The command's arguments, in the number its Arguments allow; its options
    // are asked of `parser` by name.
    void (*run)(const QCommandLineParser& parser, const QStringList& arguments);
};

// Wrong use of a command found while running it (a value the parser cannot
// judge): exit 2 with the message, like arguments the parser refused.
class UsageError : public Error {
public:
    using Error::Error;
};

// The program's output, byte for byte (names need not be UTF-8); main.cpp
// reports a failure to write it.
void write(QByteArrayView bytes);
void writeText(const QString& text);
// Hands what was written on to standard output now; one that cannot take it
// (a full disk) fails here. A command that changes the library flushes its
// report before it commits, so that a report lost is a change not made,
// never a change made twice by a script that tries again.
void flush();

// Runs `step`; a failure is reported as one about `file`: "FILE: message".
// Failures of the kinds `TellAsTheyAre` name a file of their own (a copy
// made, a file written) and are reported as they are.
template <class... TellAsTheyAre, class Step> auto about(const QString& file, Step step) {
    try {
        return step();
    } catch (const UsageError&) {
        throw;
    } catch (const Error& e) {
        if ((dynamic_cast<const TellAsTheyAre*>(&e) || ...))
            throw;
        throw Error(file + QStringLiteral(": ") + e.message());
    }
}

// A library a command works on: only an existing file, never one made. Its
// records are read by read(), so that a transaction can begin before.
struct OpenLibrary {
    explicit OpenLibrary(const QString& file);
    void read(const Queries::Query& query = Queries::allScores());

    QString file;
    Connection connection;
    RecordSet records{connection};
};

// The name as it is, or quoted when it must be (see tbrtool.1): one line,
// nothing a terminal acts on.
QByteArray quotedName(QByteArrayView name);

// "ID<tab>NAME<newline>", the name quoted when it must be.
QByteArray rowLine(qint64 id, const std::optional<QByteArray>& name);

// A name in JSON under `key`, null for none; one that is not UTF-8 shows
// replacement characters and has its bytes in "<key>_base64" beside it.
void putName(QJsonObject& object, const QString& key, const std::optional<QByteArray>& name);

} // namespace Tbrtool
