#include "recordset.h"

#include "connection.h"
#include "datasource.h"
#include "errors.h"
#include "storedpicture.h"

#include <QHash>
#include <QRegularExpression>
#include <QScopeGuard>

#include <sqlite3.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// What a picture read long ago looked like, to tell later whether another
// program has changed it: a hash of every byte, so one byte changed anywhere
// is noticed. Any seed but none: without one Qt takes its slower hash, four
// times as long over a megabyte (the hash is kept in memory only).
size_t fingerprint(const QByteArray& bytes) {
    constexpr size_t Seed = 0x7a6d626c6f72;
    return qHashBits(bytes.constData(), size_t(bytes.size()), Seed);
}

QString quoted(const QString& identifier) {
    return u'"' + QString(identifier).replace(u'"', u"\"\""_s) + u'"';
}

// The query texts are "select * from pictures" with an optional condition.
// The snapshot selects the same records but reads only the identity, the
// name and the picture's length, never the picture's bytes. The table's name
// runs as far as the engine reads it: letters, digits, _, $ and every
// character beyond ASCII (so "picturesé" is another table, never "pictures"
// with "é" after it).
QString conditionOf(const QString& sql) {
    static const QRegularExpression form(
        uR"(^\s*select\s+\*\s+from\s+([\w$\x{80}-\x{10ffff}]+)(.*)$)"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = form.match(sql);
    if (!match.hasMatch() || !sameIdentifier(match.capturedView(1), u"pictures"))
        throw EngineError(u"Only a query of all columns of the table pictures can be opened"_s);
    return match.captured(2);
}

// The name that reaches each record's own identity: "rowid", unless the table
// has a column of that name, which would then be read in its place (and
// point at another record).
QString recordIdentity(const QStringList& columns) {
    for (const QString& alias : {u"rowid"_s, u"_rowid_"_s, u"oid"_s})
        if (std::none_of(columns.begin(), columns.end(),
                         [&](const QString& column) { return sameIdentifier(column, alias); }))
            return alias;
    throw EngineError(u"The table pictures has columns named rowid, _rowid_ and oid, so its "
                      u"records cannot be told apart"_s);
}

// The bytes of a picture value, as it is read: length() of a text counts its
// characters only up to the first NUL.
QString byteLength(const QString& column) {
    return u"case typeof(%1) when 'text' then length(cast(%1 as blob)) else length(%1) end"_s.arg(
        column);
}

// A trigger may skip a write without an error (raise(ignore)), or undo it.
EngineError refusedChange() {
    return EngineError(u"The library refused the change (a trigger?)"_s);
}

// A change counts as done only when the engine changed the one record asked.
void checkChangedOne(const Connection& connection) {
    if (sqlite3_changes(connection.handle()) != 1)
        throw refusedChange();
}

void bindAll(Statement& statement, const QStringList& parameters) {
    for (int i = 0; i < parameters.size(); ++i)
        statement.bind(i + 1, parameters[i]);
}

} // namespace

bool sameIdentifier(QStringView a, QStringView b) noexcept {
    const auto folded = [](QChar c) {
        return c >= u'A' && c <= u'Z' ? QChar(c.unicode() + (u'a' - u'A')) : c;
    };
    return std::ranges::equal(a, b, {}, folded, folded);
}

// ---- Field ----------------------------------------------------------------

bool Field::IsNull() const {
    const RecordSet& set = m_set;
    const auto& pending = set.m_pending;
    if (m_kind == Kind::Name) {
        if (pending.name)
            return false;
        const auto* row = set.currentStoredRow();
        return !row || !row->name;
    }
    if (pending.picture)
        return pending.picture->isEmpty();
    const auto* row = set.currentStoredRow();
    return !row || row->pictureLength <= 0;
}

QString Field::AsString() {
    if (m_kind == Kind::Picture)
        return QString::fromLatin1(Value());
    if (m_set.m_pending.name)
        return *m_set.m_pending.name;
    const auto* row = m_set.currentStoredRow();
    return row && row->name ? *row->name : QString();
}

void Field::SetAsString(const QString& text) {
    m_set.checkEditing();
    if (m_kind == Kind::Name)
        m_set.m_pending.name = text;
    else
        m_set.m_pending.picture = text.toLatin1();
    m_set.notifyChange(this);
}

QByteArray Field::Value() {
    if (m_kind == Kind::Name)
        return AsString().toUtf8();
    if (m_set.m_pending.picture)
        return *m_set.m_pending.picture;
    const RecordSet::Row* row = m_set.currentStoredRow();
    if (!row || row->pictureLength <= 0)
        return {};
    return m_set.readPicture(size_t(m_set.m_cursor));
}

