#pragma once

struct sqlite3;

// A file layer (VFS) of the engine's for a new library file written from its
// first page to its last, as a backup writes its copy: the engine writes one
// page at a time, and a system call for each costs far more than copying the
// page. Here writes that follow one another are gathered and written a few
// megabytes at once; anything else (a read, the file's size, a sync, another
// place in the file) writes what is gathered first. Files beside the library
// (a journal) are the engine's own layer's.
namespace GatheredWrites {

// The layer's name, to open a connection through it (see Connection::SetVfs).
const char* vfsName();
// Writes what is gathered of the library file of `db` now: the engine's
// result code of that write, or of any earlier gathered write that failed.
int flush(sqlite3* db);

} // namespace GatheredWrites
