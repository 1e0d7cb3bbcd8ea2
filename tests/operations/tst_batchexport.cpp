// Exporting every listed score into one folder through the real main window,
// the batch export dialog with its drive list and folder tree, and the
// new-folder dialog.

#include "application.h"
#include "batchexport.h"
#include "batchexportdialog.h"
#include "connection.h"
#include "datasource.h"
#include "errors.h"
#include "mainwindow.h"
#include "newfolderdialog.h"
#include "recordset.h"
#include "tform1.h"

#include "libraryfiles.h"
#include <QDir>
#include <QDirIterator>
#include <QPointer>
#include <QStorageInfo>

#include <QTest>

using namespace Qt::StringLiterals;
using TestFiles::Record;

namespace {
const QString Done = u"导出完毕!"_s;
const QString FolderExists = u"此文件夹已经存在，重新输入文件夹的名字!"_s;

QString canonical(const QString& path) {
    return QFileInfo(path).canonicalFilePath();
}

QStringList sorted(QStringList list) {
    list.sort();
    return list;
}

// A picture of its own for each score, with bytes after the end marker that
// belong to it and must reach the file too.
QByteArray pictureOf(int i) {
    return TestFiles::jpeg(24 + i, 16, QColor::fromHsv((i * 47) % 360, 200, 220)) +
           "tail of picture " + QByteArray::number(i);
}

// The folder tree as the user sees it: the open folder and each line; "*"
// marks the selected lines, ">" the highlighted one.
QStringList treeOf(const DirectoryListBox& tree) {
    QStringList lines{u"open: "_s + tree.currentFolder()};
    for (int row = 0; row < tree.count(); ++row)
        lines << (tree.item(row)->isSelected() ? u"*"_s : u" "_s) +
                     (tree.currentRow() == row ? u">"_s : u" "_s) + tree.item(row)->text() +
                     u" = "_s + tree.folderAt(row);
    return lines;
}

// The tree with `folder` open: the volume's root, each folder down to it, it
// (selected unless `highlighted` says which line is), then `subfolders`.
QStringList expectedTree(const QString& folder, const QStringList& subfolders,
                         int highlighted = -1) {
    struct Line {
        QString text, path;
    };
    const QString root = QStorageInfo(folder).rootPath();
    QList<Line> lines{{root, root}};
    if (folder != root) {
        QString path = root;
        for (const QString& step : QDir(root).relativeFilePath(folder).split(u'/')) {
            path = QDir::cleanPath(path + u'/' + step);
            lines.append({step, path});
        }
    }
    if (highlighted < 0)
        highlighted = int(lines.size()) - 1;
    for (const QString& name : subfolders)
        lines.append({name, folder + u'/' + name});
    QStringList shown{u"open: "_s + folder};
    for (int row = 0; row < lines.size(); ++row) {
        const QString mark = row == highlighted ? u"*>"_s : u"  "_s;
        shown << mark + lines[row].text + u" = "_s + lines[row].path;
    }
    return shown;
}

// The lines of the tree without their marks.
QStringList unmarked(const QStringList& tree) {
    QStringList lines;
    for (const QString& line : tree.sliced(1))
        lines << line.sliced(2);
    return lines;
}

int rowOf(const DirectoryListBox& tree, const QString& text) {
    for (int row = 0; row < tree.count(); ++row)
        if (tree.item(row)->text() == text)
            return row;
    return -1;
}

QPoint centreOf(DirectoryListBox& tree, int row) {
    tree.scrollToItem(tree.item(row));
    return tree.visualItemRect(tree.item(row)).center();
}

// A modal that a step did not expect: noted as a failure and closed, so that
// the action returns.
void unexpected(QWidget* dialog, const QString& expected) {
    QTest::qFail(qPrintable(u"expected "_s + expected + u", saw "_s +
                            QString::fromLatin1(dialog->metaObject()->className())),
                 __FILE__, __LINE__);
    dialog->close();
}

// Counts the modal windows shown while it lives.
class ModalWatch : public QObject {
public:
    ModalWatch() { qApp->installEventFilter(this); }
    ~ModalWatch() override { qApp->removeEventFilter(this); }
    int shown() const { return m_shown; }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show)
            if (auto* window = qobject_cast<QWidget*>(object); window && window->isModal())
                ++m_shown;
        return false;
    }

private:
    int m_shown = 0;
};

// Each step closes its dialog or leads to another one. A dialog that is still
// waiting with nothing shown over it would never come up again and hold the
// test for ever, so that is noted as a failure and the dialog closed.
int runSteps(const std::function<void()>& action, QList<ModalStep> steps) {
    for (ModalStep& step : steps)
        step = [step](QWidget* dialog) {
            const QPointer<QWidget> waiting(dialog);
            const ModalWatch watch;
            step(dialog);
            if (waiting && waiting->isVisible() && watch.shown() == 0) {
                QTest::qFail(qPrintable(u"nothing came of the step on "_s +
                                        QString::fromLatin1(dialog->metaObject()->className())),
                             __FILE__, __LINE__);
                waiting->close();
            }
        };
    return runWithModals(action, steps);
}

// How the files are to be named in the dialog.
struct Naming {
    bool common = false;
    std::optional<QString> text; // typed into Edit1; otherwise left as the dialog shows it
    bool thenLibraryNames = false;
};

