#pragma once

#include <QObject>
#include <QWidget>
#include <vector>

// Keeps controls at their designed distance from their parent's right edge
// when the parent is resized. Hand-made: a box layout cannot keep controls
// of one strip each at its own designed height and distance.
class RightAnchors : public QObject {
public:
    explicit RightAnchors(QWidget* parent);
    // Records the control's present distance from the right edge.
    void add(QWidget* control);
    void apply();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_parent;
    std::vector<std::pair<QWidget*, int>> m_controls;
};
