#pragma once

#include <QDialog>

// The naming dialog: the name of a new score.
class TForm2 : public QDialog {
public:
    explicit TForm2(QWidget* parent = nullptr) : QDialog(parent) {
        setObjectName(QStringLiteral("TForm2"));
        setWindowTitle(QStringLiteral("为此曲谱命名     "));
    }
};
