#include "store/engine/Table.h"

#include "base/Errors.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Journal.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace varnel {

TTable::TTable(QObject* parent) : TDataSet(parent) {}

TTable::~TTable() = default;

QString TTable::DisplayName() const {
    return QFileInfo(m_tableName).fileName();
}

void TTable::OpenStorage() {
    std::unique_ptr<DbfFile> file = OpenFile();
    const auto fail = [&](const QString& what) {
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: %2. Файл не изменён.").arg(DisplayName(), what));
    };
    if (Fields().isEmpty()) {
        // No field objects of our own: take every column the file has.
        for (const DbfColumn& column : file->columns()) {
            TFieldType type = TFieldType::String;
            switch (column.type) {
            case 'N':
            case 'F':
                type = column.decimals == 0 && column.length < 10 ? TFieldType::Integer
                                                                  : TFieldType::Float;
                break;
            case 'D':
                type = TFieldType::Date;
                break;
            case 'L':
                type = TFieldType::Logical;
                break;
            default:
                break;
            }
            new TField(this, column.name, type, column.type == 'C' ? column.length : 0);
        }
    }
    for (TField* field : Fields()) {
        const int column = file->columnIndex(field->FieldName());
        field->SetMissing(column < 0 && field->MayBeMissing());
        if (field->Missing()) { // a file written before the field was: read blank
            field->SetColumn(-1, 0);
            continue;
        }
        if (column < 0)
            fail(QStringLiteral("в файле нет поля %1").arg(field->FieldName()));
        const QString mismatch = field->Mismatch(file->columns().at(column));
        if (!mismatch.isEmpty())
            fail(mismatch);
        field->SetColumn(column, file->columns().at(column).decimals);
    }
    if (m_exactFields) {
        for (const DbfColumn& column : file->columns())
            if (!FindField(column.name))
                fail(QStringLiteral("в файле лишнее поле %1").arg(column.name));
    }
    m_file = std::move(file);
}

void TTable::CloseStorage() {
    m_file.reset();
}

RecordKey TTable::StorageEnd() const {
    return m_file->recordCount();
}

bool TTable::StorageLive(RecordKey key) const {
    return key >= 0 && key < RecordKey(m_file->recordCount()) &&
           !m_file->isDeleted(std::uint32_t(key));
}

RecordKey TTable::StorageNext(RecordKey key) const {
    // Every Next comes here: a plain walk forward, which the file's read-ahead serves.
    const RecordKey count = m_file->recordCount();
    for (RecordKey i = key + 1; i < count; ++i)
        if (!m_file->isDeleted(std::uint32_t(i)))
            return i;
    return -1;
}

QVector<RecordKey> TTable::StorageForward(RecordKey from, int wanted) const {
    QVector<RecordKey> found;
    const RecordKey count = m_file->recordCount();
    for (RecordKey i = std::max<RecordKey>(from, 0); i < count && found.size() < wanted; ++i)
        if (!m_file->isDeleted(std::uint32_t(i)))
            found << i;
    return found;
}

QVector<RecordKey> TTable::StorageBackward(RecordKey from, int wanted) const {
    // The file is read ahead in blocks, never behind: stepping back one record at a time would
    // read a block per record. So the walk goes back a stretch at a time, reading each stretch
    // forward, the stretches growing while the records there are deleted.
    QVector<RecordKey> found;
    QVector<RecordKey> live;
    RecordKey stretch = 64;
    const RecordKey count = m_file->recordCount();
    for (RecordKey high = std::min<RecordKey>(from, count - 1); high >= 0 && found.size() < wanted;
         stretch = std::min<RecordKey>(stretch * 2, 4096)) {
        const RecordKey low = std::max<RecordKey>(high - stretch + 1, 0);
        live.clear();
        for (RecordKey i = low; i <= high; ++i)
            if (!m_file->isDeleted(std::uint32_t(i)))
                live << i;
        for (qsizetype i = live.size(); i > 0 && found.size() < wanted;)
            found << live[--i];
        high = low - 1;
    }
    return found;
}

Variant TTable::StoredValue(RecordKey key, const TField* field) const {
    if (field->Missing())
        return field->BlankValue();
    return m_file->decode(m_file->record(std::uint32_t(key)), field->ColumnIndex());
}

QVector<Variant> TTable::StoredRecord(RecordKey key) const {
    const char* record = m_file->record(std::uint32_t(key));
    QVector<Variant> values(Fields().size());
    for (int i = 0; i < Fields().size(); ++i) {
        const TField* field = Fields()[i];
        values[i] =
            field->Missing() ? field->BlankValue() : m_file->decode(record, field->ColumnIndex());
    }
    return values;
}

