#include "anchors.h"

#include <QEvent>

RightAnchors::RightAnchors(QWidget* parent) : QObject(parent), m_parent(parent) {
    parent->installEventFilter(this);
}

void RightAnchors::add(QWidget* control) {
    m_controls.emplace_back(control, m_parent->width() - control->x());
}

void RightAnchors::apply() {
    for (const auto& [control, distance] : m_controls)
        control->move(m_parent->width() - distance, control->y());
}

bool RightAnchors::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_parent && event->type() == QEvent::Resize)
        apply();
    return false;
}
