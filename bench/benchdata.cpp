#include "benchdata.h"

#include "errors.h"
#include "jpegpicture.h"
#include "libraryfile.h"
#include "pages.h"
#include "report.h"
#include "timing.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTextStream>
#include <QtEndian>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Grains for the three scans: about 1.1, 1.9 and 2.8 MB at quality 90.
constexpr double ScanGrains[] = {1.5, 4.0, 9.0};
constexpr double ImportGrain = 6.1; // about 2.4 MB

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

// Written beside its place and then renamed, so that an interrupted run
// leaves nothing that a later one would take as made.
void writeFile(const QString& path, const QByteArray& bytes) {
    const QString part = path + u".part"_s;
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw FileError::cannotCreate(part, file.errorString());
    file.close();
    if (!QFile::remove(path) && QFileInfo::exists(path))
        throw FileError::cannotCreate(path, u"cannot replace"_s);
    if (!QFile::rename(part, path))
        throw FileError::cannotCreate(path, u"cannot rename"_s);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileError::cannotOpen(path, file.errorString());
    return file.readAll();
}

QByteArray bmpBytes(const QImage& image) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "bmp");
    if (!writer.write(image.convertToFormat(QImage::Format_RGB888)))
        throw Error(u"cannot write a BMP: %1"_s.arg(writer.errorString()));
    return buffer.data();
}

// An 8-bit greyscale JPEG of `grey` at quality 90, by cjpeg from a PGM file
// at `scratch`: the program's own encoder makes colour only.
QByteArray greyJpeg(const QImage& grey, const QString& scratch) {
    QByteArray pgm = "P5\n" + QByteArray::number(grey.width()) + ' ' +
                     QByteArray::number(grey.height()) + "\n255\n";
    pgm.reserve(pgm.size() + qsizetype(grey.width()) * grey.height());
    for (int y = 0; y < grey.height(); ++y)
        pgm.append(reinterpret_cast<const char*>(grey.constScanLine(y)), grey.width());
    writeFile(scratch, pgm);
    pgm.clear();
    const QString jpeg = scratch + u".jpg"_s;
    runProgram({{u"cjpeg"_s, u"-quality"_s, u"90"_s, u"-outfile"_s, jpeg, scratch}});
    QFile::remove(scratch);
    QByteArray bytes = readFile(jpeg);
    QFile::remove(jpeg);
    if (!JpegCodec::readHeader(bytes).grayscale)
        throw Error(u"cjpeg did not make a greyscale JPEG of %1"_s.arg(scratch));
    return bytes;
}

// Files that one drawing makes.
struct PictureJob {
    QStringList files;
    std::function<QList<QByteArray>()> make;
};

bool missing(const QStringList& files) {
    return std::any_of(files.begin(), files.end(),
                       [](const QString& file) { return !QFileInfo::exists(file); });
}

// Makes `path` (a file or a folder) through `make`, which writes `part`, when
// it does not exist yet.
void makeIfMissing(const QString& path, const std::function<void(const QString& part)>& make) {
    if (QFileInfo::exists(path))
        return;
    const QString part = path + u".part"_s;
    QDir(part).removeRecursively();
    QFile::remove(part);
    out() << "  making " << QFileInfo(path).fileName() << " ..." << Qt::flush;
    const double ms = millisecondsOf([&] { make(part); });
    if (!QFile::rename(part, path))
        throw FileError::cannotCreate(path, u"cannot rename"_s);
    const QFileInfo made(path);
    out() << ' ' << formatMilliseconds(ms);
    if (made.isFile())
        out() << ", " << made.size() / 1000000 << " MB";
    out() << '\n' << Qt::flush;
}

QList<QByteArray> readAll(const QStringList& files) {
    QList<QByteArray> contents;
    for (const QString& file : files)
        contents.append(readFile(file));
    return contents;
}

} // namespace

QString BenchData::defaultFolder() {
    const QString chosen = qEnvironmentVariable("TAMBLOR_BENCH_DATA");
    return chosen.isEmpty() ? u"/var/tmp/tamblor-bench"_s : chosen;
}

BenchData::BenchData(QString folder) : m_folder(std::move(folder)) {}

QString BenchData::bigLibrary() const {
    return file(u"library-2000.tbr"_s);
}
QString BenchData::smallLibrary() const {
    return file(u"library-2000-10k.tbr"_s);
}
QString BenchData::namesLibrary() const {
    return file(u"library-100000.tbr"_s);
}
QString BenchData::pageFolder() const {
    return file(u"pages-2000"_s);
}
QStringList BenchData::scans() const {
    return {file(u"scan-1.jpg"_s), file(u"scan-2.jpg"_s), file(u"scan-3.jpg"_s)};
}
QString BenchData::photo() const {
    return file(u"photo-4000x3000.jpg"_s);
}
QString BenchData::bitmap() const {
    return file(u"page-a4.bmp"_s);
}
namespace {
QStringList numbered(const QString& file, int count) {
    const QFileInfo info(file);
    QStringList files;
    for (int i = 1; i <= count; ++i)
        files << info.path() + u'/' + info.completeBaseName() + u"-%1."_s.arg(i) + info.suffix();
    return files;
}
} // namespace

QStringList BenchData::bitmapCopies() const {
    return numbered(bitmap(), CopyCount);
}
QStringList BenchData::importJpegCopies() const {
    return numbered(importJpeg(), CopyCount);
}
QString BenchData::importJpeg() const {
    return file(u"import.jpg"_s);
}
QString BenchData::greyPage() const {
    return file(u"page-grey-6000x10000.jpg"_s);
}
QString BenchData::tinyJpeg() const {
    return file(u"tiny-8x8.jpg"_s);
}
QString BenchData::tinyBitmap() const {
    return file(u"tiny-8x8.bmp"_s);
}
QString BenchData::pageFile(int record) const {
    return pageFolder() + u'/' + scoreName(record) + u".jpg"_s;
}
QString BenchData::basePage(int index) const {
    return file(u"drawn/page-%1.jpg"_s.arg(index, 2, 10, QChar(u'0')));
}
QString BenchData::smallPage(int index) const {
    return file(u"drawn/small-%1.jpg"_s.arg(index, 2, 10, QChar(u'0')));
}

