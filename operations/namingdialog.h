#pragma once

#include "plaindialog.h"
#include "ui_TForm2.h"

struct ProgramValues;

// The naming dialog: asks for the name of a new score (import, paste).
// "确定" with a name stores it in PendingName and sets NameConfirmed; the
// caller reads NameConfirmed once the dialog has closed.
class TForm2 : public PlainDialog, public Ui::TForm2 {
    Q_OBJECT
public:
    explicit TForm2(ProgramValues& values, QWidget* parent = nullptr);

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    ProgramValues& m_values;
};
