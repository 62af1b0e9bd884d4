#pragma once

#include "store/engine/DataSet.h"

#include <QHash>
#include <QStringList>

#include <memory>

namespace varnel {

class ServerRows;
class DbfCodec;
class ServerConnection;
struct TableDescription;

// A field's value as the server's column takes it (a null QVariant for none).
QVariant ServerValue(const Variant& value, const TField& field);

// A table of the books on the server under the dataset's cursor: the rows of
// varnel.<table> in the order of their keys. Nothing is kept of them but the rows the last
// move read (a page around the cursor), so a move shows what another counter changed, and a
// row another counter removed is gone at the next move. A value is checked as the program's
// own file layout would check it (the same message for one too long or too large), and a write
// that finds its row gone is refused. Writes go to the server as they are made: an operation
// that must be all or nothing holds a server transaction around them.
class TServerTable : public TDataSet {
    Q_OBJECT
public:
    TServerTable(ServerConnection& server, const TableDescription& description,
                 QObject* parent = nullptr);
    ~TServerTable() override;

    QString DisplayName() const override;
    const TableDescription& Description() const { return m_description; }
    ServerConnection& Server() const { return m_server; }
    // The server's name of the table and its columns, in the order of the fields.
    QString Table() const { return m_table; }
    // Lets go of the rows read: the next read asks the server.
    void Forget() const { m_rows.clear(); }

protected:
    void OpenStorage() override;
    void CloseStorage() override;
    RecordKey StorageEnd() const override;
    bool StorageLive(RecordKey key) const override;
    QVector<RecordKey> StorageForward(RecordKey from, int wanted) const override;
    QVector<RecordKey> StorageBackward(RecordKey from, int wanted) const override;
    Variant StoredValue(RecordKey key, const TField* field) const override;
    QVector<Variant> StoredRecord(RecordKey key) const override;
    RecordKey AppendRecord(const QVector<Variant>& values) override;
    void WriteRecord(RecordKey key, const QVector<Variant>& values) override;
    void DeleteRecord(RecordKey key) override;
    void CheckValueFits(int field, const Variant& value) const override;
    RecordKey StorageFind(RecordKey from, int step, const TField* field,
                          const Variant& value) const override;
    void DropHeldWrites() override;
    bool WritesHeld() const override;

private:
    QVector<RecordKey> Page(const QString& where, const QVariantList& values, int wanted,
                            bool descending) const;
    const QVector<Variant>* Row(RecordKey key) const;
    // Keeps the row the query is on (its key, then the select list's columns); its key.
    RecordKey Keep(const ServerRows& query) const;
    QVariantList Bound(const QVector<Variant>& values) const;
    void CheckFitsAll(const QVector<Variant>& values) const;

    ServerConnection& m_server;
    const TableDescription& m_description;
    QString m_table;
    QStringList m_columns;              // the fields' columns, in order (those read)
    QString m_selectList;               // as they are read
    std::unique_ptr<DbfCodec> m_layout; // the program's own file layout, for the checks
    mutable QHash<RecordKey, QVector<Variant>> m_rows; // what the last move read
    mutable RecordKey m_end = 0;                       // the last answer of StorageEnd
};

} // namespace varnel
