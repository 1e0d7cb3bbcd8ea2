#include "dbtext.h"

#include "recordset.h"

void DBText::setDataSource(DataSource& source) {
    m_set = &source.DataSet();
    source.addLink(this);
    source.bindField(QStringLiteral("filename"));
}

void DBText::refresh() {
    setText(m_set ? m_set->CurrentName() : QString());
}
