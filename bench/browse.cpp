#include "browse.h"

#include "commands.h"
#include "errors.h"
#include "tform1.h"
#include "timing.h"
#include "windowbench.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace {
// VmHWM, this process's own high-water mark. Not getrusage(): after exec its
// ru_maxrss keeps the parent's peak, which the fork copied.
qint64 peakResidentKilobytes() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        throw Error(u"cannot read /proc/self/status"_s);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    throw Error(u"no VmHWM in /proc/self/status"_s);
}
} // namespace

int browseEveryPage(const QString& library) {
    TForm1 form;
    form.show();
    idle();
    Commands::openLibrary(form, library);
    idle();
    while (form.SpeedButton2->isEnabled()) {
        form.SpeedButton2Click();
        idle();
    }
    QTextStream(stdout) << "pages " << form.ADOQuery1.RecNo() + 1 << "\npeak-kb "
                        << peakResidentKilobytes() << '\n';
    return 0;
}

namespace {
// The number after `key` on its own line of `report`.
qint64 valueOf(const QString& report, const QString& key) {
    for (const QString& line : report.split(u'\n')) {
        if (line.startsWith(key + u' '))
            return line.mid(key.size() + 1).toLongLong();
    }
    throw Error(u"the browsing child reported no %1"_s.arg(key));
}
} // namespace

Browsing measureBrowsing(const QString& library, const QString& folder) {
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    Browsing result;
    result.milliseconds = millisecondsOf([&] {
        child.start(QCoreApplication::applicationFilePath(), {u"browse"_s, library});
        child.waitForFinished(-1);
    });
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw Error(u"the browsing child failed"_s);
    const QString report = QString::fromUtf8(child.readAllStandardOutput());
    result.pages = int(valueOf(report, u"pages"_s));
    result.peakMegabytes = double(valueOf(report, u"peak-kb"_s)) * 1024 / 1e6;
    return result;
}
