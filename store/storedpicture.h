#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The bytes a library keeps in the `picture` column.
//
// Written: the bare JPEG stream. Read: the bare stream, or the same stream
// behind an 8-byte header (count 1, type 0x0100, length of the rest) that older
// libraries carry. Only a header whose three fields all match is skipped.
namespace StoredPicture {

QByteArray jpegFromValue(const QByteArray& value);
// The JPEG stream within `value`, without a copy.
QByteArrayView jpegWithin(QByteArrayView value);
QByteArray valueFromJpeg(const QByteArray& jpeg);

} // namespace StoredPicture
