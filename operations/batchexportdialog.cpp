// Exporting every listed score into one folder.

#include "batchexportdialog.h"

#include "application.h"
#include "exportnames.h"
#include "newfolderdialog.h"
#include "tform1.h"
#include "wholefile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace {
constexpr int BandHeight = 48;
constexpr int BottomHeight = 148;
constexpr int DesignedWidth = 333;
} // namespace

void TForm1::SaveManyPicClick() {
    TSaveManyPicDlg dialog(*this);
    dialog.Edit1->setEnabled(false);
    dialog.showOver(this);
}

TSaveManyPicDlg::TSaveManyPicDlg(TForm1& window, QWidget* parent)
    : PlainDialog(parent), m_window(window) {
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
    if (!m_window.hasCurrentPicture()) {
        close();
        return;
    }
    exportScores();
    ProgressBar1->hide();
    showMessage(u"导出完毕!"_s);
    close();
}

// Writes each listed score's stored JPEG data as it is. A failure stops the
// run at that score: the files written stay, the dialog stays open. The main
// window's picture is brought up to date once, at the end, not for every
// score the run passes.
void TSaveManyPicDlg::exportScores() {
    RecordSet& records = m_window.ADOQuery1;
    Field& picture = records.FieldByName(Columns::Picture);
    const QString folder = DirectoryListBox1->currentFolder();
    const bool ownNames = RadioButton1->isChecked();
    m_window.pauseDisplay(true);
    m_window.ADOConnection1.SetMemoryMapped(true);
    bool done = false;
    const auto resume = qScopeGuard([this, &done] {
        m_window.ADOConnection1.SetMemoryMapped(false);
        m_window.pauseDisplay(false);
        if (done)
            return;
        // The run stopped at a failure, which is reported already: the score
        // it stopped at shows if it can, and is not reported a second time.
        try {
            m_window.showCurrentPicture();
        } catch (const std::exception&) {
        }
    });
    records.First();
    const int count = records.RecordCount();
    ProgressBar1->setRange(0, count);
    QElapsedTimer sinceDrawn;
    sinceDrawn.start();
    for (int pass = 1; pass <= count; ++pass) {
        ProgressBar1->setValue(pass);
        // Drawn as often as the eye can follow, not for every score.
        if (sinceDrawn.elapsed() >= 40 || pass == count) {
            ProgressBar1->repaint();
            sinceDrawn.restart();
        }
        QString file;
        if (ownNames)
            file = ExportNames::forScoreName(folder, m_window.DBText1->text(), pass);
        const QByteArray bytes = picture.IsNull() ? QByteArray() : picture.LoadPicture().jpegData();
        if (!ownNames)
            file = ExportNames::forCommonName(folder, Edit1->text(), pass);
        writeWholeFile(file, bytes);
        records.Next();
    }
    done = true;
    m_window.pauseDisplay(false);
    m_window.showCurrentPicture();
}

void TSaveManyPicDlg::Button3Click() {
    close();
}

void TSaveManyPicDlg::resizeEvent(QResizeEvent* event) {
    PlainDialog::resizeEvent(event);
    alignControls();
}

// The tree takes any growth; the naming frame stretches with the width and
// the two buttons keep their distance from the right edge.
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
