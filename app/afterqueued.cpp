#include "afterqueued.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
const QEvent::Type Due = QEvent::Type(QEvent::registerEventType());
}

// Posted at low priority: a widget's repaint waits there too, so what was
// queued before, its painting included, goes first.
void AfterQueued::request() {
    if (m_waiting)
        return;
    m_waiting = true;
    QCoreApplication::postEvent(this, new QEvent(Due), Qt::LowEventPriority);
}

void AfterQueued::runIfWaiting() {
    if (!m_waiting)
        return;
    m_waiting = false;
    m_work();
}

// A run done early by runIfWaiting leaves its event behind, which does nothing.
void AfterQueued::customEvent(QEvent* event) {
    if (event->type() == Due)
        runIfWaiting();
}
