#pragma once

#include "scoreexport.h"

#include <QString>

#include <functional>

class DataSource;

// Writes each listed score's stored JPEG data, as it is, into `folder`: from
// the first listed score to the last, where the list is left (exportScores).
// The window's picture is brought up to date once, at the end, not for every
// score the run passes. A failure stops the run at that score: the files
// written stay, and the failure is thrown. `progress` hears of each pass
// (from 1 to count) before its file is written.
void exportListedScores(DataSource& source, const QString& folder, const ExportNaming& naming,
                        const std::function<void(int pass, int count)>& progress = {});
