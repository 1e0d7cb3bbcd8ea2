#include "picturefile.h"

#include "errors.h"
#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {
// Qt's reader fills the rows a bitmap lacks with black and says nothing; a
// bitmap cut short is refused instead, as a JPEG cut short is. Uncompressed
// pixels must all be there, compressed ones as many bytes as the header says.
bool bitmapIsComplete(QFile& file) {
    const QByteArray head = file.peek(54);
    const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
    if (head.size() < 26 || !head.startsWith("BM"))
        return true; // the reader itself refuses it
    const qint64 offset = qFromLittleEndian<quint32>(bytes + 10);
    const quint32 headerSize = qFromLittleEndian<quint32>(bytes + 14);
    qint64 width = 0, height = 0, bits = 0, imageSize = 0;
    quint32 compression = 0;
    if (headerSize == 12) {
        width = qFromLittleEndian<quint16>(bytes + 18);
        height = qFromLittleEndian<quint16>(bytes + 20);
        bits = qFromLittleEndian<quint16>(bytes + 24);
    } else if (headerSize >= 40 && head.size() >= 54) {
        width = qFromLittleEndian<qint32>(bytes + 18);
        height = std::abs(qint64(qFromLittleEndian<qint32>(bytes + 22)));
        bits = qFromLittleEndian<quint16>(bytes + 28);
        compression = qFromLittleEndian<quint32>(bytes + 30);
        imageSize = qFromLittleEndian<quint32>(bytes + 34);
    }
    constexpr quint32 Plain = 0, BitFields = 3, AlphaBitFields = 6;
    const bool plain =
        compression == Plain || compression == BitFields || compression == AlphaBitFields;
    if (width <= 0 || height <= 0)
        return true;
    const qint64 present = file.size() - offset;
    if (!plain)
        return present >= imageSize;
    // Divided, not multiplied: a forged header cannot overflow the sum.
    const qint64 rowBytes = (width * bits + 31) / 32 * 4; // width < 2^31, bits < 2^16
    return rowBytes == 0 || present / rowBytes >= height;
}

JpegPicture loadBitmap(const QString& path) {
    QFile file;
    openRegularFile(file, path);
    const bool complete = bitmapIsComplete(file);
    JpegPicture::letQtReadUpToMaxPixels();
    QImageReader reader(&file, "bmp");
    // Refused by its header, before its pixels take any memory.
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > JpegPicture::MaxPixels)
        throw PictureTooLargeError(size.width(), size.height());
    const QImage bitmap = complete ? reader.read() : QImage();
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
