#pragma once

#include <QString>

// The memory that the windows take, each measured in a process of its own so
// that nothing else the benchmark did counts. Each child prints what it saw
// and its peak resident memory.

// In the child: opens `library` in the main window and steps through every
// page as a user would, pausing between steps.
int browseEveryPage(const QString& library);
// In the child: starts the program's windows in the current folder, as the
// program starts them, and opens the full-size viewer on the first page by a
// click on the picture; the viewer is closed once it has painted it.
int viewFirstPage();

struct Browsing {
    int pages = 0;
    double peakMegabytes = 0;
    double milliseconds = 0;
};

// In the benchmark: runs this program as those children, in `folder` (which
// holds a default library).
Browsing measureBrowsing(const QString& library, const QString& folder);
double measureViewingPeakMegabytes(const QString& folder);