JpegPicture Field::LoadPicture() {
    return JpegPicture::fromJpegData(StoredPicture::jpegFromValue(Value()));
}

void Field::StorePicture(JpegPicture& picture) {
    m_set.checkEditing();
    m_set.m_pending.picture = StoredPicture::valueFromJpeg(picture.encode());
    m_set.notifyChange(this);
}

// ---- RecordSet: state and snapshot ----------------------------------------

RecordSet::RecordSet(Connection& connection, QString name)
    : m_connection(connection), m_name(std::move(name)) {
    m_connection.m_recordSet = this;
}

RecordSet::~RecordSet() {
    if (m_connection.m_recordSet == this)
        m_connection.m_recordSet = nullptr;
}

void RecordSet::fail(const QString& message) const {
    throw DataSetError(m_name, message);
}

void RecordSet::checkActive() const {
    if (!Active())
        fail(u"Cannot perform this operation on a closed dataset"_s);
}

void RecordSet::checkEditing() const {
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        fail(u"Dataset not in edit or insert mode"_s);
}

void RecordSet::SetSQL(const QString& text, const QStringList& parameters) {
    Close();
    m_sql = text;
    m_parameters = parameters;
}

void RecordSet::Open() {
    if (Active())
        return;
    m_connection.Open();
    takeSnapshot();
    m_state = DataSetState::Browse;
    m_cursor = 0;
    m_bof = true;
    m_eof = m_rows.empty();
    {
        // A library the controls cannot show (a column they need is missing)
        // is refused: the set does not stay open on it.
        auto refused = qScopeGuard([this] { Close(); });
        notifyActive();
        refused.dismiss();
    }
    notifyChange();
}

void RecordSet::takeSnapshot() {
    std::unique_ptr<Field> nameField, pictureField;
    {
        // Prepared, never stepped: it reports the engine's error for a text it
        // cannot run and names the columns the table has.
        Statement probe(m_connection, m_sql);
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(probe.get()); ++i) {
            const QString column = QString::fromUtf8(sqlite3_column_name(probe.get(), i));
            columns << column;
            if (!nameField && sameIdentifier(column, Columns::Name))
                nameField.reset(new Field(*this, Field::Kind::Name, column));
            if (!pictureField && sameIdentifier(column, Columns::Picture))
                pictureField.reset(new Field(*this, Field::Kind::Picture, column));
        }
        m_rowid = recordIdentity(columns);
    }
    // Only after the engine has accepted the text, so that its own message wins.
    const QString condition = conditionOf(m_sql);
    m_nameField = std::move(nameField);
    m_pictureField = std::move(pictureField);
    const QString picture = column(m_pictureField);
    Statement snapshot(m_connection, u"select %1, %2, %3 from pictures"_s.arg(
                                         m_rowid, column(m_nameField), byteLength(picture)) +
                                         condition);
    bindAll(snapshot, m_parameters);
    std::vector<Row> rows;
    qint64 nameLength = 0;
    while (snapshot.step()) {
        Row row;
        row.id = snapshot.int64(0);
        if (!snapshot.isNull(1))
            row.name = snapshot.text(1);
        row.pictureLength = snapshot.isNull(2) ? -1 : snapshot.int64(2);
        nameLength += row.name ? row.name->size() : 0;
        // The snapshot is the program's own memory: a library cannot fill it.
        if (qsizetype(rows.size()) >= MaxRecords)
            throw EngineError(u"The library lists more than %1 scores"_s.arg(MaxRecords));
        if (nameLength > MaxNameCharacters)
            throw EngineError(
                u"The library's names hold more than %1 characters"_s.arg(MaxNameCharacters));
        rows.push_back(std::move(row));
    }
    m_rows = std::move(rows);
    m_recentPictures.clear();
    m_pending = {};
}

QString RecordSet::column(const std::unique_ptr<Field>& field) const {
    return field ? quoted(field->FieldName()) : u"NULL"_s;
}

void RecordSet::Close() {
    if (!Active())
        return;
    m_state = DataSetState::Inactive;
    m_rows.clear();
    m_recentPictures.clear();
    m_pending = {};
    m_cursor = 0;
    m_bof = m_eof = true;
    m_nameField.reset();
    m_pictureField.reset();
    notifyActive();
}

const RecordSet::Row* RecordSet::currentStoredRow() const {
    if (!Active() || m_state == DataSetState::Insert || m_rows.empty())
        return nullptr;
    return &m_rows[size_t(m_cursor)];
}

// After Post, Cancel and Delete: both flags clear, both set on an empty set.
void RecordSet::settleFlags() {
    m_bof = m_eof = m_rows.empty();
}

