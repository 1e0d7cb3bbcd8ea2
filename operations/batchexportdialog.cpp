// Exporting every listed score into one folder.

#include "batchexportdialog.h"

#include "application.h"
#include "batchexport.h"
#include "commands.h"
#include "newfolderdialog.h"

#include <QDir>
#include <QElapsedTimer>

using namespace Qt::StringLiterals;

namespace {
constexpr int BandHeight = 48;
constexpr int BottomHeight = 148;
constexpr int DesignedWidth = 333;
} // namespace

void Commands::SaveManyPicClick(TForm1& window) {
    TSaveManyPicDlg dialog(window.DataSource1);
    dialog.Edit1->setEnabled(false);
    dialog.showOver(&window);
}

TSaveManyPicDlg::TSaveManyPicDlg(DataSource& source, QWidget* parent)
    : PlainDialog(parent), m_source(source) {
    setupUi(this);
    move(306, 195);
    setMinimumSize(DesignedWidth, BandHeight + 270);
    setEditColour(QPalette::Midlight);
    DriveComboBox1->fill(QDir::currentPath());
    DirectoryListBox1->openFolder(QDir::currentPath());
    connect(DriveComboBox1, &QComboBox::activated, this, [this] {
        // A drive opens at the working directory when that lies on it, else at its root.
        const QString root = DriveComboBox1->rootPath();
        const QString here = QDir::currentPath();
        const bool onDrive = DriveComboBox::volumeOf(here) == root;
        runReported([&] { DirectoryListBox1->openFolder(onDrive ? here : root); });
    });
    connectCommand(RadioButton1, &QRadioButton::clicked, this, &TSaveManyPicDlg::RadioButton1Click);
    connectCommand(RadioButton2, &QRadioButton::clicked, this, &TSaveManyPicDlg::RadioButton2Click);
    connectCommand(Button1, &QPushButton::clicked, this, &TSaveManyPicDlg::Button1Click);
    connectCommand(Button2, &QPushButton::clicked, this, &TSaveManyPicDlg::Button2Click);
    connectCommand(Button3, &QPushButton::clicked, this, &TSaveManyPicDlg::Button3Click);
}

void TSaveManyPicDlg::setEditColour(QPalette::ColorRole role) {
    QPalette colours = Edit1->palette();
    const QColor colour = palette().color(role);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        colours.setColor(group, QPalette::Base, colour);
    Edit1->setPalette(colours);
}

void TSaveManyPicDlg::RadioButton1Click() {
    Edit1->setEnabled(false);
    setEditColour(QPalette::Midlight);
}

void TSaveManyPicDlg::RadioButton2Click() {
    Edit1->setEnabled(true);
    setEditColour(QPalette::Base);
    Edit1->setFocus();
}

void TSaveManyPicDlg::Button1Click() {
    TInputDirDlg input(DirectoryListBox1);
    input.move(frameGeometry().left(), frameGeometry().top() + frameGeometry().height() - 130);
    input.showOver(this);
}

void TSaveManyPicDlg::Button2Click() {
    if (!m_source.DataSet().CurrentHasPicture()) {
        close();
        return;
    }
    exportScores();
    ProgressBar1->hide();
    showMessage(u"导出完毕!"_s);
    close();
}

// A failure stops the run at that score: the files written stay, the dialog
// stays open.
void TSaveManyPicDlg::exportScores() {
    ExportNaming naming{RadioButton1->isChecked(), Edit1->text()};
    QElapsedTimer sinceDrawn;
    sinceDrawn.start();
    exportListedScores(m_source, DirectoryListBox1->currentFolder(), naming,
                       [this, &sinceDrawn](int pass, int count) {
                           ProgressBar1->setRange(0, count);
                           ProgressBar1->setValue(pass);
                           // Drawn as often as the eye can follow, not for every score.
                           if (sinceDrawn.elapsed() >= 40 || pass == count) {
                               ProgressBar1->repaint();
                               sinceDrawn.restart();
                           }
                       });
}

void TSaveManyPicDlg::Button3Click() {
    close();
}

void TSaveManyPicDlg::resizeEvent(QResizeEvent* event) {
    PlainDialog::resizeEvent(event);
    alignControls();
}

// The tree takes any growth; the naming frame stretches with the width and
// the two buttons keep their distance from the right edge. Placed by hand:
// the bottom band's controls keep their designed places, which a box layout
// would move.
void TSaveManyPicDlg::alignControls() {
    const int w = width(), h = height();
    const int grow = w - DesignedWidth;
    Panel1->setGeometry(0, 0, w, BandHeight);
    DirectoryListBox1->setGeometry(0, BandHeight, w, h - BandHeight - BottomHeight);
    Panel2->setGeometry(0, h - BottomHeight, w, BottomHeight);
    RadioGroup1->resize(311 + grow, RadioGroup1->height());
    Button2->move(154 + grow, Button2->y());
    Button3->move(242 + grow, Button3->y());
    ProgressBar1->setGeometry(0, BottomHeight - 19, w, 19);
}
