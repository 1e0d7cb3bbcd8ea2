// The batch export's run through the listed scores, without its dialog.

#include "batchexport.h"

#include "connection.h"
#include "datasource.h"
#include "exportnames.h"
#include "recordset.h"
#include "wholefile.h"

void exportListedScores(DataSource& source, const QString& folder, const ExportNaming& naming,
                        const std::function<void(int pass, int count)>& progress) {
    RecordSet& records = source.DataSet();
    Field& picture = records.FieldByName(Columns::Picture);
    DataSource::ChangesHeld held(source);
    const Connection::MemoryMapped mapped(records.connection());
    records.First();
    const int count = records.RecordCount();
    for (int pass = 1; pass <= count; ++pass) {
        if (progress)
            progress(pass, count);
        QString file;
        if (naming.ownNames)
            file = ExportNames::forScoreName(folder, records.CurrentName(), pass);
        const QByteArray bytes = picture.IsNull() ? QByteArray() : picture.LoadPicture().jpegData();
        if (!naming.ownNames)
            file = ExportNames::forCommonName(folder, naming.common, pass);
        writeWholeFile(file, bytes);
        records.Next();
    }
    held.release();
}
