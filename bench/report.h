#pragma once

#include <QList>
#include <QString>

// One line of the results table.
struct ResultRow {
    QString operation;
    QString runs;
    QString ours;
    QString anchor;
    QString anchorIs;
    QString ratio;
    QString goal;
    QString met;
};

// A time against its anchor: medians of the samples, met when ours / anchor
// stays within `goal` (no goal: reported only) and, with a limit, ours within
// `limitMs` as well.
ResultRow timeRow(const QString& operation, const QList<double>& ours, const QList<double>& anchor,
                  const QString& anchorIs, double goal = 0, double limitMs = 0);
// A peak resident memory in MB against a limit in MB.
ResultRow memoryRow(const QString& operation, double peakMb, double limitMb);

QString formatMilliseconds(double ms);
QString markdownTable(const QList<ResultRow>& rows);
