#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Library files and pictures for tests, written with SQLite directly so that
// the store is checked against the file and not against itself.
namespace TestFiles {

struct Record {
    std::optional<QString> name;
    std::optional<QByteArray> picture;
};

constexpr const char* DefaultSchema = "create table pictures (filename TEXT, picture BLOB)";

// A library at `path` holding `records` in this order.
void makeLibrary(const QString& path, const QList<Record>& records = {},
                 const QString& schema = QString::fromLatin1(DefaultSchema));
// The records of `path`'s table `pictures`, in rowid order.
QList<Record> readLibrary(const QString& path);
// Runs `sql` on the file at `path` with a connection of its own.
void execute(const QString& path, const QString& sql);

// `jpeg` behind the 8-byte header older libraries put before the JPEG stream.
QByteArray withOldHeader(const QByteArray& jpeg);

// A baseline JPEG of one colour (quality 90, encoded by libjpeg).
QByteArray jpeg(int width, int height, QColor color = Qt::red);
// `jpeg` with its frame header claiming `width` x `height` pixels, whatever
// its data holds.
QByteArray withDeclaredSize(QByteArray jpeg, int width, int height);

QByteArray readFile(const QString& path);
// Every file and folder below `folder`, by relative path, sorted; folders end in "/".
QStringList entriesBelow(const QString& folder);
void writeFile(const QString& path, const QByteArray& bytes);

} // namespace TestFiles
