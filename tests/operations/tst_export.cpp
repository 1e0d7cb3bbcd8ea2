// Exporting the current score through the real main window and its save dialog.

#include "application.h"
#include "mainwindow.h"
#include "tform1.h"

#include <QDir>
#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220);

const QString AllFilter = u"All (*.jpg *.jpeg)"_s;
const QString JpgFilter = u"JPEG Image File (*.jpg)"_s;
const QString JpegFilter = u"JPEG Image File (*.jpeg)"_s;

// What a save dialog showed when it came up.
struct SeenDialog {
    bool seen = false;
    QString name;     // the name box
    QString selected; // the file that box stands for
    QString nameFilter;
    QStringList nameFilters;
    bool saving = false;
};

// Notes what the save dialog shows, then `next` acts on it.
ModalStep look(SeenDialog* seen, const ModalStep& next) {
    return [seen, next](QWidget* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
            seen->seen = true;
            if (auto* name = files->findChild<QLineEdit*>(u"fileNameEdit"_s))
                seen->name = name->text();
            seen->selected = files->selectedFiles().value(0);
            seen->nameFilter = files->selectedNameFilter();
            seen->nameFilters = files->nameFilters();
            seen->saving = files->acceptMode() == QFileDialog::AcceptSave;
        }
        next(dialog);
    };
}

// Picks a filter entry as the user would, then `next` acts on the dialog.
ModalStep pickFilter(const QString& filter, const ModalStep& next) {
    return [filter, next](QWidget* dialog) {
        if (auto* files = qobject_cast<QFileDialog*>(dialog))
            files->selectNameFilter(filter);
        next(dialog);
    };
}

// The file dialogs are Qt's own, in Chinese.
const ModalStep cancel = pressButton(u"取消"_s);

// Every file and folder below `folder`, by relative path.
QStringList entriesOf(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        entries << QDir(folder).relativeFilePath(it.next());
    entries.sort();
    return entries;
}
} // namespace

class TestExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void writesTheStoredJpegData_data();
    void writesTheStoredJpegData();
    void leavesLibraryAndWindowAsTheyWere();
    void typedNameDecidesTheFile_data();
    void typedNameDecidesTheFile();
    void jpgIsAddedOnEveryExport();
    void dialogOpensEmptyWithAllSelected();
    void confirmedFilterStaysNameIsForgotten();
    void cancelWritesNothing();
    void failedNameComesBackUntilAnExportSucceeds();
    void noCurrentPicture_data();
    void noCurrentPicture();
    void fileThatCannotBeCreated_data();
    void fileThatCannotBeCreated();
    void replacingALongerFileLeavesNoTail();

private:
    QStringList entries() const { return entriesOf(m_folder->path(u"."_s)); }
    std::unique_ptr<WorkFolder> m_folder;
};

void TestExport::writesTheStoredJpegData_data() {
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("written");
    // Bytes after the end marker were part of the imported file and go with it.
    const QByteArray trailing = TestFiles::jpeg(120, 80, Blue) + "bytes after the end marker";
    QTest::newRow("JPEG file with trailing bytes") << trailing << trailing;
    const QByteArray jpeg = TestFiles::jpeg(90, 60, Green);
    QTest::newRow("older header") << TestFiles::withOldHeader(jpeg) << jpeg;
}

void TestExport::writesTheStoredJpegData() {
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, written);
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"score"_s, value}});
    auto form = startMainWindow();
    // The second score is exported, not the first one.
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    const QString path = m_folder->path(u"score.jpg"_s);
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(path)}), 1);
    QCOMPARE(TestFiles::readFile(path), written);
}

// Exporting in the middle of a pending edit, as a cancelled import leaves it.
void TestExport::leavesLibraryAndWindowAsTheyWere() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)},
                           {u"g"_s, TestFiles::jpeg(60, 40, Green)},
                           {u"b"_s, TestFiles::jpeg(60, 40, Blue)}});
    auto form = startMainWindow();
    clickRow(*form, 1);
    form->ADOQuery1.Edit();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    const QList<bool> enabled = {form->SpeedButton1->isEnabled(), form->SpeedButton2->isEnabled(),
                                 form->SpeedButton3->isEnabled(), form->SaveToFile->isEnabled()};

    const QString path = m_folder->path(u"g.jpg"_s);
    QCOMPARE(runWithModals([&] { form->SaveToFile->trigger(); }, {chooseFile(path)}), 1);
    QCOMPARE(TestFiles::readFile(path), TestFiles::jpeg(60, 40, Green));

    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Edit);
    QCOMPARE(form->ADOQuery1.RecNo(), 1);
    QCOMPARE(form->DBGrid1->currentIndex().row(), 1);
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QCOMPARE(form->Label3->text(), u"3   张"_s);
    QCOMPARE(form->Values.PictureCount, 3);
    QCOMPARE(QList<bool>({form->SpeedButton1->isEnabled(), form->SpeedButton2->isEnabled(),
                          form->SpeedButton3->isEnabled(), form->SaveToFile->isEnabled()}),
             enabled);
    QVERIFY(nearColour(shownColor(*form), Green));
}

