// Opening another library file.

#include "commands.h"
#include "picturefiledialog.h"

using namespace Qt::StringLiterals;

namespace Commands {

// The list keeps the find in force, if any: the library opens showing the
// scores whose names hold the word.
void OpenPicDataFileClick(TForm1& window) {
    const QString file = window.OpenDialog1->choose(&window);
    if (!file.isEmpty())
        openLibrary(window, file);
}

void openLibrary(TForm1& window, const QString& file) {
    window.ADOConnection1.Close();
    window.ADOConnection1.SetDatabase(file);
    window.ADOConnection1.Open();
    window.ADOQuery1.Open();
    window.setWindowTitle(u"Vellaris    [ "_s + file + u" ]"_s);
    window.showOpenedLibrary();
}

} // namespace Commands
