#include "browse.h"

#include "commands.h"
#include "errors.h"
#include "programwindows.h"
#include "tform1.h"
#include "timing.h"
#include "viewer.h"
#include "windowbench.h"

#include <QCoreApplication>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

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

void reportPeak() {
    QTextStream(stdout) << "peak-kb " << peakResidentKilobytes() << '\n';
}

// Closes the viewer once its picture has been painted: the viewer runs
// modally, inside the click that opened it.
class ViewerCloser : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint || !qobject_cast<PictureArea*>(watched))
            return false;
        if (auto* viewer = qobject_cast<TForm4*>(static_cast<QWidget*>(watched)->window())) {
            painted = true;
            QTimer::singleShot(0, viewer, &QWidget::close);
        }
        return false;
    }
};

void click(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent event(type, at, global, Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(widget, &event);
    }
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
    QTextStream(stdout) << "pages " << form.ADOQuery1.RecNo() + 1 << '\n';
    reportPeak();
    return 0;
}

int viewFirstPage() {
    ProgramWindows windows;
    TForm1& form = windows.mainWindow();
    form.show();
    idle();
    ViewerCloser closer;
    qApp->installEventFilter(&closer);
    click(form.Image1);
    if (!closer.painted)
        throw Error(u"the viewer did not show the page"_s);
    reportPeak();
    return 0;
}

namespace {
// The number after `key` on its own line of `report`.
qint64 valueOf(const QString& report, const QString& key) {
    for (const QString& line : report.split(u'\n')) {
        if (line.startsWith(key + u' '))
            return line.mid(key.size() + 1).toLongLong();
    }
    throw Error(u"the child reported no %1"_s.arg(key));
}

struct ChildRun {
    QString report;
    double milliseconds = 0;
    double peakMegabytes() const { return double(valueOf(report, u"peak-kb"_s)) * 1024 / 1e6; }
};

// Runs this program with `arguments` in `folder`, to its end.
ChildRun runChild(const QStringList& arguments, const QString& folder) {
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ChildRun run;
    run.milliseconds = millisecondsOf([&] {
        child.start(QCoreApplication::applicationFilePath(), arguments);
        child.waitForFinished(-1);
    });
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        throw Error(u"the child %1 failed"_s.arg(arguments.join(u' ')));
    run.report = QString::fromUtf8(child.readAllStandardOutput());
    return run;
}
} // namespace

Browsing measureBrowsing(const QString& library, const QString& folder) {
    const ChildRun run = runChild({u"browse"_s, library}, folder);
    return {int(valueOf(run.report, u"pages"_s)), run.peakMegabytes(), run.milliseconds};
}

double measureViewingPeakMegabytes(const QString& folder) {
    return runChild({u"view"_s}, folder).peakMegabytes();
}
