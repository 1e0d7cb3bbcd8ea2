#include "namegrid.h"

#include "application.h"
#include "dbtext.h"
#include "recordset.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>

using namespace Qt::StringLiterals;

namespace {
const QString GridHint = u"点击选择"_s;
}

// ---- NameListModel -------------------------------------------------------------

int NameListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int NameListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QVariant NameListModel::data(const QModelIndex& index, int role) const {
    if (!m_set || !index.isValid())
        return {};
    if (role == Qt::DisplayRole)
        return shownName(m_set->NameAt(index.row()));
    if (role == Qt::ToolTipRole)
        return GridHint;
    return {};
}

QVariant NameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section != 0 || !m_set)
        return {};
    return m_set->Active() ? m_set->NameFieldName() : QString();
}

void NameListModel::ActiveChanged() {
    beginResetModel();
    m_rows = m_set ? m_set->RowCount() : 0;
    endResetModel();
}

void NameListModel::RowInserted(int row) {
    beginInsertRows({}, row, row);
    ++m_rows;
    endInsertRows();
}

void NameListModel::RowRemoved(int row) {
    beginRemoveRows({}, row, row);
    --m_rows;
    endRemoveRows();
}

void NameListModel::RecordChanged(const Field*) {
    if (m_rows > 0)
        Q_EMIT dataChanged(index(0, 0), index(m_rows - 1, 0), {Qt::DisplayRole});
}

// ---- RowMarker -------------------------------------------------------------------

RowMarker::RowMarker(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

QSize RowMarker::sizeHint() const {
    return {12, QHeaderView::sizeHint().height()};
}

void RowMarker::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    painter->fillRect(rect, palette().button());
    painter->setPen(palette().mid().color());
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (m_set && logicalIndex == m_set->RecNo()) {
        painter->setPen(palette().windowText().color());
        painter->setBrush(palette().windowText());
        const QPoint c = rect.center();
        switch (m_set->State()) {
        case DataSetState::Edit:
            painter->drawLine(c.x(), c.y() - 4, c.x(), c.y() + 4);
            painter->drawLine(c.x() - 2, c.y() - 4, c.x() + 2, c.y() - 4);
            painter->drawLine(c.x() - 2, c.y() + 4, c.x() + 2, c.y() + 4);
            break;
        case DataSetState::Insert:
            painter->drawText(rect, Qt::AlignCenter, u"*"_s);
            break;
        default: {
            QPainterPath arrow;
            arrow.moveTo(c.x() - 2, c.y() - 4);
            arrow.lineTo(c.x() + 2, c.y());
            arrow.lineTo(c.x() - 2, c.y() + 4);
            arrow.closeSubpath();
            painter->drawPath(arrow);
        }
        }
    }
    painter->restore();
}

// ---- NameGrid ----------------------------------------------------------------------

NameGrid::NameGrid(QWidget* parent) : QTableView(parent), m_marker(this) {
    setVerticalHeader(&m_marker);
    setModel(&m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setTabKeyNavigation(false);
    setWordWrap(false);
    horizontalHeader()->setStretchLastSection(true);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 5);
    setToolTip(GridHint);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void NameGrid::setDataSource(DataSource& source) {
    m_set = &source.DataSet();
    m_model.setRecordSet(m_set);
    m_marker.setRecordSet(m_set);
    // The model hears of a change before the grid moves its selection onto it.
    source.addLink(&m_model);
    source.addLink(this);
    source.bindField(Columns::Name);
}

int NameGrid::visibleRowCount() const {
    return std::max(1, viewport()->height() / verticalHeader()->defaultSectionSize());
}

void NameGrid::followCursor() {
    const int row = m_set ? m_set->RecNo() : -1;
    if (row >= 0 && row < m_model.rowCount()) {
        const QModelIndex current = m_model.index(row, 0);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
        scrollTo(current);
    } else {
        selectionModel()->clear();
    }
    m_marker.viewport()->update();
}

void NameGrid::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!m_set || !index.isValid())
        return;
    runReported([&] { m_set->MoveTo(index.row()); });
}

void NameGrid::keyPressEvent(QKeyEvent* event) {
    if (!m_set) {
        QTableView::keyPressEvent(event);
        return;
    }
    // With no library open the list has no rows, and keys move nothing.
    if (!m_set->Active()) {
        event->ignore();
        return;
    }
    RecordSet& set = *m_set;
    const QScopedValueRollback byKey(m_movingByKey, true);
    switch (event->key()) {
    case Qt::Key_Up:
        runReported([&] { set.Prior(); });
        break;
    case Qt::Key_Down:
        runReported([&] { set.Next(); });
        break;
    case Qt::Key_PageUp:
        runReported([&] { set.MoveBy(-visibleRowCount()); });
        break;
    case Qt::Key_PageDown:
        runReported([&] { set.MoveBy(visibleRowCount()); });
        break;
    case Qt::Key_Home:
        runReported([&] { set.First(); });
        break;
    case Qt::Key_End:
        runReported([&] { set.Last(); });
        break;
    default:
        event->ignore();
        return;
    }
    event->accept();
}
