#include "storedpicture.h"

#include <QtEndian>

namespace StoredPicture {

namespace {
constexpr qsizetype HeaderSize = 8;

bool hasMatchingHeader(QByteArrayView value) {
    if (value.size() < HeaderSize)
        return false;
    const auto* bytes = reinterpret_cast<const uchar*>(value.constData());
    const quint16 count = qFromLittleEndian<quint16>(bytes);
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    const quint32 length = qFromLittleEndian<quint32>(bytes + 4);
    return count == 1 && type == 0x0100 && qsizetype(length) == value.size() - HeaderSize;
}
} // namespace

QByteArray jpegFromValue(const QByteArray& value) {
    return hasMatchingHeader(value) ? value.sliced(HeaderSize) : value;
}

QByteArrayView jpegWithin(QByteArrayView value) {
    return hasMatchingHeader(value) ? value.sliced(HeaderSize) : value;
}

QByteArray valueFromJpeg(const QByteArray& jpeg) {
    return jpeg;
}

} // namespace StoredPicture
