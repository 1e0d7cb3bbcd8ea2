#pragma once

#include <QApplication>
#include <QString>

#include <exception>

inline const QString ApplicationTitle = QStringLiteral("tamblor");

// The program's application object: its title is "tamblor", and every error
// that leaves an event handler ends there and is shown in the one error report.
class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The error report's text: the message, with "." appended when the message
// is not empty and its last character sorts above ".".
QString errorReportText(const QString& message);

// The error report: title "tamblor", stop icon, "OK".
void showErrorReport(const QString& message);
// Shows the error report for the exception being handled.
void reportCurrentException();

// The one rule for every place Qt calls the program's code: a command hung on
// a signal is connected with connectCommand, the work of an event override or
// of start-up runs in runReported. Either way a failure ends that one user
// action in the one error report and never crosses Qt's own code; the
// program goes on. Application::notify only catches what slips past.
//
// Runs one user action; a failure ends it and is reported.
template <class Action> void runReported(Action&& action) {
    try {
        action();
    } catch (...) {
        reportCurrentException();
    }
}

// Connects a control's signal to a command: the command runs as one user
// action, its failure reported.
template <class Sender, class Signal, class Receiver>
void connectCommand(Sender* sender, Signal signal, Receiver* receiver,
                    void (Receiver::*command)()) {
    QObject::connect(sender, signal, receiver,
                     [receiver, command] { runReported([&] { (receiver->*command)(); }); });
}

// A user error: a plain box titled "tamblor", no icon, one "OK" button.
void showMessage(const QString& text);

// A question: title "Confirm", question icon, "OK" (the default) and
// "Cancel" (also Escape and the close box). True when "OK" was pressed.
bool confirm(const QString& question);
