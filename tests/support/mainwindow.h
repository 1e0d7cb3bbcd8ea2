#pragma once

#include "libraryfiles.h"
#include "modal.h"
#include "tform1.h"

#include <QColor>
#include <QMimeData>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class TForm1;

// A fresh folder that is the current directory while the object lives; the
// main window opens its pictures.tbr at start.
class WorkFolder {
public:
    WorkFolder();
    ~WorkFolder();
    QString path(const QString& name) const { return m_dir.filePath(name); }
    QString library() const { return path(QStringLiteral("pictures.tbr")); }
    void makeLibrary(const QList<TestFiles::Record>& records) const {
        TestFiles::makeLibrary(library(), records);
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// Starts the main window as the program does and shows it. The message boxes
// start-up shows go to `boxes`; without it any box is a test failure.
// Every command, as the program's start hands them to the main window.
WindowCommands programCommands();
std::unique_ptr<TForm1> startMainWindow(QList<SeenBox>* boxes = nullptr);
// The pages the window asks to have drawn ahead, drawn and kept: what it has
// queued is handled (the request among it), then the drawing is waited for.
void finishWorkAhead(TForm1& form);

// The colour at the centre of the picture as the main window draws it.
QColor shownColor(TForm1& form);
bool nearColour(QColor a, QColor b);

// The buttons and context-menu items that follow the current picture, by the
// names of those that are on ("上一张", "下一张", "删除", "DeleteFormDB", ...).
QStringList enabledControls(const TForm1& form);

// The names the name list shows, top to bottom.
QStringList listedNames(const TForm1& form);

// Picks row `row` of the name list with the mouse.
void clickRow(TForm1& form, int row);

// Drags `data` over the middle of `where` and drops it there, handed to its
// window as the window system hands a drop over, then lets the window do what
// the drop asks. The action the window took it with (none when refused).
Qt::DropAction dropOn(QWidget* where, const QMimeData& data,
                      Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction);
