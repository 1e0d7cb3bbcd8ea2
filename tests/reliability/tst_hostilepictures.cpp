// Pictures that claim too much or hold garbage: refused with a clear message
// before any large allocation wherever a picture is turned into pixels (the
// display, the viewer, the clipboard, the import), and never a crash.

#include "application.h"
#include "commands.h"
#include "errors.h"
#include "mainwindow.h"
#include "tform1.h"

#include <QTest>

#include <random>

using namespace Qt::StringLiterals;

namespace {
// A valid stream whose frame header claims `width` x `height`.
QByteArray claiming(int width, int height) {
    return TestFiles::withDeclaredSize(TestFiles::jpeg(64, 64), width, height);
}

const QString TooLarge = u"图片太大，无法显示：65000 × 65000 像素."_s;
} // namespace

class TestHostilePictures : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void hugePictureIsRefusedEverywhere();
    void hugeFileIsRefusedOnImport();
    void damagedPicturesNeverCrash();

private:
    std::unique_ptr<WorkFolder> m_folder;
};

void TestHostilePictures::hugePictureIsRefusedEverywhere() {
    m_folder->makeLibrary(
        {{u"ok"_s, TestFiles::jpeg(60, 40)}, {u"huge"_s, claiming(65000, 65000)}});
    auto form = startMainWindow();
    // Shown: the step reports it, and the area shows no other score's page
    // under its name.
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->SpeedButton2, Qt::LeftButton); },
                           {expectBox(TooLarge)}),
             1);
    QCOMPARE(form->DBText1->text(), u"huge"_s);
    QVERIFY(!form->Image1->hasPicture());
    // The viewer and the clipboard refuse it the same way.
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->Image1, Qt::LeftButton); },
                           {expectBox(TooLarge)}),
             1);
    QCOMPARE(runWithModals([&] { form->Copy2->trigger(); }, {expectBox(TooLarge)}), 1);
    // Its bytes are still the library's to export.
    const QString target = m_folder->path(u"huge.jpg"_s);
    Commands::exportCurrentScore(*form, target);
    QCOMPARE(TestFiles::readFile(target), claiming(65000, 65000));
}

void TestHostilePictures::hugeFileIsRefusedOnImport() {
    m_folder->makeLibrary({{u"ok"_s, TestFiles::jpeg(60, 40)}});
    auto form = startMainWindow();
    const QString file = m_folder->path(u"huge.jpg"_s);
    TestFiles::writeFile(file, claiming(65000, 65000));
    QCOMPARE(runWithModals([&] { form->LoadFormFile->trigger(); },
                           {chooseFile(file), expectBox(TooLarge)}),
             2);
    QCOMPARE(TestFiles::readLibrary(m_folder->library()).size(), 1);
    QVERIFY(!form->Values.NameConfirmed);
}

// Bytes flipped in a real page: every one decodes or fails with a JPEG error.
void TestHostilePictures::damagedPicturesNeverCrash() {
    QImage page(400, 560, QImage::Format_RGB32);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.setPixel(x, y, (x / 8 + y / 8) % 2 ? qRgb(250, 248, 240) : qRgb(20, 20, 20));
    const QByteArray sound = JpegCodec::encode(page);
    std::mt19937 random(11);
    int decoded = 0, refused = 0;
    for (int copy = 0; copy < 500; ++copy) {
        QByteArray damaged = sound;
        for (int i = std::uniform_int_distribution<int>(1, 8)(random); i > 0; --i) {
            const auto at = std::uniform_int_distribution<qsizetype>(0, damaged.size() - 1)(random);
            damaged[at] = char(std::uniform_int_distribution<int>(0, 255)(random));
        }
        if (copy % 5 == 0)
            damaged.truncate(std::uniform_int_distribution<qsizetype>(0, damaged.size())(random));
        try {
            const JpegPicture picture = JpegPicture::fromJpegData(damaged);
            picture.toImage(QSize(200, 200));
            picture.toImage();
            ++decoded;
        } catch (const JpegError&) {
            ++refused;
        } catch (const PictureTooLargeError&) {
            ++refused;
        }
    }
    qInfo("500 damaged pictures: %d decoded, %d refused", decoded, refused);
    QCOMPARE(decoded + refused, 500);
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestHostilePictures test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hostilepictures.moc"
