#include "plaindialog.h"

#include "icons.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QWindow>

PlainDialog::PlainDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(dialogIcon());
}

void PlainDialog::showOver(QWidget* window) {
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    // The dialog belongs to no window, but stays above the main window and
    // opens centred on it.
    if (window) {
        winId();
        windowHandle()->setTransientParent(window->windowHandle());
    }
    exec();
}

void PlainDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->ignore();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void PlainDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_focus) {
        m_focus->setFocus();
        m_focus->selectAll();
    }
}
