#include "picturefile.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace Qt::StringLiterals;

namespace {
// Opens `file` on `path` (made absolute) for reading, or fails with
// "Cannot open file ..." naming the full path.
void openForReading(QFile& file, const QString& path) {
    file.setFileName(QFileInfo(path).absoluteFilePath());
    if (QFileInfo(file.fileName()).isDir())
        throw FileError::cannotOpen(file.fileName(), u"Is a directory"_s);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(file.fileName(), file.errorString());
}
} // namespace

QByteArray readWholeFile(const QString& path) {
    QFile file;
    openForReading(file, path);
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError::cannotOpen(file.fileName(), file.errorString());
    return bytes;
}

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    const QFileInfo target(QFileInfo(path).absoluteFilePath());
    const QString fullPath = target.filePath();
    if (target.isDir())
        throw FileError::cannotCreate(fullPath, u"Is a directory"_s);
    const auto cannotWrite = [&](const QFileDevice& file) {
        return FileError(u"Cannot write file \"%1\". %2"_s.arg(fullPath, file.errorString()));
    };
    if (!target.exists()) {
        QFile file(fullPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw FileError::cannotCreate(fullPath, file.errorString());
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            const FileError failure = cannotWrite(file);
            file.remove();
            throw failure;
        }
        return;
    }
    // Replacing a file: the new bytes go to a file beside it first, which then
    // takes its place whole, so a full disk never leaves half a picture.
    QTemporaryFile part(target.dir().filePath(u".%1.XXXXXX"_s.arg(target.fileName())));
    if (!part.open())
        throw FileError::cannotCreate(fullPath, part.errorString());
    if (part.write(bytes) != bytes.size() || !part.flush())
        throw cannotWrite(part);
    part.setPermissions(QFile::permissions(fullPath));
    if (std::rename(QFile::encodeName(part.fileName()).constData(),
                    QFile::encodeName(fullPath).constData()) != 0)
        throw FileError(u"Cannot write file \"%1\". %2"_s.arg(
            fullPath, QString::fromLocal8Bit(std::strerror(errno))));
    part.setAutoRemove(false);
}

namespace {
JpegPicture loadBitmap(const QString& path) {
    QFile file;
    openForReading(file, path);
    QImageReader reader(&file, "bmp");
    const QImage bitmap = reader.read();
    if (bitmap.isNull())
        throw Error(u"Bitmap image is not valid"_s);
    return JpegPicture::fromBitmap(bitmap);
}
} // namespace

JpegPicture loadPictureFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    const QString kind = extension.toLower();
    if (kind == u"bmp")
        return loadBitmap(path);
    if (kind == u"jpg" || kind == u"jpeg" || kind == u"ico" || kind == u"wmf" || kind == u"emf")
        return JpegPicture::fromJpegData(readWholeFile(path));
    throw Error(u"Unknown picture file extension (.%1)"_s.arg(extension));
}
