// The main window as the user meets it: start-up on missing, empty, broken
// and ordinary libraries, the picture area, stepping through the scores with
// the buttons, the list and its keys, resizing, the splitter and the one error report.

#include "application.h"
#include "commands.h"
#include "dbtext.h"
#include "errors.h"
#include "jpegstream.h"
#include "mainwindow.h"
#include "programwindows.h"
#include "tform1.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {

const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220);

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void captionsAndMenus();
    void startWithoutLibrary();
    void startWithEmptyLibrary();
    void startWithThreeScores();
    void startsWithRootFolderPath();
    void failuresDuringStartUp_data();
    void failuresDuringStartUp();

    void oneScoreButtons();
    void steppingThroughThreeScores();
    void scoreWithoutPictureShowsNoPage();
    void failedShowLeavesTheAreaBlack_data();
    void failedShowLeavesTheAreaBlack();
    void nextPageIsReadyBeforeItIsAskedFor();
    void thinLinesKeepTheirOwnPixels();
    void closingDuringWorkAhead();
    void steppingFasterThanTheWorkAhead();
    void buttonsOnClosedLibraryReportTheError();
    void keysOnAClosedListDoNothing();
    void everyCommandWithoutALibrary();
    void namesAreShownAsPlainText();
    void hugeNamesAreShownInPart();
    void listKeysMoveTheCursor();
    void queuedKeysDrawOnlyWhereTheyStop();
    void rightClickSelectsRowThenOpensMenu();

    void pictureIsFittedAndDrawnOnBlack();
    void resizeRefitsAndKeepsAnchors();
    void splitterSnapsAndKeepsPicturePane();
    void narrowedWindowKeepsTheBarInside();
    void quitClosesTheWindow();
    void otherWindowsAreMadeOnceTheFirstPageIsPainted();

    void errorReportText_data();
    void errorReportText();
    void errorInAnEventHandlerIsReported();

private:
    void makeLibrary(const QList<Record>& records) { m_folder->makeLibrary(records); }

    std::unique_ptr<WorkFolder> m_folder;
};

void TestMainWindow::init() {
    m_folder = std::make_unique<WorkFolder>();
}

void TestMainWindow::cleanup() {
    m_folder.reset();
}

