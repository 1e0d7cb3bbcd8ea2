// Viewing the current score at full size.

#include "viewer.h"

#include "application.h"
#include "readingview.h"
#include "tform1.h"

#include <QScreen>
#include <QShortcut>

using namespace Qt::StringLiterals;

void TForm1::Image1Click() {
    TForm4 viewer;
    DataSource1.Edit();
    if (!hasCurrentPicture()) {
        showMessage(u"没有可查看的图片"_s);
        return;
    }
    viewer.setWindowTitle(viewer.windowTitle() + u"    < "_s + DBText1->text() + u" >"_s);
    viewer.showPicture(ADOQuery1.FieldByName(Columns::Picture).LoadPicture());
    // F11 leaves the viewer for the reading view of the same score.
    bool reading = false;
    QShortcut toReading(QKeySequence(Qt::Key_F11), &viewer);
    connect(&toReading, &QShortcut::activated, &viewer, [&] {
        reading = true;
        viewer.close();
    });
    viewer.showOver(this);
    if (reading)
        openReadingView();
}

void TForm1::openReadingView() {
    if (!ADOQuery1.Active() || ADOQuery1.RecordCount() == 0 ||
        ADOQuery1.State() == DataSetState::Insert)
        return;
    auto* view = new ReadingView(ADOQuery1, m_pictureCache, this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    // The list must not change under the pages being read.
    view->setWindowModality(Qt::ApplicationModal);
    view->open(screen());
}

TForm4::TForm4(QWidget* parent) : PlainDialog(parent) {
    setupUi(this);
    setFixedSize(size());
    move(116, 76);
    // Only the window has a hint: hovering the picture shows the window's.
    ScrollBox1->viewport()->setAutoFillBackground(true);
    Image1->setCursor(Qt::ArrowCursor);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](QPoint pos) { PopupMenu1->popup(mapToGlobal(pos)); });
    connectCommand(Image1, &PictureArea::clicked, this, &TForm4::Image1Click);
    connectCommand(Quit, &QAction::triggered, this, &TForm4::QuitClick);
}

void TForm4::showPicture(const JpegPicture& picture) {
    Image1->resize(picture.size());
    Image1->setPicture(picture);
    setToolTip(u"图片大小："_s + QString::number(Image1->width()) + u" X "_s +
               QString::number(Image1->height()) + u"     单击关闭"_s);
}

void TForm4::Image1Click() {
    close();
}

void TForm4::QuitClick() {
    close();
}

// Dragged to within 10 pixels of a screen edge, the window snaps to it.
void TForm4::moveEvent(QMoveEvent* event) {
    PlainDialog::moveEvent(event);
    const QScreen* display = screen();
    if (!display)
        return;
    constexpr int Snap = 10;
    const QRect area = display->availableGeometry();
    const QRect frame = frameGeometry();
    QPoint to = frame.topLeft();
    if (std::abs(frame.left() - area.left()) <= Snap)
        to.setX(area.left());
    else if (std::abs(frame.right() - area.right()) <= Snap)
        to.setX(area.right() - frame.width() + 1);
    if (std::abs(frame.top() - area.top()) <= Snap)
        to.setY(area.top());
    else if (std::abs(frame.bottom() - area.bottom()) <= Snap)
        to.setY(area.bottom() - frame.height() + 1);
    if (to != frame.topLeft())
        move(to);
}
