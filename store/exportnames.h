#pragma once

#include <QString>

// The files a batch export writes into `folder`, for the record of pass
// `pass` (counted from 1). A name that holds "/" (or a NUL) is no file name:
// it fails with FileError "Cannot create file ..." rather than write outside
// the folder.
namespace ExportNames {

// folder/name.jpg, or folder/name<pass>.jpg when folder/name.jpg exists already.
QString forScoreName(const QString& folder, const QString& name, int pass);
// folder/common<pass>.jpg, whether or not it exists.
QString forCommonName(const QString& folder, const QString& common, int pass);

} // namespace ExportNames
