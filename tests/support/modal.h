#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <functional>

// A message box as the user saw it.
struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
};

// Runs `action` and answers every message box it shows with `answer`
// (the text of a button to press; the default presses "OK"). Returns the boxes
// in the order they appeared.
QList<SeenBox> collectMessageBoxes(const std::function<void()>& action,
                                   const QString& answer = QStringLiteral("OK"));

// Runs `action` and hands each modal dialog it shows to `respond`, which must
// close it (or leave it for the next call). Stops waiting when `action` returns.
void answerModals(const std::function<void()>& action,
                  const std::function<void(QWidget*)>& respond);
