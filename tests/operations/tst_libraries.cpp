// Opening another library and making a new one, through the real main window,
// its open dialog and the new-library dialog.

#include "application.h"
#include "jpegpicture.h"
#include "mainwindow.h"
#include "newlibrarydialog.h"
#include "tform1.h"

#include <QDir>
#include <QFileDialog>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220);

// A page of noise: it does not compress, so every run of its bytes is its own
// and cannot turn up in a library file by chance.
QByteArray noisyPicture(int width, int height, quint32 seed) {
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000u);
    JpegPicture picture = JpegPicture::fromBitmap(image);
    return picture.encode();
}

// Somewhere in the middle of several scores: everything on.
const QStringList AllControls = {u"上一张"_s,     u"下一张"_s, u"删除"_s,      u"DeleteFormDB"_s,
                                 u"SaveToFile"_s, u"Rename"_s, u"FiltByName"_s};
// On the first of several scores: everything but "上一张".
const QStringList FirstOfMany = {u"下一张"_s,     u"删除"_s,   u"DeleteFormDB"_s,
                                 u"SaveToFile"_s, u"Rename"_s, u"FiltByName"_s};

QString title(const QString& file) {
    return u"Vellaris    [ "_s + file + u" ]"_s;
}

// The new-library dialog as it opened: its box's text, then `next` acts on it.
ModalStep proposal(QString* seen, const ModalStep& next) {
    return [seen, next](QWidget* dialog) {
        if (auto* naming = qobject_cast<TForm7*>(dialog))
            *seen = naming->Edit1->text();
        next(dialog);
    };
}

// Notes whether the dialog on top is the new-library dialog, then cancels it.
ModalStep stillOpenThenCancel(bool* open) {
    return [open](QWidget* dialog) {
        *open = qobject_cast<TForm7*>(dialog) && dialog->isVisible();
        pressButton(u"取消"_s)(dialog);
    };
}
} // namespace

class TestLibraries : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    // Open library
    void cancelledOpenChangesNothing();
    void openLibraryWithScores();
    void openEmptyLibrary();
    void brokenLibraryLeavesWindowAsItWas_data();
    void brokenLibraryLeavesWindowAsItWas();
    void openDialogRemembersFileAndFilter();
    void openKeepsTheFind();

    // New library
    void newLibraryIsEmptyAndCompact();
    void newLibraryIsACopyOfTheDefault();
    void emptyNameMakesDotTbr();
    void existingLibraryIsNeverTouched();
    void missingDefaultLibraryMakesNothing();
    void newLibraryDuringFindListsAll();
    void cancelAndCloseBoxMakeNothing();
    void enterAndEscapeMakeNothing();

private:
    QString otherLibrary(const QString& name, const QList<Record>& records) const {
        const QString path = m_folder->path(name);
        TestFiles::makeLibrary(path, records);
        return path;
    }
    // Opens `path` through the open dialog; a box it shows goes to `boxes`.
    int open(TForm1& form, const QString& path, QList<SeenBox>* boxes = nullptr) const {
        QList<ModalStep> steps{chooseFile(path)};
        if (boxes)
            steps << recordBox(boxes);
        return runWithModals([&] { form.OpenPicDataFile->trigger(); }, steps);
    }
    QStringList filesInFolder() const {
        return QDir::current().entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    void find(TForm1& form, const QString& word) const {
        runWithModals([&] { form.FiltByName2->trigger(); }, {typeAndPress(word, u"确定"_s)});
    }

    std::unique_ptr<WorkFolder> m_folder;
};

// ---- Open library ----------------------------------------------------------------------

void TestLibraries::cancelledOpenChangesNothing() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    const QString titleBefore = form->windowTitle();
    const QStringList controlsBefore = enabledControls(*form);

    QCOMPARE(runWithModals([&] { form->OpenDataFile2->trigger(); }, {pressButton(u"取消"_s)}), 1);
    QCOMPARE(form->windowTitle(), titleBefore);
    QCOMPARE(form->ADOConnection1.Database(), m_folder->library());
    QVERIFY(form->ADOQuery1.Active());
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s}));
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QVERIFY(nearColour(shownColor(*form), Green));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(enabledControls(*form), controlsBefore);
}

