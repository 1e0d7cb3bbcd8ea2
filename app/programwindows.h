#pragma once

#include "afterqueued.h"
#include "tform1.h"

#include <QWidget>
#include <memory>
#include <vector>

// The program's windows, made as its start makes them: the main window first
// (creating it opens the default library), then the other windows, made once
// and never shown; each command that needs a dialog makes a fresh one. A
// window that fails to be made is reported, and start-up goes on.
//
// Since the others are never shown, they are made once the main window has
// first been painted: the first page does not wait for them.
class ProgramWindows : public QObject {
public:
    ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TForm1& mainWindow() { return *m_main; }
    // Whether the windows besides the main one are made yet.
    bool othersMade() const { return !m_others.empty(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void makeOthers();

    // Declared first, so it goes last, as at the end of the program's start.
    std::unique_ptr<TForm1> m_main;
    std::vector<std::unique_ptr<QWidget>> m_others;
    AfterQueued m_makeOthers{[this] { makeOthers(); }};
};
