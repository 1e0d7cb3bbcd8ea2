#include "windowbench.h"

#include "batchexport.h"
#include "commands.h"
#include "library.h"
#include "libraryfile.h"
#include "paintwatch.h"
#include "picturefile.h"
#include "tform1.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextStream>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int CheapRuns = 15;
constexpr int Runs = 11;
constexpr int SlowRuns = 7;
constexpr int LargeRuns = 3;  // whole-library operations, about 2 GB each
constexpr int ExportRuns = 7; // the batch export, whose file system costs vary from run to run
constexpr int Steps = 40;     // each way
constexpr int ColdRuns = 7;
constexpr int QueuedKeys = 50;
constexpr int KeyRuns = 5;
// What the 50 presses may take besides decoding the page they lead to.
constexpr double QueuedKeysAllowanceMs = 100;

// `jpeg` as a phone stores a portrait photo: the same bytes, with an EXIF
// segment right after the start saying to stand it up by a quarter turn
// clockwise (orientation 6).
QByteArray onItsSide(const QByteArray& jpeg) {
    static constexpr char Exif[] = "\xff\xe1\x00\x22"
                                   "Exif\0\0"
                                   "MM\x00\x2a\x00\x00\x00\x08"
                                   "\x00\x01"
                                   "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00"
                                   "\x00\x00\x00\x00";
    return jpeg.left(2) + QByteArray(Exif, sizeof Exif - 1) + jpeg.mid(2);
}

QString insertQuery(const QString& file) {
    return u"insert into pictures values('x', readfile(%1))"_s.arg(sqlText(file));
}

