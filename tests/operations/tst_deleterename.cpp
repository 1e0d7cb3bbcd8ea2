// Deleting and renaming the current score through the real main window, the
// confirmation box and the rename dialog.

#include "application.h"
#include "mainwindow.h"
#include "renamedialog.h"
#include "tform1.h"

#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220);

const QString Question = u"你真的要从数据库中删除此图片吗？"_s;
const QString LastScore = u"数据库中至少要保留一张图片，你不能删除此图!"_s;

QStringList namesIn(const QString& library) {
    QStringList names;
    for (const Record& record : TestFiles::readLibrary(library))
        names << record.name.value_or(u"<null>"_s);
    return names;
}

// The confirmation box as the user saw it.
struct SeenQuestion {
    SeenBox box;
    QString defaultButton;
    bool closed = false; // by the answer
};

// Notes the confirmation box, then `answer` acts on it.
ModalStep question(SeenQuestion* seen, const std::function<void(QMessageBox*)>& answer) {
    return [seen, answer](QWidget* dialog) {
        auto* box = qobject_cast<QMessageBox*>(dialog);
        if (!box) {
            dialog->close();
            return;
        }
        seen->box = {box->windowTitle(), box->text(), box->icon(), {}};
        for (QAbstractButton* button : box->buttons())
            seen->box.buttons << button->text();
        seen->box.buttons.sort();
        if (box->defaultButton())
            seen->defaultButton = box->defaultButton()->text();
        answer(box);
        seen->closed = !box->isVisible();
        // An answer that did not close the box must not leave the test waiting.
        if (box->isVisible())
            box->reject();
    };
}

// The rename dialog as it opened.
struct SeenRename {
    bool seen = false;
    QString text;
    QString selected;
    QString title;
};

// Notes the rename dialog, then `next` acts on it.
ModalStep renameDialog(SeenRename* seen, const ModalStep& next) {
    return [seen, next](QWidget* dialog) {
        if (auto* rename = qobject_cast<TForm3*>(dialog)) {
            seen->seen = true;
            seen->text = rename->Edit1->text();
            seen->selected = rename->Edit1->selectedText();
            seen->title = rename->windowTitle();
        }
        next(dialog);
    };
}
} // namespace

class TestDeleteRename : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_folder = std::make_unique<WorkFolder>(); }
    void cleanup() { m_folder.reset(); }

    void deleteDownToOneScore();
    void unansweredQuestionDeletesNothing_data();
    void unansweredQuestionDeletesNothing();
    void deletingTheLastListedScore();
    void deletingAMiddleScore();
    void oneListedScoreStays();
    void deleteWithPendingEdit();
    void noCurrentPicture_data();
    void noCurrentPicture();
    void countFollowsDeleteOntoUnreadablePicture_data();
    void countFollowsDeleteOntoUnreadablePicture();
    void deleteTheLibraryIgnoresIsReported_data();
    void deleteTheLibraryIgnoresIsReported();

    void renameDialogOpensWithItsPresetName();
    void nameIsStoredAsTyped_data();
    void nameIsStoredAsTyped();
    void cancelledRenameChangesNothing_data();
    void cancelledRenameChangesNothing();
    void enterAndEscapeDoNothing();
    void refusedRenameKeepsDialogOpen();
    void abandonedRenameIsNeverWritten_data();
    void abandonedRenameIsNeverWritten();

private:
    // A library of scores coloured red, green and blue, named by `names`.
    void makeScores(const QStringList& names) const {
        const QList<QColor> colours = {Red, Green, Blue};
        QList<Record> records;
        for (qsizetype i = 0; i < names.size(); ++i)
            records << Record{names[i], TestFiles::jpeg(60, 40, colours[i % 3])};
        m_folder->makeLibrary(records);
    }
    std::unique_ptr<WorkFolder> m_folder;
};

