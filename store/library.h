#pragma once

#include <QString>
#include <QStringList>

// The record set's query texts.
namespace Queries {

struct Query {
    QString text;
    QStringList parameters; // bound to the text's "?" marks in order
};

// Every score of the library.
Query allScores();
// The scores whose name holds `word` anywhere ("%" and "_" in it keep their
// wildcard meaning). The word is bound as data, so no word can break the query
// or change what it means.
Query namesContaining(const QString& word);

} // namespace Queries

// An empty library at `path`: the one table `pictures (filename TEXT, picture
// BLOB)`, nothing else. The path is made absolute first, so no name is ever
// taken for an address of the engine's own ("file:...", ":memory:"). An
// existing file is never taken over, not even one that appears meanwhile
// (FileError "Cannot create file ... File exists"). The library is made under
// a hidden name and takes its own once it is whole and on the disk (NewFile):
// a kill or a power cut leaves no file or the whole library, and a failure
// leaves nothing.
void createEmptyLibrary(const QString& path);

// A new library: the library `templatePath` (the default library) with none
// of its scores, as copying it whole, deleting its pictures and compacting
// the copy gives. It is made from the template's schema instead: the same
// page size, text encoding, auto-vacuum, user version, application id and
// journal mode, every table, index, view and trigger, and the rows of every
// table but `pictures`, so a default library of many pictures takes no longer
// and no more disk than an empty one. Only a template holding what the engine
// alone makes (its statistics, a virtual table), an indexed table whose
// rowids no name reaches, or pictures whose deleting runs a trigger is still
// copied whole, emptied and compacted. The template is read in one read
// transaction, so another program writing it meanwhile never gives a torn
// library. An existing `target` is never replaced. When the template does not
// exist nothing is made (opening the new library then reports it). The library
// is made as createEmptyLibrary makes one: under a hidden name, given its own
// once it is whole in its file and on the disk; any failure leaves nothing.
void makeEmptyCopy(const QString& templatePath, const QString& target);
