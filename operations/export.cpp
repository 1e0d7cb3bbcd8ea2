// Saving the current score to a JPEG file.

#include "application.h"
#include "picturefiledialog.h"
#include "tform1.h"
#include "wholefile.h"

using namespace Qt::StringLiterals;

// The current score's stored JPEG data is written as it is: no decoding, no
// re-encoding. The dialog adds ".jpg" to a name typed without an extension on
// every export.
void TForm1::SaveToFileClick() {
    if (!hasCurrentPicture()) {
        showMessage(u"当前没有可保存的图片"_s);
        return;
    }
    const QString file = SavePictureDialog1->choose(this);
    if (file.isEmpty())
        return;
    exportCurrentScore(file);
    SavePictureDialog1->forgetFile();
}

void TForm1::exportCurrentScore(const QString& file) {
    writeWholeFile(file, ADOQuery1.FieldByName(Columns::Picture).LoadPicture().jpegData());
}
