#include "fitrule.h"

#include <QTest>

class TestFitRule : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fits_data();
    void fits();
    void neverEnlargesAndStaysInside();
};

void TestFitRule::fits_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("area");
    QTest::addColumn<QRect>("expected");
    const QSize area(459, 355);
    QTest::newRow("smaller: own size, centred")
        << QSize(300, 200) << area << QRect(79, 77, 300, 200);
    QTest::newRow("landscape: full width") << QSize(1000, 500) << area << QRect(0, 63, 459, 229);
    QTest::newRow("portrait: full height") << QSize(800, 1200) << area << QRect(111, 0, 236, 355);
    QTest::newRow("exactly the area") << area << area << QRect(0, 0, 459, 355);
    QTest::newRow("one pixel wider is scaled") << QSize(460, 355) << area << QRect(0, 0, 459, 354);
    QTest::newRow("one pixel taller is scaled") << QSize(459, 356) << area << QRect(1, 0, 457, 355);
    QTest::newRow("wide but height decides") << QSize(600, 590) << area << QRect(49, 0, 361, 355);
    QTest::newRow("square") << QSize(1000, 1000) << area << QRect(52, 0, 355, 355);
    QTest::newRow("portrait but width decides")
        << QSize(1000, 1001) << QSize(300, 900) << QRect(0, 300, 300, 300);
    QTest::newRow("scan page") << QSize(2480, 3508) << area << QRect(104, 0, 250, 355);
    // Products that are whole numbers must not come out one short.
    QTest::newRow("exact thirds") << QSize(300, 100) << QSize(30, 30) << QRect(0, 10, 30, 10);
    QTest::newRow("exact tenths") << QSize(1000, 300) << QSize(10, 10) << QRect(0, 3, 10, 3);
    QTest::newRow("odd spare pixel rounds toward zero")
        << QSize(10, 10) << QSize(21, 21) << QRect(5, 5, 10, 10);
    QTest::newRow("no area") << QSize(800, 600) << QSize(0, 0) << QRect(0, 0, 0, 0);
    QTest::newRow("empty picture") << QSize(0, 0) << area << QRect(229, 177, 0, 0);
}

void TestFitRule::fits() {
    QFETCH(QSize, picture);
    QFETCH(QSize, area);
    QFETCH(QRect, expected);
    QCOMPARE(fitPicture(picture, area), expected);
}

// Over many sizes: the rectangle is inside the area, keeps a smaller picture's
// size, and fills at least one direction when it had to shrink.
void TestFitRule::neverEnlargesAndStaysInside() {
    const QSize area(459, 355);
    for (int w = 1; w < 1400; w += 37) {
        for (int h = 1; h < 1400; h += 41) {
            const QRect r = fitPicture({w, h}, area);
            QVERIFY(QRect(QPoint(0, 0), area).contains(r) || r.isEmpty());
            if (w <= area.width() && h <= area.height()) {
                QCOMPARE(r.size(), QSize(w, h));
            } else {
                QVERIFY(r.width() == area.width() || r.height() == area.height());
                QVERIFY(r.width() <= w && r.height() <= h);
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestFitRule)
#include "tst_fitrule.moc"