// Opens `folder` in the tree, picks the naming and presses "确定".
ModalStep exportInto(const QString& folder, const Naming& naming = {}) {
    return [folder, naming](QWidget* dialog) {
        auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog);
        if (!export_)
            return unexpected(dialog, u"the export dialog"_s);
        export_->DirectoryListBox1->openFolder(folder);
        if (naming.common)
            QTest::mouseClick(export_->RadioButton2, Qt::LeftButton);
        if (naming.text)
            export_->Edit1->setText(*naming.text);
        if (naming.thenLibraryNames)
            QTest::mouseClick(export_->RadioButton1, Qt::LeftButton);
        export_->Button2->click();
    };
}

// Opens `folder` in the tree and presses "新建文件夹".
ModalStep newFolderIn(const QString& folder) {
    return [folder](QWidget* dialog) {
        auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog);
        if (!export_)
            return unexpected(dialog, u"the export dialog"_s);
        export_->DirectoryListBox1->openFolder(folder);
        export_->Button1->click();
    };
}

// What the user could see at one moment of the export dialog.
struct Seen {
    bool exportDialogOpen = false;
    bool progressVisible = false;
    QStringList tree;
    QString workingDirectory;
    int recNo = -2;
    QString name;      // the main window's name label
    QStringList files; // in the target folder
};

// Notes what the export dialog and the main window show, then `next` acts.
ModalStep note(Seen* seen, const TForm1* form, const QString& target, const ModalStep& next) {
    return [=](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog)) {
            seen->exportDialogOpen = export_->isVisible();
            seen->progressVisible = export_->ProgressBar1->isVisible();
            seen->tree = treeOf(*export_->DirectoryListBox1);
        }
        seen->workingDirectory = QDir::currentPath();
        seen->recNo = form->ADOQuery1.RecNo();
        seen->name = form->DBText1->text();
        seen->files = TestFiles::entriesBelow(target);
        next(dialog);
    };
}

const ModalStep cancel = pressButton(u"取消"_s);
} // namespace

class TestBatchExport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup() { m_folder.reset(); }

    // The run and the files it writes.
    void libraryNamesWriteStoredBytes();
    void takenNameGetsThePassNumber();
    void commonName_data();
    void commonName();
    void numbersAreNotPadded_data();
    void numbersAreNotPadded();
    void emptyNamesUnderLibraryNames();
    void onlyTheListedScores();
    void scoreWithoutPictureGivesEmptyFile_data();
    void scoreWithoutPictureGivesEmptyFile();

    // Names that are no file names, and files that cannot be written.
    void slashStopsTheRun_data();
    void slashStopsTheRun();
    void dotNamesStayInTheFolder();
    void unreadablePictureStopsTheRun();
    void targetTakenByFolders();
    void runsWithoutAWindow_data();
    void runsWithoutAWindow();

    // Nothing to do, or nothing wanted.
    void nothingToExport_data();
    void nothingToExport();
    void cancelWritesNothing_data();
    void cancelWritesNothing();

    // The dialog's controls.
    void namingChoice();
    void newFolderRefusesExistingName_data();
    void newFolderRefusesExistingName();
    void newFolderMakesEveryLevel();
    void newFolderCancelled();
    void treeOpensAtWorkingDirectory();
    void treeOpensFolders();
    void removedFolderIsReported_data();
    void removedFolderIsReported();
    void driveListShowsTheVolumes();

private:
    // A library of scores named `names`, each with its own picture (returned in order).
    QList<QByteArray> makeScores(const QStringList& names) const;
    QString out(const QString& name) const { return m_out + u'/' + name; }

    std::unique_ptr<WorkFolder> m_folder;
    QString m_work; // the working directory at the start, as the system spells it
    QString m_out;  // an empty folder below it, the usual target
};

void TestBatchExport::init() {
    m_folder = std::make_unique<WorkFolder>();
    m_work = canonical(m_folder->path(u"."_s));
    QVERIFY(QDir(m_work).mkdir(u"out"_s));
    m_out = m_work + u"/out"_s;
}

QList<QByteArray> TestBatchExport::makeScores(const QStringList& names) const {
    QList<Record> records;
    QList<QByteArray> pictures;
    for (int i = 0; i < names.size(); ++i) {
        pictures << pictureOf(i);
        records.append({names[i], pictures.last()});
    }
    m_folder->makeLibrary(records);
    return pictures;
}

