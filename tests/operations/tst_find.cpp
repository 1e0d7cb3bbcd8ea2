// Finding scores by a word of their name and listing all of them again,
// through the real main window and the find dialog.

#include "application.h"
#include "finddialog.h"
#include "mainwindow.h"
#include "tform1.h"

#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QColor Red(220, 0, 0), Green(0, 200, 0), Blue(0, 0, 220), Yellow(230, 230, 0),
    Grey(128, 128, 128);

// The library every case starts from; the names the finds aim at are spread
// out, so that a step through the found scores cannot land on them by chance.
QList<Record> scores() {
    return {{u"晴天"_s, TestFiles::jpeg(60, 40, Red)},
            {u"稻香"_s, TestFiles::jpeg(60, 40, Green)},
            {u"晴天 (简谱)"_s, TestFiles::jpeg(60, 40, Yellow)},
            {u"七里香"_s, TestFiles::jpeg(60, 40, Blue)},
            {std::nullopt, TestFiles::jpeg(60, 40, Grey)},
            {u"Bach's Air"_s, TestFiles::jpeg(60, 40, Red)},
            {u"say ' or '1'='1 here"_s, TestFiles::jpeg(60, 40, Green)},
            {u"x'; drop table pictures; -- (riff)"_s, TestFiles::jpeg(60, 40, Blue)},
            {u"He said \"hi\""_s, TestFiles::jpeg(60, 40, Yellow)},
            {u"请输入过滤文字吧"_s, TestFiles::jpeg(60, 40, Grey)}};
}
const int ScoreCount = 10;
const QString CountLabel = u"10   张"_s;

QStringList storedNames(const QString& library) {
    QStringList names;
    for (const Record& record : TestFiles::readLibrary(library))
        names << record.name.value_or(u"(null)"_s);
    return names;
}

const QStringList PictureCommands = {u"删除"_s, u"DeleteFormDB"_s, u"SaveToFile"_s, u"Rename"_s,
                                     u"FiltByName"_s};

// The find dialog as it opened: its box's text, then `next` acts on it.
ModalStep proposal(QString* seen, const ModalStep& next) {
    return [seen, next](QWidget* dialog) {
        if (auto* finding = qobject_cast<TForm6*>(dialog))
            *seen = finding->Edit1->text();
        next(dialog);
    };
}
} // namespace

class TestFind : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() {
        m_form.reset();
        m_folder.reset();
    }

    void wordNoNameHolds();
    void wordSomeNamesHold();
    void emptyWordListsNamedScores();
    void untouchedBoxFindsItsOwnText();
    void wildcardsMatchAnyRunOrCharacter();
    void quotesAndSqlAreJustText_data();
    void quotesAndSqlAreJustText();
    void unreadableFirstFoundIsReported();
    void showAllListsEverythingAgain();
    void stepsWorkOnFoundScoresOnly();
    void deleteAndRenameWorkOnFoundScoresOnly();
    void cancelAndCloseBoxChangeNothing();
    void enterAndEscapeDoNothing();
    void dialogHasAFixedSize();

private:
    // Finds `word` through the find dialog; true when the dialog was the only modal.
    bool find(const QString& word) {
        return runWithModals([&] { m_form->FiltByName->trigger(); },
                             {typeAndPress(word, u"确定"_s)}) == 1;
    }

    std::unique_ptr<WorkFolder> m_folder;
    std::unique_ptr<TForm1> m_form;
};

void TestFind::init() {
    m_folder = std::make_unique<WorkFolder>();
    m_folder->makeLibrary(scores());
    m_form = startMainWindow();
}

void TestFind::wordNoNameHolds() {
    const QByteArray before = TestFiles::readFile(m_folder->library());
    const QString title = m_form->windowTitle();
    QVERIFY(find(u"不存在的曲子"_s));
    QCOMPARE(m_form->DBGrid1->model()->rowCount(), 0);
    QCOMPARE(m_form->DBText1->text(), QString());
    QVERIFY(!m_form->Image1->hasPicture());
    // Both steps off; "删除" and the context items keep their state.
    QCOMPARE(enabledControls(*m_form), PictureCommands);
    QCOMPARE(m_form->Label3->text(), CountLabel);
    QCOMPARE(m_form->Values.PictureCount, ScoreCount);
    QCOMPARE(m_form->windowTitle(), title);
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
}

