// Saving the current score to a JPEG file.

#include "application.h"
#include "commands.h"
#include "picturefiledialog.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

namespace Commands {

// The dialog adds ".jpg" to a name typed without an extension on every export.
void SaveToFileClick(TForm1& window) {
    if (!window.hasCurrentPicture()) {
        showMessage(u"当前没有可保存的图片"_s);
        return;
    }
    const QString file = window.SavePictureDialog1->choose(&window);
    if (file.isEmpty())
        return;
    exportCurrentScore(window, file);
    window.SavePictureDialog1->forgetFile();
}

// No decoding, no re-encoding: the stored bytes are the file.
void exportCurrentScore(const TForm1& window, const QString& file) {
    writeWholeFile(file, window.ADOQuery1.FieldByName(Columns::Picture).LoadPicture().jpegData());
}

} // namespace Commands
