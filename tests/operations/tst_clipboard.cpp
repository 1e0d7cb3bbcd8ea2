// Copying, cutting and pasting scores through the clipboard, in the real window.

#include "application.h"
#include "jpegstream.h"
#include "mainwindow.h"
#include "namingdialog.h"
#include "tform1.h"

#include <QClipboard>
#include <QMimeData>
#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220);
const QString Marker = u"nothing but text"_s;

QClipboard& clipboard() {
    return *QApplication::clipboard();
}

bool clipboardHoldsText(const QString& text) {
    const QMimeData* data = clipboard().mimeData();
    return data && !data->hasImage() && data->text() == text;
}

ModalStep name(const QString& text) {
    return typeAndPress(text, u"确定"_s);
}
} // namespace

class TestClipboard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_folder = std::make_unique<WorkFolder>();
        clipboard().setText(Marker);
    }
    void cleanup() { m_folder.reset(); }

    void copyPutsTheFullSizePictureOnly();
    void greyscalePictureGoesWithItsPalette();
    void copyThenPasteAddsNewJpegData();
    void nothingToCopyOrCut();
    void cutTakesTheDeleteRoad();
    void cancelledCutLeavesClipboardAlone();
    void pasteWithoutPictureAddsNothing();
    void unusablePictureAddsNothing_data();
    void unusablePictureAddsNothing();
    void pasteIntoEmptyLibrary();
    void cancelledPasteRestoresThePicture();

private:
    std::unique_ptr<WorkFolder> m_folder;
};

void TestClipboard::copyPutsTheFullSizePictureOnly() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(200, 100, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    QCOMPARE(collectMessageBoxes([&] { form->Copy2->trigger(); }).size(), 0);

    const QImage copied = clipboard().image();
    QCOMPARE(copied.size(), QSize(200, 100));
    QVERIFY(!copied.isGrayscale());
    QVERIFY(nearColour(copied.pixelColor(100, 50), Red));
    // A picture, not a file name or JPEG data.
    QVERIFY(!clipboard().mimeData()->hasUrls());
    QVERIFY(!clipboard().mimeData()->formats().contains(u"image/jpeg"_s));
    // Nothing else changes.
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
    QCOMPARE(form->DBText1->text(), u"r"_s);
}

void TestClipboard::greyscalePictureGoesWithItsPalette() {
    m_folder->makeLibrary({{u"grey"_s, greyJpeg(64, 48, 90)}});
    auto form = startMainWindow();
    form->Copy2->trigger();
    // What was put there: 8 bits per pixel with a palette of greys.
    const QImage copied = clipboard().image();
    QCOMPARE(copied.size(), QSize(64, 48));
    QCOMPARE(copied.format(), QImage::Format_Indexed8);
    QCOMPARE(copied.colorCount(), 256);
    QVERIFY(copied.isGrayscale());
    const QColor pixel = copied.pixelColor(32, 24);
    QVERIFY2(std::abs(pixel.red() - 90) < 6 && pixel.red() == pixel.green() &&
                 pixel.green() == pixel.blue(),
             qPrintable(pixel.name()));
}

// The pasted score is new JPEG data made from the bitmap, not the first
// score's bytes again.
void TestClipboard::copyThenPasteAddsNewJpegData() {
    const QByteArray original = TestFiles::jpeg(120, 80, Blue) + "trailing bytes";
    m_folder->makeLibrary({{u"b"_s, original}});
    auto form = startMainWindow();
    form->Copy2->trigger();
    QString proposed;
    const ModalStep naming = [&](QWidget* dialog) {
        proposed = qobject_cast<TForm2*>(dialog) ? qobject_cast<TForm2*>(dialog)->Edit1->text()
                                                 : QString();
        name(u"粘贴的曲谱"_s)(dialog);
    };
    QCOMPARE(runWithModals([&] { form->Paste2->trigger(); }, {naming}), 1);
    QCOMPARE(proposed, u"图片2"_s);

    const QList<Record> stored = TestFiles::readLibrary(m_folder->library());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(*stored[1].name, u"粘贴的曲谱"_s);
    QVERIFY(*stored[1].picture != original);
    QVERIFY(isBaselineQuality90Colour(*stored[1].picture));
    QCOMPARE(JpegPicture::fromJpegData(*stored[1].picture).size(), QSize(120, 80));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(form->DBText1->text(), u"粘贴的曲谱"_s);
    QVERIFY(nearColour(shownColor(*form), Blue));
    // Set after the post, so they stay: previous on, next off.
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(!form->SpeedButton2->isEnabled());
    QVERIFY(form->SpeedButton3->isEnabled());
    QVERIFY(!form->Values.NameConfirmed);
}

void TestClipboard::nothingToCopyOrCut() {
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    QCOMPARE(
        runWithModals([&] { form->Copy2->trigger(); }, {expectBox(u"当前没有可复制的图片!"_s)}), 1);
    QCOMPARE(runWithModals([&] { form->Cut2->trigger(); }, {expectBox(u"当前没有可剪切的图片!"_s)}),
             1);
    QVERIFY(clipboardHoldsText(Marker));
}

