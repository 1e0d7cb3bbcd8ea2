#pragma once

#include <QDialog>

// The new-folder dialog of the batch export.
class TInputDirDlg : public QDialog {
public:
    explicit TInputDirDlg(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TInputDirDlg"));
        setWindowTitle(QStringLiteral("输入文件夹名"));
    }
};
