#pragma once

#include <QByteArray>
#include <QString>

class QFile;

// No file larger than this is read whole: the database engine stores no value
// that large, so such a file could never become a score.
constexpr qint64 MaxWholeFileSize = 1024LL * 1024 * 1024;

// Opens `file` for reading on the regular file at `path` (symbolic links
// followed). A folder, a pipe, a device or a file over MaxWholeFileSize is
// refused before a byte is read, so nothing can keep the reader waiting or
// feed it without end. FileError "Cannot open file ..." naming the full path.
void openRegularFile(QFile& file, const QString& path);

// The whole content of the regular file at `path`, opened as openRegularFile
// does. FileError "Cannot open file ...".
QByteArray readWholeFile(const QString& path);

// Creates or replaces the file with exactly `bytes`. A file that is replaced
// keeps its old content until the new one is complete, so a full disk never
// leaves half a picture. (No flush to the disk: an export is a copy.)
// FileError "Cannot create file ..." or "Cannot write file ...".
void writeWholeFile(const QString& path, const QByteArray& bytes);
