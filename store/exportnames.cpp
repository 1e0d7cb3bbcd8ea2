#include "exportnames.h"

#include "errors.h"

#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace ExportNames {

namespace {
QString inFolder(const QString& folder, const QString& name, const QString& number) {
    const QString path =
        (folder.endsWith(u'/') ? folder : folder + u'/') + name + number + u".jpg"_s;
    if (name.contains(u'/') || name.contains(QChar(0)))
        throw FileError::cannotCreate(path, u"The name is not a valid file name"_s);
    return path;
}
} // namespace

QString forScoreName(const QString& folder, const QString& name, int pass) {
    const QString plain = inFolder(folder, name, {});
    return QFileInfo::exists(plain) ? inFolder(folder, name, QString::number(pass)) : plain;
}

QString forCommonName(const QString& folder, const QString& common, int pass) {
    return inFolder(folder, common, QString::number(pass));
}

} // namespace ExportNames