// From an empty library, so that every control the open turns on was off before.
void TestLibraries::openLibraryWithScores() {
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    const QByteArray first = TestFiles::jpeg(300, 200, Blue);
    const QString path =
        otherLibrary(u"歌曲.tbr"_s, {{u"天空之城"_s, first},
                                     {u"稻香"_s, TestFiles::jpeg(60, 40, Red)},
                                     {u"七里香"_s, TestFiles::jpeg(60, 40, Green)}});

    QCOMPARE(open(*form, path), 1);
    QCOMPARE(form->windowTitle(), title(path));
    QCOMPARE(form->ADOConnection1.Database(), path);
    QCOMPARE(listedNames(*form), QStringList({u"天空之城"_s, u"稻香"_s, u"七里香"_s}));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(form->DBText1->text(), u"天空之城"_s);
    QCOMPARE(form->Image1->picture().jpegData(), first);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(enabledControls(*form), FirstOfMany);
    QCOMPARE(form->Values.PictureCount, 3);
    QCOMPARE(form->Label3->text(), u"3   张"_s);

    // The library is usable: stepping on shows the next score.
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(form->DBText1->text(), u"稻香"_s);
    QVERIFY(nearColour(shownColor(*form), Red));
}

// From a library with scores, so that every control the open turns off was on.
void TestLibraries::openEmptyLibrary() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(enabledControls(*form), AllControls);
    const QString path = otherLibrary(u"empty.tbr"_s, {});

    QCOMPARE(open(*form, path), 1);
    QCOMPARE(form->windowTitle(), title(path));
    QVERIFY(!form->Image1->hasPicture());
    QCOMPARE(enabledControls(*form), QStringList());
    QCOMPARE(form->Values.PictureCount, 0);
    QCOMPARE(form->Label3->text(), u"0   张"_s);
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
    QCOMPARE(form->DBText1->text(), QString());
    QCOMPARE(TestFiles::readLibrary(path).size(), 0);
}

void TestLibraries::brokenLibraryLeavesWindowAsItWas_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("bytes"); // null: no file, or the database of `schema`
    QTest::addColumn<QString>("schema");
    QTest::addColumn<QString>("report");
    QTest::newRow("typed name of a missing file")
        << u"gone.tbr"_s << QByteArray() << QString() << u"unable to open database file."_s;
    QTest::newRow("text file") << u"notes.tbr"_s << QByteArray("these are not scores\n")
                               << QString() << u"file is not a database."_s;
    QTest::newRow("database without pictures")
        << u"other.tbr"_s << QByteArray() << u"create table scores (filename TEXT, picture BLOB)"_s
        << u"no such table: pictures."_s;
    QTest::newRow("pictures without names")
        << u"nameless.tbr"_s << QByteArray() << u"create table pictures (picture BLOB)"_s
        << u"ADOQuery1: Field 'filename' not found."_s;
    QTest::newRow("names without pictures")
        << u"blind.tbr"_s << QByteArray() << u"create table pictures (filename TEXT)"_s
        << u"ADOQuery1: Field 'picture' not found."_s;
}