void TestMainWindow::captionsAndMenus() {
    makeLibrary({{u"a"_s, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    QCOMPARE(form->SpeedButton1->text(), u"上一张"_s);
    QCOMPARE(form->SpeedButton2->text(), u"下一张"_s);
    QCOMPARE(form->SpeedButton3->text(), u"删除"_s);
    QCOMPARE(form->Label1->text(), u" 当前曲谱名称： "_s);
    QCOMPARE(form->Label2->text(), u"  目前数据库中共有曲谱："_s);
    QCOMPARE(form->Image1->toolTip(), u"点击查看原始图片"_s);
    QCOMPARE(form->DBGrid1->toolTip(), u"点击选择"_s);
    QCOMPARE(form->DBGrid1->model()->headerData(0, Qt::Horizontal), QVariant(u"filename"_s));

    QStringList bar;
    for (QAction* menu : form->MainMenu1->actions())
        bar << menu->text();
    QCOMPARE(bar, QStringList({u"文件(&F)"_s, u"编辑(&E)"_s, u"操作(&A)"_s, u"帮助(&H)"_s}));
    QStringList file;
    for (QAction* item : form->sdfsdf1->actions())
        file << (item->isSeparator() ? u"-"_s : item->text());
    QCOMPARE(file,
             QStringList({u"载入曲谱(&L)"_s, u"另存曲谱(&S)"_s, u"导出曲谱(&H)"_s, u"-"_s,
                          u"新建曲库谱(&N)"_s, u"打开曲谱库(&O)"_s, u"-"_s, u"退出程序(&Q)"_s}));
    QStringList popup;
    for (QAction* item : form->PopupMenu1->actions())
        popup << (item->isSeparator() ? u"-"_s : item->objectName() + u"="_s + item->text());
    QCOMPARE(popup,
             QStringList({u"LoadFormFile=载入曲谱(&L )"_s, u"SaveToFile=另存曲谱(&S)"_s,
                          u"SaveManyPic=导出曲谱(&H)"_s, u"FiltByName=查找曲谱(&F)"_s,
                          u"DeleteFormDB=删除曲谱(&D)"_s, u"-"_s, u"NewPicFile=新建曲谱库(&N)"_s,
                          u"OpenPicDataFile=打开曲谱库(&O)"_s, u"Rename=重命名曲谱(&R)"_s}));
    QCOMPARE(form->PicFilt2->title(), u"查找曲谱库(&P)"_s);
    QCOMPARE(form->PicFilt2->actions().size(), 2);
    for (QAction* item : form->findChildren<QAction*>())
        QVERIFY2(item->shortcut().isEmpty(), qPrintable(item->objectName()));
}

void TestMainWindow::startWithoutLibrary() {
    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes[0].text, u"unable to open database file."_s);
    QCOMPARE(boxes[0].buttons, QStringList(u"OK"_s));

    QVERIFY2(!QFile::exists(u"pictures.tbr"_s), "opening must never create the library");
    QCOMPARE(form->windowTitle(), u"Morvane"_s);
    QCOMPARE(form->Label3->text(), u"显示数据库图片数"_s);
    for (QWidget* control : {form->SpeedButton1, form->SpeedButton2, form->SpeedButton3})
        QVERIFY(control->isEnabled());
    for (QAction* item : form->PopupMenu1->actions())
        QVERIFY(item->isEnabled());
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
    QVERIFY(!form->Image1->hasPicture());
    QVERIFY(!form->ADOQuery1.Active());
}

void TestMainWindow::startWithEmptyLibrary() {
    makeLibrary({});
    auto form = startMainWindow();
    QCOMPARE(form->windowTitle(),
             u"Morvane    默认文件[ "_s + QDir::currentPath() + u"/pictures.tbr ]"_s);
    QCOMPARE(form->Label3->text(), u"0   张"_s);
    QCOMPARE(form->Values.PictureCount, 0);
    for (QWidget* button : {form->SpeedButton1, form->SpeedButton2, form->SpeedButton3})
        QVERIFY(!button->isEnabled());
    for (QAction* item : {form->DeleteFormDB, form->SaveToFile, form->Rename, form->FiltByName})
        QVERIFY(!item->isEnabled());
    for (QAction* item :
         {form->LoadFormFile, form->SaveManyPic, form->NewPicFile, form->OpenPicDataFile,
          form->Delete2, form->SaveFile2, form->RenamePic2, form->FiltByName2, form->ShowAllPic2})
        QVERIFY(item->isEnabled());
    QVERIFY(!form->Image1->hasPicture());
    QCOMPARE(form->DBText1->text(), QString());
}

void TestMainWindow::startWithThreeScores() {
    makeLibrary({{u"第一首"_s, TestFiles::jpeg(600, 400, Red)},
                 {u"second"_s, TestFiles::jpeg(300, 200, Green)},
                 {u"third"_s, TestFiles::jpeg(800, 1200, Blue)}});
    auto form = startMainWindow();
    QVERIFY(nearColour(shownColor(*form), Red));
    QVERIFY(!form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
    QVERIFY(form->SpeedButton3->isEnabled());
    QCOMPARE(form->Label3->text(), u"3   张"_s);
    QCOMPARE(form->DBText1->text(), u"第一首"_s);
    QCOMPARE(form->DBGrid1->model()->rowCount(), 3);
    QCOMPARE(form->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(form->DBGrid1->model()->index(2, 0).data().toString(), u"third"_s);
}

// At the file system's root the directory already ends in "/", so the title
// and the path carry two separators before the file name.
void TestMainWindow::startsWithRootFolderPath() {
    QDir::setCurrent(u"/"_s);
    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    if (QFile::exists(u"/pictures.tbr"_s))
        QSKIP("this machine has a library at the root");
    QCOMPARE(form->ADOConnection1.Database(), u"//pictures.tbr"_s);
    QCOMPARE(boxes.size(), 1);
}

void TestMainWindow::failuresDuringStartUp_data() {
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QList<Record>>("records");
    QTest::addColumn<QString>("message");
    const QString plain = QString::fromLatin1(TestFiles::DefaultSchema);
    QTest::newRow("first picture not JPEG")
        << plain << QList<Record>{{u"bad"_s, "no picture here"}, {u"ok"_s, TestFiles::jpeg(60, 40)}}
        << u"^JPEG error #\\d+\\.$"_s;
    QTest::newRow("first picture cut short")
        << plain << QList<Record>{{u"cut"_s, TestFiles::jpeg(600, 400).left(700)}}
        << u"^JPEG error #\\d+\\.$"_s;
    QTest::newRow("first picture claims 65000 x 65000")
        << plain
        << QList<Record>{{u"huge"_s,
                          TestFiles::withDeclaredSize(TestFiles::jpeg(64, 64), 65000, 65000)}}
        << u"65000 × 65000"_s;
    QTest::newRow("no picture column")
        << u"create table pictures (filename TEXT)"_s << QList<Record>{}
        << u"^ADOQuery1: Field 'picture' not found\\.$"_s;
    QTest::newRow("no filename column")
        << u"create table pictures (picture BLOB)"_s << QList<Record>{}
        << u"^ADOQuery1: Field 'filename' not found\\.$"_s;
    QTest::newRow("no pictures table") << u"create table scores (filename TEXT, picture BLOB)"_s
                                       << QList<Record>{} << u"^no such table: pictures\\.$"_s;
    QTest::newRow("pictures a view without end")
        << u"create view pictures as with recursive c(x) as (select 1 union all select x + 1 "
           u"from c) select x as filename, null as picture from c"_s
        << QList<Record>{} << u"^The library lists more than 1000000 scores\\.$"_s;
}

// One error report, then the window as far as start-up got; the program goes on.
void TestMainWindow::failuresDuringStartUp() {
    QFETCH(QString, schema);
    QFETCH(QList<Record>, records);
    QFETCH(QString, message);
    const QString path = m_folder->library();
    TestFiles::makeLibrary(path, {}, schema);
    for (const Record& record : records)
        TestFiles::execute(path, u"insert into pictures values ('%1', x'%2')"_s.arg(
                                     *record.name, QString::fromLatin1(record.picture->toHex())));
    const QByteArray before = TestFiles::readFile(path);

    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes[0].text.contains(QRegularExpression(message)), qPrintable(boxes[0].text));
    QCOMPARE(form->windowTitle(), u"Morvane"_s);
    QCOMPARE(form->Label3->text(), u"显示数据库图片数"_s);
    QVERIFY(!form->Image1->hasPicture());
    QCOMPARE(TestFiles::readFile(path), before);
    if (records.size() > 1) {
        // Another score still shows, from the list.
        clickRow(*form, 1);
        QVERIFY(form->Image1->hasPicture());
        QCOMPARE(form->DBText1->text(), u"ok"_s);
    }
}

void TestMainWindow::oneScoreButtons() {
    makeLibrary({{u"only"_s, TestFiles::jpeg(200, 100, Green)}});
    auto form = startMainWindow();
    QVERIFY(!form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
    QCOMPARE(form->Label3->text(), u"1   张"_s);

    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Green));
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(!form->SpeedButton2->isEnabled());

    QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Green));
    QVERIFY(!form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
    QCOMPARE(form->Label3->text(), u"1   张"_s);
}

void TestMainWindow::steppingThroughThreeScores() {
    makeLibrary({{u"r"_s, TestFiles::jpeg(600, 400, Red)},
                 {u"g"_s, TestFiles::jpeg(300, 200, Green)},
                 {u"b"_s, TestFiles::jpeg(800, 1200, Blue)}});
    auto form = startMainWindow();
    const auto buttons = [&] {
        return std::pair(form->SpeedButton1->isEnabled(), form->SpeedButton2->isEnabled());
    };
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Green));
    QCOMPARE(buttons(), std::pair(true, true));
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(buttons(), std::pair(true, true)); // on the last score, but not past it yet
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(buttons(), std::pair(true, false));
    QCOMPARE(form->DBText1->text(), u"b"_s);

    QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Green));
    QCOMPARE(buttons(), std::pair(true, true));

    // Picking the first row moves onto it without marking the beginning.
    clickRow(*form, 0);
    QVERIFY(nearColour(shownColor(*form), Red));
    QCOMPARE(form->DBText1->text(), u"r"_s);
    QCOMPARE(buttons(), std::pair(true, true));
    QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
    QVERIFY(nearColour(shownColor(*form), Red));
    QCOMPARE(buttons(), std::pair(false, true));
    QCOMPARE(form->Label3->text(), u"3   张"_s);
}

