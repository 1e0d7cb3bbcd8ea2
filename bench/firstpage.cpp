#include "firstpage.h"

#include "libraryfile.h"
#include "paintwatch.h"
#include "programwindows.h"
#include "timing.h"
#include "wholefile.h"
#include "xserver.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace {
constexpr int Runs = 9;
// feh shows its one picture as a slide show that ends at its last slide:
// it exits once this delay has passed after the picture is on the screen,
// so the delay comes off its times.
constexpr double FehDelayMs = 1;
constexpr int LimitMs = 60000;
} // namespace

int showFirstPage(const QString& folder) {
    QDir::setCurrent(folder);
    ProgramWindows windows;
    TForm1& form = windows.mainWindow();
    PaintWatch watch(form.Image1, [&form] { return form.Image1->hasPicture(); });
    form.show();
    watch.waitUntilPainted(LimitMs);
    return 0;
}

ResultRow firstPageRow(const BenchData& data, const QString& work, QSize pictureArea) {
    const QString folder = work + u"/first-page"_s, page = data.pageFile(0);
    QDir().mkpath(folder);
    LibraryFile::write(folder + u"/pictures.tbr"_s,
                       {1, BenchData::scoreName, [&](int) { return readWholeFile(page); }});
    const XServer display;
    const QStringList onDisplay{u"DISPLAY="_s + display.display(), u"QT_QPA_PLATFORM=xcb"_s};
    const Program ours{{QCoreApplication::applicationFilePath(), u"firstpage"_s, folder},
                       onDisplay};
    const Program feh{{u"feh"_s, u"--geometry"_s,
                       u"%1x%2"_s.arg(pictureArea.width()).arg(pictureArea.height()),
                       u"--scale-down"_s, u"--on-last-slide"_s, u"quit"_s, u"--slideshow-delay"_s,
                       QString::number(FehDelayMs / 1000), page},
                      onDisplay};
    const auto timed = [](const Program& program) {
        return Trial{[] {}, [program] { return millisecondsOf([&] { runProgram(program); }); }};
    };
    const auto samples = takeTurns(Runs, {timed(ours), timed(feh)});
    QDir(folder).removeRecursively();
    return timeRow(u"start to the first page painted (a 1 MB page, Xvfb, xcb)"_s, samples[0],
                   shifted(samples[1], -FehDelayMs),
                   u"feh on the same JPEG, its window the picture area's size, scaled down to "
                   u"fit; start to exit, less its 1 ms slide delay"_s,
                   1.0);
}