void TestLibraries::brokenLibraryLeavesWindowAsItWas() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, schema);
    QFETCH(QString, report);
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    const QString titleBefore = form->windowTitle();
    const QStringList controlsBefore = enabledControls(*form);
    const QString path = m_folder->path(fileName);
    if (!schema.isEmpty()) {
        TestFiles::makeLibrary(path, {}, schema);
        TestFiles::execute(path,
                           u"insert into %1 default values"_s.arg(schema.section(u' ', 2, 2)));
    } else if (!bytes.isNull()) {
        TestFiles::writeFile(path, bytes);
    }
    const bool existed = QFile::exists(path);
    const QByteArray fileBefore = existed ? TestFiles::readFile(path) : QByteArray();

    QList<SeenBox> boxes;
    QCOMPARE(open(*form, path, &boxes), 2);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].text, report);
    // The list is gone with the closed record set; the rest shows what it showed.
    QVERIFY(!form->ADOQuery1.Active());
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
    QCOMPARE(form->DBText1->text(), QString());
    QCOMPARE(form->windowTitle(), titleBefore);
    QVERIFY(nearColour(shownColor(*form), Green));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(form->Values.PictureCount, 2);
    QCOMPARE(enabledControls(*form), controlsBefore);
    // Stepping and deleting report the closed set; the refused file is not touched.
    QCOMPARE(collectMessageBoxes([&] {
                 QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
                 QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);
             }).size(),
             2);
    QCOMPARE(QFile::exists(path), existed);
    if (existed)
        QCOMPARE(TestFiles::readFile(path), fileBefore);

    // The program goes on: the next open of a good library works.
    const QString good = otherLibrary(u"good.tbr"_s, {{u"b"_s, TestFiles::jpeg(60, 40, Blue)},
                                                      {u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    QCOMPARE(open(*form, good), 1);
    QVERIFY(form->ADOQuery1.Active());
    QCOMPARE(form->windowTitle(), title(good));
    QCOMPARE(listedNames(*form), QStringList({u"b"_s, u"r"_s}));
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(enabledControls(*form), FirstOfMany);
}

void TestLibraries::openDialogRemembersFileAndFilter() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QString path = otherLibrary(u"second.tbr"_s, {{u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    QStringList filters;
    QString remembered;
    const ModalStep look = [&](QWidget* dialog) {
        auto* files = qobject_cast<QFileDialog*>(dialog);
        if (files) {
            filters = files->nameFilters();
            remembered = files->selectedFiles().value(0);
        }
        pressButton(u"取消"_s)(dialog);
    };
    QCOMPARE(open(*form, path), 1);
    runWithModals([&] { form->OpenPicDataFile->trigger(); }, {look});
    QCOMPARE(filters, QStringList(u"Tamblor 文件(*.tbr)"_s));
    QCOMPARE(remembered, path);
    // Looking and cancelling left the opened library as it was.
    QCOMPARE(form->windowTitle(), title(path));
    QCOMPARE(form->DBText1->text(), u"g"_s);
}

void TestLibraries::openKeepsTheFind() {
    m_folder->makeLibrary({{u"晴天"_s, TestFiles::jpeg(60, 40, Red)},
                           {u"雨天"_s, TestFiles::jpeg(60, 40, Green)},
                           {u"夜曲"_s, TestFiles::jpeg(60, 40, Blue)}});
    auto form = startMainWindow();
    find(*form, u"天"_s);
    QCOMPARE(listedNames(*form), QStringList({u"晴天"_s, u"雨天"_s}));
    const QString path =
        otherLibrary(u"other.tbr"_s, {{u"稻香"_s, TestFiles::jpeg(60, 40, Red)},
                                      {u"天空之城"_s, TestFiles::jpeg(60, 40, Blue)},
                                      {u"七里香"_s, TestFiles::jpeg(60, 40, Red)},
                                      {u"天黑黑"_s, TestFiles::jpeg(60, 40, Green)}});

    QCOMPARE(open(*form, path), 1);
    QCOMPARE(listedNames(*form), QStringList({u"天空之城"_s, u"天黑黑"_s}));
    QCOMPARE(form->DBText1->text(), u"天空之城"_s);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QCOMPARE(form->Values.PictureCount, 2);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(TestFiles::readLibrary(path).size(), 4);
}

// ---- New library -----------------------------------------------------------------------

void TestLibraries::newLibraryIsEmptyAndCompact() {
    QList<QByteArray> pictures;
    QList<Record> records;
    for (int i = 0; i < 4; ++i) {
        pictures << noisyPicture(240, 180, quint32(i + 1));
        records << Record{u"第%1首"_s.arg(i + 1), pictures.last()};
    }
    m_folder->makeLibrary(records);
    auto form = startMainWindow();
    const QByteArray templateBefore = TestFiles::readFile(m_folder->library());
    QCOMPARE(enabledControls(*form), FirstOfMany);

    QString proposed;
    QCOMPARE(runWithModals([&] { form->NewDataFile2->trigger(); },
                           {proposal(&proposed, typeAndPress(u"新库"_s, u"确定"_s))}),
             1);
    QCOMPARE(proposed, u"新建图片数据库文件"_s);

    const QString file = QDir::currentPath() + u"/新库.tbr"_s;
    QVERIFY(QFile::exists(file));
    QCOMPARE(TestFiles::readLibrary(file).size(), 0);
    // Emptied and compacted: none of the template's pictures is left in the file.
    const QByteArray made = TestFiles::readFile(file);
    QVERIFY2(made.size() <= 4 * 4096, qPrintable(QString::number(made.size())));
    for (const QByteArray& picture : pictures) {
        const QByteArray run = picture.mid(picture.size() / 2 - 32, 64);
        QVERIFY(templateBefore.contains(run));
        QVERIFY(!made.contains(run));
    }
    QCOMPARE(TestFiles::readFile(m_folder->library()), templateBefore);

    QCOMPARE(form->windowTitle(), title(file));
    QCOMPARE(form->ADOConnection1.Database(), file);
    QVERIFY(!form->Image1->hasPicture());
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
    QCOMPARE(form->Values.PictureCount, 0);
    QCOMPARE(form->Label3->text(), u"0   张"_s);
    // "删除" keeps its state; on the empty library it says there is nothing to delete.
    QCOMPARE(enabledControls(*form), QStringList(u"删除"_s));
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->SpeedButton3, Qt::LeftButton); },
                           {expectBox(u"当前没有可删除的图片"_s)}),
             1);
    QCOMPARE(TestFiles::readFile(m_folder->library()), templateBefore);
}

