#pragma once

#include <QDialog>

// The full-size viewer.
class TForm4 : public QDialog {
public:
    explicit TForm4(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm4"));
        setWindowTitle(QStringLiteral("查看曲谱"));
    }
};
