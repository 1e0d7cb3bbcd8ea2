#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Library files written with SQLite directly, in one transaction, without a
// journal or a flush: the benchmark's data is made fast, and apart from the
// store that it measures.
namespace LibraryFile {

struct Content {
    int count = 0;
    std::function<QString(int)> name;       // of record 0 ... count - 1
    std::function<QByteArray(int)> picture; // its JPEG data
};

// A library at `path` (created, or replaced) holding `content` in order.
void write(const QString& path, const Content& content = {});

} // namespace LibraryFile