// ---- Moving ------------------------------------------------------------------

void RecordSet::endPending() {
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert) {
        if (Modified())
            Post();
        else
            Cancel();
    }
}

void RecordSet::First() {
    checkActive();
    endPending();
    m_cursor = 0;
    m_bof = true;
    m_eof = m_rows.empty();
    notifyChange();
}

void RecordSet::Last() {
    checkActive();
    endPending();
    m_cursor = std::max(0, int(m_rows.size()) - 1);
    m_eof = true;
    m_bof = m_rows.empty();
    notifyChange();
}

void RecordSet::MoveBy(int distance) {
    checkActive();
    endPending();
    if ((distance > 0 && m_eof) || (distance < 0 && m_bof) || distance == 0)
        return;
    m_bof = m_eof = false;
    const qint64 target = qint64(m_cursor) + distance;
    const qint64 last = qint64(m_rows.size()) - 1;
    if (target > last) {
        m_cursor = int(std::max<qint64>(last, 0));
        m_eof = true;
    } else if (target < 0) {
        m_cursor = 0;
        m_bof = true;
    } else {
        m_cursor = int(target);
    }
    notifyChange();
}

void RecordSet::MoveTo(int row) {
    checkActive();
    if (row == RecNo())
        return;
    endPending();
    if (row < 0 || row >= int(m_rows.size()) || row == m_cursor)
        return;
    MoveBy(row - m_cursor);
}

// ---- Changing ------------------------------------------------------------------

void RecordSet::Edit() {
    checkActive();
    if (m_state != DataSetState::Browse)
        return;
    m_pending = {};
    if (m_rows.empty()) {
        m_state = DataSetState::Insert;
        m_cursor = m_rowBeforeInsert = 0;
        if (m_source)
            m_source->rowInserted(m_cursor);
    } else {
        m_state = DataSetState::Edit;
    }
    notifyChange();
}

void RecordSet::Append() {
    checkActive();
    endPending();
    m_pending = {};
    m_rowBeforeInsert = m_cursor;
    m_state = DataSetState::Insert;
    m_cursor = int(m_rows.size());
    m_bof = false;
    m_eof = true;
    if (m_source)
        m_source->rowInserted(m_cursor);
    notifyChange();
}

void RecordSet::Post() {
    checkActive();
    checkEditing();
    if (m_state == DataSetState::Edit)
        writeChanges();
    else
        writeNewRecord();
    m_pending = {};
    m_state = DataSetState::Browse;
    settleFlags();
    notifyChange();
}

void RecordSet::Cancel() {
    checkActive();
    if (m_state == DataSetState::Browse)
        return;
    const bool wasInsert = m_state == DataSetState::Insert;
    const int pendingRow = m_cursor;
    m_pending = {};
    m_state = DataSetState::Browse;
    // An abandoned new record gives the cursor back to the record it came from.
    if (wasInsert)
        m_cursor = m_rowBeforeInsert;
    m_cursor = std::clamp(m_cursor, 0, std::max(0, int(m_rows.size()) - 1));
    settleFlags();
    if (wasInsert && m_source)
        m_source->rowRemoved(pendingRow);
    notifyChange();
}

void RecordSet::Delete() {
    checkActive();
    if (m_state == DataSetState::Insert) {
        Cancel();
        return;
    }
    if (m_rows.empty())
        fail(u"Cannot perform this operation on an empty dataset"_s);
    endPending();
    {
        const Row& row = currentRow();
        Transaction transaction(m_connection);
        checkUnchanged(size_t(m_cursor), u"deleting"_s);
        Statement remove(m_connection, u"delete from pictures where %1 = ?"_s.arg(m_rowid));
        remove.bind(1, row.id);
        remove.step();
        checkChangedOne(m_connection);
        transaction.commit();
    }
    const int removed = m_cursor;
    m_rows.erase(m_rows.begin() + removed);
    forgetRow(size_t(removed));
    m_cursor = std::min(m_cursor, std::max(0, int(m_rows.size()) - 1));
    settleFlags();
    if (m_source)
        m_source->rowRemoved(removed);
    notifyChange();
}

// ---- Writing -------------------------------------------------------------------

