#pragma once

#include <QWidget>

// Hand-made, not a QSplitter: QSplitter marks a drag with the style's rubber
// band and shuts a pane at half its minimum, not with a hatched line at 30.
//
// The bar between the name list and the picture. Dragging it shows a hatched
// line where the bar will go; the list takes its new width when the mouse is
// released. A list dragged to MinSize pixels or less snaps shut, and the
// picture pane keeps at least MinSize pixels.
class PaneSplitter : public QWidget {
    Q_OBJECT
public:
    static constexpr int MinSize = 30;
    static constexpr int Width = 5;

    explicit PaneSplitter(QWidget* parent = nullptr);
    // The width the list would take if the bar were dropped `offset` pixels
    // from where the press began.
    int widthFor(int offset) const;

Q_SIGNALS:
    void moved(int listWidth);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The left edge of the area the list and the picture share, and its width.
    int areaLeft() const;
    int areaWidth() const;

    QWidget* m_line = nullptr;
    int m_pressX = 0;
    int m_startWidth = 0;
    bool m_dragging = false;
};
