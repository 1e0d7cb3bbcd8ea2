// The about box: its link's colours under the pointer, its web link and closing.

#include "aboutbox.h"
#include "application.h"
#include "mainwindow.h"
#include "tform1.h"

#include <QDesktopServices>
#include <QTest>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {
// Takes the place of the desktop's browser for https addresses.
class Browser : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public Q_SLOTS:
    void open(const QUrl& url) { opened << url; }
};

QColor linkColour(const TForm5& box) {
    return box.Label4->palette().color(QPalette::WindowText);
}
void hover(QWidget* widget) {
    QTest::mouseMove(widget, widget->rect().center());
}
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout();
    void linkTurnsRedThenBlue();
    void otherTextsChangeNothing();
    void linkOpensTheSiteEachTime();
    void pictureClickCloses();
    void openedFromTheHelpMenu();
};

void TestAbout::layout() {
    TForm5 box;
    QCOMPARE(box.size(), QSize(388, 308));
    QVERIFY(box.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(box.windowTitle(), u"  关于此程序"_s);
    QCOMPARE(box.Label1->text(), u"    Morvane v1.0"_s);
    QCOMPARE(box.Label1->font().pixelSize(), 16);
    QVERIFY(box.Label1->font().bold());
    QCOMPARE(box.Image1->pixmap().size(), QSize(386, 308));
    QCOMPARE(box.Label4->geometry(), QRect(194, 142, 161, 20));
    QCOMPARE(linkColour(box), QColor(Qt::white));
    QVERIFY(!box.LinkHot);
}

void TestAbout::linkTurnsRedThenBlue() {
    TForm5 box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    hover(box.Image1);
    QCOMPARE(linkColour(box), QColor(Qt::white)); // the picture alone leaves it white
    hover(box.Label4);
    QCOMPARE(linkColour(box), QColor(255, 0, 0));
    QVERIFY(box.LinkHot);
    hover(box.Image1);
    QCOMPARE(linkColour(box), QColor(0, 0, 255));
    QVERIFY(!box.LinkHot);
    hover(box.Label4);
    QCOMPARE(linkColour(box), QColor(255, 0, 0));
    QCOMPARE(box.Label4->font().pixelSize(), 13);
}

void TestAbout::otherTextsChangeNothing() {
    TForm5 box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    hover(box.Image1);
    hover(box.Label4);
    for (QLabel* text : {box.Label1, box.Label2, box.Label7}) {
        hover(text);
        QTest::mouseClick(text, Qt::LeftButton);
    }
    QCOMPARE(linkColour(box), QColor(255, 0, 0));
    QVERIFY(box.isVisible());
}

void TestAbout::linkOpensTheSiteEachTime() {
    Browser browser;
    QDesktopServices::setUrlHandler(u"https"_s, &browser, "open");
    TForm5 box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Label4, Qt::LeftButton);
    QTest::mouseClick(box.Label4, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(u"https"_s);
    QCOMPARE(browser.opened, QList<QUrl>({QUrl(TForm5::WebAddress), QUrl(TForm5::WebAddress)}));
    QVERIFY(box.isVisible());
}

void TestAbout::pictureClickCloses() {
    TForm5 box;
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Image1, Qt::LeftButton, {}, QPoint(40, 40));
    QVERIFY(!box.isVisible());
}

void TestAbout::openedFromTheHelpMenu() {
    WorkFolder folder;
    folder.makeLibrary({});
    auto form = startMainWindow();
    QPoint where;
    const ModalStep look = [&](QWidget* dialog) {
        where = dialog->pos();
        if (auto* box = qobject_cast<TForm5*>(dialog))
            QTest::mouseClick(box->Image1, Qt::LeftButton);
    };
    QCOMPARE(runWithModals([&] { form->About->trigger(); }, {look}), 1);
    QCOMPARE(where, QPoint(316, 223));
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestAbout test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_about.moc"
