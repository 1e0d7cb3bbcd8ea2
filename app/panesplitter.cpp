#include "panesplitter.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
// The marker drawn while dragging, in the splitter's parent.
class HatchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        // Black dots on white: visible over the list and over the black picture area alike.
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.fillRect(rect(), QBrush(Qt::black, Qt::Dense4Pattern));
    }
};
} // namespace

PaneSplitter::PaneSplitter(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::SizeHorCursor);
    m_line = new HatchedLine(parent);
    m_line->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_line->hide();
}

void PaneSplitter::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), QColor(192, 220, 192));
}

int PaneSplitter::areaLeft() const {
    return parentWidget()->contentsRect().left();
}

int PaneSplitter::areaWidth() const {
    return parentWidget()->contentsRect().width();
}

int PaneSplitter::widthFor(int offset) const {
    const int widest = std::max(0, areaWidth() - Width - MinSize);
    const int width = std::min(m_startWidth + offset, widest);
    return width <= MinSize ? 0 : width;
}

void PaneSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_pressX = int(event->globalPosition().x());
    m_startWidth = x() - areaLeft();
    m_line->setGeometry(geometry());
    m_line->raise();
    m_line->show();
}

void PaneSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging)
        return;
    const int width = widthFor(int(event->globalPosition().x()) - m_pressX);
    m_line->move(areaLeft() + width, y());
}

void PaneSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_line->hide();
    Q_EMIT moved(widthFor(int(event->globalPosition().x()) - m_pressX));
}
