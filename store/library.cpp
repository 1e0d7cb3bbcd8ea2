#include "library.h"

#include "connection.h"
#include "errors.h"

#include <QFile>
#include <QFileInfo>

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
    QFile source(templatePath);
    if (!source.copy(fullTarget))
        throw FileError::cannotCreate(fullTarget, source.errorString());
    try {
        Connection library;
        library.SetDatabase(fullTarget);
        library.Open();
        library.Execute(u"delete from pictures"_s);
        library.Execute(u"vacuum"_s);
    } catch (...) {
        QFile::remove(fullTarget);
        throw;
    }
}
