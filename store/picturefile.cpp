#include "picturefile.h"

#include "errors.h"
#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

using namespace Qt::StringLiterals;

namespace {
JpegPicture loadBitmap(const QString& path) {
    QFile file;
    openRegularFile(file, path);
    JpegPicture::letQtReadUpToMaxPixels();
    QImageReader reader(&file, "bmp");
    // Refused by its header, before its pixels take any memory.
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > JpegPicture::MaxPixels)
        throw PictureTooLargeError(size.width(), size.height());
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
