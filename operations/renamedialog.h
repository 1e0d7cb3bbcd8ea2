#pragma once

#include "plaindialog.h"
#include "ui_TForm3.h"

class DataSource;

// The rename dialog: "确定" writes the typed text as the current score's name.
class TForm3 : public PlainDialog, public Ui::TForm3 {
    Q_OBJECT
public:
    explicit TForm3(DataSource& source, QWidget* parent = nullptr);

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    DataSource& m_source;
};
