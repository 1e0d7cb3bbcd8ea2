#pragma once

#include "jpegpicture.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <memory>
#include <optional>
#include <vector>

class BlobReader;
class Connection;
class DataSource;
class RecordSet;

enum class DataSetState { Inactive, Browse, Edit, Insert };

// The library's two columns, by the names the program reads and writes (a
// library may spell them in another case: see sameIdentifier).
namespace Columns {
inline const QString Name = QStringLiteral("filename");
inline const QString Picture = QStringLiteral("picture");
} // namespace Columns

// Table and column names as the engine compares them: ASCII letters in either case, é is not É.
bool sameIdentifier(QStringView a, QStringView b) noexcept;

// One column of the current record: `filename` (text) or `picture` (JPEG data).
class Field {
public:
    const QString& FieldName() const { return m_name; }
    // True when there is no current record or the value is null; a picture
    // without bytes counts as null.
    bool IsNull() const;

    QString AsString();
    // Edit or insert state only; raises the data-change event with this field.
    void SetAsString(const QString& text);

    // The value's bytes as the library holds them. Not const: the record set
    // remembers the picture read, for its check that no other program has
    // changed it before a write.
    QByteArray Value();
    // Reading a picture: the stored value (either stored form) as JPEG data,
    // header parsed.
    JpegPicture LoadPicture();
    // Storing a picture: a bitmap is encoded now (the object keeps the JPEG
    // data); the value becomes the bare JPEG stream. Edit or insert state only.
    void StorePicture(JpegPicture& picture);

private:
    friend class RecordSet;
    enum class Kind { Name, Picture };
    Field(RecordSet& set, Kind kind, QString name)
        : m_set(set), m_kind(kind), m_name(std::move(name)) {}

    RecordSet& m_set;
    Kind m_kind;
    QString m_name;
};

// The record set over the library's `pictures` table.
//
// `Open` takes a snapshot of record identities, names and picture lengths in
// the engine's order; picture bytes are read only when asked for. Each `Post`
// and `Delete` is written at once in a transaction of its own, and only if the
// record is still as it was read: a record that another program changed or
// removed in the meantime is not overwritten.
class RecordSet {
public:
    explicit RecordSet(Connection& connection, QString name = QStringLiteral("ADOQuery1"));
    ~RecordSet();
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    // The most a snapshot holds: more than any score library needs, few
    // enough that no library file can exhaust the program's memory.
    static constexpr qsizetype MaxRecords = 1'000'000;
    static constexpr qint64 MaxNameCharacters = 64 * 1024 * 1024;

    const QString& Name() const { return m_name; }
    const QString& SQL() const { return m_sql; }
    const QStringList& Parameters() const { return m_parameters; }
    // Replaces the query text (and the values bound to its "?" marks); closes the set.
    void SetSQL(const QString& text, const QStringList& parameters = {});

    void Open();
    void Close();
    bool Active() const { return m_state != DataSetState::Inactive; }
    DataSetState State() const { return m_state; }

    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    // Moves up to `distance` records; falling short sets Eof or Bof.
    void MoveBy(int distance);
    // A click on a row of the name list.
    void MoveTo(int row);

    void Edit();
    void Append();
    void Post();
    void Cancel();
    void Delete();

    int RecordCount() const;
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool Modified() const { return m_pending.name || m_pending.picture; }
    Field& FieldByName(const QString& name) const;
    // Whether the current record holds a picture: false on an empty set, on a
    // record without one and on a pending new record.
    bool CurrentHasPicture() const;
    Connection& connection() const { return m_connection; }