void TestDeleteRename::deleteDownToOneScore() {
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->SpeedButton3, Qt::LeftButton); },
                           {expectBox(Question)}),
             1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"g"_s}));
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QCOMPARE(form->Values.PictureCount, 1);
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QCOMPARE(listedNames(*form), QStringList({u"g"_s}));
    QVERIFY(nearColour(shownColor(*form), Green));
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);

    // The last score stays, and no question is asked about it.
    const QByteArray library = TestFiles::readFile(m_folder->library());
    QList<SeenBox> boxes;
    QCOMPARE(runWithModals([&] { form->Delete2->trigger(); }, {recordBox(&boxes)}), 1);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, LastScore);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(form->Label3->text(), u"1   张"_s);
    QCOMPARE(form->Values.PictureCount, 1);
}

void TestDeleteRename::unansweredQuestionDeletesNothing_data() {
    QTest::addColumn<QString>("answer");
    QTest::newRow("Cancel") << u"Cancel"_s;
    QTest::newRow("Escape") << u"Escape"_s;
    QTest::newRow("close box") << u"close box"_s;
}

void TestDeleteRename::unansweredQuestionDeletesNothing() {
    QFETCH(QString, answer);
    makeScores({u"r"_s, u"g"_s, u"b"_s});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    SeenQuestion seen;
    const auto respond = [answer](QMessageBox* box) {
        if (answer == u"Cancel")
            pressButton(u"Cancel"_s)(box);
        else if (answer == u"Escape")
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->close();
    };
    QCOMPARE(runWithModals([&] { form->DeleteFormDB->trigger(); }, {question(&seen, respond)}), 1);
    QCOMPARE(seen.box.title, u"Confirm"_s);
    QCOMPARE(seen.box.text, Question);
    QCOMPARE(seen.box.icon, QMessageBox::Question);
    QCOMPARE(seen.box.buttons, QStringList({u"Cancel"_s, u"OK"_s}));
    QCOMPARE(seen.defaultButton, u"OK"_s);
    QVERIFY(seen.closed);

    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(form->Label3->text(), u"3   张"_s);
    QCOMPARE(form->Values.PictureCount, 3);
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s, u"b"_s}));
    QCOMPARE(form->DBText1->text(), u"r"_s);
    QVERIFY(nearColour(shownColor(*form), Red));
}

// The new last score becomes current; after a delete the cursor is neither
// at the start nor at the end, so both buttons are on.
void TestDeleteRename::deletingTheLastListedScore() {
    makeScores({u"r"_s, u"g"_s, u"b"_s});
    auto form = startMainWindow();
    clickRow(*form, 2);
    QCOMPARE(form->DBText1->text(), u"b"_s);
    QCOMPARE(runWithModals([&] { form->DeleteFormDB->trigger(); }, {expectBox(Question)}), 1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"r"_s, u"g"_s}));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 1);
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QVERIFY(nearColour(shownColor(*form), Green));
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
    QCOMPARE(form->Label3->text(), u"2   张"_s);
}

void TestDeleteRename::deletingAMiddleScore() {
    makeScores({u"r"_s, u"g"_s, u"b"_s});
    auto form = startMainWindow();
    clickRow(*form, 1);
    QCOMPARE(runWithModals([&] { form->Delete2->trigger(); }, {expectBox(Question)}), 1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"r"_s, u"b"_s}));
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"b"_s}));
    QCOMPARE(form->DBGrid1->currentIndex().row(), 1);
    QCOMPARE(form->DBText1->text(), u"b"_s);
    QVERIFY(nearColour(shownColor(*form), Blue));
    QVERIFY(form->SpeedButton1->isEnabled());
    QVERIFY(form->SpeedButton2->isEnabled());
}

