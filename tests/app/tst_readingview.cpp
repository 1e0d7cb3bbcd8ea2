// The reading view, opened with F11 from the real main window and turned as
// a player turns it.

#include "jpegpicture.h"
#include "mainwindow.h"
#include "picturecache.h"
#include "readingview.h"
#include "tform1.h"

#include <QPointer>
#include <QTest>
#include <QWheelEvent>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QList<QColor> PageColours = {Qt::red, Qt::green, Qt::blue, Qt::cyan, Qt::magenta, Qt::yellow};

QString nameOf(int row) {
    return u"第%1页"_s.arg(row + 1);
}

// One action of the table: a key (as QKeySequence spells it), a click on
// either half, or a wheel notch.
void act(ReadingView& view, const QString& action) {
    const QPoint middle(view.width() / 2, view.height() / 2);
    if (action == u"click-right"_s || action == u"click-left"_s) {
        const int x = action == u"click-right"_s ? view.width() - 10 : 10;
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, middle.y()));
    } else if (action == u"wheel-down"_s || action == u"wheel-up"_s) {
        const int delta = action == u"wheel-down"_s ? -120 : 120;
        QWheelEvent wheel(middle, view.mapToGlobal(middle), {}, {0, delta}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
    } else {
        const QKeyCombination key = QKeySequence::fromString(action)[0];
        QTest::keyClick(&view, key.key(), key.keyboardModifiers());
    }
}

// The staff lines found in `page`: runs of rows darker than the paper across
// the middle half of the width, every pixel of them.
int staffLinesIn(const QImage& page) {
    const QImage grey = page.convertToFormat(QImage::Format_Grayscale8);
    int lines = 0;
    bool inLine = false;
    for (int y = 0; y < grey.height(); ++y) {
        const uchar* row = grey.constScanLine(y);
        bool dark = true;
        for (int x = grey.width() / 4; x < grey.width() * 3 / 4 && dark; ++x)
            dark = row[x] < 235;
        lines += dark && !inLine;
        inLine = dark;
    }
    return lines;
}
} // namespace

class TestReadingView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void turnsAndLeavesTheListOnTheLastPage_data();
    void turnsAndLeavesTheListOnTheLastPage();
    void staffLinesSurviveTheScaling();

private:
    std::unique_ptr<WorkFolder> m_folder;
};

void TestReadingView::turnsAndLeavesTheListOnTheLastPage_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("fromViewer"); // F11 pressed in the full-size viewer
    // The offscreen screen is square: one page, until "2" asks for two.
    QTest::newRow("PageDown") << 0 << QStringList{u"PgDown"_s, u"PgDown"_s} << 2 << false;
    QTest::newRow("forward keys") << 0
                                  << QStringList{u"Right"_s, u"Down"_s, u"Space"_s, u"Return"_s,
                                                 u"Enter"_s}
                                  << 5 << false;
    QTest::newRow("back keys") << 5
                               << QStringList{u"PgUp"_s, u"Left"_s, u"Up"_s, u"Shift+Space"_s,
                                              u"Backspace"_s}
                               << 0 << false;
    QTest::newRow("no wrap at the end") << 5 << QStringList{u"PgDown"_s, u"Space"_s} << 5 << false;
    QTest::newRow("no wrap at the start") << 0 << QStringList{u"PgUp"_s, u"Left"_s} << 0 << false;
    QTest::newRow("clicks") << 0 << QStringList{u"click-right"_s, u"click-right"_s, u"click-left"_s}
                            << 1 << false;
    QTest::newRow("wheel") << 2 << QStringList{u"wheel-down"_s, u"wheel-down"_s, u"wheel-up"_s} << 3
                           << false;
    QTest::newRow("two pages turn by two") << 0 << QStringList{u"2"_s, u"PgDown"_s} << 2 << false;
    QTest::newRow("two pages stop before the end")
        << 0 << QStringList{u"2"_s, u"PgDown"_s, u"PgDown"_s, u"PgDown"_s} << 4 << false;
    QTest::newRow("two pages back to the first")
        << 1 << QStringList{u"2"_s, u"PgUp"_s} << 0 << false;
    QTest::newRow("leaving with Escape") << 3 << QStringList{u"Left"_s, u"Esc"_s} << 2 << false;
    QTest::newRow("from the viewer") << 1 << QStringList{u"Right"_s} << 2 << true;
}

