// create, clone: a new library, never over an existing file.

#include "command.h"

#include "library.h"
#include "wholefile.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

// `make` the library `file`; an existing file is never taken over, whatever it holds.
template <class Make> void makeNew(const QString& file, Make make) {
    if (QFileInfo::exists(absoluteFilePath(file)))
        throw Error(file + u": already exists; nothing was changed"_s);
    about(file, make);
}

} // namespace

Command createCommand() {
    return {u"create"_s,
            u"an empty library"_s,
            {{u"LIB"_s, u"the library to make; an existing file is never taken over"_s}},
            {},
            [](const QCommandLineParser&, const QStringList& arguments) {
                makeNew(arguments[0], [&] { createEmptyLibrary(arguments[0]); });
            }};
}

Command cloneCommand() {
    return {u"clone"_s,
            u"an empty library from a template, as the window makes a new library"_s,
            {{u"TEMPLATE"_s, u"the library whose tables and settings are copied"_s},
             {u"LIB"_s, u"the library to make; an existing file is never taken over"_s}},
            {},
            [](const QCommandLineParser&, const QStringList& arguments) {
                const QString& from = arguments[0];
                // Read as a library first, so that what is wrong with it is
                // told of it; without one nothing would be made, and nothing said.
                OpenLibrary(from).read();
                makeNew(arguments[1], [&] { makeEmptyCopy(from, arguments[1]); });
            }};
}

} // namespace Tbrtool
