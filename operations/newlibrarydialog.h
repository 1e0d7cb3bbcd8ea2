#pragma once

#include "plaindialog.h"
#include "ui_TForm7.h"

#include <functional>

// The new-library dialog: the name of the library file to make.
class TForm7 : public PlainDialog, public Ui::TForm7 {
    Q_OBJECT
public:
    // Makes the library of the typed name; false keeps the dialog open.
    using Create = std::function<bool(const QString& name)>;
    explicit TForm7(Create create, QWidget* parent = nullptr);

public Q_SLOTS:
    void Button1Click();
    void Button2Click();

private:
    Create m_create;
};
