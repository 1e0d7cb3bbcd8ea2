// Fuzz target: a bitmap file imported as the import takes it, and the picture
// it gives encoded as it is stored. A bitmap the store accepts must always
// become JPEG data of its own size.

#include "errors.h"
#include "jpegpicture.h"
#include "picturefile.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = QStringLiteral("/dev/shm/tamblor-fuzz-%1.bmp").arg(::getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    JpegPicture picture;
    try {
        picture = loadPictureFile(path);
    } catch (const Error&) {
        QFile::remove(path);
        return 0;
    }
    QFile::remove(path);
    const QSize loaded = picture.size();
    try {
        const JpegPicture stored = JpegPicture::fromJpegData(picture.encode());
        if (stored.size() != loaded || loaded.isEmpty())
            std::abort();
    } catch (const Error&) {
        std::abort(); // accepted, yet it cannot be stored
    }
    return 0;
}