void TestBatchExport::libraryNamesWriteStoredBytes() {
    const QList<QByteArray> pictures =
        makeScores({u"a"_s, u"x"_s, u"b"_s, u"c"_s, u"x"_s, u"last"_s});
    auto form = startMainWindow();
    const QByteArray library = TestFiles::readFile(m_folder->library());
    // The run starts at the first score wherever the cursor stands.
    clickRow(*form, 2);

    QList<SeenBox> boxes;
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out), recordBox(&boxes)}),
             2);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, Done);
    QCOMPARE(boxes[0].title, u"tamblor"_s);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QCOMPARE(boxes[0].buttons, QStringList{u"OK"_s});

    QCOMPARE(TestFiles::entriesBelow(m_out),
             sorted({u"a.jpg"_s, u"x.jpg"_s, u"b.jpg"_s, u"c.jpg"_s, u"x5.jpg"_s, u"last.jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u"a.jpg"_s)), pictures[0]);
    QCOMPARE(TestFiles::readFile(out(u"x.jpg"_s)), pictures[1]);
    QCOMPARE(TestFiles::readFile(out(u"b.jpg"_s)), pictures[2]);
    QCOMPARE(TestFiles::readFile(out(u"c.jpg"_s)), pictures[3]);
    QCOMPARE(TestFiles::readFile(out(u"x5.jpg"_s)), pictures[4]);
    QCOMPARE(TestFiles::readFile(out(u"last.jpg"_s)), pictures[5]);

    QCOMPARE(form->ADOQuery1.RecNo(), 5);
    QVERIFY(form->ADOQuery1.Eof());
    QCOMPARE(form->DBText1->text(), u"last"_s);
    QCOMPARE(form->Image1->picture().jpegData(), pictures[5]);
    QCOMPARE(TestFiles::readFile(m_folder->library()), library);
}

// Only the plain name is tested; the numbered file in the way is replaced whole.
void TestBatchExport::takenNameGetsThePassNumber() {
    const QList<QByteArray> pictures = makeScores({u"x"_s, u"y"_s});
    TestFiles::writeFile(out(u"x.jpg"_s), "an earlier export");
    TestFiles::writeFile(out(u"x1.jpg"_s), QByteArray(pictures[0].size() * 3, 'o'));
    auto form = startMainWindow();

    QCOMPARE(runSteps([&] { form->SaveManyPic->trigger(); }, {exportInto(m_out), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted({u"x.jpg"_s, u"x1.jpg"_s, u"y.jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u"x.jpg"_s)), QByteArray("an earlier export"));
    QCOMPARE(TestFiles::readFile(out(u"x1.jpg"_s)), pictures[0]);
    QCOMPARE(TestFiles::readFile(out(u"y.jpg"_s)), pictures[1]);
}

void TestBatchExport::commonName_data() {
    QTest::addColumn<bool>("common");
    QTest::addColumn<QString>("typed"); // null: Edit1 left as it is
    QTest::addColumn<bool>("thenLibraryNames");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QStringList>("written"); // in pass order

    QTest::newRow("untouched common name")
        << true << QString() << false << QStringList()
        << QStringList{u"输入公用名1.jpg"_s, u"输入公用名2.jpg"_s, u"输入公用名3.jpg"_s};
    QTest::newRow("existing files replaced")
        << true << QString() << false << QStringList{u"输入公用名2.jpg"_s, u"输入公用名.jpg"_s}
        << QStringList{u"输入公用名1.jpg"_s, u"输入公用名2.jpg"_s, u"输入公用名3.jpg"_s};
    QTest::newRow("empty common name") << true << u""_s << false << QStringList{u"1.jpg"_s}
                                       << QStringList{u"1.jpg"_s, u"2.jpg"_s, u"3.jpg"_s};
    QTest::newRow("typed common name")
        << true << u"第 一 "_s << false << QStringList()
        << QStringList{u"第 一 1.jpg"_s, u"第 一 2.jpg"_s, u"第 一 3.jpg"_s};
    QTest::newRow("library names chosen again") << true << u"zz"_s << true << QStringList()
                                                << QStringList{u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s};
}

void TestBatchExport::commonName() {
    QFETCH(bool, common);
    QFETCH(QString, typed);
    QFETCH(bool, thenLibraryNames);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, written);
    const QList<QByteArray> pictures = makeScores({u"a"_s, u"b"_s, u"c"_s});
    for (const QString& name : existing)
        TestFiles::writeFile(out(name), QByteArray(4096, 'o'));
    auto form = startMainWindow();

    Naming naming{common, {}, thenLibraryNames};
    if (!typed.isNull())
        naming.text = typed;
    QCOMPARE(runSteps([&] { form->SaveManyPic->trigger(); },
                      {exportInto(m_out, naming), expectBox(Done)}),
             2);
    QStringList all = written;
    for (const QString& name : existing)
        if (!all.contains(name))
            all << name;
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted(all));
    for (int pass = 0; pass < written.size(); ++pass)
        QCOMPARE(TestFiles::readFile(out(written[pass])), pictures[pass]);
}

void TestBatchExport::numbersAreNotPadded_data() {
    QTest::addColumn<bool>("common");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("written");

    QStringList numbered, same, common;
    for (int pass = 1; pass <= 11; ++pass) {
        numbered << u"n%1"_s.arg(pass);
        same << u"x"_s;
        common << u"p%1.jpg"_s.arg(pass);
    }
    QStringList byName{u"x.jpg"_s};
    for (int pass = 2; pass <= 11; ++pass)
        byName << u"x%1.jpg"_s.arg(pass);
    QTest::newRow("common name") << true << numbered << common;
    QTest::newRow("library names, all the same") << false << same << byName;
}

void TestBatchExport::numbersAreNotPadded() {
    QFETCH(bool, common);
    QFETCH(QStringList, names);
    QFETCH(QStringList, written);
    const QList<QByteArray> pictures = makeScores(names);
    auto form = startMainWindow();

    // The common name is filled in either way; only the choice decides.
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); },
                      {exportInto(m_out, {common, u"p"_s}), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted(written));
    for (int pass = 0; pass < written.size(); ++pass)
        QCOMPARE(TestFiles::readFile(out(written[pass])), pictures[pass]);
}

// A name made of the extension alone first, then the pass numbers; a score
// without a name shows as blank and is named as one.
void TestBatchExport::emptyNamesUnderLibraryNames() {
    const QList<QByteArray> pictures{pictureOf(0), pictureOf(1), pictureOf(2), pictureOf(3)};
    m_folder->makeLibrary({{u""_s, pictures[0]},
                           {std::nullopt, pictures[1]},
                           {u""_s, pictures[2]},
                           {u"named"_s, pictures[3]}});
    auto form = startMainWindow();

    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out),
             sorted({u".jpg"_s, u"2.jpg"_s, u"3.jpg"_s, u"named.jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u".jpg"_s)), pictures[0]);
    QCOMPARE(TestFiles::readFile(out(u"2.jpg"_s)), pictures[1]);
    QCOMPARE(TestFiles::readFile(out(u"3.jpg"_s)), pictures[2]);
    QCOMPARE(TestFiles::readFile(out(u"named.jpg"_s)), pictures[3]);
}

// After a find, the run covers what the find listed and nothing else.
void TestBatchExport::onlyTheListedScores() {
    QStringList names;
    for (int i = 1; i <= 10; ++i)
        names << u"drop %1"_s.arg(i);
    names[1] = u"keep one"_s;
    names[4] = u"to keep"_s;
    names[8] = u"keeping"_s;
    const QList<QByteArray> pictures = makeScores(names);
    auto form = startMainWindow();
    form->ADOQuery1.SetSQL(u"select * from pictures where filename like ?"_s, {u"%keep%"_s});
    form->ADOQuery1.Open();
    QCOMPARE(form->ADOQuery1.RecordCount(), 3);

    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out),
             sorted({u"keep one.jpg"_s, u"to keep.jpg"_s, u"keeping.jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u"keep one.jpg"_s)), pictures[1]);
    QCOMPARE(TestFiles::readFile(out(u"to keep.jpg"_s)), pictures[4]);
    QCOMPARE(TestFiles::readFile(out(u"keeping.jpg"_s)), pictures[8]);
    QCOMPARE(form->ADOQuery1.RecNo(), 2);
    QVERIFY(form->ADOQuery1.Eof());
    QCOMPARE(form->DBText1->text(), u"keeping"_s);
}

void TestBatchExport::scoreWithoutPictureGivesEmptyFile_data() {
    QTest::addColumn<bool>("null");
    QTest::newRow("null picture") << true;
    QTest::newRow("picture of no bytes") << false;
}

// Only the score that is current when OK is pressed is looked at beforehand.
void TestBatchExport::scoreWithoutPictureGivesEmptyFile() {
    QFETCH(bool, null);
    const QByteArray first = pictureOf(0), third = pictureOf(2);
    m_folder->makeLibrary({{u"a"_s, first},
                           {u"b"_s, null ? std::optional<QByteArray>() : QByteArray("")},
                           {u"c"_s, third}});
    auto form = startMainWindow();

    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted({u"a.jpg"_s, u"b.jpg"_s, u"c.jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u"a.jpg"_s)), first);
    QCOMPARE(QFileInfo(out(u"b.jpg"_s)).size(), 0);
    QCOMPARE(TestFiles::readFile(out(u"c.jpg"_s)), third);
}

void TestBatchExport::slashStopsTheRun_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("common");
    QTest::addColumn<QString>("commonName");
    QTest::addColumn<QString>("failing"); // the path reported, below the target
    QTest::addColumn<int>("recNo");       // where the record set stays
    QTest::addColumn<QStringList>("written");

    // The target holds an empty subfolder "a"; its parent holds the library.
    QTest::newRow("score name into a subfolder")
        << QStringList{u"first"_s, u"a/b"_s, u"third"_s} << false << QString() << u"a/b.jpg"_s << 1
        << QStringList{u"a/"_s, u"first.jpg"_s};
    QTest::newRow("score name into the parent")
        << QStringList{u"first"_s, u"../b"_s, u"third"_s} << false << QString() << u"../b.jpg"_s
        << 1 << QStringList{u"a/"_s, u"first.jpg"_s};
    QTest::newRow("score name of a slash alone")
        << QStringList{u"first"_s, u"/"_s, u"third"_s} << false << QString() << u"/.jpg"_s << 1
        << QStringList{u"a/"_s, u"first.jpg"_s};
    QTest::newRow("common name into a subfolder")
        << QStringList{u"first"_s, u"second"_s} << true << u"a/"_s << u"a/1.jpg"_s << 0
        << QStringList{u"a/"_s};
    QTest::newRow("common name into the parent")
        << QStringList{u"first"_s, u"second"_s} << true << u"../c"_s << u"../c1.jpg"_s << 0
        << QStringList{u"a/"_s};
}

// A name that would lead out of the folder is refused at its score; the run
// stops there and nothing is written anywhere else.
// The run itself, on a record set with no window: what it writes, where it
// leaves the list, and the one change it tells once it has passed every score.
void TestBatchExport::runsWithoutAWindow_data() {
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("common");
    QTest::addColumn<QStringList>("written");
    QTest::addColumn<int>("stoppedAt"); // -1: the run went through
    QTest::newRow("library names") << QStringList{u"a"_s, u"b"_s, u"a"_s} << false
                                   << QStringList{u"a.jpg"_s, u"a3.jpg"_s, u"b.jpg"_s} << -1;
    QTest::newRow("common name") << QStringList{u"a"_s, u"b"_s} << true
                                 << QStringList{u"page1.jpg"_s, u"page2.jpg"_s} << -1;
    QTest::newRow("a file the run wrote is never replaced")
        << QStringList{u"x"_s, u"x3"_s, u"x"_s} << false
        << QStringList{u"x.jpg"_s, u"x3.jpg"_s, u"x3_2.jpg"_s} << -1;
    QTest::newRow("a name that is no file name")
        << QStringList{u"a"_s, u"x/y"_s, u"c"_s} << false << QStringList{u"a.jpg"_s} << 1;
}

void TestBatchExport::runsWithoutAWindow() {
    QFETCH(QStringList, names);
    QFETCH(bool, common);
    QFETCH(QStringList, written);
    QFETCH(int, stoppedAt);
    const QList<QByteArray> pictures = makeScores(names);
    Connection connection;
    RecordSet records(connection);
    DataSource source(records);
    connection.SetDatabase(m_folder->library());
    records.Open();
    records.Last();
    int changes = 0;
    source.OnDataChange = [&changes](const Field*) { ++changes; };
    QList<int> passes;
    const auto run = [&] {
        exportListedScores(source, m_out, {!common, u"page"_s}, [&](int pass, int count) {
            QCOMPARE(count, int(names.size()));
            passes << pass;
        });
    };
    if (stoppedAt < 0) {
        run();
        QVERIFY(records.Eof());
        QCOMPARE(passes.size(), names.size());
    } else {
        QVERIFY_THROWS_EXCEPTION(FileError, run());
        QCOMPARE(records.RecNo(), stoppedAt);
        QCOMPARE(passes.size(), stoppedAt + 1);
    }
    QCOMPARE(changes, 1);
    QCOMPARE(sorted(QDir(m_out).entryList(QDir::Files)), written);
    QCOMPARE(TestFiles::readFile(out(written.first())), pictures.first());
}

void TestBatchExport::slashStopsTheRun() {
    QFETCH(QStringList, names);
    QFETCH(bool, common);
    QFETCH(QString, commonName);
    QFETCH(QString, failing);
    QFETCH(int, recNo);
    QFETCH(QStringList, written);
    const QList<QByteArray> pictures = makeScores(names);
    QVERIFY(QDir(m_out).mkdir(u"a"_s));
    auto form = startMainWindow();
    const QStringList before = TestFiles::entriesBelow(m_work);
    Naming naming;
    naming.common = common;
    if (common)
        naming.text = commonName;

    QList<SeenBox> reports;
    Seen seen;
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); },
                      {exportInto(m_out, naming), recordBox(&reports),
                       note(&seen, form.get(), m_out, cancel)}),
             3);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QCOMPARE(reports[0].title, u"tamblor"_s);
    const QString opening = u"Cannot create file \""_s + out(failing) + u"\". "_s;
    QVERIFY2(reports[0].text.startsWith(opening), qPrintable(reports[0].text));
    QVERIFY2(reports[0].text.size() > opening.size() + 1, qPrintable(reports[0].text));

    QVERIFY(seen.exportDialogOpen);
    QVERIFY(seen.progressVisible);
    QCOMPARE(seen.files, written);
    QCOMPARE(seen.recNo, recNo);
    QCOMPARE(seen.name, names[recNo]);
    QCOMPARE(form->ADOQuery1.RecNo(), recNo);

    QStringList after = before;
    for (const QString& file : written)
        if (!after.contains(u"out/"_s + file))
            after << u"out/"_s + file;
    QCOMPARE(TestFiles::entriesBelow(m_work), sorted(after));
    if (written.contains(u"first.jpg"_s))
        QCOMPARE(TestFiles::readFile(out(u"first.jpg"_s)), pictures[0]);
}

void TestBatchExport::dotNamesStayInTheFolder() {
    const QList<QByteArray> pictures = makeScores({u"."_s, u".."_s, u"..."_s});
    auto form = startMainWindow();
    const QStringList before = TestFiles::entriesBelow(m_work);

    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out), expectBox(Done)}),
             2);
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted({u"..jpg"_s, u"...jpg"_s, u"....jpg"_s}));
    QCOMPARE(TestFiles::readFile(out(u"..jpg"_s)), pictures[0]);
    QCOMPARE(TestFiles::readFile(out(u"...jpg"_s)), pictures[1]);
    QCOMPARE(TestFiles::readFile(out(u"....jpg"_s)), pictures[2]);
    QCOMPARE(TestFiles::entriesBelow(m_work),
             sorted(before + QStringList{u"out/..jpg"_s, u"out/...jpg"_s, u"out/....jpg"_s}));
}

