#include "modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTimer>

void answerModals(const std::function<void()>& action,
                  const std::function<void(QWidget*)>& respond) {
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible())
            respond(modal);
    });
    timer.start();
    action();
    timer.stop();
}

QList<SeenBox> collectMessageBoxes(const std::function<void()>& action, const QString& answer) {
    QList<SeenBox> seen;
    answerModals(action, [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        SeenBox entry{box->windowTitle(), box->text(), box->icon(), {}};
        QAbstractButton* press = nullptr;
        for (QAbstractButton* button : box->buttons()) {
            entry.buttons << button->text();
            if (button->text() == answer)
                press = button;
        }
        seen << entry;
        if (press)
            press->click();
        else
            box->reject();
    });
    return seen;
}
