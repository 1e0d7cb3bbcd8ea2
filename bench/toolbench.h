#pragma once

#include "benchdata.h"
#include "report.h"

// tbrtool's commands on the benchmark's libraries, each run as a user runs
// it, timed against standard tools doing the same work.
class ToolBench {
public:
    // `work`: a folder for the run's copies and outputs.
    ToolBench(const BenchData& data, QString work);

    ResultRow checking();
    ResultRow exporting();
    ResultRow adding();
    ResultRow backingUp();

private:
    QStringList tool(const QStringList& arguments) const;
    // A new folder below `work` for each run, with nothing left to flush.
    QString freshFolder(const QString& name);

    const BenchData& m_data;
    const QString m_work;
    int m_made = 0;
};
