#include "namingdialog.h"

#include "application.h"
#include "programvalues.h"

using namespace Qt::StringLiterals;

TForm2::TForm2(ProgramValues& values, QWidget* parent) : PlainDialog(parent), m_values(values) {
    setupUi(this);
    focusOnShow(Edit1);
    connectCommand(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
}

void TForm2::Button1Click() {
    const QString name = Edit1->text();
    if (name.isEmpty()) {
        showMessage(u"请输入图片名！"_s);
        return;
    }
    m_values.PendingName = name;
    m_values.NameConfirmed = true;
    close();
}

void TForm2::Button2Click() {
    close();
}
