// Importing a picture file as a new score.

#include "commands.h"
#include "picturefile.h"
#include "picturefiledialog.h"

#include <QScopeGuard>

namespace Commands {

void LoadFormFileClick(TForm1& window) {
    // Edit first, even when the file dialog is then cancelled: the pending
    // edit holds no change and the next move ends it.
    window.ADOQuery1.Edit();
    const QString file = window.OpenPictureDialog1->choose(&window);
    if (file.isEmpty())
        return;
    const auto release = qScopeGuard([&window] { window.Values.NameConfirmed = false; });
    JpegPicture picture = loadPictureFile(file);
    const JpegPicture saved = window.hasCurrentPicture() ? window.Image1->picture() : JpegPicture();
    nameAndStoreNewScore(window, picture, saved, CountNewScore::BeforePost);
}

} // namespace Commands
