#include "library.h"

#include "connection.h"
#include "errors.h"
#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace Queries {

Query allScores() {
    return {u"select * from pictures"_s, {}};
}

Query namesContaining(const QString& word) {
    return {u"select * from pictures where filename like ?"_s, {u'%' + word + u'%'}};
}

} // namespace Queries

namespace {
// Made here, empty, and never over a file that is there or appears meanwhile.
void createNewFile(const QString& fullPath) {
    if (QFileInfo::exists(fullPath))
        throw FileError::cannotCreate(fullPath, u"File exists"_s);
    QFile made(fullPath);
    if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        throw FileError::cannotCreate(fullPath, made.errorString());
}
} // namespace

void createEmptyLibrary(const QString& path) {
    const QString fullPath = absoluteFilePath(path);
    createNewFile(fullPath);
    auto removeMade = qScopeGuard([&] { QFile::remove(fullPath); });
    Connection library;
    library.SetDatabase(fullPath);
    library.Open();
    library.Execute(u"create table pictures (filename TEXT, picture BLOB)"_s);
    removeMade.dismiss();
}

void makeEmptyCopy(const QString& templatePath, const QString& target) {
    if (!QFileInfo::exists(templatePath))
        return;
    const QString fullTarget = absoluteFilePath(target);
    createNewFile(fullTarget);
    auto removeCopy = qScopeGuard([&] { QFile::remove(fullTarget); });
    Connection source;
    source.SetDatabase(templatePath);
    source.Open();
    Connection library;
    library.SetDatabase(fullTarget);
    // Emptying a large default library frees every page its pictures took.
    library.SetTimeLimit(std::chrono::minutes(2));
    {
        // No other program can change the template while it is copied.
        const ReadTransaction reading(source);
        if (source.WriteAheadLog()) {
            library.Open();
            library.CopyFrom(source);
        } else {
            copyFileContents(templatePath, fullTarget);
        }
    }
    library.Open();
    library.Execute(u"delete from pictures"_s);
    library.Execute(u"vacuum"_s);
    removeCopy.dismiss();
}
