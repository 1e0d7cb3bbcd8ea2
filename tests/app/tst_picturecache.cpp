// The drawn-page cache: the same pixels as a fresh drawing, never another
// picture's, and bounded; the pages drawn ahead on the worker likewise, and
// none kept from a round that was cleared or a cache that is gone.

#include "libraryfiles.h"
#include "picturecache.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {
// A picture whose pixels differ from any other made with another `seed`.
JpegPicture pattern(int width, int height, int seed) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * seed) % 256, (y * 3 + seed) % 256, (x ^ y) % 256));
    return JpegPicture::fromJpegData(JpegCodec::encode(image));
}
} // namespace

class TestPictureCache : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameAsAFreshDrawing();
    void neverAnotherPicturesPixels();
    void sizeIsPartOfTheKey();
    void staysWithinItsBudget();
    void pictureLargerThanTheBudgetIsStillGiven();

    void pagesDrawnAheadAreKept();
    void clearingDropsTheWorkUnderWay();
    void goneWithWorkUnderWay();
};

void TestPictureCache::sameAsAFreshDrawing() {
    PictureCache cache;
    const JpegPicture picture = pattern(640, 480, 7);
    for (const QSize area : {QSize(459, 355), QSize(100, 80), QSize(640, 480)}) {
        const QImage first = cache.fitted(picture, area);
        QCOMPARE(first, JpegCodec::decodeFitted(picture.jpegData(), area));
        // Found again from another copy of the same bytes.
        const JpegPicture again = JpegPicture::fromJpegData(QByteArray(picture.jpegData()));
        QCOMPARE(cache.fitted(again, area), first);
    }
    QCOMPARE(cache.size(), 3);
    // At the picture's own size, the drawing is the picture.
    QCOMPARE(cache.fitted(picture, {640, 480}), picture.toImage());
}

// Two pictures of one size, one scale, even one hash bucket: each gets its own pixels.
void TestPictureCache::neverAnotherPicturesPixels() {
    PictureCache cache;
    const JpegPicture a = pattern(320, 240, 3), b = pattern(320, 240, 5);
    const QImage fromA = cache.fitted(a, {100, 100});
    const QImage fromB = cache.fitted(b, {100, 100});
    QVERIFY(fromA != fromB);
    QCOMPARE(fromB, JpegCodec::decodeFitted(b.jpegData(), {100, 100}));
    QCOMPARE(cache.fitted(a, {100, 100}), fromA);
    // A bitmap waiting to be encoded is never taken from the cache.
    QImage bitmap(320, 240, QImage::Format_RGB32);
    bitmap.fill(Qt::cyan);
    QCOMPARE(cache.fitted(JpegPicture::fromBitmap(bitmap), {100, 100}),
             bitmap.scaled(100, 100, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    QCOMPARE(cache.size(), 2);
}

void TestPictureCache::sizeIsPartOfTheKey() {
    PictureCache cache;
    const JpegPicture picture = pattern(800, 800, 11);
    for (const QSize size : {QSize(100, 100), QSize(400, 400), QSize(90, 90), QSize(90, 91)})
        QCOMPARE(cache.fitted(picture, size).size(), size);
    QCOMPARE(cache.size(), 4);
}

void TestPictureCache::staysWithinItsBudget() {
    const JpegPicture probe = pattern(256, 256, 1);
    const qsizetype one = probe.jpegData().size() + probe.toImage().sizeInBytes();
    PictureCache cache(3 * one + one / 2);
    QList<JpegPicture> pictures;
    for (int seed = 1; seed <= 8; ++seed) {
        pictures << pattern(256, 256, seed);
        cache.fitted(pictures.last(), {256, 256});
    }
    QVERIFY2(cache.size() <= 4, qPrintable(QString::number(cache.size())));
    // The least recently used went first: the newest is still there.
    const qsizetype before = cache.size();
    cache.fitted(pictures.last(), {256, 256});
    QCOMPARE(cache.size(), before);
}

// Too large to keep, yet the page to show: the caller gets its pixels every
// time, and the cache goes on keeping the pictures that fit.
void TestPictureCache::pictureLargerThanTheBudgetIsStillGiven() {
    const JpegPicture small = pattern(64, 64, 2);
    const qsizetype one = small.jpegData().size() + small.toImage().sizeInBytes();
    PictureCache cache(2 * one);
    const JpegPicture large = pattern(640, 480, 9);
    for (int time = 0; time < 2; ++time)
        QCOMPARE(cache.fitted(large, {640, 480}), large.toImage());
    QCOMPARE(cache.fitted(small, {64, 64}), small.toImage());
    QCOMPARE(cache.fitted(JpegPicture::fromJpegData(QByteArray(small.jpegData())), {64, 64}),
             small.toImage());
    QCOMPARE(cache.size(), 1);
}

namespace {
// Several pages, each its own, with the size each is drawn at.
QList<std::pair<JpegPicture, QSize>> pages(int count, int seed) {
    QList<std::pair<JpegPicture, QSize>> result;
    for (int i = 0; i < count; ++i)
        result.append({pattern(480, 640, seed + i), QSize(150 + i, 200 + i)});
    return result;
}
} // namespace

// Several pages asked for at once are drawn one after another on the worker,
// each handed to the cache: showing one later takes it from there.
void TestPictureCache::pagesDrawnAheadAreKept() {
    PictureCache cache;
    const auto ahead = pages(4, 20);
    cache.drawAhead(ahead);
    cache.waitForWorkAhead();
    QCOMPARE(cache.size(), 4);
    for (const auto& [picture, size] : ahead)
        QCOMPARE(cache.fitted(picture, size), JpegCodec::decodeFitted(picture.jpegData(), size));
    QCOMPARE(cache.size(), 4);
    // Pages already kept are not drawn again; only the new one is added.
    cache.drawAhead(ahead + pages(1, 40));
    cache.waitForWorkAhead();
    QCOMPARE(cache.size(), 5);
}

// Pages of a library that was closed while they were being drawn never reach
// the cache, whether they were under way or still waiting.
void TestPictureCache::clearingDropsTheWorkUnderWay() {
    PictureCache cache;
    for (int round = 0; round < 5; ++round) {
        cache.drawAhead(pages(3, 10 * round));
        if (round % 2)
            QCoreApplication::processEvents();
        cache.clear();
    }
    cache.waitForWorkAhead();
    QCOMPARE(cache.size(), 0);
    // The next round is kept as usual.
    cache.drawAhead(pages(2, 60));
    cache.waitForWorkAhead();
    QCOMPARE(cache.size(), 2);
}

// A cache that goes while the worker draws waits for the page under way; what
// it would have handed back goes with it, and never reaches a cache made
// next, often where the last one was.
void TestPictureCache::goneWithWorkUnderWay() {
    for (int round = 0; round < 4; ++round) {
        auto cache = std::make_unique<PictureCache>();
        cache->drawAhead(pages(3, 70 + round));
        if (round % 2)
            QTest::qWait(1);
        cache.reset();
    }
    auto next = std::make_unique<PictureCache>();
    next->drawAhead(pages(1, 90));
    next->waitForWorkAhead();
    QCoreApplication::processEvents();
    QCOMPARE(next->size(), 1);
}

QTEST_GUILESS_MAIN(TestPictureCache)
#include "tst_picturecache.moc"
