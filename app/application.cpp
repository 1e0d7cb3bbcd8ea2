#include "application.h"

#include "errors.h"
#include "heap.h"
#include "icons.h"
#include "jpegpicture.h"

#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

using namespace Qt::StringLiterals;

// The pictures live in the window library; a static library's resources are
// registered by hand.
static void registerResources() {
    Q_INIT_RESOURCE(resources);
}

// Qt's own windows, the file dialogs and the questions they ask, speak
// simplified Chinese as the program does. Only Qt's texts are in the
// catalogue: the program's own, the English ones among them, stay as written.
static void translateQtTexts(QApplication& application) {
    auto* texts = new QTranslator(&application);
    if (texts->load(u"qtbase_zh_CN"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(texts);
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    keepPictureBuffersForReuse();
    registerResources();
    translateQtTexts(*this);
    setApplicationName(ApplicationTitle);
    setWindowIcon(mainIcon());
    // A page pasted from the clipboard may be as large as any the program shows.
    JpegPicture::letQtReadUpToMaxPixels();
    // The windows are designed for a sans face 11 pixels high.
    QFont face = font();
    face.setPixelSize(11);
    setFont(face);
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

QString errorReportText(const QString& message) {
    if (!message.isEmpty() && message.back() > u'.')
        return message + u'.';
    return message;
}

namespace {
void showBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, ApplicationTitle, text, QMessageBox::Ok);
    // Names, paths and the engine's words are shown as they are, never as markup.
    box.setTextFormat(Qt::PlainText);
    QAbstractButton* ok = box.button(QMessageBox::Ok);
    ok->setText(u"OK"_s);
    ok->setIcon({});
    box.exec();
}
} // namespace

bool confirm(const QString& question) {
    QMessageBox box(QMessageBox::Question, u"Confirm"_s, question,
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setTextFormat(Qt::PlainText);
    for (auto [which, text] :
         {std::pair(QMessageBox::Ok, u"OK"_s), std::pair(QMessageBox::Cancel, u"Cancel"_s)}) {
        box.button(which)->setText(text);
        box.button(which)->setIcon({});
    }
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

void showErrorReport(const QString& message) {
    showBox(QMessageBox::Critical, errorReportText(message));
}

void showMessage(const QString& text) {
    showBox(QMessageBox::NoIcon, text);
}

void reportCurrentException() {
    QString message;
    try {
        throw;
    } catch (const Error& e) {
        message = e.message();
    } catch (const std::bad_alloc&) {
        message = u"Out of memory"_s;
    } catch (const std::exception& e) {
        message = QString::fromLocal8Bit(e.what());
    } catch (...) {
        message = u"Unknown error"_s;
    }
    showErrorReport(message);
}
