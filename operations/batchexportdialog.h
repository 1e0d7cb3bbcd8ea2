#pragma once

#include <QDialog>

// The batch export dialog: folder and naming.
class TSaveManyPicDlg : public QDialog {
public:
    explicit TSaveManyPicDlg(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TSaveManyPicDlg"));
        setWindowTitle(QStringLiteral("批量导出图片-选择保存路径"));
    }
};
