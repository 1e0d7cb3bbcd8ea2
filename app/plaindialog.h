#pragma once

#include <QDialog>

class QLineEdit;

// The program's small dialogs: no default or cancel button, so Enter and
// Escape do nothing of their own; closing by the close box is a cancel.
// `showOver` shows one modally, centred on `window` and kept above it.
class PlainDialog : public QDialog {
public:
    explicit PlainDialog(QWidget* parent = nullptr);
    void showOver(QWidget* window);
    // The text box that has the focus, its text selected, when the dialog opens.
    void focusOnShow(QLineEdit* edit) { m_focus = edit; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* m_focus = nullptr;
};
