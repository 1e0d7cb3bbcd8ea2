#pragma once

#include "plaindialog.h"
#include "ui_TForm6.h"

class RecordSet;

// The find dialog: lists the scores whose name holds the typed word, then
// closes; the command shows the first of them.
class TForm6 : public PlainDialog, public Ui::TForm6 {
    Q_OBJECT
public:
    explicit TForm6(RecordSet& records, QWidget* parent = nullptr);
    // Whether the found scores were listed before the dialog closed.
    bool listed() const { return m_listed; }

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    RecordSet& m_records;
    bool m_listed = false;
};
