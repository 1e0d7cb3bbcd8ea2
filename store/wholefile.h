#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include <memory>

class FileError;
class QFile;

// `path` made absolute from the current folder, and always a file's name: not
// a resource of Qt's (":name"), nor an address of the engine's own
// (":memory:", "file:...").
QString absoluteFilePath(const QString& path);

// No file larger than this is read whole: the database engine stores no value
// that large, so such a file could never become a score.
constexpr qint64 MaxWholeFileSize = 1024LL * 1024 * 1024;

// Opens `file` for reading on the regular file at `path` (symbolic links
// followed). A folder, a pipe, a device or a file over MaxWholeFileSize is
// refused before a byte is read, so nothing can keep the reader waiting or
// feed it without end. FileError "Cannot open file ..." naming the full path.
void openRegularFile(QFile& file, const QString& path);

// Refuses what is at `path` unless it is a regular file (symbolic links
// followed): a folder, a pipe or a device is told by its status alone, never
// opened, so nothing can keep the caller waiting. FileError "Cannot open file
// ..." naming the full path. A missing file passes: its opener reports it.
void refuseSpecialFile(const QString& path);

// The whole content of the regular file at `path`, opened as openRegularFile
// does. FileError "Cannot open file ...".
QByteArray readWholeFile(const QString& path);

// When the bytes of a file written reach the disk.
enum class FileSync {
    // Before the write returns: the data, then the name in its folder.
    Now,
    // When the caller syncs the folder (syncFolder), once for many files. A
    // file that replaces another still has its data synced before it takes
    // the name, so that a power cut never leaves the name empty.
    ByFolder,
};

// Writes exactly `bytes` as the file `path`, with the outcome of saving under
// that name: a symbolic link is written through to the file it names, a
// replaced file keeps its mode, owner, group and hard links, and a file the
// user may not write, a folder or a device is refused and left as it is.
// A failure never leaves half a picture under the name: the old bytes stay,
// or no file appears. The new bytes are put together beside the file, synced
// to the disk and only then take its name; the folder is synced after, so
// that once this returns a power cut leaves the new bytes under the name, and
// before that the old ones or none. Where nothing may replace the file (a
// folder the user may not write, a file of another owner, a file with hard
// links) it is rewritten in place and synced: a kill or a power cut in the
// middle can cut that one short.
// FileError "Cannot create file ..." or "Cannot write file ..." naming `path`
// made absolute, with the system's reason.
void writeWholeFile(const QString& path, const QByteArray& bytes, FileSync sync = FileSync::Now);

// Writes exactly `bytes` as the new file `path`, put together beside it as
// writeWholeFile does; false, with nothing written, when something has that
// name already or takes it meanwhile (a symbolic link too, which is not
// followed). FileError as writeWholeFile.
bool writeNewWholeFile(const QString& path, const QByteArray& bytes, FileSync sync = FileSync::Now);

// Puts everything written into the folder `folder` (made absolute) on the
// disk, with the folder's own entries: one sync of its whole file system,
// which for many files costs a fraction of syncing each. FileError "Cannot
// write into folder ..." with the system's reason.
void syncFolder(const QString& folder);

// A new file made whole under a hidden name beside `path` (made absolute)
// before it takes that name, so that a kill or a power cut leaves either no
// file under the name or the whole file, never a part of it. The hidden file
// is removed again unless it was placed.
class NewFile {
public:
    // FileError "Cannot create file ... File exists" when something has the
    // name, or with the system's reason when the hidden file cannot be made.
    explicit NewFile(const QString& path);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    const QString& path() const { return m_path; }
    // The existing empty file to write the new one into.
    QString hiddenPath() const;
    // Syncs what the file holds so far, waiting for the disk: on a thread of
    // its own, while the caller reads the file, it spares place() the wait.
    // FileError "Cannot write file ..." with the system's reason.
    void writeOut() const;
    // Syncs the file, gives it the name and syncs the folder. Never over a
    // file that took the name meanwhile ("Cannot create file ... File
    // exists"); another failure is "Cannot write file ..." with the system's
    // reason, and leaves no file under the name.
    void place();
    // `failure` naming the file by its own name rather than the hidden one.
    FileError named(const FileError& failure) const;

private:
    struct Parts;
    QString m_path;
    std::unique_ptr<Parts> m_parts;
};

// Copies every byte of the file `source` into the existing file `target`,
// inside the kernel where it can. False when `deadline` passed first: the
// target then holds only a part. FileError "Cannot open file ..." for the
// source, "Cannot write file ..." for the target, with the system's reason.
bool copyFileContents(const QString& source, const QString& target,
                      QDeadlineTimer deadline = QDeadlineTimer::Forever);
