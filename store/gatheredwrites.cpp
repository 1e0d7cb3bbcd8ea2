#include "gatheredwrites.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>

namespace GatheredWrites {

namespace {

// The engine's own layer writes at most 128 KiB less one byte in one call
// (it cuts longer ones short); the largest page fits into this once, the
// usual ones sixteen times.
constexpr int Capacity = 64 * 1024;
// A file control of this layer's own, far from the engine's numbers.
constexpr int FlushControl = 0x7a6d0001;

sqlite3_vfs* engineLayer = nullptr;

// The library file: the engine's own file behind, the gathered bytes in front.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
    char* gathered;      // Capacity bytes, made on the first write
    sqlite3_int64 start; // where the gathered bytes go
    int used;
    int failure; // of a gathered write, kept for the next flush
};

File* self(sqlite3_file* file) {
    return reinterpret_cast<File*>(file);
}

int writeGathered(File* file) {
    if (file->used > 0) {
        const int rc =
            file->real->pMethods->xWrite(file->real, file->gathered, file->used, file->start);
        file->used = 0;
        if (rc != SQLITE_OK && file->failure == SQLITE_OK)
            file->failure = rc;
    }
    return file->failure;
}

int close(sqlite3_file* file) {
    File* f = self(file);
    writeGathered(f);
    sqlite3_free(f->gathered);
    return f->real->pMethods->xClose(f->real);
}

int read(sqlite3_file* file, void* into, int amount, sqlite3_int64 offset) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xRead(f->real, into, amount, offset);
}

int write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
    File* f = self(file);
    const bool follows = f->used > 0 && offset == f->start + f->used;
    if (!follows || f->used + amount > Capacity) {
        const int rc = writeGathered(f);
        if (rc != SQLITE_OK)
            return rc;
        if (amount > Capacity)
            return f->real->pMethods->xWrite(f->real, bytes, amount, offset);
        f->start = offset;
    }
    if (!f->gathered)
        f->gathered = static_cast<char*>(sqlite3_malloc(Capacity));
    if (!f->gathered)
        return f->real->pMethods->xWrite(f->real, bytes, amount, offset);
    std::memcpy(f->gathered + f->used, bytes, size_t(amount));
    f->used += amount;
    return SQLITE_OK;
}

int truncate(sqlite3_file* file, sqlite3_int64 size) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xTruncate(f->real, size);
}

int sync(sqlite3_file* file, int flags) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xSync(f->real, flags);
}

int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : f->real->pMethods->xFileSize(f->real, size);
}

int lock(sqlite3_file* file, int level) {
    return self(file)->real->pMethods->xLock(self(file)->real, level);
}

// Everything is in the file before another program may read it.
int unlock(sqlite3_file* file, int level) {
    File* f = self(file);
    writeGathered(f);
    return f->real->pMethods->xUnlock(f->real, level);
}

int checkReservedLock(sqlite3_file* file, int* out) {
    return self(file)->real->pMethods->xCheckReservedLock(self(file)->real, out);
}

int fileControl(sqlite3_file* file, int op, void* argument) {
    File* f = self(file);
    if (op == FlushControl)
        return writeGathered(f);
    return f->real->pMethods->xFileControl(f->real, op, argument);
}

int sectorSize(sqlite3_file* file) {
    return self(file)->real->pMethods->xSectorSize(self(file)->real);
}

int deviceCharacteristics(sqlite3_file* file) {
    return self(file)->real->pMethods->xDeviceCharacteristics(self(file)->real);
}

// Version 1: no shared memory (no write-ahead log while the copy is written)
// and no memory map, which would read past the gathered bytes.
const sqlite3_io_methods Methods = {1,
                                    close,
                                    read,
                                    write,
                                    truncate,
                                    sync,
                                    fileSize,
                                    lock,
                                    unlock,
                                    checkReservedLock,
                                    fileControl,
                                    sectorSize,
                                    deviceCharacteristics,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr};

int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    if (!(flags & SQLITE_OPEN_MAIN_DB))
        return engineLayer->xOpen(engineLayer, name, file, flags, outFlags);
    File* f = self(file);
    f->real = reinterpret_cast<sqlite3_file*>(f + 1);
    const int rc = engineLayer->xOpen(engineLayer, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        // The engine closes what has methods; a file that did not open has none.
        if (f->real->pMethods)
            f->real->pMethods->xClose(f->real);
        f->base.pMethods = nullptr;
        return rc;
    }
    f->gathered = nullptr;
    f->start = 0;
    f->used = 0;
    f->failure = SQLITE_OK;
    f->base.pMethods = &Methods;
    return SQLITE_OK;
}

sqlite3_vfs* made() {
    static sqlite3_vfs layer = [] {
        engineLayer = sqlite3_vfs_find(nullptr);
        sqlite3_vfs copy = *engineLayer;
        copy.iVersion = std::min(copy.iVersion, 3);
        copy.szOsFile = int(sizeof(File)) + engineLayer->szOsFile;
        copy.pNext = nullptr;
        copy.zName = "tamblor-gathered-writes";
        copy.xOpen = open;
        return copy;
    }();
    static const int registered = sqlite3_vfs_register(&layer, 0);
    return registered == SQLITE_OK ? &layer : nullptr;
}

} // namespace

const char* vfsName() {
    sqlite3_vfs* layer = made();
    return layer ? layer->zName : nullptr;
}

int flush(sqlite3* db) {
    return sqlite3_file_control(db, "main", FlushControl, nullptr);
}

} // namespace GatheredWrites
