// The batch export's run through the listed scores, without its dialog.

#include "batchexport.h"

#include "connection.h"
#include "datasource.h"
#include "recordset.h"

namespace {

// The listed scores, passed by the record set's cursor from the first.
class ListedScores : public ExportScores {
public:
    explicit ListedScores(RecordSet& records) : m_records(records), m_pictures(records) {
        m_records.First();
    }
    int count() const override { return m_records.RecordCount(); }
    QString name() const override { return m_records.CurrentName(); }
    // The library is not held between scores: the window's own changes and
    // other programs' may go on meanwhile.
    QByteArrayView jpeg() override {
        const QByteArrayView jpeg = m_pictures.jpegAt(m_records.RecNo());
        m_pictures.pause();
        return jpeg;
    }
    void written(const QString&) override { m_records.Next(); }

private:
    RecordSet& m_records;
    ExportPictures m_pictures;
};

} // namespace

void exportListedScores(DataSource& source, const QString& folder, const ExportNaming& naming,
                        const std::function<void(int pass, int count)>& progress) {
    RecordSet& records = source.DataSet();
    DataSource::ChangesHeld held(source);
    ListedScores scores(records);
    exportScores(scores, folder, naming, progress);
    held.release();
}
