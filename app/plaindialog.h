#pragma once

#include <QDialog>

// The program's small dialogs: no default or cancel button, so Enter and
// Escape do nothing of their own; closing by the close box is a cancel.
// `showOver` shows one modally, centred on `window` and kept above it.
class PlainDialog : public QDialog {
public:
    explicit PlainDialog(QWidget* parent = nullptr);
    void showOver(QWidget* window);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
