#pragma once

#include "benchdata.h"
#include "report.h"
#include "timing.h"

#include <QByteArray>
#include <QImage>
#include <memory>

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
    ResultRow stepping();
    QList<ResultRow> importing();
    ResultRow exportingCurrent();
    QList<ResultRow> batchExporting();
    ResultRow finding();
    ResultRow newLibrary();

private:
    QString work(const QString& name) const { return m_work + u'/' + name; }
    void openCold(const QString& library);
    void importFile(const QString& file);
    Trial openTrial(const QString& library);
    Trial showTrial(const QByteArray& jpeg);
    Trial importTrial(const QString& file);
    QList<double> stepSamples(int steps);

    const BenchData& m_data;
    QString m_work;
    QImage m_canvas;
    std::unique_ptr<TForm1> m_form;
};
