#include "scoreexport.h"

#include "connection.h"
#include "errors.h"
#include "exportnames.h"
#include "jpegpicture.h"
#include "library.h"
#include "recordset.h"
#include "storedpicture.h"
#include "wholefile.h"

#include <QFileInfo>
#include <QHash>

#include <cerrno>
#include <cstring>

using namespace Qt::StringLiterals;

void exportScores(ExportScores& scores, const QString& folder, const ExportNaming& naming,
                  const std::function<void(int pass, int count)>& progress) {
    const int count = scores.count();
    for (int pass = 1; pass <= count; ++pass) {
        if (progress)
            progress(pass, count);
        // A score's own name is looked at before its picture, a common name
        // after it: the failure reported is the one the window has always
        // reported.
        QString file;
        if (naming.ownNames)
            file = ExportNames::forScoreName(folder, scores.name(), pass);
        const QByteArrayView jpeg = scores.jpeg();
        if (!naming.ownNames)
            file = ExportNames::forCommonName(folder, naming.common, pass);
        writeWholeFile(file, QByteArray::fromRawData(jpeg.data(), jpeg.size()));
        scores.written(file);
    }
}

QByteArrayView ExportPictures::jpegAt(int row) {
    if (!m_reader.read(row, m_value))
        return {};
    const QByteArrayView jpeg = StoredPicture::jpegWithin(m_value);
    if (!jpeg.isEmpty())
        JpegCodec::readHeader(QByteArray::fromRawData(jpeg.data(), jpeg.size()));
    return jpeg;
}

namespace {

// The chosen records of a library.
class LibraryScores : public ExportScores {
public:
    LibraryScores(RecordSet& records, QList<int> rows)
        : m_records(records), m_rows(std::move(rows)), m_pictures(records) {}
    int count() const override { return int(m_rows.size()); }
    QString name() const override { return m_records.NameAt(row()); }
    QByteArrayView jpeg() override {
        m_jpeg = m_pictures.jpegAt(row());
        return m_jpeg;
    }
    void written(const QString& file) override {
        m_exported.append({m_records.IdAt(row()), name(), file, m_jpeg.size()});
    }
    const QList<ExportedScore>& exported() const { return m_exported; }

private:
    int row() const { return m_rows[m_exported.size()]; }

    RecordSet& m_records;
    QList<int> m_rows;
    ExportPictures m_pictures;
    QByteArrayView m_jpeg;
    QList<ExportedScore> m_exported;
};

// The rows of the open record set that `selection` takes, in its order.
QList<int> selectedRows(const RecordSet& records, const ScoreSelection& selection) {
    QList<int> rows;
    const int count = records.RecordCount();
    if (selection.by != ScoreSelection::By::RowIds) {
        for (int row = 0; row < count; ++row)
            rows.append(row);
        return rows;
    }
    QHash<qint64, int> rowOfId;
    for (int row = 0; row < count; ++row)
        rowOfId.insert(records.IdAt(row), row);
    for (const qint64 id : selection.rowIds) {
        const auto found = rowOfId.constFind(id);
        if (found == rowOfId.cend())
            throw Error(u"The library has no score with row id %1"_s.arg(id));
        rows.append(*found);
    }
    return rows;
}

void checkFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (!info.isDir())
        throw FileError(u"Cannot write into folder \"%1\". %2"_s.arg(
            folder, QString::fromLocal8Bit(std::strerror(info.exists() ? ENOTDIR : ENOENT))));
}

} // namespace

QList<ExportedScore> exportLibraryScores(const QString& library, const QString& folder,
                                         const ScoreSelection& selection,
                                         const ExportNaming& naming) {
    const QString target = absoluteFilePath(folder);
    checkFolder(target);
    Connection connection;
    connection.SetDatabase(library);
    connection.Open();
    const ReadTransaction reading(connection);
    RecordSet records(connection);
    const Queries::Query query = selection.by == ScoreSelection::By::NameContaining
                                     ? Queries::namesContaining(selection.word)
                                     : Queries::allScores();
    records.SetSQL(query.text, query.parameters);
    records.Open();
    LibraryScores scores(records, selectedRows(records, selection));
    exportScores(scores, target, naming);
    return scores.exported();
}
