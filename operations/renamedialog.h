#pragma once

#include <QDialog>

// The rename dialog.
class TForm3 : public QDialog {
public:
    explicit TForm3(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm3"));
        setWindowTitle(QStringLiteral("重命名曲谱"));
    }
};
