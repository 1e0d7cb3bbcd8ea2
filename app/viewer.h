#pragma once

#include "plaindialog.h"
#include "ui_TForm4.h"

class JpegPicture;

// The full-size viewer: the current score's picture at its own size in an
// 800 x 600 scrolling area. A click on the picture, "关闭(&Q)" in its menu or
// the close box closes it.
class TForm4 : public PlainDialog, public Ui::TForm4 {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);
    // Shows `picture` at its own size; the hint gives that size.
    void showPicture(const JpegPicture& picture);

public Q_SLOTS:
    void Image1Click();
    void QuitClick();

protected:
    void moveEvent(QMoveEvent* event) override;
};
