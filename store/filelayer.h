#pragma once

#include <sqlite3.h>

// What the program's own file layers (VFS) of the engine share: each takes
// the library file itself and passes every other file (a journal, a
// write-ahead log) to the engine's own layer, under which it also opens the
// library file.
namespace FileLayer {

// The start of a layer's library file: the engine's own file lies behind it.
struct File {
    sqlite3_file base;
    sqlite3_file* real;
};

inline sqlite3_file* real(sqlite3_file* file) {
    return reinterpret_cast<File*>(file)->real;
}
// The engine's file behind a layer's own file, which begins with a File `layer`.
template <class LayerFile> sqlite3_file* real(LayerFile* file) {
    return file->layer.real;
}

// The engine's own layer, under every layer of ours.
sqlite3_vfs* engine();

// Opens `name` through the engine's layer; the library file (`layerSize`
// bytes of the layer's own in front) is then given `methods`. The engine's
// result code.
int open(sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags, int layerSize,
         const sqlite3_io_methods* methods);

// The layer's xOpen: `open`, each LayerFile's own fields then starting as
// its member initialisers give them.
template <class LayerFile, const sqlite3_io_methods* Methods>
int openFile(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    const int rc = open(name, file, flags, outFlags, int(sizeof(LayerFile)), Methods);
    if (rc == SQLITE_OK && file->pMethods == Methods) {
        LayerFile* own = reinterpret_cast<LayerFile*>(file);
        const File layer = own->layer;
        *own = LayerFile{};
        own->layer = layer;
    }
    return rc;
}

// A layer named `name` that opens files by `open`; registered once (not as
// the default), null when the engine would not take it.
sqlite3_vfs* made(sqlite3_vfs& layer, const char* name, int layerSize,
                  int (*open)(sqlite3_vfs*, sqlite3_filename, sqlite3_file*, int, int*));

// The name of the layer `name`, whose library files are LayerFiles with
// `Methods`: registered on the first call, null when the engine would not
// take it.
template <class LayerFile, const sqlite3_io_methods* Methods>
const char* layerName(const char* name) {
    static sqlite3_vfs layer;
    static sqlite3_vfs* const registered =
        made(layer, name, int(sizeof(LayerFile)), openFile<LayerFile, Methods>);
    return registered ? registered->zName : nullptr;
}

// The methods a layer passes on unchanged.
int lock(sqlite3_file* file, int level);
int checkReservedLock(sqlite3_file* file, int* out);
int fileControl(sqlite3_file* file, int op, void* argument);
int sectorSize(sqlite3_file* file);
int deviceCharacteristics(sqlite3_file* file);

} // namespace FileLayer
