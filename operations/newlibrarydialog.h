#pragma once

#include <QDialog>

// The new-library dialog: the new library's name.
class TForm7 : public QDialog {
public:
    explicit TForm7(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm7"));
        setWindowTitle(QStringLiteral("输入新建曲谱库名字"));
    }
};
