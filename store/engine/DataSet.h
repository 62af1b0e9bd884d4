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

class DbfFile;
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

    // File-level view for grids and scans: the stored record the cursor is on (-1 for none),
    // the number of stored records (deleted ones included) and whether one is deleted.
    std::int64_t CurrentIndex() const { return m_current; }
    std::uint32_t PhysicalCount() const;
    bool IsDeletedAt(std::uint32_t index) const;
    Variant ValueAt(std::uint32_t index, const TField* field) const;
    // Makes a stored record current, settling a pending record first.
    void MoveTo(std::uint32_t index);
    // Up to `wanted` live records from stored record `from` on, in the table's order, and from
    // `from` back, nearest first; read without moving the cursor. Going back reads the file a
    // stretch at a time, forward, so that a long run of deleted records (paid payouts, settled
    // bets) costs a few block reads rather than one a record.
    QVector<std::int64_t> LiveForward(std::int64_t from, int wanted) const;
    QVector<std::int64_t> LiveBackward(std::int64_t from, int wanted) const;
    // The nearest live record after `from` (step +1) or before it (step -1) whose field
    // compares equivalent to the value, as GetFieldValue(...).compare(value) would say; -1 when
    // there is none. The cursor does not move. Compared on the file's bytes where they allow,
    // so a scan decodes only the records it finds.
    std::int64_t FindRecord(std::int64_t from, int step, const TField* field,
                            const Variant& value) const;

    // Runs before anything of this dataset reaches its file: a Post or a Delete outside a
    // transaction, or the commit of one (whatever it throws stops the write).
    void SetBeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }

    void AddLink(TDataLink* link);
    void RemoveLink(TDataLink* link);
    void AddField(TField* field); // called by TField's constructor

    // The file's name for messages, e.g. "COMPIT.DBF".
    virtual QString DisplayName() const = 0;

signals:
    void stateChanged();

protected:
    // Creates the open file this dataset works on; throws an EDatabaseError when it cannot.
    virtual std::unique_ptr<DbfFile> OpenFile() = 0;
    // Whether the file must hold exactly the fields of this dataset and no others.
    bool m_exactFields = false;

private:
    // The seam to transactions (Transaction.h), which alone reach it: the file's work is held
    // until committed; a rollback puts the cursor and the pending record back as they were
    // when it began.
    friend class TTransaction;
    DbfFile* WorkFile() const { return m_file.get(); }
    void BeginTransaction();
    void EndTransaction(bool committed);
    void BeforeWrite();

    void CheckActive() const;
    void CheckBrowseMode(); // rule A
    void UpdateRecord();
    void SetState(State state);
    void NotifyRecord();
    void NotifyDataSet();
    std::int64_t NextLive(std::int64_t from, int step) const;
    void LoadBuffer();
    QByteArray EncodeBuffer(const QByteArray& base) const;
    void EncodeField(char* record, int field) const;
    int IndexOfField(const QString& name) const;

    struct Saved {
        State state = State::Inactive;
        std::int64_t current = -1;
        bool eof = true, bof = true, modified = false;
        QVector<Variant> buffer;
    };

    std::unique_ptr<DbfFile> m_file;
    std::function<void()> m_beforeWrite;
    std::unique_ptr<Saved> m_saved; // the cursor as it was when a transaction began
    QList<TField*> m_fields;
    QList<TDataLink*> m_links;
    State m_state = State::Inactive;
    std::int64_t m_current = -1;
    bool m_eof = true;
    bool m_bof = true;
    QVector<Variant> m_buffer; // the pending record's values, one per field
    bool m_modified = false;
};

// A dataset bound to a dBASE table file, found by its name relative to the working directory.
class TTable : public TDataSet {
    Q_OBJECT
public:
    explicit TTable(QObject* parent = nullptr);
    void SetTableName(const QString& name) { m_tableName = name; }
    const QString& TableName() const { return m_tableName; }
    // The events and bets files must carry exactly their fields; the others may carry more.
    void SetExactFields(bool exact) { m_exactFields = exact; }
    // A table only read, never written (a crash-cut tail is read as what is whole, not mended).
    void SetReadOnly(bool readOnly) { m_readOnly = readOnly; }
    // Opens a file whose header claims more records than it holds whole, or whose records are
    // followed by bytes that are none (an ETruncatedTable or EStrayTail of Open), with its
    // whole records, the rest dropped.
    void OpenCuttingTruncatedTail();
    QString DisplayName() const override;

protected:
    std::unique_ptr<DbfFile> OpenFile() override;

private:
    QString m_tableName;
    bool m_readOnly = false;
    bool m_cutTruncated = false; // for the one opening that asked for it
};

} // namespace varnel
