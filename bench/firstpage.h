#pragma once

#include "benchdata.h"
#include "report.h"

#include <QSize>

// From start to the first page painted: the program's start against feh's,
// each a process of its own, both on an X server of the benchmark's own.

// In the child: starts the program's windows in `folder` as the program
// starts them, and exits once the picture area has painted the page.
int showFirstPage(const QString& folder);

// In the benchmark: `work` is a folder for the run; `pictureArea` the size of
// the main window's picture area, which feh's window takes, so that both draw
// the page at the same size.
ResultRow firstPageRow(const BenchData& data, const QString& work, QSize pictureArea);
