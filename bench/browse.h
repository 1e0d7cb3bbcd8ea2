#pragma once

#include <QString>

// The memory that browsing a whole library takes, measured in a process of
// its own so that nothing else the benchmark did counts.

// In the child: opens `library` in the main window and steps through every
// page as a user would, pausing between steps; prints the pages seen and the
// peak resident memory.
int browseEveryPage(const QString& library);

struct Browsing {
    int pages = 0;
    double peakMegabytes = 0;
    double milliseconds = 0;
};

// In the benchmark: runs this program as that child, in `folder` (which holds
// a default library).
Browsing measureBrowsing(const QString& library, const QString& folder);