// The rule counts the scores listed, as after a find, not those in the library.
void TestDeleteRename::oneListedScoreStays() {
    makeScores({u"a"_s, u"b"_s, u"c"_s});
    auto form = startMainWindow();
    form->ADOQuery1.SetSQL(u"select * from pictures where filename like ?"_s, {u"%a%"_s});
    form->ADOQuery1.Open();
    QCOMPARE(listedNames(*form), QStringList({u"a"_s}));
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->SpeedButton3, Qt::LeftButton); },
                           {expectBox(LastScore)}),
             1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"a"_s, u"b"_s, u"c"_s}));
    QCOMPARE(form->Label3->text(), u"3   张"_s);

    form->ADOQuery1.SetSQL(u"select * from pictures"_s);
    form->ADOQuery1.Open();
    QCOMPARE(runWithModals([&] { QTest::mouseClick(form->SpeedButton3, Qt::LeftButton); },
                           {expectBox(Question)}),
             1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"b"_s, u"c"_s}));
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QCOMPARE(form->Values.PictureCount, 2);
}

// A cancelled import leaves an edit pending; the delete goes through all the same.
void TestDeleteRename::deleteWithPendingEdit() {
    makeScores({u"r"_s, u"g"_s, u"b"_s});
    auto form = startMainWindow();
    clickRow(*form, 1);
    form->ADOQuery1.Edit();
    QCOMPARE(runWithModals([&] { form->Delete2->trigger(); }, {expectBox(Question)}), 1);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"r"_s, u"b"_s}));
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
    QCOMPARE(form->DBText1->text(), u"b"_s);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
}

void TestDeleteRename::noCurrentPicture_data() {
    QTest::addColumn<bool>("pendingRecord");
    QTest::newRow("empty library") << false;
    // What a cancelled import leaves on an empty library.
    QTest::newRow("blank pending record") << true;
}

void TestDeleteRename::noCurrentPicture() {
    QFETCH(bool, pendingRecord);
    m_folder->makeLibrary({});
    auto form = startMainWindow();
    if (pendingRecord)
        form->ADOQuery1.Edit();
    const DataSetState state = form->ADOQuery1.State();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    // The button and the popup items are off here; the main-menu items are not.
    QList<SeenBox> boxes;
    QCOMPARE(runWithModals([&] { form->Delete2->trigger(); }, {recordBox(&boxes)}), 1);
    QCOMPARE(runWithModals([&] { form->RenamePic2->trigger(); }, {recordBox(&boxes)}), 1);
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes[0].text, u"当前没有可删除的图片"_s);
    QCOMPARE(boxes[1].text, u"当前没有可命名的图片！"_s);
    for (const SeenBox& box : boxes) {
        QCOMPARE(box.icon, QMessageBox::NoIcon);
        QCOMPARE(box.title, u"tamblor"_s);
    }
    QCOMPARE(form->ADOQuery1.State(), state);
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(form->Label3->text(), u"0   张"_s);
}

// A fresh dialog each time: what was typed before does not come back.
void TestDeleteRename::renameDialogOpensWithItsPresetName() {
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    SeenRename first, second;
    QCOMPARE(runWithModals([&] { form->Rename->trigger(); },
                           {renameDialog(&first, typeAndPress(u"别的名字"_s, u"取消"_s))}),
             1);
    QCOMPARE(runWithModals([&] { form->RenamePic2->trigger(); },
                           {renameDialog(&second, pressButton(u"确定"_s))}),
             1);
    for (const SeenRename* seen : {&first, &second}) {
        QVERIFY(seen->seen);
        QCOMPARE(seen->text, u"新名字"_s);
        QCOMPARE(seen->selected, u"新名字"_s);
        QCOMPARE(seen->title, u"重命名曲谱"_s);
    }
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"新名字"_s, u"g"_s}));
    QCOMPARE(listedNames(*form), QStringList({u"新名字"_s, u"g"_s}));
    QCOMPARE(form->DBText1->text(), u"新名字"_s);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
    QCOMPARE(form->Values.PictureCount, 2);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
    QVERIFY(nearColour(shownColor(*form), Red));
}

