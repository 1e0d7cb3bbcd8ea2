#pragma once

#include "recordset.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// How the files of a batch export are named: by each score's own name, or by
// one common name numbered from 1; and what is done with a name that is taken
// or a score without a picture. A file the run itself wrote is never
// replaced: the later score takes the next free name (ExportNames::nextFree).
struct ExportNaming {
    bool ownNames = true;
    QString common;
    // A file that was there before the run is replaced (the window's rule);
    // otherwise the score is passed over.
    bool replaceExisting = true;
    // A score without a picture gives a file of no bytes (the window's rule);
    // otherwise it is passed over.
    bool emptyFiles = true;
};

// Why a score was passed over, with no file written for it.
enum class PassedOver { NoPicture, FileExists };

// The scores an export run passes, in order: pass 1 to count().
class ExportScores {
public:
    virtual ~ExportScores() = default;
    virtual int count() const = 0;
    virtual QString name(int pass) const = 0;
    // The JPEG data of the score of `pass` as it is stored (either stored
    // form unwrapped), read into `buffer`, whose memory is reused; empty for
    // a score without a picture. A picture that is no JPEG data fails with a
    // JpegError.
    virtual QByteArrayView jpeg(int pass, QByteArray& buffer) = 0;
    // The file of `pass` is written, or the score of `pass` passed over
    // (`file`: for FileExists the name that was there, for NoPicture null);
    // each pass is told once, in pass order, on the thread that runs the
    // export.
    virtual void written(int pass, const QString& file) = 0;
    virtual void passedOver(int pass, PassedOver why, const QString& file) = 0;
};

// The pictures of an open record set as an export reads them: each into a
// buffer kept for the run (no fresh memory for every picture), its stored
// form unwrapped, and refused with a JpegError unless its JPEG header reads,
// as the window refuses a picture it cannot show.
class ExportPictures {
public:
    explicit ExportPictures(RecordSet& records) : m_reader(records) {}
    // The JPEG data of the stored record on `row`, within `buffer`; empty
    // for a record without a picture.
    QByteArrayView jpegAt(int row, QByteArray& buffer);
    // Lets go of the library until the next read (PictureReader::pause).
    void pause() noexcept { m_reader.pause(); }

private:
    PictureReader m_reader;
};

// Writes each score's JPEG data, byte for byte, into `folder`: named as
// ExportNames names them (a name holding "/" is refused, and so is a symbolic
// link in the folder that leads out of it, so nothing is written outside the
// folder), each file put together beside its name and only then given it,
// and none written over a file the run wrote before. A failure stops the run
// at that score: the files written stay, no half file is left under any name,
// and the failure is thrown. `progress` hears of each pass (from 1 to count)
// once the files before it are written. The files are written on a thread of
// their own while the next picture is read: reading and writing each take
// about as long as copying the files. Every file written is on the disk, with
// its name, before this returns or throws: the folder's file system is synced
// once at the end (a file that replaces another is synced before it takes the
// name). A failure to sync is thrown as a FileError.
void exportScores(ExportScores& scores, const QString& folder, const ExportNaming& naming,
                  const std::function<void(int pass, int count)>& progress = {});

// Which scores of a library an export takes.
struct ScoreSelection {
    enum class By { All, NameContaining, RowIds };
    By by = By::All;
    QString word;         // By::NameContaining: as the window's find takes it
    QList<qint64> rowIds; // By::RowIds: in the order given, each as often as given

    static ScoreSelection all() { return {}; }
    static ScoreSelection nameContaining(const QString& word) {
        return {By::NameContaining, word, {}};
    }
    static ScoreSelection ids(const QList<qint64>& rowIds) { return {By::RowIds, {}, rowIds}; }
};

struct ExportedScore {
    qint64 rowId = 0;
    QString name; // null for a score without one
    QString file; // the full path written, or the one that was there; null: no picture
    qint64 bytes = 0;
    // Why nothing was written for it: a null picture is NoPicture with
    // `bytes` -1, a picture of no bytes NoPicture with 0.
    std::optional<PassedOver> passedOver;
};

// Exports the selected scores of the library file `library` into the folder
// `folder` without a window, as the window's batch export does
// (exportScores), in the library's order, or the order of the row ids given.
// The library is read as it was when the run began: no other program can
// commit a change meanwhile (another program may read). A row id the library
// does not hold fails (Error) before any file is written; a folder that is
// not there fails with FileError. Returns what became of each score, in pass
// order; `told` hears of each as soon as it is done, so that a caller knows
// the files written before a failure.
QList<ExportedScore>
exportLibraryScores(const QString& library, const QString& folder, const ScoreSelection& selection,
                    const ExportNaming& naming,
                    const std::function<void(const ExportedScore&)>& told = {});
