// The full-size viewer, opened from the real main window's picture area.

#include "application.h"
#include "mainwindow.h"
#include "tform1.h"
#include "viewer.h"

#include <QScrollBar>
#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0);

// The viewer as the user saw it while it was open.
struct SeenViewer {
    bool seen = false;
    bool modal = false;
    QString caption;
    QString hint;
    QStringList ownHints; // of the picture and the scroll area
    QSize size;
    bool fixedSize = false;
    QSize pictureSize;
    QSize inside; // of the scroll area, within its border and bars
    bool horizontalBar = false;
    bool verticalBar = false;
    QColor pictureCorner;
    QStringList menu;
};

SeenViewer look(TForm4& viewer) {
    SeenViewer seen;
    seen.seen = true;
    seen.modal = QApplication::activeModalWidget() == &viewer;
    seen.caption = viewer.windowTitle();
    seen.hint = viewer.toolTip();
    seen.ownHints = {viewer.Image1->toolTip(), viewer.ScrollBox1->toolTip()};
    seen.size = viewer.size();
    seen.fixedSize = viewer.minimumSize() == viewer.size() && viewer.maximumSize() == viewer.size();
    seen.pictureSize = viewer.Image1->size();
    seen.inside = viewer.ScrollBox1->viewport()->size();
    seen.horizontalBar = viewer.ScrollBox1->horizontalScrollBar()->isVisible();
    seen.verticalBar = viewer.ScrollBox1->verticalScrollBar()->isVisible();
    seen.pictureCorner = viewer.ScrollBox1->viewport()->grab().toImage().pixelColor(4, 4);
    for (QAction* item : viewer.PopupMenu1->actions())
        seen.menu << item->objectName() + u'=' + item->text();
    return seen;
}

// Looks at the viewer, then `close` acts on it; `closed` tells whether that
// closed it (if not, it is closed anyway so that the test goes on).
ModalStep lookThenClose(SeenViewer* seen, bool* closed, const std::function<void(TForm4&)>& close) {
    return [seen, closed, close](QWidget* dialog) {
        auto* viewer = qobject_cast<TForm4*>(dialog);
        if (!viewer) {
            dialog->close();
            return;
        }
        *seen = look(*viewer);
        close(*viewer);
        *closed = !viewer->isVisible();
        if (viewer->isVisible())
            viewer->reject();
    };
}

void clickPicture(TForm4& viewer) {
    QTest::mouseClick(viewer.Image1, Qt::LeftButton, {}, QPoint(3, 3));
}
} // namespace

class TestViewer : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void showsPictureAtItsOwnSize_data();
    void showsPictureAtItsOwnSize();
    void closesByMenuAndCloseBox();
    void onlyThePictureClosesIt();
    void captionNamesTheScoreOnce();
    void emptyLibraryHasNothingToView();
    void pictureThatIsNotJpegIsReported();
    void leavesTheScoreInEditStateAndWritesNothing();

private:
    // Clicks the main window's picture area with `steps` for the modals it shows.
    int clickMainPicture(TForm1& form, const QList<ModalStep>& steps) const {
        return runWithModals([&] { QTest::mouseClick(form.Image1, Qt::LeftButton); }, steps);
    }

    std::unique_ptr<WorkFolder> m_folder;
};

void TestViewer::showsPictureAtItsOwnSize_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<bool>("bars");
    QTest::newRow("640 x 480") << QSize(640, 480) << false;
    // The sunken border leaves an inside of 796 x 596, too small for 800 x 600.
    QTest::newRow("800 x 600") << QSize(800, 600) << true;
    QTest::newRow("2000 x 3000") << QSize(2000, 3000) << true;
}

void TestViewer::showsPictureAtItsOwnSize() {
    QFETCH(QSize, picture);
    QFETCH(bool, bars);
    m_folder->makeLibrary({{u"月光"_s, TestFiles::jpeg(picture.width(), picture.height(), Green)}});
    auto form = startMainWindow();
    SeenViewer seen;
    bool closed = false;
    QCOMPARE(clickMainPicture(*form, {lookThenClose(&seen, &closed, clickPicture)}), 1);

    QVERIFY(seen.seen);
    QVERIFY(seen.modal);
    QCOMPARE(seen.caption, u"查看曲谱    < 月光 >"_s);
    QCOMPARE(seen.hint,
             u"图片大小：%1 X %2     单击关闭"_s.arg(picture.width()).arg(picture.height()));
    QCOMPARE(seen.ownHints, QStringList({QString(), QString()}));
    QCOMPARE(seen.size, QSize(800, 600));
    QVERIFY(seen.fixedSize);
    QCOMPARE(seen.pictureSize, picture);
    QCOMPARE(seen.horizontalBar, bars);
    QCOMPARE(seen.verticalBar, bars);
    if (!bars)
        QCOMPARE(seen.inside, QSize(796, 596));
    QVERIFY(nearColour(seen.pictureCorner, Green));
    QCOMPARE(seen.menu, QStringList(u"Quit=关闭(&Q)"_s));
    QVERIFY(closed);
}

