#pragma once

#include "plaindialog.h"
#include "ui_TForm6.h"

class TForm1;

// The find dialog: lists the scores whose name holds the typed word.
class TForm6 : public PlainDialog, public Ui::TForm6 {
    Q_OBJECT
public:
    explicit TForm6(TForm1& window, QWidget* parent = nullptr);

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    TForm1& m_window;
};
