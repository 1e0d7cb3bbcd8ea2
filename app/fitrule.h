#pragma once

#include <QRect>
#include <QSize>

// Where a picture of `picture` pixels is drawn in an area of `area` pixels:
// a picture larger than the area in either direction is scaled down keeping
// its aspect ratio (fractions dropped), a smaller one keeps its own size and
// is never enlarged; the result is centred, offsets rounded toward zero.
QRect fitPicture(QSize picture, QSize area);
