#include "gatheredwrites.h"

#include "filelayer.h"

#include <cstring>

namespace GatheredWrites {

namespace {

// The engine's own layer writes at most 128 KiB less one byte in one call
// (it cuts longer ones short); the largest page fits into this once, the
// usual ones sixteen times.
constexpr int Capacity = 64 * 1024;
// A file control of this layer's own, far from the engine's numbers.
constexpr int FlushControl = 0x7a6d0001;

// The library file: the engine's own file behind, the gathered bytes in front.
struct File {
    FileLayer::File layer;
    char* gathered = nullptr; // Capacity bytes, made on the first write
    sqlite3_int64 start = 0;  // where the gathered bytes go
    int used = 0;
    int failure = SQLITE_OK; // of a gathered write, kept for the next flush
};

File* self(sqlite3_file* file) {
    return reinterpret_cast<File*>(file);
}

using FileLayer::real;

int writeGathered(File* file) {
    if (file->used > 0) {
        const int rc =
            real(file)->pMethods->xWrite(real(file), file->gathered, file->used, file->start);
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
    return real(f)->pMethods->xClose(real(f));
}

int read(sqlite3_file* file, void* into, int amount, sqlite3_int64 offset) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : real(f)->pMethods->xRead(real(f), into, amount, offset);
}

int write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
    File* f = self(file);
    const bool follows = f->used > 0 && offset == f->start + f->used;
    if (!follows || f->used + amount > Capacity) {
        const int rc = writeGathered(f);
        if (rc != SQLITE_OK)
            return rc;
        if (amount > Capacity)
            return real(f)->pMethods->xWrite(real(f), bytes, amount, offset);
        f->start = offset;
    }
    if (!f->gathered)
        f->gathered = static_cast<char*>(sqlite3_malloc(Capacity));
    if (!f->gathered)
        return real(f)->pMethods->xWrite(real(f), bytes, amount, offset);
    std::memcpy(f->gathered + f->used, bytes, size_t(amount));
    f->used += amount;
    return SQLITE_OK;
}

int truncate(sqlite3_file* file, sqlite3_int64 size) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : real(f)->pMethods->xTruncate(real(f), size);
}

int sync(sqlite3_file* file, int flags) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : real(f)->pMethods->xSync(real(f), flags);
}

int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    File* f = self(file);
    const int rc = writeGathered(f);
    return rc != SQLITE_OK ? rc : real(f)->pMethods->xFileSize(real(f), size);
}

// Everything is in the file before another program may read it.
int unlock(sqlite3_file* file, int level) {
    File* f = self(file);
    writeGathered(f);
    return real(f)->pMethods->xUnlock(real(f), level);
}

int fileControl(sqlite3_file* file, int op, void* argument) {
    if (op == FlushControl)
        return writeGathered(self(file));
    return FileLayer::fileControl(file, op, argument);
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
                                    FileLayer::lock,
                                    unlock,
                                    FileLayer::checkReservedLock,
                                    fileControl,
                                    FileLayer::sectorSize,
                                    FileLayer::deviceCharacteristics,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr,
                                    nullptr};

} // namespace

const char* vfsName() {
    return FileLayer::layerName<File, &Methods>("tamblor-gathered-writes");
}

int flush(sqlite3* db) {
    return sqlite3_file_control(db, "main", FlushControl, nullptr);
}

} // namespace GatheredWrites