// The new library has the default library's table as it is, columns of its own included.
void TestLibraries::newLibraryIsACopyOfTheDefault() {
    TestFiles::makeLibrary(m_folder->library(), {},
                           u"create table pictures (filename TEXT, picture BLOB, composer TEXT)"_s);
    TestFiles::execute(m_folder->library(),
                       u"insert into pictures (filename, composer) values ('a', '周杰伦')"_s);
    auto form = startMainWindow();
    runWithModals([&] { form->NewPicFile->trigger(); }, {typeAndPress(u"copy"_s, u"确定"_s)});
    const QString file = m_folder->path(u"copy.tbr"_s);
    QVERIFY_THROWS_NO_EXCEPTION(TestFiles::execute(file, u"select composer from pictures"_s));
    QCOMPARE(TestFiles::readLibrary(file).size(), 0);
}

// From an empty default library, so "删除" is off before and stays off.
void TestLibraries::emptyNameMakesDotTbr() {
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    QCOMPARE(
        runWithModals([&] { form->NewPicFile->trigger(); }, {typeAndPress(QString(), u"确定"_s)}),
        1);
    const QString file = QDir::currentPath() + u"/.tbr"_s;
    QVERIFY(QFile::exists(file));
    QCOMPARE(TestFiles::readLibrary(file).size(), 0);
    QCOMPARE(form->windowTitle(), title(file));
    QVERIFY(form->windowTitle().endsWith(u"/.tbr ]"_s));
    QCOMPARE(enabledControls(*form), QStringList());
    QCOMPARE(form->Label3->text(), u"0   张"_s);
}

void TestLibraries::existingLibraryIsNeverTouched() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    const QString existing = otherLibrary(u"旧库.tbr"_s, {{u"保留"_s, TestFiles::jpeg(60, 40)}});
    const QByteArray existingBefore = TestFiles::readFile(existing);
    const QByteArray templateBefore = TestFiles::readFile(m_folder->library());
    const QString titleBefore = form->windowTitle();
    const QStringList filesBefore = filesInFolder();

    QList<SeenBox> boxes;
    bool dialogStayed = false;
    QCOMPARE(runWithModals([&] { form->NewPicFile->trigger(); },
                           {typeAndPress(u"旧库"_s, u"确定"_s), recordBox(&boxes),
                            stillOpenThenCancel(&dialogStayed)}),
             3);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text,
             u"曲谱库文件“"_s + QDir::currentPath() + u"/旧库.tbr”已经存在，请输入别的名字"_s);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].buttons, QStringList(u"OK"_s));
    QVERIFY(dialogStayed);

    QCOMPARE(TestFiles::readFile(existing), existingBefore);
    QCOMPARE(TestFiles::readFile(m_folder->library()), templateBefore);
    QCOMPARE(filesInFolder(), filesBefore);
    QCOMPARE(form->windowTitle(), titleBefore);
    QCOMPARE(form->ADOConnection1.Database(), m_folder->library());
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s}));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
}