void TestViewer::closesByMenuAndCloseBox() {
    m_folder->makeLibrary({{u"月光"_s, TestFiles::jpeg(640, 480, Green)}});
    auto form = startMainWindow();
    SeenViewer seen;
    bool byMenu = false, byCloseBox = false;
    clickMainPicture(*form, {lookThenClose(&seen, &byMenu, [](TForm4& v) { v.Quit->trigger(); })});
    QVERIFY(seen.seen);
    QVERIFY(byMenu);
    seen = {};
    clickMainPicture(*form, {lookThenClose(&seen, &byCloseBox, [](TForm4& v) { v.close(); })});
    QVERIFY(seen.seen);
    QVERIFY(byCloseBox);
    QVERIFY(form->isVisible());
}

// Beside a small picture the area is the window's own; keys do nothing either.
void TestViewer::onlyThePictureClosesIt() {
    m_folder->makeLibrary({{u"月光"_s, TestFiles::jpeg(640, 480, Red)}});
    auto form = startMainWindow();
    QStringList afterEach;
    SeenViewer seen;
    bool closedByPicture = false;
    const auto tryThenClickPicture = [&](TForm4& viewer) {
        QWidget* area = viewer.ScrollBox1->viewport();
        QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(720, 550));
        afterEach << (viewer.isVisible() ? u"open"_s : u"closed"_s);
        for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(&viewer, key);
            afterEach << (viewer.isVisible() ? u"open"_s : u"closed"_s);
        }
        if (viewer.isVisible())
            clickPicture(viewer);
    };
    clickMainPicture(*form, {lookThenClose(&seen, &closedByPicture, tryThenClickPicture)});
    QVERIFY(seen.seen);
    QCOMPARE(afterEach, QStringList({u"open"_s, u"open"_s, u"open"_s, u"open"_s}));
    QVERIFY(closedByPicture);
}

// Each opening is a fresh viewer: the name is never appended twice.
void TestViewer::captionNamesTheScoreOnce() {
    m_folder->makeLibrary(
        {{u"月光"_s, TestFiles::jpeg(64, 48, Red)}, {u"夜曲"_s, TestFiles::jpeg(48, 64, Green)}});
    auto form = startMainWindow();
    SeenViewer first, second, third;
    bool closed = false;
    clickMainPicture(*form, {lookThenClose(&first, &closed, clickPicture)});
    clickMainPicture(*form, {lookThenClose(&second, &closed, clickPicture)});
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    clickMainPicture(*form, {lookThenClose(&third, &closed, clickPicture)});
    QCOMPARE(first.caption, u"查看曲谱    < 月光 >"_s);
    QCOMPARE(second.caption, u"查看曲谱    < 月光 >"_s);
    QCOMPARE(third.caption, u"查看曲谱    < 夜曲 >"_s);
    QCOMPARE(third.hint, u"图片大小：48 X 64     单击关闭"_s);
    QVERIFY(nearColour(third.pictureCorner, Green));
}

void TestViewer::emptyLibraryHasNothingToView() {
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    QList<SeenBox> boxes;
    QCOMPARE(clickMainPicture(*form, {recordBox(&boxes)}), 1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, u"没有可查看的图片"_s);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    // The pending new record shows as an empty row; nothing is stored.
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Insert);
    QCOMPARE(form->DBGrid1->model()->rowCount(), 1);
    QCOMPARE(TestFiles::readLibrary(m_folder->library()).size(), 0);
}

// Start-up would report the first score; the bad one is picked from the list.
void TestViewer::pictureThatIsNotJpegIsReported() {
    m_folder->makeLibrary(
        {{u"好"_s, TestFiles::jpeg(64, 48, Red)}, {u"坏"_s, QByteArray("not a picture")}});
    auto form = startMainWindow();
    collectMessageBoxes([&] { clickRow(*form, 1); });
    QCOMPARE(form->DBText1->text(), u"坏"_s);

    QList<SeenBox> boxes;
    QCOMPARE(clickMainPicture(*form, {recordBox(&boxes)}), 1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes[0].text.contains(QRegularExpression(u"^JPEG error #\\d+\\.$"_s)),
             qPrintable(boxes[0].text));
    for (QWidget* window : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<TForm4*>(window));
}

void TestViewer::leavesTheScoreInEditStateAndWritesNothing() {
    m_folder->makeLibrary(
        {{u"月光"_s, TestFiles::jpeg(64, 48, Red)}, {u"夜曲"_s, TestFiles::jpeg(48, 64, Green)}});
    auto form = startMainWindow();
    const QByteArray before = TestFiles::readFile(m_folder->library());
    SeenViewer seen;
    bool closed = false;
    clickMainPicture(*form, {lookThenClose(&seen, &closed, clickPicture)});
    QVERIFY(closed);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Edit);
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    // Moving on ends the edit without storing anything.
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
    QCOMPARE(form->DBText1->text(), u"夜曲"_s);
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestViewer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_viewer.moc"
