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

#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// One score on its way from the library to its file.
struct ExportPiece {
    QString name;
    QByteArray buffer;
    QByteArrayView jpeg;
    std::exception_ptr unread; // the picture's failure
    QString file;
    std::optional<PassedOver> passedOver;
};

using Progress = std::function<void(int pass, int count)>;

// Writes the files of a run on a thread of its own, in pass order, while the
// calling thread reads the pictures that follow. The first failure ends the
// writing: nothing after it is written. The calling thread is told of each
// file written, and of the progress: of a pass once the files before it are
// written, so that it never runs ahead of a failure.
class ExportWriter {
public:
    ExportWriter(ExportScores& scores, const QString& folder, const ExportNaming& naming,
                 const Progress& progress)
        : m_scores(scores), m_count(scores.count()), m_progress(progress), m_folder(folder),
          m_naming(naming), m_thread([this] { run(); }) {}
    ExportWriter(const ExportWriter&) = delete;
    ExportWriter& operator=(const ExportWriter&) = delete;
    // Once finish() returned, everything handed over is written. A run left
    // before that (a failure on the calling thread) writes no other file
    // than the one being written then.
    ~ExportWriter() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    // The piece to fill for `pass`, once the writing is far enough along;
    // null after a failure. The files written meanwhile are told.
    ExportPiece* pieceFor(int pass) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failure || pass - Pieces <= m_done; });
        tellWritten(lock);
        if (m_failure)
            return nullptr;
        lock.unlock();
        if (pass == 1)
            tellProgress(1);
        return &piece(pass);
    }
    void hand(int pass) {
        {
            const std::lock_guard lock(m_mutex);
            m_handed = pass;
        }
        m_changed.notify_all();
    }
    // Waits for every piece handed over: each file told, or the failure thrown.
    void finish() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_failure || m_done == m_handed; });
        tellWritten(lock);
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    // One being written while the others are read: a few, so that a picture
    // that takes longer to read does not keep the writing waiting.
    static constexpr int Pieces = 4;
    ExportPiece& piece(int pass) { return m_pieces[size_t((pass - 1) % Pieces)]; }

    void tellWritten(std::unique_lock<std::mutex>& lock) {
        while (m_told < m_done) {
            const int pass = ++m_told;
            const QString file = piece(pass).file;
            const std::optional<PassedOver> passedOver = piece(pass).passedOver;
            lock.unlock();
            if (passedOver)
                m_scores.passedOver(pass, *passedOver, file);
            else
                m_scores.written(pass, file);
            tellProgress(pass + 1);
            lock.lock();
        }
    }

    void tellProgress(int pass) const {
        if (m_progress && pass <= m_count)
            m_progress(pass, m_count);
    }

    void run() {
        for (int pass = 1;; ++pass) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_closed || m_handed >= pass; });
                if (m_closed)
                    return;
            }
            std::exception_ptr failure;
            try {
                write(pass, piece(pass));
            } catch (...) {
                failure = std::current_exception();
            }
            {
                const std::lock_guard lock(m_mutex);
                if (failure)
                    m_failure = failure;
                else
                    m_done = pass;
            }
            m_changed.notify_all();
            if (failure)
                return;
        }
    }

    // A score's own name is looked at before its picture, a common name
    // after it: the failure reported is the one the window has always
    // reported.
    void write(int pass, ExportPiece& piece) {
        piece.passedOver.reset();
        if (m_naming.ownNames)
            piece.file = ExportNames::forScoreName(m_folder, piece.name, pass);
        if (piece.unread)
            std::rethrow_exception(piece.unread);
        if (!m_naming.ownNames)
            piece.file = ExportNames::forCommonName(m_folder, m_naming.common, pass);
        if (piece.jpeg.isEmpty() && !m_naming.emptyFiles) {
            piece.file.clear();
            piece.passedOver = PassedOver::NoPicture;
            return;
        }
        place(piece, QByteArray::fromRawData(piece.jpeg.data(), piece.jpeg.size()));
        if (!piece.passedOver)
            m_written.add(piece.file);
    }

    // Under the name the rules gave, unless this run wrote that file already:
    // then under the next free one, which nothing else can have taken
    // meanwhile.
    void place(ExportPiece& piece, const QByteArray& bytes) {
        if (m_written.holds(piece.file)) {
            const QString taken = piece.file;
            do
                piece.file = ExportNames::nextFree(taken);
            while (!writeNewWholeFile(piece.file, bytes, FileSync::ByFolder));
        } else if (m_naming.replaceExisting) {
            ExportNames::refuseLinkOutOf(m_folder, piece.file);
            writeWholeFile(piece.file, bytes, FileSync::ByFolder);
        } else if (!writeNewWholeFile(piece.file, bytes, FileSync::ByFolder)) {
            piece.passedOver = PassedOver::FileExists;
        }
    }

    ExportScores& m_scores;
    const int m_count;
    const Progress& m_progress;
    const QString m_folder;
    const ExportNaming m_naming;
    WrittenFiles m_written; // by the writing thread alone
    std::array<ExportPiece, Pieces> m_pieces;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_handed = 0; // the last pass handed over to be written
    int m_done = 0;   // the last pass written
    int m_told = 0;   // the last pass told as written
    bool m_closed = false;
    std::exception_ptr m_failure;
    std::thread m_thread; // last: started once everything above is ready
};

