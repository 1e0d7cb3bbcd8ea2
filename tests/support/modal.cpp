#include "modal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

// Each modal that comes to the top is handed over once, from the event loop
// rather than from the timer, so that a dialog it opens in turn is seen too.
void answerModals(const std::function<void()>& action,
                  const std::function<void(QWidget*)>& respond) {
    QPointer<QWidget> handled;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == handled)
            return;
        handled = modal;
        QTimer::singleShot(0, modal, [&respond, modal] { respond(modal); });
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
        SeenBox entry{box->windowTitle(), box->text(), box->icon(), {}, box->textFormat()};
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

namespace {
// Records a failure of the running test and closes the dialog, so the
// action can return.
void fail(QWidget* dialog, const QString& message) {
    QTest::qFail(qPrintable(message), __FILE__, __LINE__);
    if (auto* modal = qobject_cast<QDialog*>(dialog))
        modal->reject();
    else
        dialog->close();
}

QAbstractButton* buttonOf(QWidget* dialog, const QString& text) {
    for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
        if (button->text() == text && button->isVisible())
            return button;
    return nullptr;
}
} // namespace

int runWithModals(const std::function<void()>& action, const QList<ModalStep>& steps) {
    int used = 0;
    answerModals(action, [&](QWidget* modal) {
        // Counted first: a step may open the next modal before it returns.
        const int step = used++;
        if (step < steps.size())
            steps[step](modal);
        else
            fail(modal, QStringLiteral("no step left for ") + modal->objectName());
    });
    return used;
}

ModalStep pressButton(const QString& text) {
    return [text](QWidget* dialog) {
        if (QAbstractButton* button = buttonOf(dialog, text))
            button->click();
        else
            fail(dialog, QStringLiteral("no button ") + text);
    };
}

ModalStep expectBox(const QString& text, const QString& press) {
    return [text, press](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (box && box->text() == text)
            pressButton(press)(dialog);
        else
            fail(dialog, QStringLiteral("expected the box \"%1\", saw \"%2\"")
                             .arg(text, box ? box->text() : dialog->objectName()));
    };
}

ModalStep chooseFile(const QString& path) {
    return [path](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (!files)
            return fail(dialog, QStringLiteral("expected a file dialog, saw ") +
                                    QString::fromLatin1(dialog->metaObject()->className()));
        auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        name->setText(path);
        QMetaObject::invokeMethod(files, "accept");
    };
}

ModalStep typeAndPress(const QString& text, const QString& button) {
    return [text, button](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("Edit1"));
        if (!edit)
            return fail(dialog, QStringLiteral("no Edit1 in ") + dialog->objectName());
        edit->setText(text);
        pressButton(button)(dialog);
    };
}

ModalStep recordBox(QList<SeenBox>* seen, const QString& press) {
    return [seen, press](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box)
            return fail(dialog, QStringLiteral("expected a message box, saw ") +
                                    QString::fromLatin1(dialog->metaObject()->className()));
        SeenBox entry{box->windowTitle(), box->text(), box->icon(), {}, box->textFormat()};
        for (QAbstractButton* button : box->buttons())
            entry.buttons << button->text();
        seen->append(entry);
        pressButton(press)(dialog);
    };
}

ModalStep pressEnterAndEscape(const QString& text, QStringList* afterKeys) {
    return [text, afterKeys](QWidget* dialog) {
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("Edit1"));
        if (!edit)
            return fail(dialog, QStringLiteral("no Edit1 in ") + dialog->objectName());
        edit->setText(text);
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(edit, key);
            *afterKeys << (dialog->isVisible() ? QStringLiteral("open") : QStringLiteral("closed"));
        }
        if (dialog->isVisible())
            pressButton(QStringLiteral("取消"))(dialog);
    };
}
