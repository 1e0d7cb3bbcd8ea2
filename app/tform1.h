#pragma once

#include "afterqueued.h"
#include "connection.h"
#include "datasource.h"
#include "picturecache.h"
#include "programvalues.h"
#include "recordset.h"
#include "ui_TForm1.h"

#include <QList>
#include <QUrl>
#include <QWidget>
#include <memory>

class PictureFileDialog;
class TForm1;

// The commands whose bodies live in operations/ and about/, by the names of
// their handlers. The program's start hands them to the window, so nothing in
// app/ depends on the commands; a handler left empty does nothing.
struct WindowCommands {
    using Command = void (*)(TForm1& window);
    Command LoadFormFileClick = nullptr;
    Command SaveToFileClick = nullptr;
    Command DeleteFormDBClick = nullptr;
    Command RenameClick = nullptr;
    Command OpenPicDataFileClick = nullptr;
    Command NewPicFileClick = nullptr;
    Command FiltByNameClick = nullptr;
    Command ShowAllClick = nullptr;
    Command CopyToCBoardClick = nullptr;
    Command CutToCBoardClick = nullptr;
    Command PasteFromCBoardClick = nullptr;
    Command SpeedButton6Click = nullptr;
    Command SaveManyPicClick = nullptr;
    // Items dropped on the window.
    using DropCommand = void (*)(TForm1& window, const QList<QUrl>& items);
    DropCommand FormDragDrop = nullptr;
};

// The main window: the name list on the left, the current score's picture on
// the right, the library's one connection and record set, and every command.
//
// Each command is a slot named after the control or item that runs it. The
// window's own (start-up, stepping, the viewer) live in app/; the others run
// what WindowCommands holds, and their bodies live beside their dialogs.
class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
public:
    explicit TForm1(const WindowCommands& commands = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    ProgramValues Values;
    Connection ADOConnection1;
    RecordSet ADOQuery1{ADOConnection1};
    DataSource DataSource1{ADOQuery1};

    // Whether the current record has a picture: false on an empty list, on a
    // record without one and on a pending new record; the record set's own
    // error when no library is open.
    bool hasCurrentPicture() const;
    // Puts the current record's picture into Image1 (a record without one
    // leaves Image1 as it is); one that cannot be read or decoded clears
    // Image1 and fails.
    void showCurrentPicture();
    // The current picture, or an empty picture area when there is none.
    void showCurrentScore();
    // Decoded pages, the current one and those next to it.
    PictureCache& pictureCache() { return m_pictureCache; }
    // The reading view, full screen on this window's screen, at the current
    // score (F11); nothing while a new score waits to be stored.
    void openReadingView();
    // The window for a library just opened: picture, count, controls.
    void showOpenedLibrary();
    // Label3: PictureCount followed by "   张".
    void showPictureCount();
    // "删除" and the context-menu items that need a current picture.
    void setPictureCommandsEnabled(bool enabled);
    QList<QObject*> pictureCommands() const;
    // After a score was added: "上一张" on, "下一张" off, the picture commands on.
    void setControlsAfterAdding();

    std::unique_ptr<PictureFileDialog> OpenDialog1;
    std::unique_ptr<PictureFileDialog> OpenPictureDialog1;
    std::unique_ptr<PictureFileDialog> SavePictureDialog1;

public Q_SLOTS:
    // Each command, and the file that holds its body.
    void FormCreate();                              // app/tform1.cpp
    void QuitClick();                               // app/tform1.cpp
    void DataSource1DataChange(const Field* field); // app/navigation.cpp
    void SpeedButton1Click();                       // app/navigation.cpp
    void SpeedButton2Click();                       // app/navigation.cpp
    void LoadFormFileClick();                       // operations/import.cpp
    void SaveToFileClick();                         // operations/export.cpp
    void DeleteFormDBClick();                       // operations/delete.cpp
    void RenameClick();                             // operations/renamedialog.cpp
    void OpenPicDataFileClick();                    // operations/openlibrary.cpp
    void NewPicFileClick();                         // operations/newlibrarydialog.cpp
    void FiltByNameClick();                         // operations/finddialog.cpp
    void ShowAllClick();                            // operations/finddialog.cpp
    void Image1Click();                             // app/viewer.cpp
    void CopyToCBoardClick();                       // operations/clipboard.cpp
    void CutToCBoardClick();                        // operations/clipboard.cpp
    void PasteFromCBoardClick();                    // operations/clipboard.cpp
    void SpeedButton6Click();                       // about/aboutbox.cpp
    void SaveManyPicClick();                        // operations/batchexportdialog.cpp
    void FormDragDrop(const QList<QUrl>& items);    // operations/import.cpp

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void connectCommands();
    void run(WindowCommands::Command command);
    void prefetchNeighbours();
    void showWhereKeysStopped();
    void layOutPanels();
    bool takesDrop(const QDropEvent& event) const;

    PictureCache m_pictureCache;
    WindowCommands m_commands;
    AfterQueued m_pageWhereKeysStop{[this] { showWhereKeysStopped(); }};
    AfterQueued m_workAhead{[this] { prefetchNeighbours(); }};
    static constexpr int DesignedListWidth = 112;
};