void readPiece(ExportScores& scores, int pass, ExportPiece& piece) {
    piece.name = scores.name(pass);
    piece.unread = nullptr;
    try {
        piece.jpeg = scores.jpeg(pass, piece.buffer);
    } catch (...) {
        piece.jpeg = {};
        piece.unread = std::current_exception();
    }
}

void writeScores(ExportScores& scores, const QString& folder, const ExportNaming& naming,
                 const Progress& progress) {
    ExportWriter writer(scores, folder, naming, progress);
    for (int pass = 1; pass <= scores.count(); ++pass) {
        ExportPiece* piece = writer.pieceFor(pass);
        if (!piece)
            break;
        readPiece(scores, pass, *piece);
        writer.hand(pass);
        // Nothing after a picture that cannot be read is read.
        if (piece->unread)
            break;
    }
    writer.finish();
}

} // namespace

// The files are synced once, all together, at the end: a fraction of the time
// syncing each takes.
void exportScores(ExportScores& scores, const QString& folder, const ExportNaming& naming,
                  const Progress& progress) {
    try {
        writeScores(scores, folder, naming, progress);
    } catch (...) {
        // The files written before the failure stay, on the disk as well; the
        // failure told is the run's own.
        try {
            syncFolder(folder);
        } catch (const FileError&) {
        }
        throw;
    }
    syncFolder(folder);
}

QByteArrayView ExportPictures::jpegAt(int row, QByteArray& buffer) {
    if (!m_reader.read(row, buffer))
        return {};
    const QByteArrayView jpeg = StoredPicture::jpegWithin(buffer);
    if (!jpeg.isEmpty())
        JpegCodec::readHeader(QByteArray::fromRawData(jpeg.data(), jpeg.size()));
    return jpeg;
}

namespace {

// The chosen records of a library.
class LibraryScores : public ExportScores {
public:
    using Told = std::function<void(const ExportedScore&)>;
    LibraryScores(RecordSet& records, QList<int> rows, const Told& told)
        : m_records(records), m_rows(std::move(rows)), m_pictures(records), m_told(told) {}
    int count() const override { return int(m_rows.size()); }
    QString name(int pass) const override { return m_records.NameAt(row(pass)); }
    QByteArrayView jpeg(int pass, QByteArray& buffer) override {
        const QByteArrayView jpeg = m_pictures.jpegAt(row(pass), buffer);
        m_bytes.append(jpeg.size());
        return jpeg;
    }
    void written(int pass, const QString& file) override {
        tell({m_records.IdAt(row(pass)), name(pass), file, m_bytes[pass - 1], std::nullopt});
    }
    void passedOver(int pass, PassedOver why, const QString& file) override {
        const qint64 bytes = m_records.PictureLengthAt(row(pass)) < 0 ? -1 : m_bytes[pass - 1];
        tell({m_records.IdAt(row(pass)), name(pass), file, bytes, why});
    }
    const QList<ExportedScore>& exported() const { return m_exported; }

private:
    int row(int pass) const { return m_rows[pass - 1]; }
    void tell(const ExportedScore& score) {
        m_exported.append(score);
        if (m_told)
            m_told(score);
    }

    RecordSet& m_records;
    QList<int> m_rows;
    ExportPictures m_pictures;
    const Told& m_told;
    QList<qint64> m_bytes; // of each picture read, in pass order
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
                                         const ExportNaming& naming,
                                         const std::function<void(const ExportedScore&)>& told) {
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
    LibraryScores scores(records, selectedRows(records, selection), told);
    exportScores(scores, target, naming);
    return scores.exported();
}
