// Importing a picture file as a new score, chosen in the file dialog or
// dropped on the window.

#include "application.h"
#include "commands.h"
#include "errors.h"
#include "picturefile.h"
#include "picturefiledialog.h"

#include <QScopeGuard>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

// The import once its file is chosen: the file read, shown, named and stored.
void importChosenFile(TForm1& window, const QString& file) {
    const auto release = qScopeGuard([&window] { window.Values.NameConfirmed = false; });
    JpegPicture picture = loadPictureFile(file);
    const JpegPicture saved = window.hasCurrentPicture() ? window.Image1->picture() : JpegPicture();
    Commands::nameAndStoreNewScore(window, picture, saved, Commands::CountNewScore::BeforePost);
}

// Only a file of this computer can be imported; anything else dropped is a
// file that cannot be opened.
QString droppedFile(const QUrl& item) {
    if (!item.isLocalFile())
        throw FileError::cannotOpen(item.toDisplayString(), u"Not a local file"_s);
    return item.toLocalFile();
}

} // namespace

namespace Commands {

void LoadFormFileClick(TForm1& window) {
    // Edit first, even when the file dialog is then cancelled: the pending
    // edit holds no change and the next move ends it.
    window.ADOQuery1.Edit();
    const QString file = window.OpenPictureDialog1->choose(&window);
    if (file.isEmpty())
        return;
    importChosenFile(window, file);
}

// Each item is an import of its own: one that fails, or whose naming is
// cancelled, ends there, and the next one comes.
void FormDragDrop(TForm1& window, const QList<QUrl>& items) {
    for (const QUrl& item : items)
        runReported([&] {
            window.ADOQuery1.Edit();
            importChosenFile(window, droppedFile(item));
        });
}

} // namespace Commands