void RecordSet::checkUnchanged(size_t index, const QString& action) const {
    const Row& row = m_rows[index];
    const auto recent =
        std::find_if(m_recentPictures.begin(), m_recentPictures.end(),
                     [index](const RecentPicture& seen) { return seen.row == index; });
    const bool known = recent != m_recentPictures.end() || row.pictureHash;
    const QString picture = column(m_pictureField);
    QString sql = u"select %1, %2"_s.arg(column(m_nameField), byteLength(picture));
    if (known)
        sql += u", "_s + picture;
    Statement current(m_connection, sql + u" from pictures where %1 = ?"_s.arg(m_rowid));
    current.bind(1, row.id);
    const auto samePicture = [&] {
        if (recent != m_recentPictures.end())
            return current.blob(2) == recent->bytes;
        return !row.pictureHash || fingerprint(current.blob(2)) == *row.pictureHash;
    };
    const bool found = current.step();
    const bool same =
        found && (current.isNull(0) ? !row.name : (row.name && *row.name == current.text(0))) &&
        (current.isNull(1) ? -1 : current.int64(1)) == row.pictureLength && samePicture();
    if (!same)
        throw EngineError(u"Row cannot be located for %1. Some values may have been changed "
                          u"since it was last read."_s.arg(action));
}

void RecordSet::remember(size_t index, const QByteArray& bytes) {
    std::erase_if(m_recentPictures,
                  [index](const RecentPicture& seen) { return seen.row == index; });
    m_recentPictures.insert(m_recentPictures.begin(), {index, bytes});
    m_rows[index].pictureHash.reset();
    if (m_recentPictures.size() > RecentPictures) {
        const RecentPicture& oldest = m_recentPictures.back();
        m_rows[oldest.row].pictureHash = fingerprint(oldest.bytes);
        m_recentPictures.pop_back();
    }
}

void RecordSet::forgetRow(size_t index) {
    std::erase_if(m_recentPictures,
                  [index](const RecentPicture& seen) { return seen.row == index; });
    for (RecentPicture& seen : m_recentPictures)
        if (seen.row > index)
            --seen.row;
}

void RecordSet::writeChanges() {
    if (!Modified())
        return;
    Row& row = currentRow();
    QStringList assignments;
    if (m_pending.name)
        assignments << column(m_nameField) + u" = ?"_s;
    if (m_pending.picture)
        assignments << column(m_pictureField) + u" = ?"_s;
    Transaction transaction(m_connection);
    checkUnchanged(size_t(m_cursor), u"updating"_s);
    Statement update(m_connection, u"update pictures set %1 where %2 = ?"_s.arg(
                                       assignments.join(u", "_s), m_rowid));
    int index = 1;
    if (m_pending.name)
        update.bind(index++, *m_pending.name);
    if (m_pending.picture)
        update.bindUncopied(index++, *m_pending.picture);
    update.bind(index, row.id);
    update.step();
    checkChangedOne(m_connection);
    transaction.commit();
    if (m_pending.name)
        row.name = m_pending.name;
    if (m_pending.picture) {
        row.pictureLength = m_pending.picture->size();
        remember(size_t(m_cursor), *m_pending.picture);
    }
}

void RecordSet::writeNewRecord() {
    QStringList columns;
    if (m_pending.name)
        columns << column(m_nameField);
    if (m_pending.picture)
        columns << column(m_pictureField);
    const QString sql = columns.isEmpty() ? u"insert into pictures default values"_s
                                          : u"insert into pictures (%1) values (%2)"_s.arg(
                                                columns.join(u", "_s),
                                                QStringList(columns.size(), u"?"_s).join(u", "_s));
    Row row;
    Transaction transaction(m_connection);
    {
        Statement insert(m_connection, sql);
        int index = 1;
        if (m_pending.name)
            insert.bind(index++, *m_pending.name);
        if (m_pending.picture)
            insert.bindUncopied(index++, *m_pending.picture);
        insert.step();
        checkChangedOne(m_connection);
        row.id = sqlite3_last_insert_rowid(m_connection.handle());
    }
    // Read back what the table made of it (its defaults fill unset columns);
    // a record a trigger took away again was never added.
    Statement stored(m_connection,
                     u"select %1, %2 from pictures where %3 = ?"_s.arg(
                         column(m_nameField), byteLength(column(m_pictureField)), m_rowid));
    stored.bind(1, row.id);
    if (!stored.step())
        throw refusedChange();
    if (!stored.isNull(0))
        row.name = stored.text(0);
    row.pictureLength = stored.isNull(1) ? -1 : stored.int64(1);
    transaction.commit();
    m_rows.push_back(std::move(row));
    m_cursor = int(m_rows.size()) - 1;
    if (m_pending.picture)
        remember(size_t(m_cursor), *m_pending.picture);
}

// Straight from the table's pages into the result where the engine allows it
// (a blob or text in a table); by a query for anything else.
QByteArray RecordSet::readPicture(size_t index) {
    const Row& row = m_rows[index];
    std::optional<QByteArray> bytes =
        m_connection.ReadBlob(u"pictures"_s, m_pictureField->FieldName(), row.id);
    if (!bytes)
        bytes = selectPicture(row.id).value_or(QByteArray());
    remember(index, *bytes);
    return *bytes;
}

