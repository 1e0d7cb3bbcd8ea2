#include "windowbench.h"

#include "batchexport.h"
#include "commands.h"
#include "library.h"
#include "libraryfile.h"
#include "picturefile.h"
#include "tform1.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int CheapRuns = 15;
constexpr int Runs = 11;
constexpr int SlowRuns = 7;
constexpr int LargeRuns = 3;  // whole-library operations, about 2 GB each
constexpr int ExportRuns = 5; // the batch export, whose file system costs vary from run to run
constexpr int Steps = 40;     // each way

QString sqlText(const QString& text) {
    return u'\'' + QString(text).replace(u'\'', u"''"_s) + u'\'';
}

QStringList sqlite(const QString& library, const QString& sql) {
    return {u"sqlite3"_s, library, sql};
}

Trial programTrial(
    const QList<QStringList>& commands, std::function<void()> after = [] {}) {
    return {[] {}, [commands] { return millisecondsOfPrograms(commands); }, std::move(after)};
}

void emptyFolder(const QString& folder) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

// Every run of a large write starts with nothing left to flush from the one before.
void emptyFolderAndFlush(const QString& folder) {
    emptyFolder(folder);
    ::sync();
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
    m_form->show();
    idle();
    m_canvas = QImage(m_form->Image1->size(), QImage::Format_ARGB32_Premultiplied);
    QTextStream(stdout) << "  picture area " << m_canvas.width() << " x " << m_canvas.height()
                        << '\n';
}

WindowBench::~WindowBench() = default;

void WindowBench::openCold(const QString& library) {
    m_form->pictureCache().clear();
    Commands::openLibrary(*m_form, library);
    idle();
}

// ---- Opening ---------------------------------------------------------------------------

// The first picture is shown once the window has painted it.
Trial WindowBench::openTrial(const QString& library) {
    return {[this] { m_form->pictureCache().clear(); },
            [this, library] {
                return millisecondsOf([&] {
                    Commands::openLibrary(*m_form, library);
                    m_form->repaint();
                });
            },
            idle};
}

QList<ResultRow> WindowBench::opening() {
    const QString big = m_data.bigLibrary(), first = work(u"first.jpg"_s);
    openCold(big);
    Commands::exportCurrentScore(*m_form, first);
    const auto open = takeTurns(
        Runs, {openTrial(big), programTrial({sqlite(big, u"select rowid, filename from pictures"_s),
                                             {u"djpeg"_s, first}})});
    const auto sizes = takeTurns(Runs, {openTrial(big), openTrial(m_data.smallLibrary())});
    QFile::remove(first);
    return {timeRow(u"open a 2,000-page library to the first picture shown"_s, open[0], open[1],
                    u"sqlite3 select rowid, filename; djpeg of the first picture"_s, 1.0),
            timeRow(u"open: 2,000 pages of 1 MB against 2,000 pages of 10 KB (same first page)"_s,
                    sizes[0], sizes[1], u"the same program on the 10 KB library"_s, 1.3)};
}

// ---- Showing and stepping ----------------------------------------------------------------

Trial WindowBench::showTrial(const QByteArray& jpeg) {
    return {[this] { m_form->pictureCache().clear(); },
            [this, jpeg] {
                return millisecondsOf([&] {
                    m_form->Image1->setPicture(JpegPicture::fromJpegData(jpeg));
                    m_form->Image1->QWidget::render(&m_canvas); // its own render() is the fit
                });
            }};
}

QList<ResultRow> WindowBench::showing() {
    QList<ResultRow> rows;
    const QStringList files = m_data.scans() << m_data.photo();
    for (const QString& file : files) {
        const QByteArray jpeg = readWholeFile(file);
        const JpegPicture picture = JpegPicture::fromJpegData(jpeg);
        const auto samples =
            takeTurns(CheapRuns, {showTrial(jpeg), programTrial({{u"djpeg"_s, file}})});
        rows << timeRow(u"show a picture the first time: %1 × %2, %3"_s.arg(picture.width())
                            .arg(picture.height())
                            .arg(megabytes(jpeg.size())),
                        samples[0], samples[1], u"djpeg, full decode"_s, 0.7);
    }
    return rows;
}