void TestBatchExport::unreadablePictureStopsTheRun() {
    const QByteArray first = pictureOf(0);
    m_folder->makeLibrary(
        {{u"one"_s, first}, {u"two"_s, QByteArray("not a picture")}, {u"three"_s, pictureOf(2)}});
    auto form = startMainWindow();

    QList<SeenBox> reports;
    Seen seen;
    QCOMPARE(
        runSteps([&] { form->SaveFiles2->trigger(); },
                 {exportInto(m_out), recordBox(&reports), note(&seen, form.get(), m_out, cancel)}),
        3);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QVERIFY2(reports[0].text.contains(QRegularExpression(u"^JPEG error #\\d+\\.$"_s)),
             qPrintable(reports[0].text));
    QVERIFY(seen.exportDialogOpen);
    QCOMPARE(seen.files, QStringList{u"one.jpg"_s});
    QCOMPARE(seen.recNo, 1);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList{u"one.jpg"_s});
    QCOMPARE(TestFiles::readFile(out(u"one.jpg"_s)), first);
}

// x.jpg is taken, so x1.jpg is the file; a folder of that name cannot be replaced.
void TestBatchExport::targetTakenByFolders() {
    makeScores({u"x"_s, u"y"_s});
    QVERIFY(QDir(m_out).mkdir(u"x.jpg"_s));
    QVERIFY(QDir(m_out).mkdir(u"x1.jpg"_s));
    auto form = startMainWindow();

    QList<SeenBox> reports;
    Seen seen;
    QCOMPARE(
        runSteps([&] { form->SaveFiles2->trigger(); },
                 {exportInto(m_out), recordBox(&reports), note(&seen, form.get(), m_out, cancel)}),
        3);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    const QString opening = u"Cannot create file \""_s + out(u"x1.jpg"_s) + u"\". "_s;
    QVERIFY2(reports[0].text.startsWith(opening), qPrintable(reports[0].text));
    QVERIFY(seen.exportDialogOpen);
    QCOMPARE(seen.recNo, 0);
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted({u"x.jpg/"_s, u"x1.jpg/"_s}));
}