void TestMainWindow::scoreWithoutPictureShowsNoPage() {
    makeLibrary({{u"r"_s, TestFiles::jpeg(600, 400, Red)},
                 {u"empty"_s, std::nullopt},
                 {u"b"_s, TestFiles::jpeg(800, 1200, Blue)}});
    auto form = startMainWindow();
    QList<SeenBox> boxes =
        collectMessageBoxes([&] { QTest::mouseClick(form->SpeedButton2, Qt::LeftButton); });
    QVERIFY(boxes.isEmpty());
    QCOMPARE(form->DBText1->text(), u"empty"_s);
    // The page before it would stand under its name.
    QVERIFY(!form->Image1->hasPicture());
    QVERIFY(!form->SpeedButton1->isEnabled());
    QVERIFY(!form->SpeedButton2->isEnabled());
    // With no current picture the buttons do nothing at all.
    form->SpeedButton2->setEnabled(true);
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(form->DBText1->text(), u"empty"_s);

    clickRow(*form, 2);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
}

void TestMainWindow::failedShowLeavesTheAreaBlack_data() {
    QTest::addColumn<QByteArray>("picture");
    QTest::addColumn<bool>("removedByAnotherProgram");
    QTest::addColumn<QString>("message");
    QTest::newRow("row removed by another program")
        << TestFiles::jpeg(60, 40, Blue) << true << u"^Row cannot be located for reading"_s;
    QTest::newRow("picture cut short")
        << TestFiles::jpeg(600, 400, Blue).left(700) << false << u"^JPEG error #\\d+\\.$"_s;
    QTest::newRow("picture over the pixel limit")
        << TestFiles::withDeclaredSize(TestFiles::jpeg(64, 64), 65000, 65000) << false
        << u"65000 × 65000"_s;
}

