#pragma once

#include "jpegpicture.h"

#include <QString>

// Reads a picture file the way the import takes it, by its extension (case
// ignored): .bmp as a bitmap, .jpg and .jpeg as JPEG data kept byte for byte.
// Icons and metafiles (.ico, .wmf, .emf) are offered JPEG data too and fail
// as such unless that is what they hold. Any other extension is refused.
JpegPicture loadPictureFile(const QString& path);

// The whole content of a file, or FileError "Cannot open file ...".
QByteArray readWholeFile(const QString& path);

// Creates or replaces the file with exactly `bytes`. A file that is replaced
// keeps its old content until the new one is complete, so a full disk never
// leaves half a picture. (No flush to the disk: an export is a copy.)
// FileError "Cannot create file ..." or "Cannot write file ...".
void writeWholeFile(const QString& path, const QByteArray& bytes);