void TestBatchExport::nothingToExport_data() {
    QTest::addColumn<bool>("empty");
    QTest::newRow("empty library") << true;
    QTest::newRow("current score without picture") << false;
}

// The dialog just closes: no message, no file, the cursor where it was.
void TestBatchExport::nothingToExport() {
    QFETCH(bool, empty);
    if (empty)
        m_folder->makeLibrary({});
    else
        m_folder->makeLibrary(
            {{u"a"_s, pictureOf(0)}, {u"b"_s, std::nullopt}, {u"c"_s, pictureOf(2)}});
    auto form = startMainWindow();
    if (!empty)
        clickRow(*form, 1);
    const int recNo = form->ADOQuery1.RecNo();
    QCOMPARE(recNo, empty ? -1 : 1);

    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {exportInto(m_out)}), 1);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList());
    QCOMPARE(form->ADOQuery1.RecNo(), recNo);
    QCOMPARE(form->DBText1->text(), empty ? QString() : u"b"_s);
}

void TestBatchExport::cancelWritesNothing_data() {
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("取消") << false;
    QTest::newRow("close box") << true;
}

void TestBatchExport::cancelWritesNothing() {
    QFETCH(bool, closeBox);
    makeScores({u"a"_s, u"b"_s, u"c"_s});
    auto form = startMainWindow();
    clickRow(*form, 1);

    const ModalStep pickThenLeave = [&](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog)) {
            export_->DirectoryListBox1->openFolder(m_out);
            QTest::mouseClick(export_->RadioButton2, Qt::LeftButton);
        }
        if (closeBox)
            dialog->close();
        else
            cancel(dialog);
    };
    QCOMPARE(runSteps([&] { form->SaveManyPic->trigger(); }, {pickThenLeave}), 1);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList());
    QCOMPARE(form->ADOQuery1.RecNo(), 1);
    QVERIFY(!form->ADOQuery1.Eof());
    QCOMPARE(form->DBText1->text(), u"b"_s);
    // The folder opened in the tree stays the working directory.
    QCOMPARE(QDir::currentPath(), m_out);
}

