// Opening another library file.

#include "picturefiledialog.h"
#include "tform1.h"

using namespace Qt::StringLiterals;

// The list keeps the find in force, if any: the library opens showing the
// scores whose names hold the word.
void TForm1::OpenPicDataFileClick() {
    const QString file = OpenDialog1->choose(this);
    if (!file.isEmpty())
        openLibrary(file);
}

void TForm1::openLibrary(const QString& file) {
    ADOConnection1.Close();
    ADOConnection1.SetDatabase(file);
    ADOConnection1.Open();
    ADOQuery1.Open();
    setWindowTitle(u"Vellaris    [ "_s + file + u" ]"_s);
    showOpenedLibrary();
}