void TestFind::wordSomeNamesHold() {
    clickRow(*m_form, 3);
    QCOMPARE(m_form->DBText1->text(), u"七里香"_s);
    QVERIFY(find(u"香"_s));
    QCOMPARE(listedNames(*m_form), QStringList({u"稻香"_s, u"七里香"_s}));
    QCOMPARE(m_form->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(m_form->DBText1->text(), u"稻香"_s);
    QVERIFY(nearColour(shownColor(*m_form), Green));
    QCOMPARE(enabledControls(*m_form), QStringList({u"下一张"_s}) + PictureCommands);
    // The count label counts the library, not the list.
    QCOMPARE(m_form->Label3->text(), CountLabel);
    QCOMPARE(m_form->Values.PictureCount, ScoreCount);
    QCOMPARE(storedNames(m_folder->library()).size(), ScoreCount);
}

// "%%" matches every name, but a score without a name has none to match.
void TestFind::emptyWordListsNamedScores() {
    QVERIFY(find(QString()));
    QStringList named;
    for (const Record& record : scores())
        if (record.name)
            named << *record.name;
    QCOMPARE(listedNames(*m_form), named);
    QCOMPARE(m_form->DBText1->text(), u"晴天"_s);
}

void TestFind::untouchedBoxFindsItsOwnText() {
    QString proposed;
    QCOMPARE(runWithModals([&] { m_form->FiltByName2->trigger(); },
                           {proposal(&proposed, pressButton(u"确定"_s))}),
             1);
    QCOMPARE(proposed, u"输入过滤文字"_s);
    QCOMPARE(listedNames(*m_form), QStringList(u"请输入过滤文字吧"_s));
    QVERIFY(nearColour(shownColor(*m_form), Grey));

    // A fresh dialog each time: the word typed before does not come back.
    QVERIFY(find(u"晴天"_s));
    QCOMPARE(runWithModals([&] { m_form->FiltByName2->trigger(); },
                           {proposal(&proposed, pressButton(u"取消"_s))}),
             1);
    QCOMPARE(proposed, u"输入过滤文字"_s);
}

void TestFind::wildcardsMatchAnyRunOrCharacter() {
    QVERIFY(find(u"晴%谱"_s));
    QCOMPARE(listedNames(*m_form), QStringList(u"晴天 (简谱)"_s));
    QVERIFY(nearColour(shownColor(*m_form), Yellow));
    QVERIFY(find(u"七_香"_s));
    QCOMPARE(listedNames(*m_form), QStringList(u"七里香"_s));
    QVERIFY(find(u"%"_s));
    QCOMPARE(listedNames(*m_form).size(), ScoreCount - 1);
}

void TestFind::quotesAndSqlAreJustText_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("one quote") << u"'"_s
                               << QStringList({u"Bach's Air"_s, u"say ' or '1'='1 here"_s,
                                               u"x'; drop table pictures; -- (riff)"_s});
    QTest::newRow("always true") << u"' or '1'='1"_s << QStringList(u"say ' or '1'='1 here"_s);
    QTest::newRow("drop table") << u"x'; drop table pictures; --"_s
                                << QStringList(u"x'; drop table pictures; -- (riff)"_s);
    QTest::newRow("double quotes") << u"\"hi\""_s << QStringList(u"He said \"hi\""_s);
    QTest::newRow("closing bracket") << u"%') or 1=1 or (filename like '"_s << QStringList();
    QTest::newRow("parameter mark") << u"?"_s << QStringList();
}

// The word is matched as text: it cannot break the query or change what it does.
void TestFind::quotesAndSqlAreJustText() {
    QFETCH(QString, word);
    QFETCH(QStringList, found);
    const QByteArray before = TestFiles::readFile(m_folder->library());
    QVERIFY(find(word));
    QCOMPARE(listedNames(*m_form), found);
    QCOMPARE(m_form->Image1->hasPicture(), !found.isEmpty());
    if (!found.isEmpty())
        QCOMPARE(m_form->DBText1->text(), found.first());
    QCOMPARE(TestFiles::readFile(m_folder->library()), before);
    QCOMPARE(m_form->Label3->text(), CountLabel);
}

// Listing the found scores shows the first of them; when that cannot be read
// the error is reported and the dialog stays open over the list.
void TestFind::unreadableFirstFoundIsReported() {
    TestFiles::execute(m_folder->library(), u"insert into pictures values ('坏谱', x'00112233')"_s);
    QList<SeenBox> boxes;
    bool dialogStayed = false;
    const ModalStep stillOpenThenCancel = [&](QWidget* dialog) {
        dialogStayed = qobject_cast<TForm6*>(dialog) && dialog->isVisible();
        pressButton(u"取消"_s)(dialog);
    };
    QCOMPARE(
        runWithModals([&] { m_form->FiltByName2->trigger(); },
                      {typeAndPress(u"坏"_s, u"确定"_s), recordBox(&boxes), stillOpenThenCancel}),
        3);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].icon, QMessageBox::Critical);
    QVERIFY2(boxes[0].text.contains(QRegularExpression(u"^JPEG error #\\d+\\.$"_s)),
             qPrintable(boxes[0].text));
    QVERIFY(dialogStayed);
    QCOMPARE(listedNames(*m_form), QStringList(u"坏谱"_s));
    QCOMPARE(m_form->DBText1->text(), u"坏谱"_s);
    // The page shown before does not stay under its name.
    QVERIFY(!m_form->Image1->hasPicture());
}

