#pragma once

#include <QImage>
#include <QString>

// Scan-sized guitar score pages: title, staff with notes, tablature with fret
// numbers, and the grain of paper under a scanner.

constexpr int PageWidth = 2480; // A4 at 300 dots per inch
constexpr int PageHeight = 3508;

struct Piece {
    QString title;
    QString subtitle;
};

// The page of `piece` numbered `number`. The notes follow from `seed`; `grain`
// is the paper noise's standard deviation in grey levels (more grain, larger
// JPEG files: 3 gives about 1.6 MB at quality 90).
QImage drawScorePage(const Piece& piece, int number, unsigned seed, double grain = 3.0);
