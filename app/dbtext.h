#pragma once

#include "datasource.h"

#include <QLabel>

class RecordSet;

// A name as the window draws it. A name is shown as plain text, never as
// markup, and at most its first MaxShownNameLength characters: a hostile
// name of a million characters costs no more to draw than a long one. Every
// name short enough to be a file name is shown whole; the stored name is
// never changed.
constexpr qsizetype MaxShownNameLength = 1024;
QString shownName(const QString& name);

// DBText1: the current record's name, blank when there is none or the set is closed.
class DBText : public QLabel, public DataLink {
    Q_OBJECT
public:
    explicit DBText(QWidget* parent = nullptr) : QLabel(parent) { setTextFormat(Qt::PlainText); }
    void setDataSource(DataSource& source);

    void ActiveChanged() override { refresh(); }
    void RowRemoved(int) override { refresh(); }
    void RecordChanged(const Field*) override { refresh(); }

private:
    void refresh();
    const RecordSet* m_set = nullptr;
};
