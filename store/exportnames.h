#pragma once

#include <QSet>
#include <QString>

#include <utility>

// The files a batch export writes into `folder`, for the record of pass
// `pass` (counted from 1). A name that holds "/" (or a NUL) is no file name:
// it fails with FileError "Cannot create file ..." rather than write outside
// the folder.
namespace ExportNames {

// folder/name.jpg, or folder/name<pass>.jpg when folder/name.jpg exists already.
QString forScoreName(const QString& folder, const QString& name, int pass);
// folder/common<pass>.jpg, whether or not it exists.
QString forCommonName(const QString& folder, const QString& common, int pass);
// The name a file of the run takes when the rules above give one the run has
// written already: folder/x3.jpg becomes folder/x3_2.jpg, or x3_3.jpg when
// that is taken too, and so on, the first with nothing of that name (not even
// a symbolic link) in the folder.
QString nextFree(const QString& path);
// Refuses a `path` in `folder` whose chain of symbolic links ends outside the
// folder, also where nothing is there yet: FileError "Cannot create file ...".
// A link to a file within the folder, or below it, passes.
void refuseLinkOutOf(const QString& folder, const QString& path);

} // namespace ExportNames

// The files one export run has written, known by what they are on the disk
// (device and inode) rather than by name, so that neither a file system that
// ignores case nor a link makes one of them pass for another file.
class WrittenFiles {
public:
    // Whether `path`, its links followed, is one of them.
    bool holds(const QString& path) const;
    void add(const QString& path);

private:
    QSet<std::pair<quint64, quint64>> m_files;
};
