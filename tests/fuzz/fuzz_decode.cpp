// Fuzz target: JPEG data decoded for display (fitted into the picture area)
// and, when small enough to be quick, at full size as the viewer does.

#include "errors.h"
#include "jpegpicture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const JpegPicture picture = JpegPicture::fromJpegData(bytes);
        const QImage shown = picture.toImage(QSize(459, 355));
        if (shown.isNull())
            __builtin_trap();
        if (qint64(picture.width()) * picture.height() <= 4'000'000)
            picture.toImage();
    } catch (const Error&) {
    }
    return 0;
}
