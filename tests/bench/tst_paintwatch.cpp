// The benchmark's clock for what a user waits for: it stops only once the
// widget has been painted showing what was asked for, however many turns of
// the event loop that takes, and a paint that never comes fails.

#include "errors.h"
#include "paintwatch.h"

#include <QTest>
#include <QTimer>
#include <QWidget>

namespace {
// Remembers what it showed at its last paint.
class Canvas : public QWidget {
public:
    int state = 0;
    int paintedState = -1;

protected:
    void paintEvent(QPaintEvent*) override { paintedState = state; }
};

// Shows `canvas` and lets it paint, so that only later changes paint it again.
void showSettled(Canvas& canvas) {
    canvas.resize(40, 30);
    canvas.show();
    QVERIFY(QTest::qWaitForWindowExposed(&canvas));
    QTRY_VERIFY(canvas.paintedState == 0);
}

// `state` reached `after` ms from now, with the repaint that shows it.
void changeLater(Canvas& canvas, int after, int state) {
    QTimer::singleShot(after, &canvas, [&canvas, state] {
        canvas.state = state;
        canvas.update();
    });
}
} // namespace

class TestPaintWatch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void waitsForThePaintThatShowsIt();
    void aPaintThatNeverComesFails();
};

void TestPaintWatch::waitsForThePaintThatShowsIt() {
    Canvas canvas;
    showSettled(canvas);
    PaintWatch watch(&canvas, [&canvas] { return canvas.state == 2; });
    // A paint of something else first, then the one waited for, each on a
    // later turn of the event loop than the action.
    const double ms = watch.millisecondsUntilPainted([&] {
        changeLater(canvas, 10, 1);
        changeLater(canvas, 60, 2);
    });
    QCOMPARE(canvas.paintedState, 2);
    QVERIFY(ms > 0);
    // Painted at once by the action itself.
    watch.millisecondsUntilPainted([&] {
        canvas.state = 2;
        canvas.repaint();
    });
    QCOMPARE(canvas.paintedState, 2);
}

void TestPaintWatch::aPaintThatNeverComesFails() {
    Canvas canvas;
    showSettled(canvas);
    PaintWatch watch(&canvas, [&canvas] { return canvas.state == 2; });
    QVERIFY_THROWS_EXCEPTION(
        Error, watch.millisecondsUntilPainted([&] { changeLater(canvas, 10, 1); }, 300));
    QCOMPARE(canvas.paintedState, 1);
    // Nor does a paint from before the clock started count.
    changeLater(canvas, 0, 2);
    QTRY_COMPARE(canvas.paintedState, 2);
    QVERIFY_THROWS_EXCEPTION(Error, watch.millisecondsUntilPainted([] {}, 300));
}

QTEST_MAIN(TestPaintWatch)
#include "tst_paintwatch.moc"
