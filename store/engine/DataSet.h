#pragma once

#include "store/engine/Variant.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>

namespace varnel {

class TField;

// A record as the layers above the engine name it: opaque and ordered (a table's records in
// its order), -1 for none. Today it is the record's place in its file.
using RecordKey = std::int64_t;

// Something that follows a dataset: a data source, and through it the bound controls and
// grids. The dataset calls these directly (not through signals), so an exception thrown
// while a control writes its text reaches the operation that asked for it.
class TDataLink {
public:
    virtual ~TDataLink() = default;
    // The pending record is about to be written or settled: put edited text into it.
    virtual void UpdateData() {}
    // Another record became current, or the current one was changed or written.
    virtual void RecordChanged() {}
    // One field of the pending record was given a new value.
    virtual void FieldChanged(TField* /*field*/) {}
    // The state changed (inactive, browse, insert, edit).
    virtual void StateChanged() {}
    // Records were added or removed, or the table was opened or closed.
    virtual void DataSetChanged() {}
};

// One cursor over one table: the current record, a pending record and its state.
//
// The current record is always a stored record that is not deleted, or none when the
// table is empty. A pending record is either a new one (Insert, not in the file until it
// is posted) or a copy of the current one being changed (Edit). Whenever the dataset must
// let go of a pending record first (First, Next, Prior, Last, Insert), it settles it by
// rule A: a record that holds changes is written, one without changes is discarded.
class TDataSet : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Insert, Edit };

    explicit TDataSet(QObject* parent = nullptr);
    ~TDataSet() override;

    void Open();
    void Close();
    bool Active() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    void First();
    void Last();
    void Next();
    void Prior();
    // Moves `records` live records on (back, when negative), as the grid's page keys and the
    // navigator do; at either end the cursor stops on the last record there is.
    void MoveBy(std::int64_t records);
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    bool IsEmpty() const { return m_current < 0 && m_state != State::Insert; }

    void Insert();
    void Edit();
    void Post();
    void Delete();
    void Cancel();
    // Whether the pending record holds changes (rule A writes it only then).
    bool Modified() const { return m_modified; }

    Variant GetFieldValue(const QString& name) const;
    // Converts the value to the field's type (an EConvertError naming the field when it cannot
    // be); whether it fits the file's column is checked when the record is written.
    void SetFieldValue(const QString& name, const Variant& value);
    // Throws the EConvertError that writing the pending record would give for this field's
    // value; nothing when it fits, or when no record is pending.
    void CheckFits(const QString& name) const;

    const QList<TField*>& Fields() const { return m_fields; }
    TField* FindField(const QString& name) const;
    TField* FieldByName(const QString& name) const; // throws when absent

    // The stored records, named by their keys, for grids and scans: the record the cursor is
    // on (-1 for none), the key past the last record there is, whether a key names no live
    // record (deleted, or none), and a stored record's value.
    RecordKey CurrentIndex() const { return m_current; }
    RecordKey EndKey() const;
    bool IsDeletedAt(RecordKey key) const;
    Variant ValueAt(RecordKey key, const TField* field) const;
    // Makes a stored record current, settling a pending record first.
    void MoveTo(RecordKey key);
    // Reads the records again where another program may have changed them (a table of the
    // books' server): a current record that is gone gives way to the next one there is, and
    // the grids and controls show the records anew. A pending record is left as it is.
    void Refresh();
    // Up to `wanted` live records from key `from` on, in the table's order, and from `from`
    // back, nearest first; read without moving the cursor.
    QVector<RecordKey> LiveForward(RecordKey from, int wanted) const;
    QVector<RecordKey> LiveBackward(RecordKey from, int wanted) const;
    // The nearest live record after `from` (step +1) or before it (step -1) whose field
    // compares equivalent to the value, as GetFieldValue(...).compare(value) would say; -1 when
    // there is none. The cursor does not move.
    RecordKey FindRecord(RecordKey from, int step, const TField* field, const Variant& value) const;

    // Runs before anything of this dataset reaches its storage: a Post or a Delete outside a
    // transaction, or the commit of one (whatever it throws stops the write).
    void SetBeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void AddField(TField* field); // called by TField's constructor

    // The table's name for messages, e.g. "COMPIT.DBF".
    virtual QString DisplayName() const = 0;

    // For the transactions of the books' homes alone (a table file's TTransaction, a server's):
    // while one is open, a rollback puts the cursor and the pending record back as they were
    // when it began.
    void BeginTransaction();
    void EndTransaction(bool committed);
    // Runs the before-write hook when the write reaches the storage now (not held by a
    // transaction); RunBeforeWrite runs it in any case, at a transaction's commit.
    void BeforeWrite();
    void RunBeforeWrite() {
        if (m_beforeWrite)
            m_beforeWrite();
    }

signals:
    void stateChanged();

protected:
    // The storage under the cursor: a table file (TTable), or a table of the books' server.
    // Opening makes the field objects (every column, when the dataset has none) and checks
    // them against the storage; throws an EDatabaseError when it cannot.
    virtual void OpenStorage() = 0;
    virtual void CloseStorage() = 0;
    virtual RecordKey StorageEnd() const = 0;
    virtual bool StorageLive(RecordKey key) const = 0;
    virtual QVector<RecordKey> StorageForward(RecordKey from, int wanted) const = 0;
    virtual QVector<RecordKey> StorageBackward(RecordKey from, int wanted) const = 0;
    // The next live record after `key` (-1 for none): every Next comes here.
    virtual RecordKey StorageNext(RecordKey key) const;
    virtual Variant StoredValue(RecordKey key, const TField* field) const = 0;
    // The stored record's values, one per field.
    virtual QVector<Variant> StoredRecord(RecordKey key) const = 0;
    // Writes: each checks that the values fit first, then calls BeforeWrite(), then writes.
    virtual RecordKey AppendRecord(const QVector<Variant>& values) = 0;
    virtual void WriteRecord(RecordKey key, const QVector<Variant>& values) = 0;
    virtual void DeleteRecord(RecordKey key) = 0;
    // Throws the EConvertError that writing the value of field `field` would give.
    virtual void CheckValueFits(int field, const Variant& value) const = 0;
    virtual RecordKey StorageFind(RecordKey from, int step, const TField* field,
                                  const Variant& value) const = 0;
    // A transaction holds the writes until its commit (the table file's overlay).
    virtual void HoldWrites() {}
    virtual void DropHeldWrites() {}
    virtual bool WritesHeld() const { return false; }

    // Whether the storage must hold exactly the fields of this dataset and no others.
    bool m_exactFields = false;

private:
    void CheckActive() const;
    void CheckBrowseMode(); // rule A
    void UpdateRecord();
    void SetState(State state);
    void NotifyRecord();
    void NotifyDataSet();
    RecordKey NextLive(RecordKey from, int step) const;
    int IndexOfField(const QString& name) const;

    struct Saved {
        State state = State::Inactive;
        RecordKey current = -1;
        bool eof = true, bof = true, modified = false;
        QVector<Variant> buffer;
    };

    std::function<void()> m_beforeWrite;
    std::unique_ptr<Saved> m_saved; // the cursor as it was when a transaction began
    QList<TField*> m_fields;
    QList<TDataLink*> m_links;
    State m_state = State::Inactive;
    RecordKey m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    QVector<Variant> m_buffer; // the pending record's values, one per field
    bool m_modified = false;
};

} // namespace varnel