// Drops `files` from the file cache, with a library's -wal and -shm when it
// has them, so that the next read of them comes from the disk. Only pages
// already written out can be dropped: everything is synced first.
void dropFromFileCache(const QStringList& files) {
    ::sync();
    for (const QString& file : files) {
        for (const QString& suffix : {QString(), u"-wal"_s, u"-shm"_s}) {
            const int fd = ::open(QFile::encodeName(file + suffix).constData(), O_RDONLY);
            if (fd < 0)
                continue;
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

QString megabytes(qint64 bytes) {
    return u"%1 MB"_s.arg(double(bytes) / 1e6, 0, 'f', 1);
}

} // namespace

void idle() {
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

WindowBench::WindowBench(const BenchData& data, const QString& work) : m_data(data), m_work(work) {
    QDir::setCurrent(m_work);
    LibraryFile::write(this->work(u"pictures.tbr"_s));
    m_form = std::make_unique<TForm1>(Commands::all());
    m_watch = std::make_unique<PaintWatch>(
        m_form->Image1, [this] { return m_form->Image1->picture().jpegData() == m_expected; });
    m_form->show();
    idle();
    QTextStream(stdout) << "  picture area " << pictureArea().width() << " x "
                        << pictureArea().height() << '\n';
}

WindowBench::~WindowBench() = default;

QSize WindowBench::pictureArea() const {
    return m_form->Image1->size();
}

void WindowBench::openCold(const QString& library) {
    m_form->pictureCache().clear();
    Commands::openLibrary(*m_form, library);
    idle();
}

// ---- Waiting for the page painted ------------------------------------------------------

QByteArray WindowBench::page(int record) const {
    return readWholeFile(m_data.pageFile(record));
}

double WindowBench::untilShown(const QByteArray& jpeg, const std::function<void()>& action) {
    m_expected = jpeg;
    return m_watch->millisecondsUntilPainted(action);
}

// A user reads the page before the next key: the pages beside it are drawn by then.
void WindowBench::settle() {
    idle();
    m_form->pictureCache().waitForWorkAhead();
    idle();
}

// djpeg decodes the file that `file` names at the time it runs.
Trial WindowBench::djpegTrial(const std::function<QString()>& file) {
    return {[] {}, [file] { return millisecondsOfPrograms({{u"djpeg"_s, file()}}); }};
}

// djpeg on an 8 x 8 picture: its start-up, which comes off its samples, since
// our side of each row has no process to start.
Trial WindowBench::djpegStartup() {
    return programTrial({{u"djpeg"_s, m_data.tinyJpeg()}});
}

// ---- Opening ---------------------------------------------------------------------------

// From the command to the first page painted. `cold`: the library's file
// first leaves the file cache.
Trial WindowBench::openTrial(const QString& library, bool cold) {
    return {[this, library, cold] {
                m_form->pictureCache().clear();
                m_form->Image1->clear();
                idle();
                if (cold)
                    dropFromFileCache({library});
            },
            [this, library] {
                return untilShown(page(0), [&] { Commands::openLibrary(*m_form, library); });
            },
            [this] { settle(); }};
}

QList<ResultRow> WindowBench::opening() {
    const QString big = m_data.bigLibrary(), first = m_data.pageFile(0);
    // The names query is the one the window runs to list a library.
    const QStringList names =
        sqlite(big, u"select rowid, \"filename\", length(\"picture\") from pictures"_s);
    const Trial anchor{[big, first] {
                           dropFromFileCache({big, first});
                       },
                       [names, first] {
                           return millisecondsOfPrograms({names, {u"djpeg"_s, first}});
                       }};
    const Trial startups =
        programTrial({sqlite(u":memory:"_s, u"select 1"_s), {u"djpeg"_s, m_data.tinyJpeg()}});
    const auto cold = takeTurns(ColdRuns, {openTrial(big, true), anchor, startups});
    const auto sizes =
        takeTurns(Runs, {openTrial(big, false), openTrial(m_data.smallLibrary(), false)});
    return {timeRow(u"open a 2,000-page library of 1 MB pages, cold file cache, to the first "
                    u"page painted"_s,
                    cold[0], lessStartup(cold[1], cold[2]),
                    u"sqlite3 running the window's names query, cold, and djpeg of the first "
                    u"page, cold; less their start-up"_s,
                    1.2),
            timeRow(u"open: 2,000 pages of 1 MB against 2,000 pages of 10 KB (same first page), "
                    u"to the first page painted"_s,
                    sizes[0], sizes[1], u"the same program on the 10 KB library"_s, 1.3)};
}

// ---- Showing and turning pages ---------------------------------------------------------

Trial WindowBench::showTrial(const QByteArray& jpeg) {
    return {[this] {
                m_form->pictureCache().clear();
                m_form->Image1->clear();
                idle();
            },
            [this, jpeg] {
                return untilShown(
                    jpeg, [&] { m_form->Image1->setPicture(JpegPicture::fromJpegData(jpeg)); });
            }};
}

QList<ResultRow> WindowBench::showing() {
    QList<ResultRow> rows;
    const QStringList files = m_data.scans() << m_data.photo();
    for (const QString& file : files) {
        const QByteArray jpeg = readWholeFile(file);
        const JpegPicture picture = JpegPicture::fromJpegData(jpeg);
        const auto samples = takeTurns(
            CheapRuns, {showTrial(jpeg), djpegTrial([file] { return file; }), djpegStartup()});
        rows << timeRow(
            u"show a picture the first time, to painted: %1 × %2, %3"_s.arg(picture.width())
                .arg(picture.height())
                .arg(megabytes(jpeg.size())),
            samples[0], lessStartup(samples[1], samples[2]),
            u"djpeg, full decode, less its start-up"_s, 0.9);
    }
    const QByteArray photo = readWholeFile(m_data.photo());
    const QByteArray turned = onItsSide(photo);
    const auto samples = takeTurns(CheapRuns, {showTrial(turned), showTrial(photo)});
    rows << timeRow(u"show a phone photo stored on its side (EXIF orientation 6) the first time, "
                    u"to painted: %1 × %2"_s.arg(JpegPicture::fromJpegData(turned).width())
                        .arg(JpegPicture::fromJpegData(turned).height()),
                    samples[0], samples[1], u"the same photo without orientation"_s, 1.1);
    return rows;
}

// One key press to the name list, as the keyboard gives it.
void WindowBench::pressKey(Qt::Key key) {
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QCoreApplication::postEvent(m_form->DBGrid1, new QKeyEvent(type, key, Qt::NoModifier));
}

// `presses` presses of `key` at once, timed to the page they lead to painted.
Trial WindowBench::keysTrial(Qt::Key key, int presses) {
    return {[] {},
            [this, key, presses] {
                const int step = key == Qt::Key_Down ? presses : -presses;
                return untilShown(page(m_form->ADOQuery1.RecNo() + step), [&] {
                    for (int i = 0; i < presses; ++i)
                        pressKey(key);
                });
            },
            [this] { settle(); }};
}

Trial WindowBench::djpegOfCurrentPage() {
    return djpegTrial([this] { return m_data.pageFile(m_form->ADOQuery1.RecNo()); });
}

// Forward, then back, the window idle between two presses.
ResultRow WindowBench::pageTurnRow(const QString& window, double goal) {
    openCold(m_data.bigLibrary());
    settle();
    QList<QList<double>> samples(3);
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up}) {
        const auto turns =
            takeTurns(Steps, {keysTrial(key, 1), djpegOfCurrentPage(), djpegStartup()});
        for (qsizetype side = 0; side < turns.size(); ++side)
            samples[side] += turns[side];
    }
    const QSize area = pictureArea();
    return timeRow(
        u"turn a page, key press to the page painted, %1 (picture area %2 × %3)"_s.arg(window)
            .arg(area.width())
            .arg(area.height()),
        samples[0], lessStartup(samples[1], samples[2]),
        u"djpeg, full decode of the page turned to, less its start-up"_s, goal);
}

QList<ResultRow> WindowBench::turningPages() {
    QList<ResultRow> rows{pageTurnRow(u"default window"_s, 0.30)};
    // Offscreen there is no maximising: the window takes the size a screen
    // of 1280 x 1024 would give it.
    const QSize normal = m_form->size();
    m_form->resize(1280, 1000);
    idle();
    rows << pageTurnRow(u"maximised 1280 × 1000 window"_s, 0.50);
    m_form->resize(normal);
    idle();
    return rows;
}

ResultRow WindowBench::queuedKeys() {
    openCold(m_data.bigLibrary());
    settle();
    const auto samples = takeTurns(
        KeyRuns, {keysTrial(Qt::Key_Down, QueuedKeys), djpegOfCurrentPage(), djpegStartup()});
    return timeRow(
        u"%1 key presses queued at once, to the page of the last painted"_s.arg(QueuedKeys),
        samples[0], shifted(lessStartup(samples[1], samples[2]), QueuedKeysAllowanceMs),
        u"100 ms + djpeg, full decode of that page, less its start-up"_s, 1.0);
}

// ---- Importing and exporting ----------------------------------------------------------

// The import command's own calls, less its two dialogs.
void WindowBench::importFile(const QString& file) {
    TForm1& form = *m_form;
    form.ADOQuery1.Edit();
    JpegPicture picture = loadPictureFile(file);
    form.Image1->setPicture(picture);
    form.Values.PendingName = u"x"_s;
    Commands::storeNewScore(form, picture, Commands::CountNewScore::BeforePost);
}

namespace {
// Each call gives the next of `files`, round and round.
std::function<QString()> inTurn(const QStringList& files) {
    return [files, next = qsizetype(0)]() mutable { return files[next++ % files.size()]; };
}
} // namespace

// Each run imports a file of its own with no page drawn before: nothing that
// an earlier run stored or drew can serve it.
Trial WindowBench::freshImportTrial(const QStringList& files) {
    return {[this] { m_form->pictureCache().clear(); },
            [this, next = inTurn(files)] {
                const QString file = next();
                return millisecondsOf([&] { importFile(file); });
            },
            idle};
}

QList<ResultRow> WindowBench::importing() {
    const QString ours = work(u"import.tbr"_s), theirs = work(u"import-anchor.tbr"_s);
    QFile::copy(m_data.smallLibrary(), ours);
    QFile::copy(m_data.smallLibrary(), theirs);
    openCold(ours);
    const QStringList jpegs = m_data.importJpegCopies(), bitmaps = m_data.bitmapCopies();
    const Trial insertAndDecode{
        [] {},
        [theirs, next = inTurn(jpegs)] {
            const QString file = next();
            return millisecondsOfPrograms({sqlite(theirs, insertQuery(file)), {u"djpeg"_s, file}});
        }};
    const Trial startups =
        programTrial({sqlite(u":memory:"_s, u"select 1"_s), {u"djpeg"_s, m_data.tinyJpeg()}});
    const auto jpeg = takeTurns(Runs, {freshImportTrial(jpegs), insertAndDecode, startups});
    const auto cjpegOf = [](const QString& file) {
        return QStringList{u"cjpeg"_s, u"-quality"_s, u"90"_s, u"-baseline"_s, file};
    };
    const Trial cjpeg{[] {}, [next = inTurn(bitmaps),
                              cjpegOf] { return millisecondsOfPrograms({cjpegOf(next())}); }};
    const auto bitmap = takeTurns(
        SlowRuns, {freshImportTrial(bitmaps), cjpeg, programTrial({cjpegOf(m_data.tinyBitmap())})});
    openCold(work(u"pictures.tbr"_s));
    QFile::remove(ours);
    QFile::remove(theirs);
    return {timeRow(u"import a %1 JPEG file, a new one each run"_s.arg(
                        megabytes(QFileInfo(jpegs[0]).size())),
                    jpeg[0], lessStartup(jpeg[1], jpeg[2]),
                    u"sqlite3 insert … readfile() and djpeg, full decode; less their start-up"_s,
                    1.5),
            timeRow(u"import a %1 BMP (encoded at quality 90), a new one each run"_s.arg(
                        megabytes(QFileInfo(bitmaps[0]).size())),
                    bitmap[0], lessStartup(bitmap[1], bitmap[2]),
                    u"cjpeg -quality 90 -baseline, less its start-up"_s, 1.0)};
}

ResultRow WindowBench::exportingCurrent() {
    openCold(m_data.bigLibrary());
    const QString source = work(u"current.jpg"_s), ours = work(u"exported.jpg"_s),
                  copied = work(u"copied.jpg"_s);
    Commands::exportCurrentScore(*m_form, source);
    const Trial exporting{[] {},
                          [this, ours] {
                              return millisecondsOf(
                                  [&] { Commands::exportCurrentScore(*m_form, ours); });
                          },
                          [ours] { QFile::remove(ours); }};
    const auto samples =
        takeTurns(CheapRuns,
                  {exporting, programTrial({{u"cp"_s, source, copied}, {u"sync"_s, copied, m_work}},
                                           [copied] { QFile::remove(copied); })});
    const qint64 size = QFileInfo(source).size();
    QFile::remove(source);
    return timeRow(u"export the current page (%1)"_s.arg(megabytes(size)), samples[0], samples[1],
                   u"cp of a file of the same bytes, then sync of it and its folder"_s, 1.5);
}

// Every side puts its files on the disk before it is done, as the export does:
// the anchors are followed by a sync of the folder's file system.
QList<ResultRow> WindowBench::batchExporting() {
    openCold(m_data.bigLibrary());
    const QString out = work(u"batch"_s);
    emptyFolder(out);
    // Every run writes into a folder of its own, made just before: the file
    // system then treats each side alike (files made where others were just
    // deleted take it much longer to place).
    int made = 0;
    QString target;
    const auto fresh = [out, &made, &target] {
        emptyFolderAndFlush(out);
        target = out + u"/run%1"_s.arg(++made);
        QDir().mkpath(target);
    };
    const Trial ours{fresh,
                     [this, &target] {
                         return millisecondsOf(
                             [&] { exportListedScores(m_form->DataSource1, target, {}); });
                     },
                     idle};
    const QString writeAll = u"select writefile(%1 || rowid || '.jpg', picture) from pictures"_s;
    const Trial viaSqlite{
        fresh, [this, &target, writeAll] {
            return millisecondsOfPrograms(
                {sqlite(m_data.bigLibrary(), writeAll.arg(sqlText(target + u'/'))),
                 {u"sync"_s, u"-f"_s, target}});
        }};
    const Trial viaCopy{fresh, [this, &target] {
                            return millisecondsOfPrograms(
                                {{u"cp"_s, u"-r"_s, m_data.pageFolder(), target + u"/copy"_s},
                                 {u"sync"_s, u"-f"_s, target + u"/copy"_s}});
                        }};
    const auto samples = takeTurns(ExportRuns, {ours, viaSqlite, viaCopy});
    QDir(out).removeRecursively();
    const QString operation = u"batch export of 2,000 pages, library names"_s;
    return {timeRow(operation, samples[0], samples[2],
                    u"cp -r of the same 2,000 files, then sync -f of the folder"_s, 1.2),
            timeRow(operation, samples[0], samples[1],
                    u"sqlite3 writefile() of every picture, then sync -f of the folder"_s)};
}

// ---- Finding and new libraries ---------------------------------------------------------

ResultRow WindowBench::finding() {
    const QString names = m_data.namesLibrary(), word = BenchData::findWord();
    openCold(names);
    const Queries::Query query = Queries::namesContaining(word);
    int found = 0;
    const Trial ours{[this] { m_form->pictureCache().clear(); },
                     [this, &query, &found] {
                         const double ms = millisecondsOf([&] {
                             Commands::listScores(m_form->ADOQuery1, query);
                             m_form->showCurrentScore();
                         });
                         found = m_form->ADOQuery1.RecordCount();
                         return ms;
                     },
                     [this] {
                         Commands::ShowAllClick(*m_form);
                         idle();
                     }};
    const QString like =
        u"select * from pictures where filename like %1"_s.arg(sqlText(u'%' + word + u'%'));
    const auto samples = takeTurns(Runs, {ours, programTrial({sqlite(names, like)})});
    return timeRow(u"find by a word over 100,000 names (%1 found)"_s.arg(found), samples[0],
                   samples[1], u"sqlite3 running the same LIKE query"_s, 1.5);
}

ResultRow WindowBench::newLibrary() {
    const QString folder = work(u"new"_s), home = QDir::currentPath();
    emptyFolder(folder);
    const QString defaultLibrary = folder + u"/pictures.tbr"_s, copy = folder + u"/x.tbr"_s;
    if (::link(QFile::encodeName(m_data.bigLibrary()).constData(),
               QFile::encodeName(defaultLibrary).constData()) != 0)
        QFile::copy(m_data.bigLibrary(), defaultLibrary);
    QDir::setCurrent(folder);
    int made = 0;
    const Trial ours{[] { ::sync(); },
                     [this, &made] {
                         const QString name = u"new%1"_s.arg(++made);
                         return millisecondsOf([&] { Commands::createLibrary(*m_form, name); });
                     },
                     [this, &made, home, folder] {
                         openCold(home + u"/pictures.tbr"_s);
                         QFile::remove(folder + u"/new%1.tbr"_s.arg(made));
                     }};
    const Trial anchor{
        [] { ::sync(); },
        [defaultLibrary, copy] {
            return millisecondsOfPrograms(
                {{u"cp"_s, defaultLibrary, copy}, sqlite(copy, u"delete from pictures; vacuum"_s)});
        },
        [copy] { QFile::remove(copy); }};
    const auto samples = takeTurns(LargeRuns, {ours, anchor});
    QDir::setCurrent(home);
    QDir(folder).removeRecursively();
    return timeRow(u"new library from a 2,000-page default library"_s, samples[0], samples[1],
                   u"cp of the file; sqlite3 delete from pictures; vacuum"_s, 0.01, 50);
}
