#pragma once

#include "jpegpicture.h"

#include <QString>

// Reads a picture file the way the import takes it, by its extension (case
// ignored): .bmp as a bitmap, .jpg and .jpeg as JPEG data kept byte for byte.
// Icons and metafiles (.ico, .wmf, .emf) are offered JPEG data too and fail
// as such unless that is what they hold. Any other extension is refused.
JpegPicture loadPictureFile(const QString& path);

// A bitmap file read by Qt's reader alone, the road loadPictureFile takes for
// the bitmaps TurboJPEG refuses; open so that tests can hold the two roads to
// the same stored bytes.
JpegPicture loadBitmapWithQt(const QString& path);
