#pragma once

#include "plaindialog.h"
#include "ui_TForm5.h"

class TForm1;

namespace Commands {
// The window's "关于" command.
void SpeedButton6Click(TForm1& window);
} // namespace Commands

// The about box: the program's picture, name, maker, web link and copyright.
// The link turns red under the pointer and blue once the pointer has left it
// for the picture; a click on it opens the maker's site, a click on the
// picture closes the box.
class TForm5 : public PlainDialog, public Ui::TForm5 {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);

    static inline const QString WebAddress = QStringLiteral("https://tamblor.org");
    bool LinkHot = false;

public Q_SLOTS:
    void FormCreate();
    void Label4MouseMove();
    void FormMouseMove();
    void Label4Click();
    void Image1Click();
    void FormClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setLinkColour(QColor colour);
};