void TestReadingView::turnsAndLeavesTheListOnTheLastPage() {
    QFETCH(int, start);
    QFETCH(QStringList, actions);
    QFETCH(int, page);
    QFETCH(bool, fromViewer);
    QList<Record> records;
    for (int row = 0; row < PageColours.size(); ++row)
        records.append({nameOf(row), TestFiles::jpeg(300, 420, PageColours[row])});
    m_folder->makeLibrary(records);
    const auto form = startMainWindow();
    clickRow(*form, start);
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    if (fromViewer) {
        const int steps =
            runWithModals([&] { QTest::mouseClick(form->Image1, Qt::LeftButton); },
                          {[](QWidget* viewer) { QTest::keyClick(viewer, Qt::Key_F11); }});
        QCOMPARE(steps, 1);
    } else {
        QTest::keyClick(form.get(), Qt::Key_F11);
    }
    QPointer<ReadingView> view = form->findChild<ReadingView*>();
    QVERIFY(view);
    QVERIFY(view->isFullScreen());
    QCOMPARE(view->page(), start);
    for (const QString& action : actions)
        act(*view, action);

    QCOMPARE(view->page(), page);
    QVERIFY2(view->whereYouAre().contains(u"page %1"_s.arg(page + 1)),
             qPrintable(view->whereYouAre()));
    const QImage seen = view->grab().toImage();
    const int x = view->twoPages() ? seen.width() / 4 : seen.width() / 2;
    QVERIFY(nearColour(seen.pixelColor(x, seen.height() / 2), PageColours[page]));

    if (!actions.endsWith(u"Esc"_s))
        QTest::keyClick(view, Qt::Key_F11);
    QTRY_VERIFY(!view);
    QCOMPARE(form->ADOQuery1.RecNo(), page);
    QCOMPARE(form->DBText1->text(), nameOf(page));
    finishWorkAhead(*form);
    QVERIFY(nearColour(shownColor(*form), PageColours[page]));
}

// A 300-dpi page's staff lines, one pixel thick, shrunk nearly four times to
// fit the screen: each stays a whole darker row in the view, where drawing
// by the nearest pixel leaves most of them out.
void TestReadingView::staffLinesSurviveTheScaling() {
    QImage page(2480, 3508, QImage::Format_Grayscale8);
    page.fill(255);
    int drawn = 0;
    for (int staff = 0; staff < 10; ++staff) {
        for (int line = 0; line < 5; ++line, ++drawn) {
            uchar* row = page.scanLine(350 + staff * 280 + line * 25);
            std::fill(row + 120, row + page.width() - 120, uchar(0));
        }
    }
    const QByteArray jpeg = JpegCodec::encode(page);
    m_folder->makeLibrary({{u"练习曲"_s, jpeg}});
    const auto form = startMainWindow();
    PictureCache cache;
    ReadingView view(form->ADOQuery1, cache);
    view.resize(800, 1000);
    view.setPage(0);
    QVERIFY(!view.twoPages());

    const QImage seen = view.grab().toImage();
    QCOMPARE(staffLinesIn(seen), drawn);
    // The same page at the same size by the nearest pixel: the test would see that.
    const QImage nearest = cache.fitted(JpegPicture::fromJpegData(jpeg),
                                        page.size().scaled(800, 1000, Qt::KeepAspectRatio));
    QCOMPARE_LT(staffLinesIn(nearest), drawn / 2);
}

QTEST_MAIN(TestReadingView)
#include "tst_readingview.moc"
