#pragma once

#include <QString>
#include <QStringList>

// The benchmark's data folder: drawn pages and libraries, made on the first
// run and kept for the next ones.
class BenchData {
public:
    static constexpr int PageCount = 2000;
    static constexpr int NameCount = 100000;
    static constexpr int CopyCount = 8;

    // TAMBLOR_BENCH_DATA, or /var/tmp/tamblor-bench.
    static QString defaultFolder();
    explicit BenchData(QString folder);

    // Makes whatever is missing, telling what it makes and how long it took.
    void makeMissing() const;

    const QString& folder() const { return m_folder; }
    QString file(const QString& name) const { return m_folder + u'/' + name; }

    // 2,000 pages of about 1 MB, every picture's bytes distinct.
    QString bigLibrary() const;
    // The same 2,000 names with pictures of about 10 KB.
    QString smallLibrary() const;
    // 100,000 names with pictures of about 10 KB.
    QString namesLibrary() const;
    // The big library's pictures as files, one per record.
    QString pageFolder() const;
    // A4 scans of 1 to 3 MB, lightest first.
    QStringList scans() const;
    QString photo() const;
    // An A4 page as a 24-bit BMP (about 26 MB).
    QString bitmap() const;
    // Copies of bitmap(), each with a few pixels of its own: one for every
    // run of the import, the untimed first one included.
    QStringList bitmapCopies() const;
    // A JPEG of about 2.4 MB.
    QString importJpeg() const;
    // Copies of importJpeg(), each with a comment of its own: one for every
    // run of the import.
    QStringList importJpegCopies() const;
    // A text-like page of 6000 x 10000 8-bit greyscale pixels (60 megapixels).
    QString greyPage() const;
    static constexpr int GreyWidth = 6000;
    static constexpr int GreyHeight = 10000;
    // An 8 x 8 JPEG: a program run on it takes its start-up and little else.
    QString tinyJpeg() const;
    // The same as a 24-bit BMP.
    QString tinyBitmap() const;
    // The big library's page of `record` as a file.
    QString pageFile(int record) const;

    // The name of record `record` (from 0) in every library.
    static QString scoreName(int record);
    // A word that a few percent of the names hold.
    static QString findWord();

private:
    QString basePage(int index) const;
    QString smallPage(int index) const;
    void makePictures() const;
    void makeCopies() const;
    void makeLibraries() const;

    QString m_folder;
};
