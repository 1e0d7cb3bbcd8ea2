// Making a new, empty library from the default library, and opening it.

#include "newlibrarydialog.h"

#include "application.h"
#include "commands.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace Commands {

void NewPicFileClick(TForm1& window) {
    TForm7 dialog([&window](const QString& name) { return createLibrary(window, name); });
    dialog.showOver(&window);
}

// The name is taken as typed; an empty name makes ".tbr".
bool createLibrary(TForm1& window, const QString& name) {
    const QString folder = QDir::currentPath();
    const QString file = folder + u'/' + name + u".tbr"_s;
    if (QFileInfo::exists(file)) {
        showMessage(u"曲谱库文件“%1”已经存在，请输入别的名字"_s.arg(file));
        return false;
    }
    makeEmptyCopy(folder + u"/pictures.tbr"_s, file);
    window.ADOConnection1.Close();
    // Every new library starts with all of its (no) scores listed.
    const Queries::Query all = Queries::allScores();
    window.ADOQuery1.SetSQL(all.text, all.parameters);
    window.ADOConnection1.SetDatabase(file);
    window.ADOConnection1.Open();
    window.ADOQuery1.Open();
    window.setWindowTitle(u"Vellaris    [ "_s + file + u" ]"_s);
    window.Image1->clear();
    for (QAction* item : {window.DeleteFormDB, window.SaveToFile, window.Rename, window.FiltByName})
        item->setEnabled(false);
    window.Values.PictureCount = 0;
    window.showPictureCount();
    return true;
}

} // namespace Commands

TForm7::TForm7(Create create, QWidget* parent) : PlainDialog(parent), m_create(std::move(create)) {
    setupUi(this);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    move(347, 298);
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm7::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm7::Button2Click);
}

void TForm7::Button1Click() {
    if (m_create && m_create(Edit1->text()))
        close();
}

void TForm7::Button2Click() {
    close();
}
