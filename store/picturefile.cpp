#include "picturefile.h"

#include "errors.h"
#include "wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <cstdlib>

#include <turbojpeg.h>

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

// TurboJPEG reads the bitmaps that scanners and most programs write
// (uncompressed, bottom-up; 8-bit with a palette, 24-bit, or 32-bit without
// see-through pixels) several times faster than Qt's reader, to the same
// pixels, and refuses every other kind. It reads through the descriptor of
// the file already opened and checked, not whatever has taken its name since.
QImage readWithTurboJpeg(const QFile& file) {
    const QByteArray name = "/proc/self/fd/" + QByteArray::number(file.handle());
    constexpr int RowAlignment = 4; // as QImage keeps its rows
    int width = 0, height = 0, format = TJPF_BGR;
    unsigned char* pixels =
        tjLoadImage(name.constData(), &width, RowAlignment, &height, &format, 0);
    if (!pixels)
        return {};
    const qsizetype rowBytes =
        (qsizetype(width) * 3 + RowAlignment - 1) / RowAlignment * RowAlignment;
    const auto release = [](void* taken) { tjFree(static_cast<unsigned char*>(taken)); };
    QImage image;
    if (format == TJPF_BGR)
        image = QImage(pixels, width, height, rowBytes, QImage::Format_BGR888, release, pixels);
    if (image.isNull()) // not taken by an image
        tjFree(pixels);
    return image;
}

enum class Reader { Fastest, QtOnly };

JpegPicture loadBitmap(const QString& path, Reader which) {
    QFile file;
    openRegularFile(file, path);
    const bool complete = bitmapIsComplete(file);
    JpegPicture::letQtReadUpToMaxPixels();
    QImageReader reader(&file, "bmp");
    // Refused by its header, before its pixels take any memory.
    const QSize size = reader.size();
    if (qint64(size.width()) * size.height() > JpegPicture::MaxPixels)
        throw PictureTooLargeError(size.width(), size.height());
    QImage bitmap;
    // Only what Qt's reader takes as a bitmap by its header: TurboJPEG would
    // take other kinds of pictures too.
    if (complete && size.isValid() && which == Reader::Fastest) {
        bitmap = readWithTurboJpeg(file);
        if (bitmap.size() != size) // the file changed since its header was read
            bitmap = QImage();
    }
    if (complete && bitmap.isNull())
        bitmap = reader.read();
    if (bitmap.isNull())
        throw Error(u"Bitmap image is not valid"_s);
    return JpegPicture::fromBitmap(bitmap);
}
} // namespace

JpegPicture loadPictureFile(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    const QString kind = extension.toLower();
    if (kind == u"bmp")
        return loadBitmap(path, Reader::Fastest);
    if (kind == u"jpg" || kind == u"jpeg" || kind == u"ico" || kind == u"wmf" || kind == u"emf")
        return JpegPicture::fromJpegData(readWholeFile(path));
    throw Error(u"Unknown picture file extension (.%1)"_s.arg(extension));
}

JpegPicture loadBitmapWithQt(const QString& path) {
    return loadBitmap(path, Reader::QtOnly);
}
