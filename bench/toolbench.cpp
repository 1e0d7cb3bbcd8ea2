#include "toolbench.h"

#include "timing.h"

#include "errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int CheckRuns = 1; // each about a minute on the anchor's side
constexpr int LargeRuns = 3; // about 2 GB each
// The export, whose file system costs vary from run to run (as the batch
// export's in the window's benchmark).
constexpr int ExportRuns = 7;
constexpr int AddRuns = 5;
constexpr int Scans = 200;

} // namespace

ToolBench::ToolBench(const BenchData& data, QString work) : m_data(data), m_work(std::move(work)) {
    QDir().mkpath(m_work);
}

QStringList ToolBench::tool(const QStringList& arguments) const {
    return QStringList(QStringLiteral(TBRTOOL_PATH)) + arguments;
}

QString ToolBench::freshFolder(const QString& name) {
    const QString folder = m_work + u'/' + name;
    emptyFolderAndFlush(folder);
    const QString made = folder + u"/run%1"_s.arg(++m_made);
    QDir().mkpath(made);
    return made;
}

// The anchor checks one after the other what the check does on every core:
// the engine's integrity check, then every picture decoded in full. Each
// program's start-up comes off, timed by as many runs on next to nothing.
ResultRow ToolBench::checking() {
    const QString big = m_data.bigLibrary();
    QList<QStringList> anchor = {sqlite(big, u"pragma integrity_check"_s)};
    QList<QStringList> startups = {sqlite(u":memory:"_s, u"select 1"_s)};
    for (int page = 0; page < BenchData::PageCount; ++page) {
        anchor.append({u"djpeg"_s, m_data.pageFile(page)});
        startups.append({u"djpeg"_s, m_data.tinyJpeg()});
    }
    const auto samples = takeTurns(CheckRuns, {programTrial({tool({u"check"_s, big})}),
                                               programTrial(anchor), programTrial(startups)});
    return timeRow(u"tbrtool check of the 2,000-page library"_s, samples[0],
                   lessStartup(samples[1], samples[2]),
                   u"sqlite3 integrity check + djpeg of every picture, one after the other, "
                   u"less their start-up"_s,
                   0.7);
}

// Into a new folder each run, as the batch export's row does. Both sides put
// their files on the disk before they are done: the copy is followed by a sync
// of its file system.
ResultRow ToolBench::exporting() {
    QString target;
    const auto fresh = [this, &target] { target = freshFolder(u"export"_s); };
    const Trial ours{
        fresh, [&] {
            return millisecondsOfPrograms({tool({u"export"_s, m_data.bigLibrary(), target})});
        }};
    const Trial viaCopy{fresh, [&] {
                            return millisecondsOfPrograms(
                                {{u"cp"_s, u"-r"_s, m_data.pageFolder(), target + u"/copy"_s},
                                 {u"sync"_s, u"-f"_s, target + u"/copy"_s}});
                        }};
    const auto samples = takeTurns(ExportRuns, {ours, viaCopy});
    QDir(m_work + u"/export"_s).removeRecursively();
    return timeRow(u"tbrtool export of all 2,000 pages"_s, samples[0], samples[1],
                   u"cp -r of the same 2,000 files, then sync -f of the folder"_s, 1.2);
}

// 200 scans of the big library's pages (hard links: the same files for both
// sides), each side into a new empty library.
ResultRow ToolBench::adding() {
    const QString scans = m_work + u"/scans"_s;
    emptyFolder(scans);
    QString inserts = u"begin;"_s;
    for (int page = 0; page < Scans; ++page) {
        const QString file = scans + u"/page%1.jpg"_s.arg(page, 3, 10, QLatin1Char('0'));
        if (::link(QFile::encodeName(m_data.pageFile(page)).constData(),
                   QFile::encodeName(file).constData()) != 0)
            throw Error(u"cannot link %1"_s.arg(file));
        inserts += u"insert into pictures values (%1, readfile(%2));"_s.arg(
            sqlText(QFileInfo(file).completeBaseName()), sqlText(file));
    }
    inserts += u"commit;"_s;
    QString library;
    const auto made = [&](const QStringList& creating) {
        return [&, creating] {
            library = freshFolder(u"add"_s) + u"/scores.tbr"_s;
            runProgram(Program(QStringList(creating).replaceInStrings(u"LIB"_s, library)));
        };
    };
    const Trial ours{made(tool({u"create"_s, u"LIB"_s})), [&] {
                         return millisecondsOfPrograms({tool({u"add"_s, library, scans})});
                     }};
    const Trial viaSqlite{
        made({u"sqlite3"_s, u"LIB"_s, u"create table pictures (filename TEXT, picture BLOB)"_s}),
        [&] { return millisecondsOfPrograms({sqlite(library, inserts)}); }};
    const auto samples = takeTurns(AddRuns, {ours, viaSqlite});
    QDir(m_work + u"/add"_s).removeRecursively();
    QDir(scans).removeRecursively();
    return timeRow(u"tbrtool add of a folder of 200 scans (about 1 MB each)"_s, samples[0],
                   samples[1], u"sqlite3 readfile() inserts of the same files in one transaction"_s,
                   1.2);
}

ResultRow ToolBench::backingUp() {
    QString target;
    const auto fresh = [this, &target] { target = freshFolder(u"backup"_s); };
    const QString big = m_data.bigLibrary();
    const Trial ours{
        fresh, [&] {
            return millisecondsOfPrograms({tool({u"backup"_s, big, target + u"/copy.tbr"_s})});
        }};
    const Trial viaCopy{fresh, [&] {
                            return millisecondsOfPrograms(
                                {{u"cp"_s, big, target + u"/copy.tbr"_s},
                                 {u"sync"_s, target + u"/copy.tbr"_s, target}});
                        }};
    const auto samples = takeTurns(LargeRuns, {ours, viaCopy});
    QDir(m_work + u"/backup"_s).removeRecursively();
    return timeRow(u"tbrtool backup of the 2,000-page library (2 GB)"_s, samples[0], samples[1],
                   u"cp of the library file, then sync of it and its folder"_s, 1.2);
}
