// backup: a copy of a library, of one committed state, also while the window
// has it open and writes to it.

#include "command.h"

#include "librarybackup.h"

using namespace Qt::StringLiterals;

namespace Tbrtool {

namespace {

void backUp(const QCommandLineParser&, const QStringList& arguments) {
    const QString& destination = arguments[1];
    // Opened and read first: a missing file, or one that is no library, is
    // named as every command names it, and nothing is made.
    OpenLibrary library(arguments[0]);
    library.read();
    about<FileError>(library.file, [&] { backupLibrary(library.file, destination); });
}

} // namespace

Command backupCommand() {
    return {u"backup"_s,
            u"a consistent copy into the new file DEST, also while the window writes"_s,
            {{u"LIB"_s, u"the library"_s}, {u"DEST"_s, u"the copy; never an existing file"_s}},
            {},
            backUp};
}

} // namespace Tbrtool
