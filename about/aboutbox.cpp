// The about box.

#include "aboutbox.h"

#include "tform1.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

void Commands::SpeedButton6Click(TForm1& window) {
    TForm5 about;
    about.showOver(&window);
}

TForm5::TForm5(QWidget* parent) : PlainDialog(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setFixedSize(size());
    move(316, 223);
    const auto style = [](QLabel* label, QColor colour, int pixels, bool bold = false) {
        QFont font = label->font();
        font.setPixelSize(pixels);
        font.setBold(bold);
        label->setFont(font);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    };
    const QColor windowColour = palette().color(QPalette::Base);
    style(Label1, Qt::white, 16, true);
    style(Label2, windowColour, 11);
    style(Label4, Qt::white, 13);
    style(Label7, windowColour, 11);
    Label4->setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    for (QWidget* part : {static_cast<QWidget*>(Image1), static_cast<QWidget*>(Label1),
                          static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label4),
                          static_cast<QWidget*>(Label7)}) {
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
    FormCreate();
}

void TForm5::FormCreate() {
    LinkHot = false;
}

void TForm5::setLinkColour(QColor colour) {
    QFont font = Label4->font();
    font.setPixelSize(13);
    Label4->setFont(font);
    QPalette palette = Label4->palette();
    palette.setColor(QPalette::WindowText, colour);
    Label4->setPalette(palette);
}

void TForm5::Label4MouseMove() {
    if (LinkHot)
        return;
    setLinkColour(QColor(255, 0, 0));
    LinkHot = true;
}

void TForm5::FormMouseMove() {
    if (!LinkHot)
        return;
    LinkHot = false;
    setLinkColour(QColor(0, 0, 255));
}

void TForm5::Label4Click() {
    QDesktopServices::openUrl(QUrl(WebAddress));
}

void TForm5::Image1Click() {
    close();
}

void TForm5::FormClick() {
    close();
}

// The picture and the link have handlers of their own; the other texts take
// the pointer and the clicks and do nothing with them.
bool TForm5::eventFilter(QObject* watched, QEvent* event) {
    const bool move = event->type() == QEvent::MouseMove;
    const bool click = event->type() == QEvent::MouseButtonRelease &&
                       static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    const bool press =
        event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
    if (!move && !click && !press)
        return PlainDialog::eventFilter(watched, event);
    if (watched == Label4) {
        if (move)
            Label4MouseMove();
        else if (click)
            Label4Click();
    } else if (watched == Image1) {
        if (move)
            FormMouseMove();
        else if (click)
            Image1Click();
    }
    return true;
}

void TForm5::mouseMoveEvent(QMouseEvent*) {
    FormMouseMove();
}

void TForm5::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        FormClick();
}
