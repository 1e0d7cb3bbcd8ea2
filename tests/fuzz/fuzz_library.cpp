// Fuzz target: a library file opened through the store and stepped through
// as the main window does, every name read and every picture decoded.

#include "connection.h"
#include "errors.h"
#include "recordset.h"

#include <QFile>
#include <QString>

#include <cstddef>
#include <cstdint>

#include <unistd.h>

namespace {
QString scratchFile() {
    return QStringLiteral("/dev/shm/tamblor-fuzz-%1.tbr").arg(::getpid());
}

void browse(const QString& path) {
    Connection connection;
    connection.SetDatabase(path);
    RecordSet records(connection);
    records.Open();
    const int count = records.RecordCount();
    for (int row = 0; row < count; ++row, records.Next()) {
        (void)records.CurrentName();
        try {
            Field& picture = records.FieldByName(QStringLiteral("picture"));
            if (!picture.IsNull())
                picture.LoadPicture().toImage(QSize(459, 355));
        } catch (const Error&) {
        }
    }
    records.Last();
    records.Prior();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QString path = scratchFile();
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        browse(path);
    } catch (const Error&) {
    }
    QFile::remove(path);
    QFile::remove(path + QStringLiteral("-journal"));
    return 0;
}
