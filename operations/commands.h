#pragma once

#include "library.h"
#include "tform1.h"

#include <functional>

// The picture and library commands of the main window. Each command is split
// in two: its handler asks the user (dialogs, questions), and the work it then
// does is a function of its own, which the benchmark and the tests run too.
namespace Commands {

// The handlers, each in the file named beside it; all of them for the window.
void LoadFormFileClick(TForm1& window);    // import.cpp
void SaveToFileClick(TForm1& window);      // export.cpp
void DeleteFormDBClick(TForm1& window);    // delete.cpp
void RenameClick(TForm1& window);          // renamedialog.cpp
void OpenPicDataFileClick(TForm1& window); // openlibrary.cpp
void NewPicFileClick(TForm1& window);      // newlibrarydialog.cpp
void FiltByNameClick(TForm1& window);      // finddialog.cpp
void ShowAllClick(TForm1& window);         // finddialog.cpp
void CopyToCBoardClick(TForm1& window);    // clipboard.cpp
void CutToCBoardClick(TForm1& window);     // clipboard.cpp
void PasteFromCBoardClick(TForm1& window); // clipboard.cpp
void SaveManyPicClick(TForm1& window);     // batchexportdialog.cpp
// Each dropped item imported as if chosen in the import's file dialog.
void FormDragDrop(TForm1& window, const QList<QUrl>& items); // import.cpp
WindowCommands all();

// ---- import.cpp, clipboard.cpp, newscore.cpp: a new score ----------------------------

// When the controls are set for the new score: before its post (the import,
// so that showing the stored picture decides the buttons) or after it (the paste).
enum class CountNewScore { BeforePost, AfterPost };
// Shows `picture` and asks its name in the naming dialog, proposing "图片" +
// (PictureCount + 1); a confirmed name stores it (storeNewScore), a cancelled
// naming shows `saved` again, or nothing when there is no current picture.
void nameAndStoreNewScore(TForm1& window, JpegPicture& picture, const JpegPicture& saved,
                          CountNewScore when);
// Stores `picture` as a new score named PendingName at the end of the list:
// the count and the controls follow. Should anything fail before the post has
// gone through, the new record is abandoned, so no later move writes it, and
// the count and the picture commands go back to what the library holds.
void storeNewScore(TForm1& window, JpegPicture& picture, CountNewScore when);

// ---- export.cpp ----------------------------------------------------------------------

// Writes the current score's stored JPEG data to `file`, as it is.
void exportCurrentScore(const TForm1& window, const QString& file);

// ---- delete.cpp: the delete road, shared by the delete and the cut --------------------

struct RemovalTexts {
    QString noPicture;
    QString lastScore;
    QString question;
};
// The guard, the one-score rule, the question, then `beforeRemoving` (the
// cut puts the picture on the clipboard) and the delete itself.
void removeCurrentScore(TForm1& window, const RemovalTexts& texts,
                        const std::function<void()>& beforeRemoving = {});
// The delete itself: the next score (or the one before the last) becomes
// current and shows, and the count goes down by one.
void deleteCurrentScore(TForm1& window);

// ---- renamedialog.cpp ----------------------------------------------------------------

// The rename dialog's work: `name` written as the current score's name, as
// typed. A failed post leaves the name pending.
void renameCurrentScore(DataSource& source, const QString& name);

// ---- finddialog.cpp ------------------------------------------------------------------

// Lists the scores `query` selects (find and show all), the first one current.
void listScores(RecordSet& records, const Queries::Query& query);

// ---- openlibrary.cpp, newlibrarydialog.cpp -------------------------------------------

// Closes the library and opens `file` in its place.
void openLibrary(TForm1& window, const QString& file);
// Makes the library `name`.tbr in the current folder from the default
// library and opens it; false (and a message) when that file exists.
bool createLibrary(TForm1& window, const QString& name);

} // namespace Commands