// The failure is reported, and the page shown before does not stay under
// the name of the score that failed: the area is black until another shows.
void TestMainWindow::failedShowLeavesTheAreaBlack() {
    QFETCH(QByteArray, picture);
    QFETCH(bool, removedByAnotherProgram);
    QFETCH(QString, message);
    makeLibrary({{u"p1"_s, TestFiles::jpeg(600, 400, Red)},
                 {u"p2"_s, TestFiles::jpeg(600, 400, Green)},
                 {u"n10"_s, picture}});
    auto form = startMainWindow();
    QVERIFY(nearColour(shownColor(*form), Red));
    if (removedByAnotherProgram) // not a neighbour of the first: not read yet
        TestFiles::execute(m_folder->library(), u"delete from pictures where filename = 'n10'"_s);

    const QList<SeenBox> boxes = collectMessageBoxes([&] { clickRow(*form, 2); });
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains(QRegularExpression(message)), qPrintable(boxes[0].text));
    QCOMPARE(form->DBText1->text(), u"n10"_s);
    QVERIFY(!form->Image1->hasPicture());
    const QImage area = form->ScrollBox1->grab().toImage();
    const QRect inside = form->Image1->geometry();
    for (const QPoint at : {inside.center(), inside.topLeft() + QPoint(80, 80)})
        QCOMPARE(area.pixelColor(at), QColor(Qt::black));

    clickRow(*form, 1);
    QVERIFY(nearColour(shownColor(*form), Green));
}

void TestMainWindow::nextPageIsReadyBeforeItIsAskedFor() {
    makeLibrary({{u"r"_s, TestFiles::jpeg(600, 400, Red)},
                 {u"g"_s, TestFiles::jpeg(600, 400, Green)},
                 {u"b"_s, TestFiles::jpeg(600, 400, Blue)}});
    auto form = startMainWindow();
    PictureCache& cache = form->pictureCache();
    finishWorkAhead(*form);
    QCOMPARE(cache.size(), 2); // the first page, and the second made ready while idle
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(cache.size(), 2); // shown from what was ready
    QVERIFY(nearColour(shownColor(*form), Green));
    finishWorkAhead(*form);
    QCOMPARE(cache.size(), 3); // and now the third

    // From the last page, the page before it is the one made ready.
    clickRow(*form, 2);
    finishWorkAhead(*form);
    QCOMPARE(cache.size(), 3);
    cache.clear();
    form->showCurrentPicture();
    finishWorkAhead(*form);
    QCOMPARE(cache.size(), 2); // the last page, and the one before it
    QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
    QCOMPARE(cache.size(), 2);
    QVERIFY(nearColour(shownColor(*form), Green));
}

// A page ruled with one-pixel lines, drawn small: each drawn pixel is one of
// the page's own pixels, the one nearest its place (within a pixel either
// way, whichever the platform takes), never an average of several.
void TestMainWindow::thinLinesKeepTheirOwnPixels() {
    QImage ruled(800, 1200, QImage::Format_Grayscale8);
    ruled.fill(255);
    for (int y = 0; y < ruled.height(); y += 8)
        std::fill_n(ruled.scanLine(y), ruled.width(), uchar(0));
    for (int x = 3; x < ruled.width(); x += 8)
        for (int y = 0; y < ruled.height(); ++y)
            ruled.scanLine(y)[x] = 0;
    const QByteArray jpeg = JpegCodec::encode(ruled);
    makeLibrary({{u"ruled"_s, jpeg}});
    auto form = startMainWindow();
    const QImage page = JpegPicture::fromJpegData(jpeg).toImage();
    const QRect rect = form->Image1->pictureRect();
    QVERIFY(rect.width() < page.width() / 2);
    const QImage shown = form->Image1->grab(rect).toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), rect.size());
    QCOMPARE(pixelNotNearest(page, shown), QString());
    int black = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            black += qGray(shown.pixel(x, y)) < 64;
    QVERIFY(black > 0); // some lines are kept whole
}

