#include "libraryfiles.h"

#include "jpegpicture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QtEndian>
#include <stdexcept>

#include <sqlite3.h>

namespace TestFiles {

namespace {
struct Database {
    explicit Database(const QString& path) {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Database() { sqlite3_close(db); }
    void execute(const QString& sql) const {
        char* error = nullptr;
        if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "sqlite error";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }
    sqlite3* db = nullptr;
};
} // namespace

void makeLibrary(const QString& path, const QList<Record>& records, const QString& schema) {
    QFile::remove(path);
    Database database(path);
    database.execute(schema);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(database.db, "insert into pictures (filename, picture) values (?, ?)", -1,
                       &insert, nullptr);
    for (const Record& record : records) {
        if (record.name) {
            const QByteArray name = record.name->toUtf8();
            sqlite3_bind_text(insert, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        } else {
            sqlite3_bind_null(insert, 1);
        }
        if (record.picture)
            sqlite3_bind_blob(insert, 2, record.picture->constData(), int(record.picture->size()),
                              SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(insert, 2);
        if (sqlite3_step(insert) != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(database.db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
}

QList<Record> readLibrary(const QString& path) {
    Database database(path);
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(database.db, "select filename, picture from pictures order by rowid", -1,
                           &select, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(database.db));
    QList<Record> records;
    while (sqlite3_step(select) == SQLITE_ROW) {
        Record record;
        if (sqlite3_column_type(select, 0) != SQLITE_NULL)
            record.name =
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select, 0)));
        if (sqlite3_column_type(select, 1) != SQLITE_NULL)
            record.picture = QByteArray(static_cast<const char*>(sqlite3_column_blob(select, 1)),
                                        sqlite3_column_bytes(select, 1));
        records.append(record);
    }
    sqlite3_finalize(select);
    return records;
}

void execute(const QString& path, const QString& sql) {
    Database(path).execute(sql);
}

QByteArray withOldHeader(const QByteArray& jpeg) {
    QByteArray header(8, '\0');
    auto* bytes = reinterpret_cast<uchar*>(header.data());
    qToLittleEndian<quint16>(1, bytes);
    qToLittleEndian<quint16>(0x0100, bytes + 2);
    qToLittleEndian<quint32>(quint32(jpeg.size()), bytes + 4);
    return header + jpeg;
}

QByteArray jpeg(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return JpegCodec::encode(image);
}

QByteArray withDeclaredSize(QByteArray jpeg, int width, int height) {
    qsizetype frame = -1;
    for (const char kind : {'\xC0', '\xC1', '\xC2'})
        if (frame < 0)
            frame = jpeg.indexOf(QByteArray("\xFF") + kind);
    if (frame < 0)
        throw std::runtime_error("no baseline, extended or progressive frame header");
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height & 0xFF);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width & 0xFF);
    return jpeg;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    return file.readAll();
}

QStringList entriesBelow(const QString& folder) {
    QStringList entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry = it.nextFileInfo();
        entries << QDir(folder).relativeFilePath(entry.filePath()) +
                       (entry.isDir() ? QStringLiteral("/") : QString());
    }
    entries.sort();
    return entries;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

} // namespace TestFiles