// Forward, then back, with the window idle between two clicks.
QList<double> WindowBench::stepSamples(int steps) {
    QList<double> samples;
    for (auto step : {&TForm1::SpeedButton2Click, &TForm1::SpeedButton1Click}) {
        for (int i = 0; i < steps; ++i) {
            samples << millisecondsOf([&] { (m_form.get()->*step)(); });
            // A user reads the page before the next step: the pages beside
            // it are drawn by then.
            idle();
            m_form->pictureCache().waitForWorkAhead();
            idle();
        }
    }
    return samples;
}

ResultRow WindowBench::stepping() {
    openCold(m_data.bigLibrary());
    const QList<double> steps = stepSamples(Steps);
    int page = 1;
    const Trial decode{[] {},
                       [this, &page] {
                           const QString file = m_data.pageFolder() + u'/' +
                                                BenchData::scoreName(page++) + u".jpg"_s;
                           return millisecondsOfPrograms({{u"djpeg"_s, file}});
                       }};
    const auto anchor = takeTurns(CheapRuns, {decode});
    return timeRow(u"step to the next or previous page, browsing in order"_s, steps, anchor[0],
                   u"djpeg, full decode of the pages stepped to"_s, 0.15);
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

Trial WindowBench::importTrial(const QString& file) {
    return {[] {}, [this, file] { return millisecondsOf([&] { importFile(file); }); }, idle};
}

QList<ResultRow> WindowBench::importing() {
    const QString ours = work(u"import.tbr"_s), theirs = work(u"import-anchor.tbr"_s);
    QFile::copy(m_data.smallLibrary(), ours);
    QFile::copy(m_data.smallLibrary(), theirs);
    openCold(ours);
    const QString jpeg = m_data.importJpeg(), bitmap = m_data.bitmap();
    const auto jpegs = takeTurns(
        Runs, {importTrial(jpeg),
               programTrial({sqlite(theirs, u"insert into pictures values('x', readfile(%1))"_s.arg(
                                                sqlText(jpeg)))})});
    const auto bitmaps = takeTurns(
        SlowRuns, {importTrial(bitmap),
                   programTrial({{u"cjpeg"_s, u"-quality"_s, u"90"_s, u"-baseline"_s, bitmap}})});
    openCold(work(u"pictures.tbr"_s));
    QFile::remove(ours);
    QFile::remove(theirs);
    return {timeRow(u"import a %1 JPEG file"_s.arg(megabytes(QFileInfo(jpeg).size())), jpegs[0],
                    jpegs[1], u"sqlite3 insert … readfile()"_s, 1.5),
            timeRow(u"import a %1 BMP (encoded at quality 90)"_s.arg(
                        megabytes(QFileInfo(bitmap).size())),
                    bitmaps[0], bitmaps[1], u"cjpeg -quality 90 -baseline"_s, 1.0)};
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
        takeTurns(CheapRuns, {exporting, programTrial({{u"cp"_s, source, copied}},
                                                      [copied] { QFile::remove(copied); })});
    const qint64 size = QFileInfo(source).size();
    QFile::remove(source);
    return timeRow(u"export the current page (%1)"_s.arg(megabytes(size)), samples[0], samples[1],
                   u"cp of a file of the same bytes"_s, 1.5);
}

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
    const Trial viaSqlite{fresh, [this, &target, writeAll] {
                              return millisecondsOfPrograms({sqlite(
                                  m_data.bigLibrary(), writeAll.arg(sqlText(target + u'/')))});
                          }};
    const Trial viaCopy{fresh, [this, &target] {
                            return millisecondsOfPrograms(
                                {{u"cp"_s, u"-r"_s, m_data.pageFolder(), target + u"/copy"_s}});
                        }};
    const auto samples = takeTurns(ExportRuns, {ours, viaSqlite, viaCopy});
    QDir(out).removeRecursively();
    const QString operation = u"batch export of 2,000 pages, library names"_s;
    return {timeRow(operation, samples[0], samples[2], u"cp -r of the same 2,000 files"_s, 1.2),
            timeRow(operation, samples[0], samples[1], u"sqlite3 writefile() of every picture"_s)};
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
                   u"cp of the file; sqlite3 delete from pictures; vacuum"_s, 1.5);
}
