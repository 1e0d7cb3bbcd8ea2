#pragma once

#include "plaindialog.h"
#include "ui_TSaveManyPicDlg.h"

class DataSource;

// The batch export dialog: the folder, picked with the drive list and the
// folder tree (a new folder can be made there), and the naming of the files.
class TSaveManyPicDlg : public PlainDialog, public Ui::TSaveManyPicDlg {
    Q_OBJECT
public:
    explicit TSaveManyPicDlg(DataSource& source, QWidget* parent = nullptr);

    // Writes every listed score into the tree's current folder, named as chosen.
    void exportScores();

public Q_SLOTS:
    void RadioButton1Click();
    void RadioButton2Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void setEditColour(QPalette::ColorRole role);
    void alignControls();

    DataSource& m_source;
};
