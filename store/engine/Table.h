#pragma once

#include "store/engine/DataSet.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>

namespace varnel {

class DbfFile;

// A dataset bound to a dBASE table file, found by its name relative to the working directory.
class TTable : public TDataSet {
    Q_OBJECT
public:
    explicit TTable(QObject* parent = nullptr);
    ~TTable() override;
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

    // The open file, for the table file's transactions (Transaction.h).
    DbfFile* WorkFile() const { return m_file.get(); }
    // Runs on each record appended, encoded and its place in the file known, before it is
    // written (within a transaction, before it is held): what it changes is what is written.
    void SetAppendHook(std::function<void(QByteArray& record, std::uint32_t place)> hook) {
        m_appendHook = std::move(hook);
    }
    // Encodes values (one per field) over a record's bytes; an EConvertError names the field.
    QByteArray EncodeRecord(const QByteArray& base, const QVector<Variant>& values) const;

protected:
    void OpenStorage() override;
    void CloseStorage() override;
    RecordKey StorageEnd() const override;
    bool StorageLive(RecordKey key) const override;
    QVector<RecordKey> StorageForward(RecordKey from, int wanted) const override;
    QVector<RecordKey> StorageBackward(RecordKey from, int wanted) const override;
    RecordKey StorageNext(RecordKey key) const override;
    Variant StoredValue(RecordKey key, const TField* field) const override;
    QVector<Variant> StoredRecord(RecordKey key) const override;
    RecordKey AppendRecord(const QVector<Variant>& values) override;
    void WriteRecord(RecordKey key, const QVector<Variant>& values) override;
    void DeleteRecord(RecordKey key) override;
    void CheckValueFits(int field, const Variant& value) const override;
    RecordKey StorageFind(RecordKey from, int step, const TField* field,
                          const Variant& value) const override;
    void HoldWrites() override;
    void DropHeldWrites() override;
    bool WritesHeld() const override;

private:
    std::unique_ptr<DbfFile> OpenFile();
    void EncodeField(char* record, int field, const Variant& value) const;

    std::unique_ptr<DbfFile> m_file;
    QString m_tableName;
    bool m_readOnly = false;
    bool m_cutTruncated = false; // for the one opening that asked for it
    std::function<void(QByteArray&, std::uint32_t)> m_appendHook;
};

} // namespace varnel