void TTable::EncodeField(char* record, int field, const Variant& value) const {
    if (Fields()[field]->Missing())
        return; // the file has no column for it: left out
    try {
        m_file->encode(record, Fields()[field]->ColumnIndex(), value);
    } catch (const EConvertError& error) {
        throw EConvertError(FieldRefusal(Fields()[field]->Title(), error.message()));
    }
}

QByteArray TTable::EncodeRecord(const QByteArray& base, const QVector<Variant>& values) const {
    QByteArray record = base;
    record[0] = ' ';
    for (int i = 0; i < Fields().size(); ++i)
        EncodeField(record.data(), i, values[i]);
    return record;
}

RecordKey TTable::AppendRecord(const QVector<Variant>& values) {
    QByteArray record = EncodeRecord(m_file->blankRecord(), values);
    if (m_appendHook)
        m_appendHook(record, m_file->recordCount());
    BeforeWrite();
    return m_file->append(record);
}

void TTable::WriteRecord(RecordKey key, const QVector<Variant>& values) {
    const char* stored = m_file->record(std::uint32_t(key));
    const QByteArray record = EncodeRecord(QByteArray(stored, m_file->recordLength()), values);
    BeforeWrite();
    m_file->write(std::uint32_t(key), record);
}

void TTable::DeleteRecord(RecordKey key) {
    BeforeWrite();
    m_file->markDeleted(std::uint32_t(key));
}

void TTable::CheckValueFits(int field, const Variant& value) const {
    QByteArray probe = m_file->blankRecord();
    EncodeField(probe.data(), field, value);
}

RecordKey TTable::StorageFind(RecordKey from, int step, const TField* field,
                              const Variant& value) const {
    if (field->Missing()) { // blank in every record
        if (field->BlankValue().compare(value) != std::partial_ordering::equivalent)
            return -1;
        if (step > 0)
            return StorageNext(from);
        const QVector<RecordKey> before = StorageBackward(from - 1, 1);
        return before.isEmpty() ? -1 : before.first();
    }
    // Compared on the file's bytes where they allow, so a scan decodes only what it finds.
    const FieldMatcher matcher(m_file->codec(), field->ColumnIndex(), value);
    const RecordKey count = m_file->recordCount();
    const std::ptrdiff_t stride = std::ptrdiff_t(step) * m_file->recordLength();
    for (RecordKey i = from + step; i >= 0 && i < count;) {
        std::uint32_t run = 0;
        const char* record = m_file->recordRun(std::uint32_t(i), step, run);
        for (; run > 0 && i >= 0 && i < count; --run, i += step, record += stride) {
            if (record[0] == '*')
                continue;
            switch (matcher.match(record)) {
            case ByteMatch::Same:
                return i;
            case ByteMatch::Different:
                break;
            case ByteMatch::Unsure:
                if (m_file->decode(record, field->ColumnIndex()).compare(value) ==
                    std::partial_ordering::equivalent)
                    return i;
                break;
            }
        }
    }
    return -1;
}

void TTable::HoldWrites() {
    m_file->beginOverlay();
}

void TTable::DropHeldWrites() {
    if (m_file && m_file->inOverlay())
        m_file->dropOverlay();
}

bool TTable::WritesHeld() const {
    return m_file && m_file->inOverlay();
}

std::unique_ptr<DbfFile> TTable::OpenFile() {
    // Work that a crash or a failed write left half done is finished at the next start; until
    // then no table of the folder may be read or written.
    const QFileInfo table(m_tableName);
    if (QFileInfo::exists(table.absoluteDir().filePath(JournalFileName())))
        throw EDatabaseError(QStringLiteral("Таблица «%1»: операция с таблицами не завершена. "
                                            "Перезапустите программу: при запуске она будет "
                                            "доведена до конца.")
                                 .arg(DisplayName()));
    auto file = std::make_unique<DbfFile>(m_tableName);
    file->open(m_readOnly ? DbfFile::Access::Read : DbfFile::Access::ReadWrite,
               m_cutTruncated ? DbfFile::Truncated::Cut : DbfFile::Truncated::Refuse);
    return file;
}

void TTable::OpenCuttingTruncatedTail() {
    m_cutTruncated = true;
    try {
        Open();
    } catch (...) {
        m_cutTruncated = false;
        throw;
    }
    m_cutTruncated = false;
}

} // namespace varnel
