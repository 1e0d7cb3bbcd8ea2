#include "application.h"

#include "errors.h"
#include "heap.h"
#include "icons.h"
#include "jpegpicture.h"

#include <QFontDatabase>
#include <QFontInfo>
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

// The program's Han characters take their simplified-Chinese forms whatever
// the user's language, where the font system would draw them with the
// Japanese (or Korean, or traditional) forms of a CJK face. The desktop's own
// face goes on drawing what it has, unless it is a CJK face itself.
static void preferSimplifiedForms(QFont& face) {
    QStringList families;
    for (const QString& family : {u"Noto Sans CJK SC"_s, u"WenQuanYi Micro Hei"_s})
        if (QFontDatabase::hasFamily(family))
            families << family;
    if (families.isEmpty())
        return; // nothing better than the font system's choice
    const QString desktop = QFontInfo(face).family();
    const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(desktop);
    const auto has = [&systems](QFontDatabase::WritingSystem system) {
        return systems.contains(system);
    };
    if (!has(QFontDatabase::SimplifiedChinese) && !has(QFontDatabase::TraditionalChinese) &&
        !has(QFontDatabase::Japanese) && !has(QFontDatabase::Korean))
        families.prepend(desktop);
    face.setFamilies(families);
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
    preferSimplifiedForms(face);
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