void TestDeleteRename::nameIsStoredAsTyped_data() {
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("blanks around") << u"  新曲 "_s;
    QTest::newRow("name of another score") << u"r"_s;
}

void TestDeleteRename::nameIsStoredAsTyped() {
    QFETCH(QString, typed);
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    clickRow(*form, 1);
    QCOMPARE(runWithModals([&] { form->RenamePic2->trigger(); }, {typeAndPress(typed, u"确定"_s)}),
             1);
    const QList<Record> stored = TestFiles::readLibrary(m_folder->library());
    QCOMPARE(stored.size(), 2);
    QCOMPARE(*stored[0].name, u"r"_s);
    QVERIFY(stored[1].name.has_value());
    QCOMPARE(*stored[1].name, typed);
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, typed}));
    QCOMPARE(form->DBText1->text(), typed);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
}

void TestDeleteRename::cancelledRenameChangesNothing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("取消") << false;
    QTest::newRow("close box") << true;
}

void TestDeleteRename::cancelledRenameChangesNothing() {
    QFETCH(bool, closeBox);
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    const ModalStep typeThenLeave = [closeBox](QWidget* dialog) {
        auto* rename = qobject_cast<TForm3*>(dialog);
        if (!rename) {
            dialog->close();
            return;
        }
        rename->Edit1->setText(u"不要"_s);
        if (closeBox)
            rename->close();
        else
            rename->Button2->click();
    };
    QCOMPARE(runWithModals([&] { form->Rename->trigger(); }, {typeThenLeave}), 1);
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s}));
    QCOMPARE(form->DBText1->text(), u"r"_s);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
}

// Neither button is the default or the cancel button.
void TestDeleteRename::enterAndEscapeDoNothing() {
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    QList<bool> openAfter;
    const ModalStep keys = [&openAfter](QWidget* dialog) {
        auto* rename = qobject_cast<TForm3*>(dialog);
        if (!rename) {
            dialog->close();
            return;
        }
        for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(rename->Edit1, key);
            openAfter << rename->isVisible();
        }
        if (rename->isVisible())
            rename->Button2->click();
    };
    QCOMPARE(runWithModals([&] { form->Rename->trigger(); }, {keys}), 1);
    QCOMPARE(openAfter, QList<bool>({true, true, true}));
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
    QCOMPARE(form->DBText1->text(), u"r"_s);
}

// Another program renamed the score meanwhile: the library keeps its name, the
// error is reported and the dialog stays open for another try or a cancel.
void TestDeleteRename::refusedRenameKeepsDialogOpen() {
    makeScores({u"r"_s, u"g"_s});
    auto form = startMainWindow();
    TestFiles::execute(m_folder->library(), u"update pictures set filename='x' where rowid=1"_s);
    QList<SeenBox> reports;
    bool openAgain = false;
    const ModalStep stillOpen = [&openAgain](QWidget* dialog) {
        openAgain = qobject_cast<TForm3*>(dialog) && dialog->isVisible();
        pressButton(u"取消"_s)(dialog);
    };
    QCOMPARE(runWithModals([&] { form->Rename->trigger(); },
                           {typeAndPress(u"mine"_s, u"确定"_s), recordBox(&reports), stillOpen}),
             3);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QVERIFY2(reports[0].text.startsWith(u"Row cannot be located for updating"_s),
             qPrintable(reports[0].text));
    QVERIFY(openAgain);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"x"_s, u"g"_s}));
    QVERIFY(form->isVisible());
}

void TestDeleteRename::countFollowsDeleteOntoUnreadablePicture_data() {
    QTest::addColumn<bool>("cut");
    QTest::newRow("delete") << false;
    QTest::newRow("cut") << true;
}