    // For the controls that show the set; these never fail.
    int RowCount() const noexcept; // records, and a pending new one
    int RecNo() const noexcept;    // the current row, or -1
    QString NameAt(int row) const noexcept;
    QString CurrentName() const noexcept { return NameAt(RecNo()); }
    QString NameFieldName() const; // the column's own spelling, or empty
    // Of the stored record on `row` (0 and -1 past the stored ones): its
    // identity in the table (rowid), and its picture value's length (-1: null).
    qint64 IdAt(int row) const noexcept;
    qint64 PictureLengthAt(int row) const noexcept;
    // The stored name's bytes as the library holds them; NameAt shows bytes
    // that are not UTF-8 as replacement characters. Read now where the name
    // shown may not be the stored one (empty, perhaps null, or with a
    // replacement character). Nothing for a null name or a row that is not
    // stored.
    std::optional<QByteArray> NameBytesAt(int row) const;
    // The stored picture value of the record on `row`, read without moving
    // the cursor or raising any event (empty for a new or picture-less record).
    QByteArray PictureValueAt(int row);

private:
    friend class Field;
    friend class DataSource;
    friend class PictureReader;

    struct Row {
        qint64 id = 0;
        std::optional<QString> name;
        qint64 pictureLength = -1;         // -1: null
        std::optional<size_t> pictureHash; // of the bytes last read or written, once
                                           // they are no longer among the recent ones
    };
    struct Pending {
        std::optional<QString> name;
        std::optional<QByteArray> picture;
    };

    [[noreturn]] void fail(const QString& message) const;
    void checkActive() const;
    void checkEditing() const;
    void endPending();
    void takeSnapshot();
    Row& currentRow() { return m_rows[size_t(m_cursor)]; }
    const Row* currentStoredRow() const;
    void settleFlags();

    void writeChanges();
    void writeNewRecord();
    void checkUnchanged(size_t index, const QString& action) const;
    QByteArray readPicture(size_t index);
    std::optional<QByteArray> selectPicture(qint64 id) const;
    void remember(size_t index, const QByteArray& bytes);
    void forgetRow(size_t index);
    QString column(const std::unique_ptr<Field>& field) const;

    void notifyActive();
    void notifyChange(const Field* field = nullptr);

    Connection& m_connection;
    QString m_name;
    QString m_sql = QStringLiteral("Select * from pictures");
    QString m_rowid = QStringLiteral("rowid"); // how the records' identity is named
    QStringList m_parameters;
    DataSource* m_source = nullptr;

    DataSetState m_state = DataSetState::Inactive;
    std::vector<Row> m_rows;
    int m_cursor = 0; // index into m_rows; m_rows.size() while a new record is pending
    int m_rowBeforeInsert = 0;
    bool m_bof = true;
    bool m_eof = true;
    Pending m_pending;
    // What the pictures read or written last looked like, for the check that
    // no other program changed them: compared byte for byte (the bytes are
    // shared with what is shown, so they cost no memory). A picture leaving
    // these keeps a hash of its bytes; hashing then, not when a page is
    // read, keeps stepping through the pages as fast as reading them.
    struct RecentPicture {
        size_t row;
        QByteArray bytes;
    };
    static constexpr size_t RecentPictures = 4;
    std::vector<RecentPicture> m_recentPictures; // most recent first
    std::unique_ptr<Field> m_nameField;
    std::unique_ptr<Field> m_pictureField;
};

// Every picture of an open record set read in one run, as a check or an
// export of the whole library does: each into a buffer the caller keeps, so
// the run takes no fresh memory per picture, and none is remembered for a
// change, as none follows. The cursor does not move.
class PictureReader {
public:
    explicit PictureReader(RecordSet& records);
    ~PictureReader();
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;

    // The stored value (either stored form) of the picture of the stored
    // record on `row` as the library holds it now, into `value`, whose memory
    // is reused while no other copy of it is held. False for a record whose
    // picture is NULL (or a library without pictures); the engine's error
    // for a record it cannot read, or one that is gone.
    bool read(int row, QByteArray& value);
    // Lets go of the library until the next read, so that other programs may
    // write while the caller is busy with something else.
    void pause() noexcept;

private:
    RecordSet& m_records;
    std::unique_ptr<BlobReader> m_blobs;
};
