#include "report.h"

#include "timing.h"

#include <QStringList>

using namespace Qt::StringLiterals;

QString formatMilliseconds(double ms) {
    if (ms >= 10000)
        return u"%1 s"_s.arg(ms / 1000, 0, 'f', 1);
    if (ms >= 1000)
        return u"%1 s"_s.arg(ms / 1000, 0, 'f', 2);
    return u"%1 ms"_s.arg(ms, 0, 'f', ms < 10 ? 2 : 1);
}

namespace {
QString yesNo(bool met) {
    return met ? u"yes"_s : u"**no**"_s;
}
} // namespace

ResultRow timeRow(const QString& operation, const QList<double>& ours, const QList<double>& anchor,
                  const QString& anchorIs, double goal, double limitMs) {
    const double ratio = median(ours) / median(anchor);
    ResultRow row{operation,
                  u"%1 / %2"_s.arg(ours.size()).arg(anchor.size()),
                  formatMilliseconds(median(ours)),
                  formatMilliseconds(median(anchor)),
                  anchorIs,
                  u"%1"_s.arg(ratio, 0, 'f', 2),
                  u"—"_s,
                  u"—"_s};
    if (goal > 0) {
        row.goal = u"≤ %1"_s.arg(goal, 0, 'f', 2);
        row.met = yesNo(ratio <= goal);
    }
    if (limitMs > 0) {
        row.goal += u" and ours ≤ %1"_s.arg(formatMilliseconds(limitMs));
        row.met = yesNo(ratio <= goal && median(ours) <= limitMs);
    }
    return row;
}

ResultRow memoryRow(const QString& operation, double peakMb, double limitMb) {
    return {operation, u"1"_s, u"%1 MB"_s.arg(peakMb, 0, 'f', 0),         u"—"_s,
            u"—"_s,    u"—"_s, u"peak ≤ %1 MB"_s.arg(limitMb, 0, 'f', 0), yesNo(peakMb <= limitMb)};
}

QString markdownTable(const QList<ResultRow>& rows) {
    const auto line = [](const QStringList& cells) {
        return u"| "_s + cells.join(u" | "_s) + u" |\n"_s;
    };
    QString table = line({u"operation"_s, u"runs (ours / anchor)"_s, u"ours (median)"_s,
                          u"anchor (median)"_s, u"anchor"_s, u"ratio"_s, u"goal"_s, u"met"_s});
    table += line(QStringList(8, u"---"_s));
    for (const ResultRow& row : rows)
        table += line({row.operation, row.runs, row.ours, row.anchor, row.anchorIs, row.ratio,
                       row.goal, row.met});
    return table;
}