void TestBatchExport::namingChoice() {
    makeScores({u"a"_s});
    auto form = startMainWindow();

    struct Edit {
        bool libraryNames = false;
        bool enabled = false;
        QString text;
        QColor base;
        bool focused = false;
        QString selected;
    };
    Edit opened, common, typed, library, reopened;
    QColor windowColour;
    const auto look = [](TSaveManyPicDlg* dialog, Edit* edit) {
        edit->libraryNames =
            dialog->RadioButton1->isChecked() && !dialog->RadioButton2->isChecked();
        edit->enabled = dialog->Edit1->isEnabled();
        edit->text = dialog->Edit1->text();
        edit->base = dialog->Edit1->palette().color(QPalette::Base);
        edit->focused = dialog->focusWidget() == dialog->Edit1;
        edit->selected = dialog->Edit1->selectedText();
    };
    const ModalStep toggle = [&](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog)) {
            windowColour = export_->palette().color(QPalette::Base);
            look(export_, &opened);
            QTest::mouseClick(export_->RadioButton2, Qt::LeftButton);
            look(export_, &common);
            QTest::keyClicks(export_->Edit1, u"abc"_s);
            look(export_, &typed);
            QTest::mouseClick(export_->RadioButton1, Qt::LeftButton);
            look(export_, &library);
        }
        cancel(dialog);
    };
    const ModalStep lookAgain = [&](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog))
            look(export_, &reopened);
        cancel(dialog);
    };
    QCOMPARE(runSteps([&] { form->SaveManyPic->trigger(); }, {toggle}), 1);
    QCOMPARE(runSteps([&] { form->SaveManyPic->trigger(); }, {lookAgain}), 1);

    QVERIFY(opened.libraryNames);
    QVERIFY(!opened.enabled);
    QCOMPARE(opened.text, u"输入公用名"_s);
    QVERIFY(opened.base != windowColour);

    // Enabled in the window colour with the keyboard in it; the text is neither
    // cleared nor selected, so typing goes after it.
    QVERIFY(!common.libraryNames);
    QVERIFY(common.enabled);
    QCOMPARE(common.text, u"输入公用名"_s);
    QCOMPARE(common.base, windowColour);
    QVERIFY(common.focused);
    QCOMPARE(common.selected, QString());
    QCOMPARE(typed.text, u"输入公用名abc"_s);

    QVERIFY(library.libraryNames);
    QVERIFY(!library.enabled);
    QCOMPARE(library.text, u"输入公用名abc"_s);
    QCOMPARE(library.base, opened.base);

    // A new dialog each time: nothing comes back from the last one.
    QVERIFY(reopened.libraryNames);
    QVERIFY(!reopened.enabled);
    QCOMPARE(reopened.text, u"输入公用名"_s);
}

