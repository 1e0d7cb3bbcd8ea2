#include "newfolderdialog.h"

#include "application.h"
#include "folderpicker.h"

#include <QDir>

using namespace Qt::StringLiterals;

TInputDirDlg::TInputDirDlg(DirectoryListBox* tree, QWidget* parent)
    : PlainDialog(parent), m_tree(tree) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(size());
    QPalette sky = palette();
    sky.setColor(QPalette::Window, QColor(166, 202, 240));
    setPalette(sky);
    setAutoFillBackground(true);
    connectCommand(SpeedButton1, &QToolButton::clicked, this, &TInputDirDlg::SpeedButton1Click);
    connectCommand(SpeedButton2, &QToolButton::clicked, this, &TInputDirDlg::SpeedButton2Click);
}

// The name may hold "/" and so name several levels; all are made.
void TInputDirDlg::SpeedButton1Click() {
    const QString folder = m_tree->currentFolder();
    const QString path =
        QDir::cleanPath((folder.endsWith(u'/') ? folder : folder + u'/') + Edit1->text());
    if (QFileInfo(path).isDir()) {
        showMessage(u"此文件夹已经存在，重新输入文件夹的名字!"_s);
        return;
    }
    QDir().mkpath(path);
    m_tree->openFolder(path);
    close();
}

void TInputDirDlg::SpeedButton2Click() {
    close();
}
