#pragma once

#include "datasource.h"

#include <QLabel>

class RecordSet;

// DBText1: the current record's name, blank when there is none or the set is closed.
class DBText : public QLabel, public DataLink {
    Q_OBJECT
public:
    explicit DBText(QWidget* parent = nullptr) : QLabel(parent) {}
    void setDataSource(DataSource& source);

    void ActiveChanged() override { refresh(); }
    void RowRemoved(int) override { refresh(); }
    void RecordChanged(const Field*) override { refresh(); }

private:
    void refresh();
    const RecordSet* m_set = nullptr;
};