// Quitting, or opening another library, while pages are decoded ahead on the
// worker: nothing is left waiting, and nothing decoded then lands in a
// window that is gone.
void TestMainWindow::closingDuringWorkAhead() {
    QList<TestFiles::Record> pages;
    for (int i = 0; i < 6; ++i)
        pages.append(
            {u"p%1"_s.arg(i), TestFiles::jpeg(2000, 3000, QColor::fromHsv(i * 60, 255, 255))});
    makeLibrary(pages);
    for (int round = 0; round < 3; ++round) {
        auto form = startMainWindow();
        QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
        QCoreApplication::processEvents(); // the work ahead begins
        if (round == 1) {
            Commands::openLibrary(*form, QDir::current().absoluteFilePath(u"pictures.tbr"_s));
            QCoreApplication::processEvents();
        }
        if (round == 2) {
            finishWorkAhead(*form);
            QCOMPARE(form->pictureCache().size(), 3);
            QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
            QVERIFY(nearColour(shownColor(*form), QColor::fromHsv(120, 255, 255)));
        }
    }
}

// Stepping on faster than the pages ahead are drawn: each step asks for new
// work ahead while the worker still draws for an earlier one. Every page shown
// is the one stepped to, and each page is kept once, at the size it is shown.
void TestMainWindow::steppingFasterThanTheWorkAhead() {
    const int count = 8;
    const auto hue = [](int page) { return QColor::fromHsv(page * 45, 255, 255); };
    QList<TestFiles::Record> pages;
    for (int i = 0; i < count; ++i)
        pages.append({u"p%1"_s.arg(i), TestFiles::jpeg(1600, 2400, hue(i))});
    makeLibrary(pages);
    auto form = startMainWindow();
    for (int page = 1; page < count; ++page) {
        QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
        QCoreApplication::processEvents(); // the work ahead for this page begins
        QVERIFY2(nearColour(shownColor(*form), hue(page)), qPrintable(QString::number(page)));
    }
    for (int page = count - 2; page >= 0; --page) {
        QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);
        QVERIFY2(nearColour(shownColor(*form), hue(page)), qPrintable(QString::number(page)));
    }
    form->pictureCache().waitForWorkAhead();
    QCOMPARE(form->pictureCache().size(), count);
}

void TestMainWindow::buttonsOnClosedLibraryReportTheError() {
    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    QCOMPARE(boxes.size(), 1);
    boxes = collectMessageBoxes([&] { QTest::mouseClick(form->SpeedButton2, Qt::LeftButton); });
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, u"ADOQuery1: Field 'picture' not found."_s);
    QVERIFY(form->isVisible());
}

void TestMainWindow::keysOnAClosedListDoNothing() {
    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    QCOMPARE(boxes.size(), 1);
    form->DBGrid1->setFocus();
    boxes = collectMessageBoxes([&] {
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_End})
            QTest::keyClick(form->DBGrid1, key);
    });
    QCOMPARE(boxes.size(), 0);
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
}

// Every command the window offers, on a window that has no library open: a
// command that needs the record set ends in one error report, one with a
// dialog of its own opens it, and the window goes on either way.
void TestMainWindow::everyCommandWithoutALibrary() {
    QList<SeenBox> boxes;
    auto form = startMainWindow(&boxes);
    QCOMPARE(boxes.size(), 1);
    // What came up, in order: an error report's text, or the dialog's class; then closed.
    QStringList modals;
    const ModalStep note = [&modals](QWidget* dialog) {
        if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
            modals << (box->icon() == QMessageBox::Critical ? u"error: "_s : u"message: "_s) +
                          box->text();
            box->button(QMessageBox::Ok)->click();
        } else {
            modals << QString::fromLatin1(dialog->metaObject()->className());
            qobject_cast<QDialog*>(dialog)->reject();
        }
    };
    const QString noPicture = u"error: ADOQuery1: Field 'picture' not found."_s;
    const QString closed =
        u"error: ADOQuery1: Cannot perform this operation on a closed dataset."_s;
    const QList<std::pair<QObject*, QStringList>> commands = {
        {form->SpeedButton1, {noPicture}},
        {form->SpeedButton2, {noPicture}},
        {form->SpeedButton3, {noPicture}},
        {form->Image1, {noPicture}},
        {form->LoadFromFile2, {closed}},
        {form->LoadFormFile, {closed}},
        {form->SaveFile2, {noPicture}},
        {form->SaveToFile, {noPicture}},
        {form->SaveFiles2, {u"TSaveManyPicDlg"_s}},
        {form->SaveManyPic, {u"TSaveManyPicDlg"_s}},
        {form->NewDataFile2, {u"TForm7"_s}},
        {form->NewPicFile, {u"TForm7"_s}},
        {form->OpenDataFile2, {u"QFileDialog"_s}},
        {form->OpenPicDataFile, {u"QFileDialog"_s}},
        {form->Copy2, {noPicture}},
        {form->Cut2, {noPicture}},
        {form->Paste2, {closed}},
        {form->Delete2, {noPicture}},
        {form->DeleteFormDB, {noPicture}},
        {form->RenamePic2, {noPicture}},
        {form->Rename, {noPicture}},
        // Show all opens the set first, which tries the missing library again.
        {form->ShowAllPic2, {u"error: unable to open database file."_s}},
        {form->FiltByName2, {u"TForm6"_s}},
        {form->FiltByName, {u"TForm6"_s}},
        {form->About, {u"TForm5"_s}},
    };
    for (const auto& [command, expected] : commands) {
        modals.clear();
        runWithModals(
            [&] {
                if (auto* action = qobject_cast<QAction*>(command))
                    action->trigger();
                else
                    QTest::mouseClick(qobject_cast<QWidget*>(command), Qt::LeftButton);
            },
            {note, note, note});
        QVERIFY2(modals == expected,
                 qPrintable(command->objectName() + u": "_s + modals.join(u" | "_s)));
        QVERIFY(form->isVisible());
        QVERIFY(!form->ADOQuery1.Active());
    }
}