void TestClipboard::cutTakesTheDeleteRoad() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(90, 60, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QList<SeenBox> questions;
    const ModalStep look = [&](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        questions << SeenBox{box->windowTitle(), box->text(), box->icon(), {}};
        pressButton(u"OK"_s)(dialog);
    };
    QCOMPARE(runWithModals([&] { form->Cut2->trigger(); }, {look}), 1);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(questions[0].title, u"Confirm"_s);
    QCOMPARE(questions[0].text, u"剪切的图片将在数据库中删除，确实要删除此图片吗？"_s);
    QCOMPARE(questions[0].icon, QMessageBox::Question);

    QCOMPARE(clipboard().image().size(), QSize(90, 60));
    QVERIFY(nearColour(clipboard().image().pixelColor(45, 30), Red));
    const QList<Record> stored = TestFiles::readLibrary(m_folder->library());
    QCOMPARE(stored.size(), 1);
    QCOMPARE(*stored[0].name, u"g"_s);
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QVERIFY(nearColour(shownColor(*form), Green));

    // The last listed score stays, and the clipboard keeps the first cut.
    QCOMPARE(runWithModals([&] { form->Cut2->trigger(); },
                           {expectBox(u"数据库中至少要保留一张图片，你不能剪切此图!"_s)}),
             1);
    QCOMPARE(clipboard().image().size(), QSize(90, 60));
    QCOMPARE(TestFiles::readLibrary(m_folder->library()).size(), 1);
}

void TestClipboard::cancelledCutLeavesClipboardAlone() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(90, 60, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    runWithModals([&] { form->Cut2->trigger(); }, {pressButton(u"Cancel"_s)});
    const ModalStep escape = [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); };
    runWithModals([&] { form->Cut2->trigger(); }, {escape});
    QVERIFY(clipboardHoldsText(Marker));
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
}

void TestClipboard::pasteWithoutPictureAddsNothing() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(90, 60, Red)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    QCOMPARE(runWithModals([&] { form->Paste2->trigger(); },
                           {expectBox(u"剪贴板中没有二进制图片拷贝!"_s)}),
             1);
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Edit);
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QVERIFY(nearColour(shownColor(*form), Red));
    QVERIFY(!form->Values.NameConfirmed);
}

void TestClipboard::unusablePictureAddsNothing_data() {
    QTest::addColumn<QImage>("offered");
    QTest::addColumn<QString>("answer");
    // What the clipboard gives for garbage bytes or a transfer that timed out.
    QTest::newRow("unreadable") << QImage() << u"剪贴板中没有二进制图片拷贝!"_s;
    QTest::newRow("over the pixel limit") << QImage(20000, 10001, QImage::Format_Mono)
                                          << u"图片太大，无法显示：20000 × 10001 像素."_s;
}

// A picture that is offered but cannot be taken never becomes a score.
void TestClipboard::unusablePictureAddsNothing() {
    QFETCH(QImage, offered);
    QFETCH(QString, answer);
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(90, 60, Red)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    auto* offer = new QMimeData;
    offer->setImageData(offered);
    clipboard().setMimeData(offer);
    QVERIFY(clipboard().mimeData()->hasImage());
    QCOMPARE(runWithModals([&] { form->Paste2->trigger(); }, {expectBox(answer)}), 1);
    QCOMPARE(listedNames(*form), QStringList(u"r"_s));
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QVERIFY(nearColour(shownColor(*form), Red));
    form->ADOQuery1.Last();
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
}

void TestClipboard::pasteIntoEmptyLibrary() {
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    QImage bitmap(70, 50, QImage::Format_RGB32);
    bitmap.fill(Green);
    clipboard().setImage(bitmap);
    QString proposed;
    const ModalStep naming = [&](QWidget* dialog) {
        proposed = qobject_cast<TForm2*>(dialog) ? qobject_cast<TForm2*>(dialog)->Edit1->text()
                                                 : QString();
        pressButton(u"确定"_s)(dialog);
    };
    runWithModals([&] { form->Paste2->trigger(); }, {naming});
    QCOMPARE(proposed, u"图片1"_s);
    QCOMPARE(TestFiles::readLibrary(m_folder->library()).size(), 1);
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(!form->SpeedButton2->isEnabled());
    for (QAction* item : {form->DeleteFormDB, form->SaveToFile, form->Rename, form->FiltByName})
        QVERIFY(item->isEnabled());
}

void TestClipboard::cancelledPasteRestoresThePicture() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(90, 60, Red)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    QImage bitmap(70, 50, QImage::Format_RGB32);
    bitmap.fill(Blue);
    clipboard().setImage(bitmap);
    QColor whileNaming;
    const ModalStep lookThenCancel = [&](QWidget* dialog) {
        whileNaming = shownColor(*form);
        pressButton(u"取消"_s)(dialog);
    };
    runWithModals([&] { form->Paste2->trigger(); }, {lookThenCancel});
    QVERIFY(nearColour(whileNaming, Blue));
    QVERIFY(nearColour(shownColor(*form), Red));
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    QCOMPARE(form->Label3->text(), u"1   张"_s);
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestClipboard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_clipboard.moc"
