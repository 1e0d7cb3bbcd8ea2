// A photographed page, stored as the camera wrote it (on its side or
// mirrored, with an EXIF orientation), stands upright wherever the real
// windows turn it into pixels.

#include "application.h"
#include "fitrule.h"
#include "jpegpicture.h"
#include "jpegstream.h"
#include "mainwindow.h"
#include "picturecache.h"
#include "tform1.h"
#include "viewer.h"

#include <QClipboard>
#include <QTest>
#include <QTransform>

using namespace Qt::StringLiterals;

namespace {
// The picture area shows the page drawn when asked, or drawn ahead on the
// worker while the page before it was shown.
enum class Place { Area, AreaDrawnAhead, Viewer, Clipboard };

// A page none of whose turns or mirrors looks like another: red grows to the
// right, green downward, and blue marks the top-left quarter.
QImage page(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y,
                           qRgb(255 * x / size.width(), 255 * y / size.height(),
                                x < size.width() / 2 && y < size.height() / 2 ? 200 : 0));
    return image;
}

// `stored` with each pixel moved to where `turn` takes its centre.
QImage turned(const QImage& stored, const QTransform& turn) {
    const QRectF bounds = turn.mapRect(QRectF(stored.rect()));
    QImage upright(bounds.size().toSize(), QImage::Format_RGB32);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x) {
            const QPointF to = turn.map(QPointF(x + 0.5, y + 0.5)) - bounds.topLeft();
            upright.setPixel(int(to.x()), int(to.y()), stored.pixel(x, y));
        }
    return upright;
}

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}
} // namespace

Q_DECLARE_METATYPE(Place)

class TestOrientation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void photographedPageStandsUpright_data();
    void photographedPageStandsUpright();

private:
    std::unique_ptr<WorkFolder> m_folder;
};

void TestOrientation::photographedPageStandsUpright_data() {
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QTransform>("turn");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<Place>("place");
    // What each orientation asks of the stored pixels, as (x, y) goes to:
    const QList<QTransform> turns = {
        {1, 0, 0, 1, 0, 0},   // (x, y)
        {-1, 0, 0, 1, 0, 0},  // (-x, y): mirrored
        {-1, 0, 0, -1, 0, 0}, // (-x, -y): half a turn
        {1, 0, 0, -1, 0, 0},  // (x, -y): upside down, mirrored
        {0, 1, 1, 0, 0, 0},   // (y, x): transposed
        {0, 1, -1, 0, 0, 0},  // (-y, x): a quarter turn clockwise
        {0, -1, -1, 0, 0, 0}, // (-y, -x): transversed
        {0, -1, 1, 0, 0, 0},  // (y, -x): a quarter turn anticlockwise
    };
    const QList<std::pair<Place, const char*>> places = {
        {Place::Area, "area"},
        {Place::AreaDrawnAhead, "area, drawn ahead"},
        {Place::Viewer, "viewer"},
        {Place::Clipboard, "clipboard"}};
    for (const auto& [place, name] : places) {
        for (int orientation = 1; orientation <= 8; ++orientation)
            QTest::addRow("%s, %d", name, orientation)
                << orientation << turns[orientation - 1] << false << place;
        // A grey page stays grey (in the clipboard, 8 bits with its palette).
        for (int orientation : {5, 6})
            QTest::addRow("%s, grey, %d", name, orientation)
                << orientation << turns[orientation - 1] << true << place;
    }
}

void TestOrientation::photographedPageStandsUpright() {
    QFETCH(int, orientation);
    QFETCH(QTransform, turn);
    QFETCH(bool, grey);
    QFETCH(Place, place);
    // Larger than the picture area, so that the fit scales it down.
    const QByteArray plain = compress(page({640, 360}), {.grey = grey});
    const QByteArray photo =
        withApp1(plain, exifOrientation(orientation, orientation % 2 ? "MM" : "II"));
    const QImage expected = turned(rgb(JpegPicture::fromJpegData(plain).toImage()), turn);
    if (place == Place::AreaDrawnAhead)
        m_folder->makeLibrary({{u"first"_s, plain}, {u"photo"_s, photo}});
    else
        m_folder->makeLibrary({{u"photo"_s, photo}});
    auto form = startMainWindow();

    switch (place) {
    case Place::AreaDrawnAhead:
        finishWorkAhead(*form);
        QCOMPARE(form->pictureCache().size(), 2);
        QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
        QCOMPARE(form->pictureCache().size(), 2); // shown from what was drawn ahead
        [[fallthrough]];
    case Place::Area: {
        const QRect rect = form->Image1->pictureRect();
        QCOMPARE(rect, fitPicture(expected.size(), form->Image1->size()));
        const QImage drawn = rgb(form->Image1->grab(rect).toImage());
        QCOMPARE(pixelNotNearest(expected, drawn), QString());
        break;
    }
    case Place::Viewer: {
        QImage shown;
        QString hint;
        runWithModals([&] { QTest::mouseClick(form->Image1, Qt::LeftButton); },
                      {[&](QWidget* dialog) {
                          if (auto* viewer = qobject_cast<TForm4*>(dialog)) {
                              shown = viewer->Image1->grab().toImage();
                              hint = viewer->toolTip();
                          }
                          dialog->close();
                      }});
        QCOMPARE(hint,
                 u"图片大小：%1 X %2     单击关闭"_s.arg(expected.width()).arg(expected.height()));
        QCOMPARE(rgb(shown), expected);
        break;
    }
    case Place::Clipboard: {
        form->Copy2->trigger();
        const QImage copied = QApplication::clipboard()->image();
        QCOMPARE(copied.format() == QImage::Format_Indexed8, grey);
        QCOMPARE(rgb(copied), expected);
        break;
    }
    }
}

QTEST_MAIN(TestOrientation)
#include "tst_orientation.moc"
