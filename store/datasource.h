#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class Field;
class RecordSet;

// A control that shows the record set (the name list, the name label). Links
// only mirror what the record set already did; they never fail.
class DataLink {
public:
    virtual ~DataLink() = default;
    // The set was opened or closed: everything shown may have changed.
    virtual void ActiveChanged() {}
    // A pending new record appeared at `row`, or the record at `row` went away.
    virtual void RowInserted(int row) { (void)row; }
    virtual void RowRemoved(int row) { (void)row; }
    // Any data-change event: the cursor moved, the state changed, or `field`
    // (when not null) of the current record changed.
    virtual void RecordChanged(const Field* field) { (void)field; }
};

// Joins the record set to the controls that show it and to the window's
// data-change handler, which runs inside the record-set operation that raised
// the event, after every link has been brought up to date.
class DataSource {
public:
    explicit DataSource(RecordSet& dataSet);
    ~DataSource();
    DataSource(const DataSource&) = delete;
    DataSource& operator=(const DataSource&) = delete;

    RecordSet& DataSet() const { return m_dataSet; }
    std::function<void(const Field*)> OnDataChange;

    void addLink(DataLink* link);
    void removeLink(DataLink* link);
    // Fields that the linked controls show; each must exist once the set opens.
    void bindField(const QString& name) { m_boundFields.append(name); }

    // The automatic edit of data-aware controls: a browsing set goes into
    // edit state; in any other state nothing happens.
    void Edit();

    // While one lives, OnDataChange is not called (the linked controls still
    // follow): a run through every record does not draw each one. It is
    // called once when the hold is released.
    class ChangesHeld {
    public:
        explicit ChangesHeld(DataSource& source);
        // Releases the hold if `release` did not. A failure of OnDataChange
        // then is dropped: the failure that ended the run is the one reported.
        ~ChangesHeld();
        ChangesHeld(const ChangesHeld&) = delete;
        ChangesHeld& operator=(const ChangesHeld&) = delete;
        // Ends the hold now; a failure of OnDataChange is thrown.
        void release();

    private:
        DataSource& m_source;
        bool m_held = true;
    };

private:
    friend class RecordSet;
    void activeChanged();
    void rowInserted(int row);
    void rowRemoved(int row);
    void dataChanged(const Field* field);

    RecordSet& m_dataSet;
    std::vector<DataLink*> m_links;
    QStringList m_boundFields;
    int m_holds = 0;
};
