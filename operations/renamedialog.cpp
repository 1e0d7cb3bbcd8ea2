// Renaming the current score.

#include "renamedialog.h"

#include "application.h"
#include "commands.h"

using namespace Qt::StringLiterals;

void Commands::RenameClick(TForm1& window) {
    if (!window.hasCurrentPicture()) {
        showMessage(u"当前没有可命名的图片！"_s);
        return;
    }
    TForm3 dialog(window.DataSource1);
    dialog.showOver(&window);
    // A name whose post failed and that the user then gave up ("取消", the
    // close box) is dropped, so that no later move writes it.
    if (window.ADOQuery1.Modified())
        window.ADOQuery1.Cancel();
}

TForm3::TForm3(DataSource& source, QWidget* parent) : PlainDialog(parent), m_source(source) {
    setupUi(this);
    Edit1->setText(u"新名字"_s);
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm3::Button2Click);
}

// The name goes in as typed: blanks, an empty text and a name in use alike.
// A failed post leaves the dialog open with the name pending.
void TForm3::Button1Click() {
    Commands::renameCurrentScore(m_source, Edit1->text());
    close();
}

void Commands::renameCurrentScore(DataSource& source, const QString& name) {
    source.Edit();
    RecordSet& records = source.DataSet();
    records.FieldByName(Columns::Name).SetAsString(name);
    records.Post();
}

void TForm3::Button2Click() {
    close();
}
