#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// One thing wrong in a library.
struct LibraryProblem {
    enum class Kind {
        Integrity,    // a line of the engine's integrity check: the file is damaged
        Unreadable,   // the engine cannot read the scores, or this score's picture
        NoPicture,    // the picture is NULL
        EmptyPicture, // a picture of no bytes
        Undecodable,  // no JPEG data, or JPEG data that does not decode to its end
        TooLarge,     // more pixels than JpegPicture::MaxPixels, by its header
        Duplicate,    // the same JPEG data as an earlier score
    };
    Kind kind = Kind::Integrity;
    std::optional<qint64> rowId; // the score's; none for the file as a whole
    QString name;                // the score's name; null for a score without one
    QString message;             // the engine's or the codec's words, or what is wrong
    // A duplicate's earlier score.
    std::optional<qint64> sameAsRowId;
    QString sameAsName;
    // The names' bytes as the library holds them: a name shows bytes that
    // are not UTF-8 as replacement characters.
    QByteArray nameBytes;
    QByteArray sameAsNameBytes;
};

// What a check of a library found.
struct LibraryCheck {
    QList<LibraryProblem> problems; // integrity first, then each score's in the library's order
    int scores = 0;                 // the scores whose pictures were looked at
    bool ok() const { return problems.isEmpty(); }
};

// Checks the library file `path` after a scare: the engine's integrity check
// (each line it reports is a problem), then every score's picture read as
// the library holds it, its stored form unwrapped, and decoded to its last
// pixel at full size, as the window would show it; and pictures stored more
// than once, found by a hash of their JPEG data, each later one naming the
// first. The pictures are read one after another on the calling thread and
// decoded on every core, never more than a few held at once, and the
// library is left free for other programs while the reading waits.
//
// A damaged library is a list of problems, never a crash or a wait without
// end. A file that cannot be checked at all throws: one that cannot be
// opened, is no library (a sound file without the scores' table), or stays
// locked by another program for the busy time (EngineError with the engine's
// words).
LibraryCheck checkLibrary(const QString& path);
