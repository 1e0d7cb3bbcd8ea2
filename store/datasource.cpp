#include "datasource.h"

#include "recordset.h"

#include <algorithm>

DataSource::DataSource(RecordSet& dataSet) : m_dataSet(dataSet) {
    m_dataSet.m_source = this;
}

DataSource::~DataSource() {
    if (m_dataSet.m_source == this)
        m_dataSet.m_source = nullptr;
}

void DataSource::addLink(DataLink* link) {
    m_links.push_back(link);
}

void DataSource::removeLink(DataLink* link) {
    std::erase(m_links, link);
}

void DataSource::Edit() {
    if (m_dataSet.State() == DataSetState::Browse)
        m_dataSet.Edit();
}

void DataSource::activeChanged() {
    for (DataLink* link : m_links)
        link->ActiveChanged();
    if (m_dataSet.Active())
        for (const QString& name : std::as_const(m_boundFields))
            m_dataSet.FieldByName(name);
}

void DataSource::rowInserted(int row) {
    for (DataLink* link : m_links)
        link->RowInserted(row);
}

void DataSource::rowRemoved(int row) {
    for (DataLink* link : m_links)
        link->RowRemoved(row);
}

void DataSource::dataChanged(const Field* field) {
    for (DataLink* link : m_links)
        link->RecordChanged(field);
    if (OnDataChange && m_holds == 0)
        OnDataChange(field);
}

DataSource::ChangesHeld::ChangesHeld(DataSource& source) : m_source(source) {
    ++m_source.m_holds;
}

DataSource::ChangesHeld::~ChangesHeld() {
    try {
        release();
    } catch (const std::exception&) {
    }
}

void DataSource::ChangesHeld::release() {
    if (!m_held)
        return;
    m_held = false;
    if (--m_source.m_holds == 0 && m_source.OnDataChange)
        m_source.OnDataChange(nullptr);
}