// The score is gone from the file, so the count goes down, even though the
// score that becomes current cannot be shown.
void TestDeleteRename::countFollowsDeleteOntoUnreadablePicture() {
    QFETCH(bool, cut);
    m_folder->makeLibrary({{u"r"_s, TestFiles::jpeg(60, 40, Red)},
                           {u"bad"_s, QByteArray("no picture here")},
                           {u"g"_s, TestFiles::jpeg(60, 40, Green)}});
    auto form = startMainWindow();
    QList<SeenBox> reports;
    runWithModals([&] { (cut ? form->Cut2 : form->Delete2)->trigger(); },
                  {pressButton(u"OK"_s), recordBox(&reports)});
    QCOMPARE(reports.size(), 1);
    QVERIFY2(reports[0].text.startsWith(u"JPEG error #"_s), qPrintable(reports[0].text));
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"bad"_s, u"g"_s}));
    QCOMPARE(form->Values.PictureCount, 2);
    QCOMPARE(form->Label3->text(), u"2   张"_s);
}

void TestDeleteRename::deleteTheLibraryIgnoresIsReported_data() {
    QTest::addColumn<bool>("cut");
    QTest::newRow("delete") << false;
    QTest::newRow("cut") << true;
}

// A trigger that skips the delete without an error: the failure is reported
// and the score stays, in the file, in the list and in the count.
void TestDeleteRename::deleteTheLibraryIgnoresIsReported() {
    QFETCH(bool, cut);
    makeScores({u"r"_s, u"g"_s, u"b"_s});
    TestFiles::execute(m_folder->library(), u"create trigger kept before delete on pictures "
                                            u"begin select raise(ignore); end"_s);
    auto form = startMainWindow();
    QList<SeenBox> reports;
    runWithModals([&] { (cut ? form->Cut2 : form->Delete2)->trigger(); },
                  {pressButton(u"OK"_s), recordBox(&reports)});
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QCOMPARE(reports[0].text, u"The library refused the change (a trigger?)"_s);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"r"_s, u"g"_s, u"b"_s}));
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s, u"b"_s}));
    QCOMPARE(form->DBText1->text(), u"r"_s);
    QCOMPARE(form->Values.PictureCount, 3);
    QCOMPARE(form->Label3->text(), u"3   张"_s);
}

void TestDeleteRename::abandonedRenameIsNeverWritten_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::addColumn<bool>("editPending"); // left by a cancelled import or paste
    QTest::newRow("取消") << false << false;
    QTest::newRow("close box") << true << false;
    QTest::newRow("取消, after a cancelled paste") << false << true;
}

// A rename the library refused and the user then gave up is dropped: no
// later step writes it, once the library takes changes again.
void TestDeleteRename::abandonedRenameIsNeverWritten() {
    QFETCH(bool, closeBox);
    QFETCH(bool, editPending);
    makeScores({u"r"_s, u"g"_s});
    TestFiles::execute(m_folder->library(),
                       u"create trigger refuse before update on pictures "
                       u"begin select raise(abort, 'the library is locked'); end"_s);
    auto form = startMainWindow();
    if (editPending)
        form->ADOQuery1.Edit();
    const ModalStep giveUp = [closeBox](QWidget* dialog) {
        if (closeBox)
            dialog->close();
        else
            pressButton(u"取消"_s)(dialog);
    };
    QCOMPARE(runWithModals([&] { form->Rename->trigger(); },
                           {typeAndPress(u"mine"_s, u"确定"_s),
                            expectBox(u"the library is locked."_s), giveUp}),
             3);
    QCOMPARE(form->ADOQuery1.State(), DataSetState::Browse);
    QCOMPARE(form->DBText1->text(), u"r"_s);
    QCOMPARE(listedNames(*form), QStringList({u"r"_s, u"g"_s}));

    TestFiles::execute(m_folder->library(), u"drop trigger refuse"_s);
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(form->DBText1->text(), u"g"_s);
    QCOMPARE(namesIn(m_folder->library()), QStringList({u"r"_s, u"g"_s}));
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestDeleteRename test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_deleterename.moc"
