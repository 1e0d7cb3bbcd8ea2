#pragma once

// A file layer (VFS) of the engine's through which every library is opened.
// The engine reads a picture one page at a time, and a system call for each
// page costs more than copying the page: reading every picture of a large
// library so took twice as long as copying its files. Here reads that follow
// one another are read ahead, growing to a few megabytes at once, and served
// from memory; any other read goes to the file as it comes. What was read
// ahead is forgotten whenever the library's locks change (another program
// may write only then) and on every write of this program's own. There is
// no memory map: an I/O error on a mapped page could not be reported.
// Files beside the library (a journal, a write-ahead log) are the engine's
// own layer's.
namespace GatheredReads {

// The layer's name, to open a connection through it (see Connection::SetVfs).
const char* vfsName();

} // namespace GatheredReads