// The default library went away after start-up: the engine's error, no file.
void TestLibraries::missingDefaultLibraryMakesNothing() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    const QString titleBefore = form->windowTitle();
    const QStringList controlsBefore = enabledControls(*form);
    QVERIFY(QFile::remove(m_folder->library()));

    QList<SeenBox> boxes;
    bool dialogStayed = false;
    QCOMPARE(runWithModals([&] { form->NewPicFile->trigger(); },
                           {typeAndPress(u"新库"_s, u"确定"_s), recordBox(&boxes),
                            stillOpenThenCancel(&dialogStayed)}),
             3);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes[0].text, u"unable to open database file."_s);
    QVERIFY(dialogStayed);
    QCOMPARE(filesInFolder(), QStringList());
    // As after a failed open: the list is gone, the rest shows what it showed.
    QVERIFY(!form->ADOQuery1.Active());
    QCOMPARE(form->DBGrid1->model()->rowCount(), 0);
    QCOMPARE(form->windowTitle(), titleBefore);
    QVERIFY(nearColour(shownColor(*form), Red));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(enabledControls(*form), controlsBefore);
}

// The records the find leaves out of the list are not left behind in the new file.
void TestLibraries::newLibraryDuringFindListsAll() {
    m_folder->makeLibrary({{u"晴天"_s, noisyPicture(64, 48, 7)},
                           {u"雨天"_s, noisyPicture(64, 48, 8)},
                           {u"夜曲"_s, noisyPicture(64, 48, 9)}});
    auto form = startMainWindow();
    const QByteArray templateBefore = TestFiles::readFile(m_folder->library());
    find(*form, u"晴"_s);
    QCOMPARE(listedNames(*form), QStringList(u"晴天"_s));

    runWithModals([&] { form->NewPicFile->trigger(); }, {typeAndPress(u"新库"_s, u"确定"_s)});
    const QString file = m_folder->path(u"新库.tbr"_s);
    QCOMPARE(TestFiles::readLibrary(file).size(), 0);
    QCOMPARE(TestFiles::readFile(m_folder->library()), templateBefore);
    QCOMPARE(form->ADOQuery1.SQL(), u"select * from pictures"_s);
    QCOMPARE(form->ADOQuery1.Parameters(), QStringList());
    QVERIFY(form->ADOQuery1.Active());
    QCOMPARE(form->ADOQuery1.RecordCount(), 0);
    QCOMPARE(form->Label3->text(), u"0   张"_s);

    // The list covers the whole new library: a score stored there by someone else shows.
    TestFiles::execute(file, u"insert into pictures (filename) values ('夜曲 2')"_s);
    runWithModals([&] { form->OpenPicDataFile->trigger(); }, {chooseFile(file)});
    QCOMPARE(listedNames(*form), QStringList(u"夜曲 2"_s));
}

void TestLibraries::cancelAndCloseBoxMakeNothing() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QString titleBefore = form->windowTitle();
    const QStringList filesBefore = filesInFolder();
    const ModalStep closeBox = [](QWidget* dialog) { dialog->close(); };
    QString first, second;
    QCOMPARE(runWithModals([&] { form->NewPicFile->trigger(); },
                           {proposal(&first, typeAndPress(u"不要"_s, u"取消"_s))}),
             1);
    QCOMPARE(
        runWithModals([&] { form->NewDataFile2->trigger(); },
                      {proposal(&second,
                                [&](QWidget* dialog) {
                                    dialog->findChild<QLineEdit*>(u"Edit1"_s)->setText(u"也不要"_s);
                                    closeBox(dialog);
                                })}),
        1);
    // Each showing starts afresh.
    QCOMPARE(first, u"新建图片数据库文件"_s);
    QCOMPARE(second, u"新建图片数据库文件"_s);
    QCOMPARE(filesInFolder(), filesBefore);
    QCOMPARE(form->windowTitle(), titleBefore);
    QCOMPARE(form->ADOConnection1.Database(), m_folder->library());
    QCOMPARE(listedNames(*form), QStringList(u"r"_s));
    QVERIFY(nearColour(shownColor(*form), Red));
}

void TestLibraries::enterAndEscapeMakeNothing() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QStringList filesBefore = filesInFolder();
    QStringList afterKeys; // the dialog's visibility after each key
    const ModalStep keys = pressEnterAndEscape(u"键盘"_s, &afterKeys);
    QCOMPARE(runWithModals([&] { form->NewPicFile->trigger(); }, {keys}), 1);
    QCOMPARE(afterKeys, QStringList({u"open"_s, u"open"_s, u"open"_s}));
    QCOMPARE(filesInFolder(), filesBefore);
    QCOMPARE(form->ADOConnection1.Database(), m_folder->library());
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestLibraries test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_libraries.moc"
