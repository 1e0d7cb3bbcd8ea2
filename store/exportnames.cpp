#include "exportnames.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>

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

// A name that cannot be looked at (too long, say) counts as free: writing
// it then fails with the system's reason.
bool isEntry(const QString& path) {
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0;
}

bool isWithin(const QString& folder, const QString& path) {
    return path == folder || path.startsWith(folder.endsWith(u'/') ? folder : folder + u'/');
}
} // namespace

QString forScoreName(const QString& folder, const QString& name, int pass) {
    const QString plain = inFolder(folder, name, {});
    return QFileInfo::exists(plain) ? inFolder(folder, name, QString::number(pass)) : plain;
}

QString forCommonName(const QString& folder, const QString& common, int pass) {
    return inFolder(folder, common, QString::number(pass));
}

QString nextFree(const QString& path) {
    const QString stem = path.chopped(4); // ".jpg"
    for (int number = 2;; ++number) {
        const QString candidate = stem + u'_' + QString::number(number) + u".jpg"_s;
        if (!isEntry(candidate))
            return candidate;
    }
}

void refuseLinkOutOf(const QString& folder, const QString& path) {
    if (!QFileInfo(path).isSymLink())
        return;
    QString target = path;
    // As many links as the system itself follows before it gives up.
    for (int hop = 0; QFileInfo(target).isSymLink(); ++hop) {
        if (hop == 40)
            throw FileError::cannotCreate(path, QString::fromLocal8Bit(std::strerror(ELOOP)));
        target = QFileInfo(target).symLinkTarget();
    }
    const QString within = QFileInfo(QFileInfo(target).absolutePath()).canonicalFilePath();
    if (within.isEmpty() || !isWithin(QFileInfo(folder).canonicalFilePath(), within))
        throw FileError::cannotCreate(path, u"A symbolic link leads out of the folder"_s);
}

} // namespace ExportNames

namespace {
std::optional<std::pair<quint64, quint64>> identityOf(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return std::pair<quint64, quint64>(status.st_dev, status.st_ino);
}
} // namespace

bool WrittenFiles::holds(const QString& path) const {
    const auto identity = identityOf(path);
    return identity && m_files.contains(*identity);
}

void WrittenFiles::add(const QString& path) {
    if (const auto identity = identityOf(path))
        m_files.insert(*identity);
}
