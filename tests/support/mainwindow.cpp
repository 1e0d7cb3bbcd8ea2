#include "mainwindow.h"

#include "aboutbox.h"
#include "commands.h"
#include "tform1.h"

#include <QDir>
#include <QDropEvent>
#include <QTest>
#include <QWindow>

WorkFolder::WorkFolder() : m_previous(QDir::currentPath()) {
    QDir::setCurrent(m_dir.path());
}

WorkFolder::~WorkFolder() {
    QDir::setCurrent(m_previous);
}

WindowCommands programCommands() {
    WindowCommands commands = Commands::all();
    commands.SpeedButton6Click = Commands::SpeedButton6Click;
    return commands;
}

std::unique_ptr<TForm1> startMainWindow(QList<SeenBox>* boxes) {
    std::unique_ptr<TForm1> form;
    const QList<SeenBox> seen =
        collectMessageBoxes([&] { form = std::make_unique<TForm1>(programCommands()); });
    if (boxes)
        *boxes = seen;
    else if (!seen.isEmpty())
        QTest::qFail(qPrintable(QStringLiteral("unexpected box at start-up: ") + seen.first().text),
                     __FILE__, __LINE__);
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        qWarning("main window not exposed");
    return form;
}

void finishWorkAhead(TForm1& form) {
    // A request waits behind the painting, which may post one more event.
    for (int hop = 0; hop < 3; ++hop)
        QCoreApplication::sendPostedEvents();
    form.pictureCache().waitForWorkAhead();
}

QColor shownColor(TForm1& form) {
    const QImage area = form.ScrollBox1->grab().toImage();
    return area.pixelColor(form.Image1->pos() + form.Image1->pictureRect().center());
}

bool nearColour(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 &&
           std::abs(a.blue() - b.blue()) < 40;
}

void clickRow(TForm1& form, int row) {
    const QRect cell = form.DBGrid1->visualRect(form.DBGrid1->model()->index(row, 0));
    QTest::mouseClick(form.DBGrid1->viewport(), Qt::LeftButton, {}, cell.center());
}

QStringList enabledControls(const TForm1& form) {
    QStringList on;
    for (QToolButton* button : {form.SpeedButton1, form.SpeedButton2, form.SpeedButton3})
        if (button->isEnabled())
            on << button->text();
    for (QAction* item : {form.DeleteFormDB, form.SaveToFile, form.Rename, form.FiltByName})
        if (item->isEnabled())
            on << item->objectName();
    return on;
}

QStringList listedNames(const TForm1& form) {
    QStringList names;
    const QAbstractItemModel* model = form.DBGrid1->model();
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, 0).data().toString();
    return names;
}

Qt::DropAction dropOn(QWidget* where, const QMimeData& data, Qt::DropActions offered) {
    QWidget* window = where->window();
    QWindow* handle = window->windowHandle();
    const QPoint at = where->mapTo(window, where->rect().center());
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &enter);
    QDragMoveEvent move(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QCoreApplication::sendEvent(handle, &move);
    if (!enter.isAccepted() || !move.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(handle, &leave);
        return Qt::IgnoreAction;
    }
    QDropEvent drop(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(handle, &drop);
    const Qt::DropAction taken = drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    QCoreApplication::processEvents();
    return taken;
}
