// tamblorbench: the performance benchmark. Makes its data when missing, times
// the program's own code paths against standard tools doing the same work,
// and writes the table to <data>/bench-results.md, or, when only some phases
// ran (TAMBLOR_BENCH_ONLY), to <data>/bench-results-partial.md.
//
//   tamblorbench                   the whole benchmark (run offscreen)
//   tamblorbench browse FILE       steps through every page of FILE, prints peak memory
//   tamblorbench view              in the current folder, starts the program's windows
//                                  and views the first page at full size, prints peak memory
//   tamblorbench firstpage FOLDER  starts the program's windows in FOLDER, exits once
//                                  the first page is painted

#include "application.h"
#include "benchdata.h"
#include "browse.h"
#include "errors.h"
#include "firstpage.h"
#include "libraryfile.h"
#include "report.h"
#include "timing.h"
#include "toolbench.h"
#include "wholefile.h"
#include "windowbench.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTextStream>
#include <QThread>

#include <exception>

using namespace Qt::StringLiterals;

namespace {

constexpr double MemoryLimitMb = 200;

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

// How long each part of the run took, told as it ends. TAMBLOR_BENCH_ONLY
// (phase names, comma-separated) runs only those phases, besides the data.
class Phases {
public:
    void run(const QString& name, const std::function<void()>& work) {
        if (!m_only.isEmpty() && name != u"data" && !m_only.contains(name))
            return;
        out() << name << " ...\n" << Qt::flush;
        const double ms = millisecondsOf(work);
        out() << "  " << name << ": " << formatMilliseconds(ms) << '\n' << Qt::flush;
        m_lines << u"| %1 | %2 |"_s.arg(name, formatMilliseconds(ms));
    }
    QString table() const {
        return u"| phase | time |\n| --- | --- |\n"_s + m_lines.join(u'\n') + u'\n';
    }
    // Whether only some phases run: their table must not stand for the whole.
    bool partial() const { return !m_only.isEmpty(); }

private:
    const QStringList m_only =
        qEnvironmentVariable("TAMBLOR_BENCH_ONLY").split(u',', Qt::SkipEmptyParts);
    QStringList m_lines;
};

QString processorName() {
    QFile info(u"/proc/cpuinfo"_s);
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n'))
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return u"unknown processor"_s;
}

void windowRows(const BenchData& data, const QString& work, Phases& phases,
                QList<ResultRow>& rows) {
    WindowBench bench(data, work);
    phases.run(u"open"_s, [&] { rows << bench.opening(); });
    phases.run(u"show"_s, [&] { rows << bench.showing(); });
    phases.run(u"step"_s, [&] { rows << bench.turningPages(); });
    phases.run(u"keys"_s, [&] { rows << bench.queuedKeys(); });
    phases.run(u"start"_s, [&] { rows << firstPageRow(data, work, bench.pictureArea()); });
    phases.run(u"import"_s, [&] { rows << bench.importing(); });
    phases.run(u"export"_s, [&] { rows << bench.exportingCurrent(); });
    phases.run(u"batch export"_s, [&] { rows << bench.batchExporting(); });
    phases.run(u"find"_s, [&] { rows << bench.finding(); });
    phases.run(u"new library"_s, [&] { rows << bench.newLibrary(); });
}

ResultRow memoryRow(const BenchData& data, const QString& work) {
    const Browsing browsing = measureBrowsing(data.bigLibrary(), work);
    out() << "  browsed " << browsing.pages << " pages in "
          << formatMilliseconds(browsing.milliseconds) << '\n';
    return memoryRow(u"memory while browsing every page of the 2,000-page library (%1 pages)"_s.arg(
                         browsing.pages),
                     browsing.peakMegabytes, MemoryLimitMb);
}

// The viewer on a 60-megapixel greyscale page, the only page of the default
// library of a folder of its own.
ResultRow viewerMemoryRow(const BenchData& data, const QString& work) {
    const QString folder = work + u"/view"_s;
    QDir().mkpath(folder);
    const QByteArray page = readWholeFile(data.greyPage());
    LibraryFile::write(folder + u"/pictures.tbr"_s,
                       {1, BenchData::scoreName, [&](int) { return page; }});
    const double peak = measureViewingPeakMegabytes(folder);
    QDir(folder).removeRecursively();
    const double pixels = double(BenchData::GreyWidth) * BenchData::GreyHeight;
    return memoryRow(u"memory of the full-size viewer on a %1 × %2 8-bit greyscale page "
                     u"(limit 1.3 bytes a pixel + 100 MB)"_s.arg(BenchData::GreyWidth)
                         .arg(BenchData::GreyHeight),
                     peak, 1.3 * pixels / 1e6 + 100);
}

QString report(const QList<ResultRow>& rows, const Phases& phases, const BenchData& data) {
    return u"# tamblor benchmark\n\n%1, %2 cores (%3), data in %4\n\n"_s
               .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
               .arg(QThread::idealThreadCount())
               .arg(processorName(), data.folder()) +
           markdownTable(rows) +
           u"\nTimes are medians; each anchor runs in the same run, "
           u"taking turns with ours. Memory: peak resident set.\n\n"_s +
           phases.table();
}

int runBenchmark() {
    BenchData data(BenchData::defaultFolder());
    QDir().mkpath(data.folder());
    Phases phases;
    QList<ResultRow> rows;
    phases.run(u"data"_s, [&] { data.makeMissing(); });
    const QString work = data.file(u"run"_s);
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    const auto cleanUp = qScopeGuard([&] {
        QDir::setCurrent(data.folder());
        QDir(work).removeRecursively();
    });
    windowRows(data, work, phases, rows);
    ToolBench tools(data, work + u"/tbrtool"_s);
    phases.run(u"tool check"_s, [&] { rows << tools.checking(); });
    phases.run(u"tool export"_s, [&] { rows << tools.exporting(); });
    phases.run(u"tool add"_s, [&] { rows << tools.adding(); });
    phases.run(u"tool backup"_s, [&] { rows << tools.backingUp(); });
    phases.run(u"memory"_s, [&] { rows << memoryRow(data, work); });
    phases.run(u"viewer memory"_s, [&] { rows << viewerMemoryRow(data, work); });
    const QString text = report(rows, phases, data);
    const QString resultFile =
        data.file(phases.partial() ? u"bench-results-partial.md"_s : u"bench-results.md"_s);
    QFile file(resultFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0)
        throw Error(u"cannot write %1"_s.arg(resultFile));
    out() << '\n' << text << "\nWritten to " << resultFile << '\n';
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args[1] == u"browse")
            return browseEveryPage(args[2]);
        if (args.size() == 2 && args[1] == u"view")
            return viewFirstPage();
        if (args.size() == 3 && args[1] == u"firstpage")
            return showFirstPage(args[2]);
        if (args.size() == 1)
            return runBenchmark();
        QTextStream(stderr) << "usage: tamblorbench [browse LIBRARY | view | firstpage FOLDER]\n";
        return 2;
    } catch (const std::exception& failure) {
        QTextStream(stderr) << "tamblorbench: " << failure.what() << '\n';
        return 1;
    }
}
