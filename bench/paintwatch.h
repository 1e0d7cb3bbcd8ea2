#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

class QWidget;

// Times what a user waits for: from an action (a key press posted to the
// window, a library opened, ...) until a widget has been painted showing what
// was asked for. The clock stops when the processEvents() call that delivered
// that paint returns, so the paint itself counts, and so does whatever else
// the window chose to do before it.
class PaintWatch : public QObject {
public:
    // `shows` tells, as `widget` is about to be painted, whether it shows what
    // is waited for.
    PaintWatch(QWidget* widget, std::function<bool()> shows);

    // Runs `action` and lets the window work until that paint; milliseconds
    // from the start of `action`. Fails when no such paint comes within
    // `limitMs` (a broken window never hangs the benchmark).
    double millisecondsUntilPainted(const std::function<void()>& action, int limitMs = 60000);
    // Lets the window work until that paint, if it has not come yet since
    // the watch was made or last timed.
    void waitUntilPainted(int limitMs = 60000);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    std::function<bool()> m_shows;
    QTimer m_wake; // wakes a wait for events now and then, to look at the clock
    bool m_painted = false;
};
