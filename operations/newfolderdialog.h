#pragma once

#include "plaindialog.h"
#include "ui_TInputDirDlg.h"

class DirectoryListBox;

// The new-folder dialog of the batch export: makes a folder in the tree's
// current folder and opens it there.
class TInputDirDlg : public PlainDialog, public Ui::TInputDirDlg {
    Q_OBJECT
public:
    explicit TInputDirDlg(DirectoryListBox* tree = nullptr, QWidget* parent = nullptr);

public Q_SLOTS:
    void SpeedButton1Click();
    void SpeedButton2Click();

private:
    DirectoryListBox* m_tree;
};