void TestExport::typedNameDecidesTheFile_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << u"abc"_s << u"abc.jpg"_s;
    QTest::newRow("no extension, Chinese") << u"曲谱"_s << u"曲谱.jpg"_s;
    QTest::newRow("jpeg") << u"page.jpeg"_s << u"page.jpeg"_s;
    // The data is JPEG whatever the name says.
    QTest::newRow("bmp") << u"page.bmp"_s << u"page.bmp"_s;
    QTest::newRow("txt") << u"notes.txt"_s << u"notes.txt"_s;
}

void TestExport::typedNameDecidesTheFile() {
    QFETCH(QString, typed);
    QFETCH(QString, written);
    const QByteArray jpeg = TestFiles::jpeg(80, 60, Blue);
    m_folder->makeLibrary({{u"b"_s, jpeg}});
    auto form = startMainWindow();
    QCOMPARE(
        runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(m_folder->path(typed))}), 1);
    QStringList expected({written, u"pictures.tbr"_s});
    expected.sort();
    QCOMPARE(entries(), expected);
    QCOMPARE(TestFiles::readFile(m_folder->path(written)), jpeg);
}

// The ".jpg" default lasts the whole run, not only until the first export.
void TestExport::jpgIsAddedOnEveryExport() {
    m_folder->makeLibrary(
        {{u"r"_s, TestFiles::jpeg(60, 40, Red)}, {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(m_folder->path(u"first"_s))});
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    runWithModals([&] { form->SaveToFile->trigger(); }, {chooseFile(m_folder->path(u"second"_s))});
    QCOMPARE(entries(), QStringList({u"first.jpg"_s, u"pictures.tbr"_s, u"second.jpg"_s}));
    QCOMPARE(TestFiles::readFile(m_folder->path(u"first.jpg"_s)), TestFiles::jpeg(60, 40, Red));
    QCOMPARE(TestFiles::readFile(m_folder->path(u"second.jpg"_s)), TestFiles::jpeg(60, 40, Green));
}

void TestExport::dialogOpensEmptyWithAllSelected() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    SeenDialog first;
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {look(&first, cancel)}), 1);
    QVERIFY(first.seen);
    QVERIFY(first.saving);
    QCOMPARE(first.name, QString());
    QCOMPARE(first.nameFilters, QStringList({AllFilter, JpgFilter, JpegFilter}));
    QCOMPARE(first.nameFilter, AllFilter);
}

void TestExport::confirmedFilterStaysNameIsForgotten() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const auto exportWith = [&](const ModalStep& step) {
        return runWithModals([&] { form->SaveFile2->trigger(); }, {step});
    };
    // The chosen entry does not decide the extension: the dialog's ".jpg" does.
    exportWith(pickFilter(JpegFilter, chooseFile(m_folder->path(u"abc"_s))));
    QCOMPARE(entries(), QStringList({u"abc.jpg"_s, u"pictures.tbr"_s}));

    SeenDialog second, third;
    exportWith(look(&second, pickFilter(JpgFilter, cancel)));
    exportWith(look(&third, cancel));
    QVERIFY(second.seen && third.seen);
    QCOMPARE(second.name, QString());
    QCOMPARE(second.nameFilter, JpegFilter);
    // An entry picked in a cancelled dialog is not kept.
    QCOMPARE(third.nameFilter, JpegFilter);
    QCOMPARE(third.name, QString());
}

void TestExport::cancelWritesNothing() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    const ModalStep typeThenCancel = [this](QWidget* dialog) {
        if (auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s))
            name->setText(m_folder->path(u"typed.jpg"_s));
        cancel(dialog);
    };
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {typeThenCancel}), 1);
    QCOMPARE(entries(), QStringList({u"pictures.tbr"_s}));
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    // What was typed in a cancelled dialog is not remembered.
    SeenDialog next;
    runWithModals([&] { form->SaveFile2->trigger(); }, {look(&next, cancel)});
    QCOMPARE(next.name, QString());
}

