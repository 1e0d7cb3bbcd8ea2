// The batch export's run through the listed scores, without its dialog.

#include "batchexport.h"

#include "connection.h"
#include "datasource.h"
#include "recordset.h"

namespace {

// The listed scores from the first; the record set's cursor follows the
// files written, so that a failure leaves it on the score that failed.
class ListedScores : public ExportScores {
public:
    explicit ListedScores(RecordSet& records) : m_records(records), m_pictures(records) {
        m_records.First();
        m_first = m_records.RecNo();
    }
    int count() const override { return m_records.RecordCount(); }
    QString name(int pass) const override { return m_records.NameAt(row(pass)); }
    // The library is not held between scores: the window's own changes and
    // other programs' may go on meanwhile.
    QByteArrayView jpeg(int pass, QByteArray& buffer) override {
        const QByteArrayView jpeg = m_pictures.jpegAt(row(pass), buffer);
        m_pictures.pause();
        return jpeg;
    }
    void written(int, const QString&) override { m_records.Next(); }
    // The window's rules replace what is there and write a picture-less
    // score as an empty file: nothing is passed over.
    void passedOver(int, PassedOver, const QString&) override { m_records.Next(); }

private:
    int row(int pass) const { return m_first + pass - 1; }

    RecordSet& m_records;
    ExportPictures m_pictures;
    int m_first = 0;
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
