// The program's language: Qt's own dialogs in simplified Chinese, the
// program's own texts exactly as written, and Han characters drawn with their
// simplified-Chinese forms whatever language the font system is set to.

#include "application.h"
#include "mainwindow.h"
#include "namingdialog.h"
#include "tform1.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {
const QColor Red(220, 0, 0);

bool hasHan(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; });
}

// Every text of Qt's own in a file dialog: its title, labels, buttons (or
// their tool tips) and the column heads of its detail view. Names of files
// and the program's filters are not Qt's, and not taken.
QStringList qtTextsOf(QFileDialog* dialog) {
    QStringList texts{dialog->windowTitle()};
    for (const QLabel* label : dialog->findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty())
            texts << label->text();
    for (const QAbstractButton* button : dialog->findChildren<QAbstractButton*>())
        if (button->isVisible())
            texts << (button->text().isEmpty() ? button->toolTip() : button->text());
    if (const auto* details = dialog->findChild<QTreeView*>(u"treeView"_s))
        for (int column = 0; column < details->model()->columnCount(); ++column)
            texts << details->model()->headerData(column, Qt::Horizontal).toString();
    return texts;
}

// A step that notes the dialog's texts, then hands it on.
ModalStep noteTexts(QStringList* texts, const ModalStep& next) {
    return [texts, next](QWidget* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog))
            *texts = qtTextsOf(files);
        next(dialog);
    };
}

QImage drawn(const QFont& font, const QString& text) {
    QImage image(96, 48, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(4, 36), text);
    return image;
}

QFont inFamily(QFont font, const QString& family) {
    font.setFamilies({family});
    return font;
}
} // namespace

class TestLanguage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_folder = std::make_unique<WorkFolder>();
        m_folder->makeLibrary(
            {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Red)}});
    }
    void cleanup() { m_folder.reset(); }

    void fileDialogsSpeakChinese();
    void programTextsStayAsWritten();
    void hanCharactersTakeSimplifiedForms();

private:
    std::unique_ptr<WorkFolder> m_folder;
};

void TestLanguage::fileDialogsSpeakChinese() {
    auto form = startMainWindow();
    QStringList open, save;
    QList<SeenBox> questions;
    const QString existing = m_folder->path(u"old.jpg"_s);
    TestFiles::writeFile(existing, TestFiles::jpeg(40, 30));
    runWithModals([&] { form->LoadFromFile2->trigger(); },
                  {noteTexts(&open, pressButton(u"取消"_s))});
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); },
                           {noteTexts(&save, chooseFile(existing)),
                            recordBox(&questions, u"否(&N)"_s), pressButton(u"取消"_s)}),
             3);

    for (const QStringList& texts : {open, save}) {
        QVERIFY2(texts.size() >= 10, qPrintable(texts.join(u" | ")));
        for (const QString& text : texts)
            QVERIFY2(hasHan(text), qPrintable(u"not in Chinese: "_s + text));
    }
    QCOMPARE(open.first(), u"打开"_s);
    QVERIFY(open.contains(u"打开(&O)"_s) && open.contains(u"取消"_s));
    QVERIFY(save.contains(u"保存(&S)"_s));
    // The question before replacing a file is Qt's too.
    QCOMPARE(questions.size(), 1);
    QVERIFY2(hasHan(questions[0].text), qPrintable(questions[0].text));
    QVERIFY(questions[0].text.contains(u"old.jpg"_s));
    QCOMPARE(questions[0].buttons, QStringList({u"是(&Y)"_s, u"否(&N)"_s}));
    QCOMPARE(TestFiles::readFile(existing), TestFiles::jpeg(40, 30));
}

// Qt's catalogue holds "OK" and "Cancel" too: the program's boxes keep their own.
void TestLanguage::programTextsStayAsWritten() {
    QVERIFY2(QCoreApplication::translate("QPlatformTheme", "Cancel") == u"取消",
             "Qt's simplified-Chinese texts are not loaded");
    auto form = startMainWindow();
    QCOMPARE(form->LoadFormFile->text(), u"载入曲谱(&L )"_s);
    QCOMPARE(form->SpeedButton1->text(), u"上一张"_s);

    QList<SeenBox> boxes;
    QStringList naming;
    const ModalStep lookAtNaming = [&](QWidget* dialog) {
        auto* names = qobject_cast<TForm2*>(dialog);
        QVERIFY(names);
        naming << names->windowTitle() << names->Button1->text() << names->Button2->text();
        typeAndPress(QString(), u"确定"_s)(dialog);
    };
    const QString picture = m_folder->path(u"new.jpg"_s);
    TestFiles::writeFile(picture, TestFiles::jpeg(40, 30));
    const QString unknown = m_folder->path(u"page.png"_s);
    TestFiles::writeFile(unknown, "png");
    runWithModals([&] { form->LoadFromFile2->trigger(); },
                  {chooseFile(picture), lookAtNaming, recordBox(&boxes), pressButton(u"取消"_s)});
    runWithModals([&] { form->LoadFromFile2->trigger(); },
                  {chooseFile(unknown), recordBox(&boxes)});
    runWithModals([&] { form->Delete2->trigger(); }, {recordBox(&boxes, u"Cancel"_s)});

    QCOMPARE(naming, QStringList({u"为此曲谱命名     "_s, u"确定"_s, u"取消"_s}));
    QCOMPARE(boxes.size(), 3);
    QCOMPARE(boxes[0].text, u"请输入图片名！"_s);
    QCOMPARE(boxes[1].text, u"Unknown picture file extension (.png)"_s);
    for (const SeenBox& box : boxes.first(2)) {
        QCOMPARE(box.title, u"tamblor"_s);
        QCOMPARE(box.buttons, QStringList(u"OK"_s));
    }
    QCOMPARE(boxes[2].title, u"Confirm"_s);
    QCOMPARE(boxes[2].buttons, QStringList({u"OK"_s, u"Cancel"_s}));
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s}));
}

// The fonts the windows draw with, against the same fonts with the
// simplified-Chinese and the Japanese face of one CJK family forced.
void TestLanguage::hanCharactersTakeSimplifiedForms() {
    const QString simplified = u"Noto Sans CJK SC"_s, japanese = u"Noto Sans CJK JP"_s;
    if (!QFontDatabase::hasFamily(simplified) || !QFontDatabase::hasFamily(japanese))
        QSKIP("needs the simplified-Chinese and Japanese faces of fonts-noto-cjk to tell them");
    auto form = startMainWindow();
    TForm2 naming(form->Values);
    naming.ensurePolished();
    naming.Label1->ensurePolished();
    const QList<std::pair<const char*, QFont>> fonts{
        {"application", QApplication::font()},
        {"name of the current score", form->DBText1->font()},
        {"naming dialog title", naming.Label1->font()},
    };
    const QString han = u"所真"_s;
    for (const auto& [where, font] : fonts) {
        // The two forms differ, so the check can tell them apart.
        QVERIFY2(drawn(inFamily(font, simplified), han) != drawn(inFamily(font, japanese), han),
                 where);
        QVERIFY2(drawn(font, han) == drawn(inFamily(font, simplified), han), where);
    }
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_language.moc"