// The name of a failed export is offered again, also after a cancel, until an
// export succeeds.
void TestExport::failedNameComesBackUntilAnExportSucceeds() {
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QString lost = m_folder->path(u"missing/lost.jpg"_s);
    QList<SeenBox> reports;
    QCOMPARE(
        runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(lost), recordBox(&reports)}),
        2);
    QCOMPARE(reports.size(), 1);

    SeenDialog afterFailure, afterCancel, afterSuccess;
    runWithModals([&] { form->SaveFile2->trigger(); }, {look(&afterFailure, cancel)});
    const QString good = m_folder->path(u"good.jpg"_s);
    runWithModals([&] { form->SaveFile2->trigger(); }, {look(&afterCancel, chooseFile(good))});
    runWithModals([&] { form->SaveFile2->trigger(); }, {look(&afterSuccess, cancel)});
    QVERIFY(afterFailure.seen && afterCancel.seen && afterSuccess.seen);
    // The box may show the name relative to the folder the dialog opens in.
    QVERIFY(afterFailure.name.endsWith(u"lost.jpg"_s));
    QCOMPARE(afterFailure.selected, lost);
    QVERIFY(afterCancel.name.endsWith(u"lost.jpg"_s));
    QCOMPARE(afterCancel.selected, lost);
    QCOMPARE(afterSuccess.name, QString());
    QCOMPARE(entries(), QStringList({u"good.jpg"_s, u"pictures.tbr"_s}));
}

void TestExport::noCurrentPicture_data() {
    QTest::addColumn<bool>("pendingRecord");
    QTest::newRow("empty library") << false;
    // What a cancelled import leaves on an empty library.
    QTest::newRow("blank pending record") << true;
}

void TestExport::noCurrentPicture() {
    QFETCH(bool, pendingRecord);
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    if (pendingRecord)
        form->ADOQuery1.Edit();
    const DataSetState state = form->ADOQuery1.State();
    QList<SeenBox> boxes;
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {recordBox(&boxes)}), 1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, u"当前没有可保存的图片"_s);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes[0].buttons, QStringList({u"OK"_s}));
    QCOMPARE(entries(), QStringList({u"pictures.tbr"_s}));
    QCOMPARE(form->ADOQuery1.State(), state);
}

void TestExport::fileThatCannotBeCreated_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("folderOfThatName");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing folder")
        << u"missing/page.jpg"_s << false << u"No such file or directory"_s;
    QTest::newRow("folder of that name") << u"page.jpg"_s << true << u"Is a directory"_s;
}

void TestExport::fileThatCannotBeCreated() {
    QFETCH(QString, name);
    QFETCH(bool, folderOfThatName);
    QFETCH(QString, reason);
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)}});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    const QString path = m_folder->path(name);
    QStringList expectedEntries = entries();
    // Qt's dialog opens a folder whose name is typed, so the folder appears
    // once the name is chosen, as if another program made it meanwhile.
    const ModalStep choose = [&](QWidget* dialog) {
        chooseFile(path)(dialog);
        if (folderOfThatName)
            QDir().mkdir(path);
    };
    if (folderOfThatName)
        expectedEntries = QStringList({name, u"pictures.tbr"_s});

    QList<SeenBox> reports;
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {choose, recordBox(&reports)}), 2);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].title, u"tamblor"_s);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QCOMPARE(reports[0].text, u"Cannot create file \"%1\". %2."_s.arg(path, reason));
    QCOMPARE(entries(), expectedEntries);
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);

    // The program goes on: the next export works.
    const QString good = m_folder->path(u"good.jpg"_s);
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); }, {chooseFile(good)}), 1);
    QCOMPARE(TestFiles::readFile(good), TestFiles::jpeg(60, 40, Red));
}

// Qt's dialog asks before replacing; after "是" (yes) the old file is gone entirely.
void TestExport::replacingALongerFileLeavesNoTail() {
    const QByteArray jpeg = TestFiles::jpeg(40, 30, Green);
    m_folder->makeLibrary({{u"g"_s, jpeg}});
    auto form = startMainWindow();
    const QString path = m_folder->path(u"old.jpg"_s);
    TestFiles::writeFile(path, TestFiles::jpeg(400, 300, Blue) + QByteArray(10000, 'x'));
    QList<SeenBox> questions;
    QCOMPARE(runWithModals([&] { form->SaveFile2->trigger(); },
                           {chooseFile(path), recordBox(&questions, u"是(&Y)"_s)}),
             2);
    QCOMPARE(questions.size(), 1);
    QCOMPARE(TestFiles::readFile(path), jpeg);
    QCOMPARE(entries(), QStringList({u"old.jpg"_s, u"pictures.tbr"_s}));
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_export.moc"
