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
    Qt::TextFormat format = Qt::AutoText;
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

// Runs `action`; each time a modal dialog comes to the top (a new one, or one
// that is on top again after a box over it closed) the next of `steps` acts on
// it. Returns how many steps were used; a modal that finds no step left is
// rejected, and counted.
using ModalStep = std::function<void(QWidget*)>;
int runWithModals(const std::function<void()>& action, const QList<ModalStep>& steps);

// Steps for the usual answers.
ModalStep pressButton(const QString& text); // a button of that text, in any dialog
ModalStep expectBox(const QString& text, const QString& press = QStringLiteral("OK"));
ModalStep chooseFile(const QString& path); // a QFileDialog: type the path, accept
ModalStep typeAndPress(const QString& text, const QString& button); // Edit1, then a button
// A message box: noted in `seen` as the user saw it, then answered with `press`.
ModalStep recordBox(QList<SeenBox>* seen, const QString& press = QStringLiteral("OK"));
// Types `text` into Edit1, then presses Return, Enter and Escape there, noting
// after each key whether the dialog is still open ("open"/"closed"); cancels
// with "取消" if it is.
ModalStep pressEnterAndEscape(const QString& text, QStringList* afterKeys);
