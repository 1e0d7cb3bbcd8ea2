#include "dbtext.h"

#include "recordset.h"

void DBText::setDataSource(DataSource& source) {
    m_set = &source.DataSet();
    source.addLink(this);
    source.bindField(Columns::Name);
}

QString shownName(const QString& name) {
    if (name.size() <= MaxShownNameLength)
        return name;
    qsizetype end = MaxShownNameLength;
    // Never half a character made of two UTF-16 units.
    if (name[end - 1].isHighSurrogate())
        --end;
    return name.left(end) + u'…';
}

void DBText::refresh() {
    setText(m_set ? shownName(m_set->CurrentName()) : QString());
}