// The picture as a statement reads it, where the engine cannot read it
// directly (a view, a value of another type) or has words of its own for why
// not. Nothing for NULL.
std::optional<QByteArray> RecordSet::selectPicture(qint64 id) const {
    Statement select(m_connection, u"select %1 from pictures where %2 = ?"_s.arg(
                                       column(m_pictureField), m_rowid));
    select.bind(1, id);
    if (!select.step())
        throw EngineError(u"Row cannot be located for reading. It may have been deleted "
                          u"since it was last read."_s);
    if (select.isNull(0))
        return std::nullopt;
    return select.blob(0);
}

// ---- Reading -------------------------------------------------------------------

int RecordSet::RecordCount() const {
    checkActive();
    return int(m_rows.size());
}

Field& RecordSet::FieldByName(const QString& name) const {
    for (const auto* field : {m_nameField.get(), m_pictureField.get()})
        if (field && sameIdentifier(field->FieldName(), name))
            return *const_cast<Field*>(field);
    fail(u"Field '%1' not found"_s.arg(name));
}

bool RecordSet::CurrentHasPicture() const {
    return !FieldByName(Columns::Picture).IsNull();
}

int RecordSet::RowCount() const noexcept {
    if (!Active())
        return 0;
    return int(m_rows.size()) + (m_state == DataSetState::Insert ? 1 : 0);
}

int RecordSet::RecNo() const noexcept {
    if (!Active() || RowCount() == 0)
        return -1;
    return m_cursor;
}

QString RecordSet::NameAt(int row) const noexcept {
    if (row < 0 || row >= RowCount())
        return {};
    if (row == m_cursor && m_pending.name)
        return *m_pending.name;
    if (row >= int(m_rows.size()))
        return {};
    const auto& name = m_rows[size_t(row)].name;
    return name ? *name : QString();
}

QByteArray RecordSet::PictureValueAt(int row) {
    if (!Active() || !m_pictureField || row < 0 || row >= int(m_rows.size()) ||
        m_rows[size_t(row)].pictureLength <= 0)
        return {};
    return readPicture(size_t(row));
}

QString RecordSet::NameFieldName() const {
    return m_nameField ? m_nameField->FieldName() : QString();
}

qint64 RecordSet::IdAt(int row) const noexcept {
    return Active() && row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].id : 0;
}

qint64 RecordSet::PictureLengthAt(int row) const noexcept {
    return Active() && row >= 0 && row < int(m_rows.size()) ? m_rows[size_t(row)].pictureLength
                                                            : -1;
}

std::optional<QByteArray> RecordSet::NameBytesAt(int row) const {
    if (!Active() || !m_nameField || row < 0 || row >= int(m_rows.size()))
        return std::nullopt;
    const QString name = NameAt(row);
    if (!name.isEmpty() && !name.contains(QChar::ReplacementCharacter))
        return name.toUtf8();
    Statement select(m_connection,
                     u"select %1 from pictures where %2 = ?"_s.arg(column(m_nameField), m_rowid));
    select.bind(1, m_rows[size_t(row)].id);
    if (!select.step() || select.isNull(0))
        return std::nullopt;
    return select.utf8(0);
}

// ---- Events ------------------------------------------------------------------

void RecordSet::notifyActive() {
    if (m_source)
        m_source->activeChanged();
}

void RecordSet::notifyChange(const Field* field) {
    if (m_source)
        m_source->dataChanged(field);
}

// ---- PictureReader ---------------------------------------------------------

PictureReader::PictureReader(RecordSet& records) : m_records(records) {
    records.checkActive();
    if (records.m_pictureField)
        m_blobs = std::make_unique<BlobReader>(records.m_connection, u"pictures"_s,
                                               records.m_pictureField->FieldName());
}

PictureReader::~PictureReader() = default;

bool PictureReader::read(int row, QByteArray& value) {
    m_records.checkActive();
    if (row < 0 || row >= int(m_records.m_rows.size()))
        m_records.fail(u"Record not found"_s);
    if (!m_blobs)
        return false;
    const qint64 id = m_records.m_rows[size_t(row)].id;
    if (m_blobs->read(id, value))
        return true;
    std::optional<QByteArray> selected = m_records.selectPicture(id);
    value = selected.value_or(QByteArray());
    return selected.has_value();
}

void PictureReader::pause() noexcept {
    if (m_blobs)
        m_blobs->release();
}
