#pragma once

#include "pagedrawer.h"

#include <QByteArray>
#include <QImage>

#include <functional>

// The pictures the benchmark draws for itself.
namespace BenchPages {

constexpr int TitleCount = 40;
// Forty pieces; the libraries name their scores after them in turn.
const Piece& piece(int index);

// A library page: piece `index`, about 1 MB at quality 90.
QImage libraryPage(int index);
// A scanned page whose paper grain `grain` sets its JPEG size.
QImage scanPage(int seed, double grain);
// About 10 KB at quality 90: a library page as a small picture.
QImage smallPicture(const QImage& page);
// A text-like 8-bit greyscale page of `width` x `height`: score pages side
// by side and one under the other.
QImage greyPage(int width, int height);
// A 4000 x 3000 photograph of a score page lying on a desk under a lamp.
QImage photoOfPage();

// The same JPEG stream with a comment segment holding `number` right after
// the start-of-image marker: distinct bytes that decode to the same pixels.
QByteArray numberedCopy(const QByteArray& jpeg, int number);

// Runs work(0) ... work(count - 1) on every core; the first failure is
// rethrown once all have stopped.
void inParallel(int count, const std::function<void(int)>& work);

} // namespace BenchPages
