#pragma once

#include <QDialog>

// The about box.
class TForm5 : public QDialog {
public:
    explicit TForm5(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm5"));
        setWindowTitle(QStringLiteral("  关于此程序"));
    }
};