// A name is text, whatever it holds: no markup is drawn and no file it names is read.
void TestMainWindow::namesAreShownAsPlainText() {
    QImage green(40, 20, QImage::Format_RGB32);
    green.fill(Qt::green);
    const QString file = m_folder->path(u"green.png"_s);
    QVERIFY(green.save(file));
    const QString name = u"<font color=green>RICH</font><img src=\"%1\">"_s.arg(file);
    makeLibrary({{name, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    QCOMPARE(form->DBText1->text(), name);
    QCOMPARE(listedNames(*form), QStringList(name));
    const QImage drawn = form->DBText1->grab().toImage();
    int greenPixels = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            greenPixels +=
                QColor(drawn.pixel(x, y)).green() > 150 && QColor(drawn.pixel(x, y)).red() < 100;
    QCOMPARE(greenPixels, 0);
}

// Names of a million characters of mixed scripts: the window draws the first
// part of each and answers at once; the record keeps the whole name.
void TestMainWindow::hugeNamesAreShownInPart() {
    QString huge;
    while (huge.size() < 1'000'000)
        huge += u"Guitar 吉他 \u202eגיטרה\u202c قيثارة "_s;
    huge.truncate(1'000'000);
    makeLibrary({{huge, TestFiles::jpeg(60, 40)},
                 {u"x"_s + huge, TestFiles::jpeg(60, 40)},
                 {u"y"_s + huge, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    const QString shown = huge.left(MaxShownNameLength) + u'…';
    QCOMPARE(form->DBText1->text(), shown);
    QCOMPARE(listedNames(*form)[0], shown);
    QCOMPARE(form->ADOQuery1.CurrentName(), huge);
    clickRow(*form, 2);
    QCOMPARE(form->DBText1->text().size(), MaxShownNameLength + 1);
    QCOMPARE(form->ADOQuery1.CurrentName().size(), 1'000'001);
}

void TestMainWindow::listKeysMoveTheCursor() {
    QList<Record> records;
    for (int i = 0; i < 40; ++i)
        records << Record{u"score %1"_s.arg(i), TestFiles::jpeg(40, 30, i % 2 ? Green : Red)};
    makeLibrary(records);
    auto form = startMainWindow();
    NameGrid* grid = form->DBGrid1;
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(form->DBText1->text(), u"score 1"_s);
    QCoreApplication::processEvents(); // the page is drawn once the keys pressed are handled
    QVERIFY(nearColour(shownColor(*form), Green));
    QTest::keyClick(grid, Qt::Key_End);
    QCOMPARE(form->DBText1->text(), u"score 39"_s);
    QVERIFY(!form->SpeedButton2->isEnabled());
    QCOMPARE(grid->currentIndex().row(), 39);
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(form->DBText1->text(), u"score 0"_s);
    QVERIFY(!form->SpeedButton1->isEnabled());
    QTest::keyClick(grid, Qt::Key_Up); // already at the first: marks the beginning only
    QCOMPARE(form->DBText1->text(), u"score 0"_s);

    const int page = grid->visibleRowCount();
    QVERIFY(page > 1 && page < 39);
    QTest::keyClick(grid, Qt::Key_PageDown);
    QCOMPARE(form->DBText1->text(), u"score %1"_s.arg(page));
    QTest::keyClick(grid, Qt::Key_PageUp);
    QCOMPARE(form->DBText1->text(), u"score 0"_s);
    // Keys never change the library.
    QTest::keyClick(grid, Qt::Key_Delete);
    QTest::keyClick(grid, Qt::Key_Insert);
    QTest::keyClicks(grid, u"abc"_s);
    QCOMPARE(form->ADOQuery1.RecordCount(), 40);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
}

// Keys pressed faster than pages are drawn (held down, say): the list follows
// every key, and only the page where they stop is drawn. A command given
// before that page was drawn works on it, as the list shows it current.
void TestMainWindow::queuedKeysDrawOnlyWhereTheyStop() {
    QList<Record> records;
    const auto colourOf = [](int i) { return QColor::fromHsv(i * 12, 255, 255); };
    for (int i = 0; i < 29; ++i)
        records << Record{u"score %1"_s.arg(i), TestFiles::jpeg(300, 400, colourOf(i))};
    records << Record{u"not a picture"_s, QByteArray("no JPEG here")};
    makeLibrary(records);
    auto form = startMainWindow();
    PictureCache& cache = form->pictureCache();
    NameGrid* grid = form->DBGrid1;
    grid->setFocus();
    const auto pressDown = [grid](int times) {
        for (int i = 0; i < times; ++i)
            QCoreApplication::postEvent(grid, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, {}));
    };
    cache.waitForWorkAhead();
    cache.clear();
    pressDown(20);
    QTRY_VERIFY(nearColour(shownColor(*form), colourOf(20)));
    QCOMPARE(form->DBText1->text(), u"score 20"_s);
    QCOMPARE(grid->currentIndex().row(), 20);
    // Page 20 and the two beside it; none of the nineteen passed over.
    finishWorkAhead(*form);
    QCOMPARE(cache.size(), 3);

    pressDown(5);
    QCoreApplication::sendPostedEvents(grid); // the keys, not yet the drawing
    QCOMPARE(form->DBText1->text(), u"score 25"_s);
    QVERIFY(nearColour(shownColor(*form), colourOf(20)));
    form->CopyToCBoardClick();
    QVERIFY(nearColour(shownColor(*form), colourOf(25)));
    QVERIFY(nearColour(QGuiApplication::clipboard()->image().pixelColor(150, 200), colourOf(25)));

    // A page that cannot be drawn where the keys stop is reported once, and
    // the page before does not stay under its name.
    const QList<SeenBox> boxes = collectMessageBoxes([&] {
        QTest::keyClick(grid, Qt::Key_End);
        QCoreApplication::processEvents();
    });
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(form->DBText1->text(), u"not a picture"_s);
    QVERIFY(!form->Image1->hasPicture());
}

void TestMainWindow::rightClickSelectsRowThenOpensMenu() {
    makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QWidget* viewport = form->DBGrid1->viewport();
    const QPoint second = form->DBGrid1->visualRect(form->DBGrid1->model()->index(1, 0)).center();
    QTest::mousePress(viewport, Qt::RightButton, {}, second);
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QVERIFY(nearColour(shownColor(*form), Green));
    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, second, viewport->mapToGlobal(second));
    QApplication::sendEvent(viewport, &menuRequest);
    QTRY_VERIFY(form->PopupMenu1->isVisible());
    form->PopupMenu1->close();
    QTest::mouseRelease(viewport, Qt::RightButton, {}, second);
}

void TestMainWindow::pictureIsFittedAndDrawnOnBlack() {
    QImage halves(1000, 500, QImage::Format_RGB32);
    halves.fill(Red);
    for (int y = 0; y < 500; ++y)
        for (int x = 500; x < 1000; ++x)
            halves.setPixelColor(x, y, Blue);
    makeLibrary({{u"halves"_s, JpegCodec::encode(halves)}});
    auto form = startMainWindow();
    QCOMPARE(form->Image1->size(), QSize(459, 355));
    QCOMPARE(form->Image1->pictureRect(), QRect(0, 63, 459, 229));
    const QImage area = form->ScrollBox1->grab().toImage();
    const QPoint origin = form->Image1->pos();
    QVERIFY(nearColour(area.pixelColor(origin + QPoint(5, 63 + 100)), Red));
    QVERIFY(nearColour(area.pixelColor(origin + QPoint(453, 63 + 100)), Blue));
    QCOMPARE(area.pixelColor(origin + QPoint(200, 60)), QColor(Qt::black));
    QCOMPARE(area.pixelColor(origin + QPoint(200, 63 + 229 + 2)), QColor(Qt::black));
}

void TestMainWindow::resizeRefitsAndKeepsAnchors() {
    makeLibrary({{u"tall"_s, TestFiles::jpeg(800, 1200, Blue)}});
    auto form = startMainWindow();
    QCOMPARE(form->Image1->pictureRect(), QRect(111, 0, 236, 355));
    const int labelGap = form->InfoStrip->width() - form->Label3->x();
    const int label2Gap = form->InfoStrip->width() - form->Label2->x();
    const int listWidth = form->LeftPane->width();
    const int label1X = form->Label1->x();

    form->resize(form->width() + 200, form->height() + 100);
    QTRY_COMPARE(form->Image1->size(), QSize(659, 455));
    QCOMPARE(form->Image1->pictureRect(), QRect(178, 0, 303, 455));
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(form->InfoStrip->width() - form->Label3->x(), labelGap);
    QCOMPARE(form->InfoStrip->width() - form->Label2->x(), label2Gap);
    QCOMPARE(form->Label1->x(), label1X);
    QCOMPARE(form->LeftPane->width(), listWidth);
    QCOMPARE(form->InfoStrip->height(), 29);

    form->resize(100, 100);
    QCOMPARE(form->width(), 521);
    QCOMPARE(form->height(), 374 + form->MainMenu1->height());
}

void TestMainWindow::splitterSnapsAndKeepsPicturePane() {
    makeLibrary({{u"a"_s, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    PaneSplitter* splitter = form->Splitter1;
    const auto drag = [&](int dx) {
        const QPoint grip(2, 20);
        QTest::mousePress(splitter, Qt::LeftButton, {}, grip);
        QTest::mouseMove(splitter, grip + QPoint(dx, 0));
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, grip + QPoint(dx, 0));
    };
    drag(40);
    QCOMPARE(form->LeftPane->width(), 152);
    drag(-121); // 31 pixels stay open
    QCOMPARE(form->LeftPane->width(), 31);
    drag(-1); // 30 or less snaps shut
    QCOMPARE(form->LeftPane->width(), 0);
    QCOMPARE(form->RightPane->x(), form->MainArea->contentsRect().x() + PaneSplitter::Width);
    drag(150);
    QCOMPARE(form->LeftPane->width(), 150);
    drag(5000);
    QCOMPARE(form->RightPane->width(), PaneSplitter::MinSize);
    QCOMPARE(form->Image1->pictureRect().width(), form->Image1->width());
}

// A list widened and a window then narrowed: the bar stays inside the window,
// where the user can drag the picture back; widened again, the window gives
// the list its width back.
void TestMainWindow::narrowedWindowKeepsTheBarInside() {
    makeLibrary({{u"a"_s, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    form->resize(1000, 600);
    QTest::mousePress(form->Splitter1, Qt::LeftButton, {}, {2, 20});
    QTest::mouseRelease(form->Splitter1, Qt::LeftButton, {}, QPoint(2 + 800, 20));
    QCOMPARE(form->LeftPane->width(), 912);

    form->resize(600, 600);
    const QRect area = form->MainArea->contentsRect();
    QTRY_VERIFY(form->Splitter1->geometry().right() <= area.right());
    QCOMPARE(form->Splitter1->width(), PaneSplitter::Width);
    QVERIFY(form->RightPane->geometry().right() <= area.right());

    form->resize(1000, 600);
    QTRY_COMPARE(form->Splitter1->x(), form->MainArea->contentsRect().x() + 912);
    QTRY_COMPARE(form->LeftPane->width(), 912);
}

void TestMainWindow::quitClosesTheWindow() {
    makeLibrary({});
    auto form = startMainWindow();
    form->Exit2->trigger();
    QVERIFY(!form->isVisible());
}

// The windows the start makes but never shows do not hold up the first page.
void TestMainWindow::otherWindowsAreMadeOnceTheFirstPageIsPainted() {
    makeLibrary({{u"a"_s, TestFiles::jpeg(60, 40, Red)}});
    ProgramWindows windows;
    QVERIFY(windows.mainWindow().Image1->hasPicture());
    QCoreApplication::processEvents();
    QVERIFY(!windows.othersMade()); // nothing is painted yet
    windows.mainWindow().show();
    QTRY_VERIFY(windows.othersMade());
}

void TestMainWindow::errorReportText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << u"disk full"_s << u"disk full."_s;
    QTest::newRow("digit") << u"JPEG error #42"_s << u"JPEG error #42."_s;
    QTest::newRow("chinese") << u"无法打开"_s << u"无法打开."_s;
    QTest::newRow("slash sorts above the stop") << u"a/"_s << u"a/."_s;
    QTest::newRow("full stop") << u"done."_s << u"done."_s;
    QTest::newRow("exclamation") << u"stop!"_s << u"stop!"_s;
    QTest::newRow("parenthesis") << u"(.x)"_s << u"(.x)"_s;
    QTest::newRow("blank") << u"trailing "_s << u"trailing "_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestMainWindow::errorReportText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(::errorReportText(message), shown);
}

namespace {
class Failing : public QWidget {
protected:
    void mousePressEvent(QMouseEvent*) override {
        throw FileError::cannotOpen(u"/<b>x</b>.jpg"_s, u"gone"_s);
    }
};
} // namespace

// Whatever an event handler throws ends there, in the one error report.
void TestMainWindow::errorInAnEventHandlerIsReported() {
    Failing widget;
    widget.resize(50, 50);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    const QList<SeenBox> boxes =
        collectMessageBoxes([&] { QTest::mouseClick(&widget, Qt::LeftButton); });
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].text, u"Cannot open file \"/<b>x</b>.jpg\". gone."_s);
    QCOMPARE(boxes[0].format, Qt::PlainText); // a path is never markup
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY(widget.isVisible());
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
