#include "filelayer.h"

#include <algorithm>

namespace FileLayer {

sqlite3_vfs* engine() {
    static sqlite3_vfs* const own = sqlite3_vfs_find(nullptr);
    return own;
}

int open(sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags, int layerSize,
         const sqlite3_io_methods* methods) {
    sqlite3_vfs* const under = engine();
    if (!(flags & SQLITE_OPEN_MAIN_DB))
        return under->xOpen(under, name, file, flags, outFlags);
    File* f = reinterpret_cast<File*>(file);
    f->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + layerSize);
    const int rc = under->xOpen(under, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        // The engine closes what has methods; a file that did not open has none.
        if (f->real->pMethods)
            f->real->pMethods->xClose(f->real);
        f->base.pMethods = nullptr;
        return rc;
    }
    f->base.pMethods = methods;
    return SQLITE_OK;
}

sqlite3_vfs* made(sqlite3_vfs& layer, const char* name, int layerSize,
                  int (*open)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*)) {
    sqlite3_vfs* const under = engine();
    layer = *under;
    layer.iVersion = std::min(under->iVersion, 3);
    layer.szOsFile = layerSize + under->szOsFile;
    layer.pNext = nullptr;
    layer.zName = name;
    layer.xOpen = open;
    return sqlite3_vfs_register(&layer, 0) == SQLITE_OK ? &layer : nullptr;
}

int lock(sqlite3_file* file, int level) {
    return real(file)->pMethods->xLock(real(file), level);
}

int checkReservedLock(sqlite3_file* file, int* out) {
    return real(file)->pMethods->xCheckReservedLock(real(file), out);
}

int fileControl(sqlite3_file* file, int op, void* argument) {
    return real(file)->pMethods->xFileControl(real(file), op, argument);
}

int sectorSize(sqlite3_file* file) {
    return real(file)->pMethods->xSectorSize(real(file));
}

int deviceCharacteristics(sqlite3_file* file) {
    return real(file)->pMethods->xDeviceCharacteristics(real(file));
}

} // namespace FileLayer