void TestBatchExport::newFolderRefusesExistingName_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("existing name") << u"old"_s;
    QTest::newRow("empty name, the folder itself") << u""_s;
    QTest::newRow("existing name and a slash") << u"old/"_s;
}

void TestBatchExport::newFolderRefusesExistingName() {
    QFETCH(QString, name);
    makeScores({u"a"_s});
    QVERIFY(QDir(m_out).mkdir(u"old"_s));
    auto form = startMainWindow();

    QList<SeenBox> boxes;
    bool inputStillOpen = false;
    QString typed;
    const ModalStep lookThenCancel = [&](QWidget* dialog) {
        if (auto* input = qobject_cast<TInputDirDlg*>(dialog)) {
            inputStillOpen = input->isVisible();
            typed = input->Edit1->text();
        }
        cancel(dialog);
    };
    Seen seen;
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); },
                      {newFolderIn(m_out), typeAndPress(name, u"确定"_s), recordBox(&boxes),
                       lookThenCancel, note(&seen, form.get(), m_out, cancel)}),
             5);
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, FolderExists);
    QCOMPARE(boxes[0].icon, QMessageBox::NoIcon);
    QVERIFY(inputStillOpen);
    QCOMPARE(typed, name);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList{u"old/"_s});
    QCOMPARE(seen.tree, expectedTree(m_out, {u"old"_s}));
}

// The name may go down several levels; all are made and the tree opens the
// innermost, which is where the export then writes.
void TestBatchExport::newFolderMakesEveryLevel() {
    const QList<QByteArray> pictures = makeScores({u"s"_s});
    auto form = startMainWindow();

    Seen seen;
    const ModalStep lookThenExport = note(&seen, form.get(), m_out, [](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog))
            export_->Button2->click();
        else
            unexpected(dialog, u"the export dialog"_s);
    });
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); },
                      {newFolderIn(m_out), typeAndPress(u"a/b"_s, u"确定"_s), lookThenExport,
                       expectBox(Done)}),
             4);
    const QString inner = m_out + u"/a/b"_s;
    QCOMPARE(seen.tree, expectedTree(inner, {}));
    QCOMPARE(seen.workingDirectory, inner);
    QCOMPARE(seen.files, sorted({u"a/"_s, u"a/b/"_s}));
    QCOMPARE(TestFiles::entriesBelow(m_out), sorted({u"a/"_s, u"a/b/"_s, u"a/b/s.jpg"_s}));
    QCOMPARE(TestFiles::readFile(inner + u"/s.jpg"_s), pictures[0]);
}

void TestBatchExport::newFolderCancelled() {
    makeScores({u"a"_s});
    auto form = startMainWindow();
    Seen seen;
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); },
                      {newFolderIn(m_out), typeAndPress(u"new"_s, u"取消"_s),
                       note(&seen, form.get(), m_out, cancel)}),
             3);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList());
    QCOMPARE(seen.tree, expectedTree(m_out, {}));
    QCOMPARE(seen.workingDirectory, m_out);
}

void TestBatchExport::treeOpensAtWorkingDirectory() {
    makeScores({u"a"_s});
    for (const QString& name : {u"beta"_s, u"alpha"_s, u"gamma"_s})
        QVERIFY(QDir(m_work).mkdir(name));
    auto form = startMainWindow();
    Seen seen;
    QCOMPARE(
        runSteps([&] { form->SaveFiles2->trigger(); }, {note(&seen, form.get(), m_out, cancel)}),
        1);
    QCOMPARE(seen.tree, expectedTree(m_work, {u"alpha"_s, u"beta"_s, u"gamma"_s, u"out"_s}));
    QCOMPARE(seen.workingDirectory, m_work);
}

