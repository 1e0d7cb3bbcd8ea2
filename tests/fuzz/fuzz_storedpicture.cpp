// Fuzz target: a stored picture value read as the display reads it (either
// stored form), its JPEG header parsed.

#include "errors.h"
#include "jpegpicture.h"
#include "storedpicture.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray value(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const JpegPicture picture = JpegPicture::fromJpegData(StoredPicture::jpegFromValue(value));
        if (picture.width() <= 0 || picture.height() <= 0)
            __builtin_trap(); // a parsed header always has a size
    } catch (const Error&) {
    }
    return 0;
}