QString BenchData::scoreName(int record) {
    return BenchPages::piece(record).title + u' ' + QString::number(record + 1);
}

QString BenchData::findWord() {
    return BenchPages::piece(1).title;
}

void BenchData::makeMissing() const {
    if (!QDir().mkpath(file(u"drawn"_s)))
        throw FileError::cannotCreate(file(u"drawn"_s), u"cannot make the folder"_s);
    makePictures();
    makeCopies();
    makeLibraries();
}

// Each bitmap copy's first pixels take a grey of their own; each JPEG copy
// has a comment of its own after its start marker.
void BenchData::makeCopies() const {
    const QStringList bitmaps = bitmapCopies(), jpegs = importJpegCopies();
    if (missing(bitmaps)) {
        QByteArray bytes = readFile(bitmap());
        const auto pixels = qsizetype(qFromLittleEndian<quint32>(bytes.constData() + 10));
        constexpr qsizetype ChangedBytes = 4 * 3;
        for (qsizetype i = 0; i < bitmaps.size(); ++i) {
            bytes.replace(pixels, ChangedBytes, QByteArray(ChangedBytes, char(i * 16)));
            writeFile(bitmaps[i], bytes);
        }
    }
    if (missing(jpegs)) {
        const QByteArray bytes = readFile(importJpeg());
        for (qsizetype i = 0; i < jpegs.size(); ++i) {
            const QByteArray comment = "copy " + QByteArray::number(i);
            const QByteArray segment =
                QByteArray("\xff\xfe\x00", 3) + char(comment.size() + 2) + comment;
            writeFile(jpegs[i], bytes.left(2) + segment + bytes.mid(2));
        }
    }
}

void BenchData::makePictures() const {
    QList<PictureJob> jobs;
    jobs.append({{photo()}, [] { return QList{JpegCodec::encode(BenchPages::photoOfPage())}; }});
    for (int i = 0; i < 3; ++i)
        jobs.append({{scans()[i]}, [i] {
                         return QList{
                             JpegCodec::encode(BenchPages::scanPage(100 + i, ScanGrains[i]))};
                     }});
    jobs.append({{importJpeg()},
                 [] { return QList{JpegCodec::encode(BenchPages::scanPage(110, ImportGrain))}; }});
    jobs.append({{bitmap()}, [] { return QList{bmpBytes(BenchPages::scanPage(120, 3.0))}; }});
    jobs.append({{greyPage()}, [this] {
                     return QList{greyJpeg(BenchPages::greyPage(GreyWidth, GreyHeight),
                                           greyPage() + u".pgm"_s)};
                 }});
    jobs.append({{tinyJpeg(), tinyBitmap()}, [] {
                     QImage tiny(8, 8, QImage::Format_RGB32);
                     tiny.fill(Qt::white);
                     return QList{JpegCodec::encode(tiny), bmpBytes(tiny)};
                 }});
    for (int i = 0; i < BenchPages::TitleCount; ++i)
        jobs.append({{basePage(i), smallPage(i)}, [i] {
                         const QImage page = BenchPages::libraryPage(i);
                         return QList{JpegCodec::encode(page),
                                      JpegCodec::encode(BenchPages::smallPicture(page))};
                     }});
    jobs.removeIf([](const PictureJob& job) { return !missing(job.files); });
    if (jobs.isEmpty())
        return;
    out() << "  drawing " << jobs.size() << " pictures ..." << Qt::flush;
    const double ms = millisecondsOf([&] {
        BenchPages::inParallel(int(jobs.size()), [&](int index) {
            const QList<QByteArray> made = jobs[index].make();
            for (qsizetype i = 0; i < made.size(); ++i)
                writeFile(jobs[index].files[i], made[i]);
        });
    });
    out() << ' ' << formatMilliseconds(ms) << '\n' << Qt::flush;
}

void BenchData::makeLibraries() const {
    QStringList bases, smalls;
    for (int i = 0; i < BenchPages::TitleCount; ++i) {
        bases << basePage(i);
        smalls << smallPage(i);
    }
    const QList<QByteArray> base = readAll(bases), small = readAll(smalls);
    const auto numbered = [](const QList<QByteArray>& pictures) {
        return [&pictures](int record) {
            return BenchPages::numberedCopy(pictures[record % pictures.size()], record + 1);
        };
    };
    makeIfMissing(bigLibrary(), [&](const QString& part) {
        LibraryFile::write(part, {PageCount, scoreName, numbered(base)});
    });
    makeIfMissing(pageFolder(), [&](const QString& part) {
        QDir().mkpath(part);
        for (int record = 0; record < PageCount; ++record)
            writeFile(part + u'/' + QFileInfo(pageFile(record)).fileName(), numbered(base)(record));
    });
    // The same first page as the big library, so that opening either shows the
    // same picture and only the other pages' bytes differ.
    makeIfMissing(smallLibrary(), [&](const QString& part) {
        LibraryFile::write(part, {PageCount, scoreName, [&](int record) {
                                      return record == 0 ? numbered(base)(0)
                                                         : numbered(small)(record);
                                  }});
    });
    makeIfMissing(namesLibrary(), [&](const QString& part) {
        LibraryFile::write(part, {NameCount, scoreName, numbered(small)});
    });
    // What was written reaches the disk now rather than under the measurements.
    ::sync();
}
