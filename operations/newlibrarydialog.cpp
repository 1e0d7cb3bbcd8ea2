// Making a new, empty library from the default library, and opening it.

#include "newlibrarydialog.h"

#include "application.h"
#include "library.h"
#include "tform1.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

void TForm1::NewPicFileClick() {
    TForm7 dialog(*this);
    dialog.showOver(this);
}

// The name is taken as typed; an empty name makes ".tbr".
bool TForm1::createLibrary(const QString& name) {
    const QString folder = QDir::currentPath();
    const QString file = folder + u'/' + name + u".tbr"_s;
    if (QFileInfo::exists(file)) {
        showMessage(u"曲谱库文件“%1”已经存在，请输入别的名字"_s.arg(file));
        return false;
    }
    makeEmptyCopy(folder + u"/pictures.tbr"_s, file);
    ADOConnection1.Close();
    // Every new library starts with all of its (no) scores listed.
    const Queries::Query all = Queries::allScores();
    ADOQuery1.SetSQL(all.text, all.parameters);
    ADOConnection1.SetDatabase(file);
    ADOConnection1.Open();
    ADOQuery1.Open();
    setWindowTitle(u"Vellaris    [ "_s + file + u" ]"_s);
    Image1->clear();
    for (QAction* item : {DeleteFormDB, SaveToFile, Rename, FiltByName})
        item->setEnabled(false);
    Values.PictureCount = 0;
    showPictureCount();
    return true;
}

TForm7::TForm7(TForm1& window, QWidget* parent) : PlainDialog(parent), m_window(window) {
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    move(347, 298);
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm7::Button2Click);
}

void TForm7::Button1Click() {
    if (m_window.createLibrary(Edit1->text()))
        close();
}

void TForm7::Button2Click() {
    close();
}