// A double click or Enter opens a line's folder; a single click only highlights.
void TestBatchExport::treeOpensFolders() {
    makeScores({u"a"_s});
    QVERIFY(QDir(m_work).mkpath(u"alpha/inner"_s));
    auto form = startMainWindow();

    QStringList doubleClicked, highlighted, entered;
    QString dirAfterDoubleClick, dirAfterHighlight, dirAfterEnter;
    const QString alpha = m_work + u"/alpha"_s;
    const ModalStep browse = [&](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog)) {
            DirectoryListBox& tree = *export_->DirectoryListBox1;
            QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {},
                               centreOf(tree, rowOf(tree, u"alpha"_s)));
            doubleClicked = treeOf(tree);
            dirAfterDoubleClick = QDir::currentPath();

            const int workRow = rowOf(tree, m_work.section(u'/', -1));
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, centreOf(tree, workRow));
            highlighted = treeOf(tree);
            dirAfterHighlight = QDir::currentPath();

            QTest::keyClick(&tree, Qt::Key_Return);
            entered = treeOf(tree);
            dirAfterEnter = QDir::currentPath();
        }
        cancel(dialog);
    };
    // Enter opens the folder and nothing else: no export runs.
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {browse}), 1);

    QCOMPARE(doubleClicked, expectedTree(alpha, {u"inner"_s}));
    QCOMPARE(dirAfterDoubleClick, alpha);
    const int workLine = int(expectedTree(m_work, {}).size()) - 2;
    QCOMPARE(highlighted, expectedTree(alpha, {u"inner"_s}, workLine));
    QCOMPARE(dirAfterHighlight, alpha);
    QCOMPARE(entered, expectedTree(m_work, {u"alpha"_s, u"out"_s}));
    QCOMPARE(dirAfterEnter, m_work);
    QCOMPARE(TestFiles::entriesBelow(m_out), QStringList());
}

void TestBatchExport::removedFolderIsReported_data() {
    QTest::addColumn<bool>("byEnter");
    QTest::newRow("double click") << false;
    QTest::newRow("Enter") << true;
}

void TestBatchExport::removedFolderIsReported() {
    QFETCH(bool, byEnter);
    makeScores({u"a"_s});
    QVERIFY(QDir(m_work).mkdir(u"gone"_s));
    auto form = startMainWindow();

    QStringList listed;
    bool removed = false;
    const ModalStep removeThenOpen = [&](QWidget* dialog) {
        auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog);
        if (!export_)
            return unexpected(dialog, u"the export dialog"_s);
        DirectoryListBox& tree = *export_->DirectoryListBox1;
        const QPoint line = centreOf(tree, rowOf(tree, u"gone"_s));
        removed = QDir(m_work).rmdir(u"gone"_s);
        if (byEnter) {
            QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, line);
            listed = treeOf(tree);
            QTest::keyClick(&tree, Qt::Key_Return);
        } else {
            listed = treeOf(tree);
            QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, line);
        }
    };
    QList<SeenBox> reports;
    Seen seen;
    QCOMPARE(
        runSteps([&] { form->SaveFiles2->trigger(); },
                 {removeThenOpen, recordBox(&reports), note(&seen, form.get(), m_out, cancel)}),
        3);
    QVERIFY(removed);
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].icon, QMessageBox::Critical);
    QVERIFY(!reports[0].text.isEmpty());
    // The tree still shows what it showed, the removed line included; only
    // the highlight may have moved with the click.
    QCOMPARE(seen.tree.first(), u"open: "_s + m_work);
    QCOMPARE(unmarked(seen.tree), unmarked(listed));
    QVERIFY(unmarked(listed).contains(u"gone = "_s + m_work + u"/gone"_s));
    QCOMPARE(seen.workingDirectory, m_work);
}

void TestBatchExport::driveListShowsTheVolumes() {
    makeScores({u"a"_s});
    auto form = startMainWindow();
    QStringList roots, texts;
    int current = -1;
    const ModalStep look = [&](QWidget* dialog) {
        if (auto* export_ = qobject_cast<TSaveManyPicDlg*>(dialog)) {
            const DriveComboBox& drives = *export_->DriveComboBox1;
            for (int i = 0; i < drives.count(); ++i) {
                roots << drives.itemData(i).toString();
                texts << drives.itemText(i);
            }
            current = drives.currentIndex();
        }
        cancel(dialog);
    };
    QCOMPARE(runSteps([&] { form->SaveFiles2->trigger(); }, {look}), 1);

    const QString volume = QStorageInfo(m_work).rootPath();
    QVERIFY(current >= 0);
    QCOMPARE(roots.value(current), volume);
    QVERIFY2(texts.value(current).startsWith(volume), qPrintable(texts.value(current)));
    QVERIFY(std::is_sorted(roots.begin(), roots.end()));
    for (int i = 0; i < texts.size(); ++i)
        QVERIFY2(texts[i].startsWith(roots[i]), qPrintable(texts[i]));
    for (const QStorageInfo& mounted : QStorageInfo::mountedVolumes())
        QVERIFY2(roots.contains(mounted.rootPath()), qPrintable(mounted.rootPath()));
}

int main(int argc, char* argv[]) {
    Application app(argc, argv);
    TestBatchExport test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_batchexport.moc"
