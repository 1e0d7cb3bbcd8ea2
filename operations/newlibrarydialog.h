#pragma once

#include "plaindialog.h"
#include "ui_TForm7.h"

class TForm1;

// The new-library dialog: the name of the library file to make.
class TForm7 : public PlainDialog, public Ui::TForm7 {
    Q_OBJECT
public:
    explicit TForm7(TForm1& window, QWidget* parent = nullptr);

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    TForm1& m_window;
};
