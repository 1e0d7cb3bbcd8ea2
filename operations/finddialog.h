#pragma once

#include <QDialog>

// The find dialog: a word of the names to list.
class TForm6 : public QDialog {
public:
    explicit TForm6(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm6"));
        setWindowTitle(QStringLiteral("设置曲谱查找条件"));
    }
};
