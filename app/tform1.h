#pragma once

#include "connection.h"
#include "datasource.h"
#include "picturecache.h"
#include "programvalues.h"
#include "recordset.h"
#include "ui_TForm1.h"

#include <QWidget>
#include <functional>
#include <memory>

class PictureFileDialog;
class RightAnchors;
namespace Queries {
struct Query;
}

// The main window: the name list on the left, the current score's picture on
// the right, the library's one connection and record set, and every command.
//
// Each command is a slot named after the control or item that runs it. The
// bodies of the picture commands live beside their dialogs in operations/.
class TForm1 : public QWidget, public Ui::TForm1 {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
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
    // leaves Image1 as it is).
    void showCurrentPicture();
    // While paused, the picture area is not brought up to date (a batch
    // export moves through every record without drawing any of them).
    void pauseDisplay(bool paused) { m_displayPaused = paused; }
    // Decoded pages, the current one and those next to it.
    PictureCache& pictureCache() { return m_pictureCache; }
    // The window for a library just opened: picture, count, controls.
    void showOpenedLibrary();
    // Label3: PictureCount followed by "   张".
    void showPictureCount();
    // "删除" and the context-menu items that need a current picture.
    void setPictureCommandsEnabled(bool enabled);
    QList<QObject*> pictureCommands() const;
    // After a score was added: "上一张" on, "下一张" off, the picture commands on.
    void setControlsAfterAdding();

    // The naming and storing of a new score, shared by the import and the paste.
    // The naming dialog, proposing "图片" + (PictureCount + 1); true when a
    // name was confirmed (it is then in PendingName).
    bool askNewScoreName();
    // A new record at the end holding PendingName and `picture` (stored as JPEG data).
    void appendNewScore(JpegPicture& picture);
    // PictureCount up by one, the count label and the controls follow.
    void countNewScore();
    // After a cancelled naming: `saved` again, or nothing when there is no current picture.
    void restorePicture(const JpegPicture& saved);

    // A new score from its append until its post has gone through. Should the
    // command end before that, the new record is abandoned, so no later move
    // writes it, and the count and the picture commands go back to what the
    // library holds.
    class PendingScore {
    public:
        explicit PendingScore(TForm1& window);
        ~PendingScore();
        PendingScore(const PendingScore&) = delete;
        PendingScore& operator=(const PendingScore&) = delete;
        void stored() { m_stored = true; }

    private:
        TForm1& m_window;
        qint32 m_count;
        QList<bool> m_commands;
        bool m_stored = false;
    };

    // The delete road, shared by the delete and the cut with their own texts:
    // the guard, the one-score rule, the question, then `beforeRemoving` (the
    // cut puts the picture on the clipboard) and the delete itself.
    struct RemovalTexts {
        QString noPicture;
        QString lastScore;
        QString question;
    };
    void removeCurrentScore(const RemovalTexts& texts,
                            const std::function<void()>& beforeRemoving = {});
    // The current score's picture, decoded, onto the clipboard (copy and cut).
    void copyPictureToClipboard();

    // Lists the scores `query` selects, the first one current and shown
    // (find and show all); `whenListed` runs once they are listed.
    void listScores(const Queries::Query& query, const std::function<void()>& whenListed = {});
    // Closes the library and opens `file` in its place.
    void openLibrary(const QString& file);
    // Writes the current score's stored JPEG data to `file`.
    void exportCurrentScore(const QString& file);
    // Makes the library `name`.tbr in the current folder from the default
    // library and opens it; false (and a message) when that file exists.
    bool createLibrary(const QString& name);

    std::unique_ptr<PictureFileDialog> OpenDialog1;
    std::unique_ptr<PictureFileDialog> OpenPictureDialog1;
    std::unique_ptr<PictureFileDialog> SavePictureDialog1;

public Q_SLOTS:
    // Each command, and the file that holds it.
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

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void connectCommands();
    void prefetchNeighbours();
    void alignControls();

    RightAnchors* m_infoAnchors = nullptr;
    PictureCache m_pictureCache;
    bool m_displayPaused = false;
    bool m_prefetchPending = false;
    int m_listWidth = 112;
};
