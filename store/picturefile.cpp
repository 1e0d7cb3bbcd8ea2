#include "picturefile.h"

#include "errors.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSaveFile>

using namespace Qt::StringLiterals;

QByteArray readWholeFile(const QString& path) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    QFile file(fullPath);
    if (QFileInfo(fullPath).isDir())
        throw FileError::cannotOpen(fullPath, u"Is a directory"_s);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(fullPath, file.errorString());
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FileError::cannotOpen(fullPath, file.errorString());
    return bytes;
}

void writeWholeFile(const QString& path, const QByteArray& bytes) {
    const QString fullPath = QFileInfo(path).absoluteFilePath();
    if (QFileInfo(fullPath).isDir())
        throw FileError::cannotCreate(fullPath, u"Is a directory"_s);
    QSaveFile file(fullPath);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError::cannotCreate(fullPath, file.errorString());
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw FileError(u"Cannot write file \"%1\". %2"_s.arg(fullPath, file.errorString()));
}

namespace {
JpegPicture loadBitmap(const QString& path) {
    QByteArray bytes = readWholeFile(path);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "bmp");
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
