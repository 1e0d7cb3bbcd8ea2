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

void makeEmptyCopy(const QString& templatePath, const QString& target) {
    if (!QFileInfo::exists(templatePath))
        return;
    const QString fullTarget = QFileInfo(target).absoluteFilePath();
    if (QFileInfo::exists(fullTarget))
        throw FileError::cannotCreate(fullTarget, u"File exists"_s);
    {
        // Made here, empty, and never over a file that appeared meanwhile.
        QFile made(fullTarget);
        if (!made.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw FileError::cannotCreate(fullTarget, made.errorString());
    }
    auto removeCopy = qScopeGuard([&] { QFile::remove(fullTarget); });
    Connection source;
    source.SetDatabase(templatePath);
    source.Open();
    Connection library;
    library.SetDatabase(fullTarget);
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
