#include "gatheredreads.h"

#include "filelayer.h"

#include <algorithm>
#include <cstring>

namespace GatheredReads {

namespace {

// The most read ahead at once, and the least once reads follow one another.
constexpr int Capacity = 4 * 1024 * 1024;
constexpr int FirstAhead = 64 * 1024;

// The library file: the engine's own file behind, what was read ahead in front.
struct File {
    FileLayer::File layer;
    char* ahead = nullptr;   // Capacity bytes, made on the first read ahead
    sqlite3_int64 start = 0; // where the bytes read ahead lie in the file
    int length = 0;          // how many there are
    sqlite3_int64 next = -1; // where a read that follows the last one begins
};

File* self(sqlite3_file* file) {
    return reinterpret_cast<File*>(file);
}

using FileLayer::real;

void forget(File* file) {
    file->length = 0;
    file->next = -1;
}

int readDirectly(File* f, void* into, int amount, sqlite3_int64 offset) {
    f->next = offset + amount;
    return real(f)->pMethods->xRead(real(f), into, amount, offset);
}

// Reads up to `size` bytes from `offset` ahead: as many as the file holds.
// False where nothing could be read, which the caller's own read then
// reports as it may.
bool readAhead(File* f, sqlite3_int64 offset, int size) {
    if (!f->ahead)
        f->ahead = static_cast<char*>(sqlite3_malloc(Capacity));
    if (!f->ahead)
        return false;
    f->start = offset;
    f->length = 0;
    const int rc = real(f)->pMethods->xRead(real(f), f->ahead, size, offset);
    sqlite3_int64 fileSize = 0;
    if (rc == SQLITE_OK)
        f->length = size;
    else if (rc == SQLITE_IOERR_SHORT_READ &&
             real(f)->pMethods->xFileSize(real(f), &fileSize) == SQLITE_OK)
        f->length = int(std::clamp<sqlite3_int64>(fileSize - offset, 0, size));
    return f->length > 0;
}

bool holds(const File* f, sqlite3_int64 offset, int amount) {
    return offset >= f->start && offset + amount <= f->start + f->length;
}

int serve(File* f, void* into, int amount, sqlite3_int64 offset) {
    std::memcpy(into, f->ahead + (offset - f->start), size_t(amount));
    f->next = offset + amount;
    return SQLITE_OK;
}

int read(sqlite3_file* file, void* into, int amount, sqlite3_int64 offset) {
    File* f = self(file);
    if (holds(f, offset, amount))
        return serve(f, into, amount, offset);
    const bool follows = f->length > 0 && offset == f->start + f->length;
    if (follows || offset == f->next) {
        // Twice as much as the last time, as long as the reads keep following.
        const int size = std::clamp(follows ? 2 * f->length : FirstAhead, FirstAhead, Capacity);
        if (readAhead(f, offset, size) && holds(f, offset, amount))
            return serve(f, into, amount, offset);
    }
    return readDirectly(f, into, amount, offset);
}

int close(sqlite3_file* file) {
    File* f = self(file);
    sqlite3_free(f->ahead);
    return real(f)->pMethods->xClose(real(f));
}

int write(sqlite3_file* file, const void* bytes, int amount, sqlite3_int64 offset) {
    forget(self(file));
    return real(self(file))->pMethods->xWrite(real(self(file)), bytes, amount, offset);
}

int truncate(sqlite3_file* file, sqlite3_int64 size) {
    forget(self(file));
    return real(self(file))->pMethods->xTruncate(real(self(file)), size);
}

int sync(sqlite3_file* file, int flags) {
    return real(self(file))->pMethods->xSync(real(self(file)), flags);
}

int fileSize(sqlite3_file* file, sqlite3_int64* size) {
    return real(self(file))->pMethods->xFileSize(real(self(file)), size);
}

// Another program may have written the file before a lock is taken, and may
// write it once one is let go.
int lock(sqlite3_file* file, int level) {
    forget(self(file));
    return FileLayer::lock(file, level);
}

int unlock(sqlite3_file* file, int level) {
    forget(self(file));
    return real(self(file))->pMethods->xUnlock(real(self(file)), level);
}

// With a write-ahead log a reader holds its lock on the file all along; its
// transactions begin and end with the locks of the shared memory.
int shmMap(sqlite3_file* file, int region, int size, int extend, void volatile** memory) {
    return real(self(file))->pMethods->xShmMap(real(self(file)), region, size, extend, memory);
}

int shmLock(sqlite3_file* file, int offset, int count, int flags) {
    forget(self(file));
    return real(self(file))->pMethods->xShmLock(real(self(file)), offset, count, flags);
}

void shmBarrier(sqlite3_file* file) {
    real(self(file))->pMethods->xShmBarrier(real(self(file)));
}

int shmUnmap(sqlite3_file* file, int deleteFlag) {
    forget(self(file));
    return real(self(file))->pMethods->xShmUnmap(real(self(file)), deleteFlag);
}

// Version 2: shared memory for a library with a write-ahead log, but no
// memory map, which would read past this layer.
const sqlite3_io_methods Methods = {2,
                                    close,
                                    read,
                                    write,
                                    truncate,
                                    sync,
                                    fileSize,
                                    lock,
                                    unlock,
                                    FileLayer::checkReservedLock,
                                    FileLayer::fileControl,
                                    FileLayer::sectorSize,
                                    FileLayer::deviceCharacteristics,
                                    shmMap,
                                    shmLock,
                                    shmBarrier,
                                    shmUnmap,
                                    nullptr,
                                    nullptr};

} // namespace

const char* vfsName() {
    return FileLayer::layerName<File, &Methods>("tamblor-gathered-reads");
}

} // namespace GatheredReads
