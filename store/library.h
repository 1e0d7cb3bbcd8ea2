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
// (FileError "Cannot create file ... File exists"); what was made is removed
// again when the table cannot be made.
void createEmptyLibrary(const QString& path);

// A new library: a copy of the library `templatePath` (the default library)
// with none of its scores, compacted so that nothing of their pictures is left
// in the file. The template is read in one read transaction, so another
// program writing it meanwhile never gives a torn copy. An existing `target`
// is never replaced. When the template does not exist nothing is made
// (opening the new library then reports it). When copying or emptying fails
// the new file is removed again.
void makeEmptyCopy(const QString& templatePath, const QString& target);
