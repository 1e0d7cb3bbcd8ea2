#pragma once

#include "benchdata.h"
#include "report.h"
#include "timing.h"

#include <QByteArray>
#include <QSize>
#include <memory>

class PaintWatch;
class TForm1;

// Lets the window go idle, as between two clicks of a user: posted events,
// the painting, and the pages decoded ahead.
void idle();

// Drives the program's main window, offscreen, through the calls its commands
// make (less their dialogs, which are the user's time), and times each
// operation against its anchor, a standard tool doing the same work.
class WindowBench {
public:
    // `work`: an empty folder for the run's copies and outputs; it becomes the
    // current folder, holding an empty default library.
    WindowBench(const BenchData& data, const QString& work);
    ~WindowBench();
    WindowBench(const WindowBench&) = delete;
    WindowBench& operator=(const WindowBench&) = delete;

    QList<ResultRow> opening();
    QList<ResultRow> showing();
    QList<ResultRow> turningPages();
    ResultRow queuedKeys();
    QList<ResultRow> importing();
    ResultRow exportingCurrent();
    QList<ResultRow> batchExporting();
    ResultRow finding();
    ResultRow newLibrary();

    // The main window's picture area at the window's own size.
    QSize pictureArea() const;

private:
    QString work(const QString& name) const { return m_work + u'/' + name; }
    void openCold(const QString& library);
    void importFile(const QString& file);
    QByteArray page(int record) const;
    // Runs `action`; milliseconds until the picture area has painted `jpeg`.
    double untilShown(const QByteArray& jpeg, const std::function<void()>& action);
    void settle();
    void pressKey(Qt::Key key);
    Trial djpegTrial(const std::function<QString()>& file);
    Trial djpegStartup();
    Trial djpegOfCurrentPage();
    Trial openTrial(const QString& library, bool cold);
    Trial showTrial(const QByteArray& jpeg);
    Trial keysTrial(Qt::Key key, int presses);
    ResultRow pageTurnRow(const QString& window, double goal);
    Trial freshImportTrial(const QStringList& files);

    const BenchData& m_data;
    QString m_work;
    std::unique_ptr<TForm1> m_form;
    std::unique_ptr<PaintWatch> m_watch;
    QByteArray m_expected; // the page that the watch waits for
};