void TestFind::showAllListsEverythingAgain() {
    // Even with no find in force the first score becomes current.
    clickRow(*m_form, 3);
    m_form->ShowAllPic2->trigger();
    QCOMPARE(m_form->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(m_form->DBText1->text(), u"晴天"_s);

    QVERIFY(find(u"香"_s));
    QTest::mouseClick(m_form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(m_form->DBText1->text(), u"七里香"_s);
    QCOMPARE(collectMessageBoxes([&] { m_form->ShowAllPic2->trigger(); }).size(), 0);
    QCOMPARE(listedNames(*m_form).size(), ScoreCount);
    QCOMPARE(m_form->DBGrid1->currentIndex().row(), 0);
    QCOMPARE(m_form->DBText1->text(), u"晴天"_s);
    QVERIFY(nearColour(shownColor(*m_form), Red));
    QCOMPARE(enabledControls(*m_form), QStringList({u"下一张"_s}) + PictureCommands);
    QCOMPARE(m_form->Label3->text(), CountLabel);
    QCOMPARE(m_form->ADOQuery1.SQL(), u"select * from pictures"_s);
    QCOMPARE(m_form->ADOQuery1.Parameters(), QStringList());
}

void TestFind::stepsWorkOnFoundScoresOnly() {
    QVERIFY(find(u"晴天"_s));
    QCOMPARE(listedNames(*m_form), QStringList({u"晴天"_s, u"晴天 (简谱)"_s}));
    QTest::mouseClick(m_form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(m_form->DBText1->text(), u"晴天 (简谱)"_s);
    QVERIFY(nearColour(shownColor(*m_form), Yellow));
    QTest::mouseClick(m_form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(m_form->DBText1->text(), u"晴天 (简谱)"_s);
    QVERIFY(!m_form->SpeedButton2->isEnabled());
    QTest::mouseClick(m_form->SpeedButton1, Qt::LeftButton);
    QCOMPARE(m_form->DBText1->text(), u"晴天"_s);
    QVERIFY(nearColour(shownColor(*m_form), Red));
}

void TestFind::deleteAndRenameWorkOnFoundScoresOnly() {
    QVERIFY(find(u"香"_s));
    QTest::mouseClick(m_form->SpeedButton2, Qt::LeftButton);
    QCOMPARE(runWithModals([&] { m_form->Rename->trigger(); },
                           {typeAndPress(u"七里香 (吉他)"_s, u"确定"_s)}),
             1);
    QStringList expected = storedNames(m_folder->library());
    QCOMPARE(expected[3], u"七里香 (吉他)"_s);

    QTest::mouseClick(m_form->SpeedButton1, Qt::LeftButton);
    QCOMPARE(m_form->DBText1->text(), u"稻香"_s);
    QCOMPARE(runWithModals([&] { m_form->DeleteFormDB->trigger(); },
                           {expectBox(u"你真的要从数据库中删除此图片吗？"_s)}),
             1);
    expected.removeAt(1);
    QCOMPARE(storedNames(m_folder->library()), expected);
    QCOMPARE(listedNames(*m_form), QStringList(u"七里香 (吉他)"_s));
    QCOMPARE(m_form->DBText1->text(), u"七里香 (吉他)"_s);
}

void TestFind::cancelAndCloseBoxChangeNothing() {
    clickRow(*m_form, 3);
    const QString sql = m_form->ADOQuery1.SQL();
    QCOMPARE(
        runWithModals([&] { m_form->FiltByName->trigger(); }, {typeAndPress(u"香"_s, u"取消"_s)}),
        1);
    const ModalStep typeThenCloseBox = [](QWidget* dialog) {
        dialog->findChild<QLineEdit*>(u"Edit1"_s)->setText(u"晴"_s);
        dialog->close();
    };
    QCOMPARE(runWithModals([&] { m_form->FiltByName2->trigger(); }, {typeThenCloseBox}), 1);
    QCOMPARE(m_form->ADOQuery1.SQL(), sql);
    QCOMPARE(listedNames(*m_form).size(), ScoreCount);
    QCOMPARE(m_form->DBGrid1->currentIndex().row(), 3);
    QCOMPARE(m_form->DBText1->text(), u"七里香"_s);
    QVERIFY(nearColour(shownColor(*m_form), Blue));
}

void TestFind::enterAndEscapeDoNothing() {
    QStringList afterKeys; // the dialog's visibility after each key
    const ModalStep keys = pressEnterAndEscape(u"香"_s, &afterKeys);
    QCOMPARE(runWithModals([&] { m_form->FiltByName2->trigger(); }, {keys}), 1);
    QCOMPARE(afterKeys, QStringList({u"open"_s, u"open"_s, u"open"_s}));
    QCOMPARE(listedNames(*m_form).size(), ScoreCount);
}

void TestFind::dialogHasAFixedSize() {
    QSize minimum, maximum, size;
    bool maximiseBox = true;
    const ModalStep look = [&](QWidget* dialog) {
        minimum = dialog->minimumSize();
        maximum = dialog->maximumSize();
        size = dialog->size();
        maximiseBox = dialog->windowFlags().testFlag(Qt::WindowMaximizeButtonHint);
        pressButton(u"取消"_s)(dialog);
    };
    runWithModals([&] { m_form->FiltByName2->trigger(); }, {look});
    QCOMPARE(size, QSize(487, 186));
    QCOMPARE(minimum, size);
    QCOMPARE(maximum, size);
    QVERIFY(!maximiseBox);
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestFind test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_find.moc"
