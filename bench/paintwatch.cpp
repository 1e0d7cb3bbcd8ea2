#include "paintwatch.h"

#include "errors.h"
#include "timing.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QWidget>

using namespace Qt::StringLiterals;

PaintWatch::PaintWatch(QWidget* widget, std::function<bool()> shows)
    : m_widget(widget), m_shows(std::move(shows)) {
    m_widget->installEventFilter(this);
    m_wake.setInterval(250);
}

bool PaintWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_widget && event->type() == QEvent::Paint && m_shows())
        m_painted = true;
    return false;
}

double PaintWatch::millisecondsUntilPainted(const std::function<void()>& action, int limitMs) {
    m_painted = false;
    return millisecondsOf([&] {
        action();
        waitUntilPainted(limitMs);
    });
}

void PaintWatch::waitUntilPainted(int limitMs) {
    const QDeadlineTimer limit(limitMs);
    m_wake.start();
    while (!m_painted && !limit.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    m_wake.stop();
    if (!m_painted)
        throw Error(
            u"the window did not paint what was waited for within %1 s"_s.arg(limitMs / 1000));
}
