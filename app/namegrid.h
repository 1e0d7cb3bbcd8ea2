#pragma once

#include "datasource.h"

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>

class RecordSet;

// The score names of the record set, one row a record (and a row for a
// pending new record), following the record set's cursor.
class NameListModel : public QAbstractTableModel, public DataLink {
    Q_OBJECT
public:
    explicit NameListModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
    void setRecordSet(const RecordSet* set) { m_set = set; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void ActiveChanged() override;
    void RowInserted(int row) override;
    void RowRemoved(int row) override;
    void RecordChanged(const Field* field) override;

private:
    const RecordSet* m_set = nullptr;
    int m_rows = 0; // as the view last heard of them
};

// The row-marker column: an arrow at the current record while browsing, an
// I-beam while it is edited, a star while a new record is pending.
class RowMarker : public QHeaderView {
    Q_OBJECT
public:
    explicit RowMarker(QWidget* parent);
    void setRecordSet(const RecordSet* set) { m_set = set; }
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    const RecordSet* m_set = nullptr;
};

// DBGrid1: a read-only grid over the record set. Clicks (either button) and
// the arrow, page, Home and End keys move the record set's cursor; the grid
// never edits, inserts or deletes.
class NameGrid : public QTableView, public DataLink {
    Q_OBJECT
public:
    explicit NameGrid(QWidget* parent = nullptr);
    void setDataSource(DataSource& source);
    int visibleRowCount() const;
    // While a key press moves the cursor: keys may follow faster than pages
    // can be drawn.
    bool movingByKey() const { return m_movingByKey; }

    void ActiveChanged() override { followCursor(); }
    void RowInserted(int) override { followCursor(); }
    void RowRemoved(int) override { followCursor(); }
    void RecordChanged(const Field*) override { followCursor(); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override { mousePressEvent(event); }
    void mouseMoveEvent(QMouseEvent*) override {}
    void mouseReleaseEvent(QMouseEvent*) override {}
    void keyPressEvent(QKeyEvent* event) override;

private:
    void followCursor();

    RecordSet* m_set = nullptr;
    NameListModel m_model;
    RowMarker m_marker;
    bool m_movingByKey = false;
};
