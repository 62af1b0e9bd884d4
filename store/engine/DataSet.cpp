#include "store/engine/DataSet.h"

#include "base/Errors.h"
#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"

#include <QDir>
#include <QFileInfo>

#include <climits>

namespace varnel {

TDataSet::TDataSet(QObject* parent) : QObject(parent) {}

TDataSet::~TDataSet() = default;

void TDataSet::AddField(TField* field) {
    if (Active())
        throw EDatabaseError(QStringLiteral("Нельзя добавить поле к открытой таблице."));
    m_fields << field;
}

void TDataSet::AddLink(TDataLink* link) {
    if (!m_links.contains(link))
        m_links << link;
}

void TDataSet::RemoveLink(TDataLink* link) {
    m_links.removeAll(link);
}

void TDataSet::Open() {
    if (Active())
        return;
    OpenStorage();
    m_buffer = QVector<Variant>(m_fields.size());
    m_modified = false;
    m_current = NextLive(-1, +1);
    m_eof = m_bof = m_current < 0;
    SetState(State::Browse);
    NotifyDataSet();
}

void TDataSet::Close() {
    if (!Active())
        return;
    m_saved.reset();
    CloseStorage();
    m_current = -1;
    m_eof = m_bof = true;
    m_modified = false;
    SetState(State::Inactive);
    NotifyDataSet();
}

void TDataSet::CheckActive() const {
    if (!Active())
        throw EDatabaseError(QStringLiteral("Таблица «%1» закрыта.").arg(DisplayName()));
}

RecordKey TDataSet::NextLive(RecordKey from, int step) const {
    if (step < 0) {
        const QVector<RecordKey> prior = StorageBackward(from - 1, 1);
        return prior.isEmpty() ? -1 : prior.first();
    }
    return StorageNext(from);
}

RecordKey TDataSet::StorageNext(RecordKey key) const {
    const QVector<RecordKey> next = StorageForward(key + 1, 1);
    return next.isEmpty() ? -1 : next.first();
}

QVector<RecordKey> TDataSet::LiveForward(RecordKey from, int wanted) const {
    if (!Active())
        return {};
    return StorageForward(from, wanted);
}

QVector<RecordKey> TDataSet::LiveBackward(RecordKey from, int wanted) const {
    if (!Active())
        return {};
    return StorageBackward(from, wanted);
}

void TDataSet::MoveBy(std::int64_t records) {
    CheckBrowseMode();
    if (records == 0 || m_current < 0)
        return;
    const int steps = int(std::min<std::int64_t>(std::abs(records), INT_MAX));
    const QVector<RecordKey> path =
        records > 0 ? LiveForward(m_current + 1, steps) : LiveBackward(m_current - 1, steps);
    if (!path.isEmpty())
        MoveTo(path.last());
}

RecordKey TDataSet::EndKey() const {
    return Active() ? StorageEnd() : 0;
}

bool TDataSet::IsDeletedAt(RecordKey key) const {
    return !Active() || !StorageLive(key);
}

Variant TDataSet::ValueAt(RecordKey key, const TField* field) const {
    CheckActive();
    return StoredValue(key, field);
}

void TDataSet::UpdateRecord() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->UpdateData();
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    if (m_state == State::Insert || m_state == State::Edit) {
        UpdateRecord();
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

void TDataSet::SetState(State state) {
    if (m_state == state)
        return;
    m_state = state;
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->StateChanged();
    emit stateChanged();
}

void TDataSet::NotifyRecord() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->RecordChanged();
}

void TDataSet::NotifyDataSet() {
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->DataSetChanged();
}

void TDataSet::First() {
    CheckBrowseMode();
    m_current = NextLive(-1, +1);
    m_eof = m_bof = m_current < 0;
    NotifyRecord();
}

void TDataSet::Last() {
    CheckBrowseMode();
    m_current = NextLive(StorageEnd(), -1);
    m_eof = m_bof = m_current < 0;
    NotifyRecord();
}

void TDataSet::Next() {
    CheckBrowseMode();
    const std::int64_t next = m_current < 0 ? -1 : NextLive(m_current, +1);
    if (next < 0) {
        m_eof = true; // past the last record: the cursor stays on it
    } else {
        m_current = next;
        m_eof = m_bof = false;
    }
    NotifyRecord();
}

void TDataSet::Prior() {
    CheckBrowseMode();
    const std::int64_t prior = m_current < 0 ? -1 : NextLive(m_current, -1);
    if (prior < 0) {
        m_bof = true;
    } else {
        m_current = prior;
        m_eof = m_bof = false;
    }
    NotifyRecord();
}

RecordKey TDataSet::FindRecord(RecordKey from, int step, const TField* field,
                               const Variant& value) const {
    CheckActive();
    return StorageFind(from, step, field, value);
}

void TDataSet::MoveTo(RecordKey key) {
    CheckBrowseMode();
    if (!StorageLive(key))
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: записи %2 нет.").arg(DisplayName()).arg(key + 1));
    m_current = key;
    m_eof = m_bof = false;
    NotifyRecord();
}

void TDataSet::Refresh() {
    if (m_state != State::Browse)
        return;
    if (m_current < 0 || !StorageLive(m_current)) {
        RecordKey next = NextLive(m_current, +1);
        if (next < 0)
            next = NextLive(StorageEnd(), -1);
        m_current = next;
        m_eof = m_bof = m_current < 0;
    }
    NotifyDataSet();
    NotifyRecord();
}

void TDataSet::Insert() {
    CheckBrowseMode();
    m_buffer.fill(Variant());
    m_modified = false;
    m_eof = m_bof = false;
    SetState(State::Insert);
    NotifyRecord();
}

void TDataSet::Edit() {
    CheckActive();
    if (m_state == State::Insert || m_state == State::Edit)
        return;
    if (m_current < 0)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» пуста: изменять нечего.").arg(DisplayName()));
    m_buffer = StoredRecord(m_current);
    m_modified = false;
    SetState(State::Edit);
    NotifyRecord();
}

void TDataSet::CheckFits(const QString& name) const {
    CheckActive();
    const int i = IndexOfField(name);
    if (i < 0)
        FieldByName(name);
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    CheckValueFits(i, m_buffer[i]);
}

void TDataSet::Post() {
    CheckActive();
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    UpdateRecord();
    if (m_state == State::Insert) {
        m_current = AppendRecord(m_buffer);
        NotifyDataSet();
    } else {
        WriteRecord(m_current, m_buffer);
    }
    m_modified = false;
    m_eof = m_bof = false;
    SetState(State::Browse);
    NotifyRecord();
}

void TDataSet::Cancel() {
    CheckActive();
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    m_modified = false;
    m_buffer.fill(Variant());
    if (m_state == State::Insert && m_current < 0)
        m_eof = m_bof = true;
    SetState(State::Browse);
    NotifyRecord();
}

void TDataSet::Delete() {
    CheckActive();
    if (m_state == State::Insert) {
        Cancel(); // a new record that was never stored is simply discarded
        return;
    }
    if (m_state == State::Edit)
        Cancel();
    if (m_current < 0)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» пуста: удалять нечего.").arg(DisplayName()));
    DeleteRecord(m_current);
    RecordKey next = NextLive(m_current, +1);
    if (next < 0)
        next = NextLive(m_current, -1);
    m_current = next;
    m_eof = m_bof = m_current < 0;
    NotifyDataSet();
    NotifyRecord();
}

void TDataSet::BeforeWrite() {
    // A transaction's writes reach the file at its commit, which calls this itself.
    if (m_beforeWrite && !WritesHeld())
        m_beforeWrite();
}

void TDataSet::BeginTransaction() {
    CheckActive();
    HoldWrites();
    m_saved =
        std::make_unique<Saved>(Saved{m_state, m_current, m_eof, m_bof, m_modified, m_buffer});
}

void TDataSet::EndTransaction(bool committed) {
    std::unique_ptr<Saved> saved = std::move(m_saved);
    if (committed || !saved || !Active())
        return;
    DropHeldWrites();
    m_current = saved->current;
    m_eof = saved->eof;
    m_bof = saved->bof;
    m_modified = saved->modified;
    m_buffer = saved->buffer;
    SetState(saved->state);
    NotifyDataSet();
    NotifyRecord();
}

int TDataSet::IndexOfField(const QString& name) const {
    for (int i = 0; i < m_fields.size(); ++i)
        if (m_fields[i]->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TField* TDataSet::FindField(const QString& name) const {
    const int i = IndexOfField(name);
    return i < 0 ? nullptr : m_fields[i];
}

TField* TDataSet::FieldByName(const QString& name) const {
    TField* field = FindField(name);
    if (!field)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: поле %2 не найдено.").arg(DisplayName(), name));
    return field;
}

Variant TDataSet::GetFieldValue(const QString& name) const {
    CheckActive();
    const int i = IndexOfField(name);
    if (i < 0)
        FieldByName(name);
    if (m_state == State::Insert || m_state == State::Edit)
        return m_buffer[i];
    if (m_current < 0)
        return {};
    return StoredValue(m_current, m_fields[i]);
}

void TDataSet::SetFieldValue(const QString& name, const Variant& value) {
    CheckActive();
    TField* field = FieldByName(name);
    if (m_state != State::Insert && m_state != State::Edit)
        throw EDatabaseError(QStringLiteral("Таблица «%1» не в режиме правки: поле %2 не изменить.")
                                 .arg(DisplayName(), field->FieldName()));
    // Whether the value fits the file's column is asked when the record is written: a value
    // on its way to another (a sum the odds rule divides, say) may pass through the field.
    m_buffer[IndexOfField(name)] = field->Convert(value);
    m_modified = true;
    const QList<TDataLink*> links = m_links; // a link may leave while it is told
    for (TDataLink* link : links)
        link->FieldChanged(field);
}

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
        throw EConvertError(
            QStringLiteral("Поле %1: %2").arg(Fields()[field]->Title(), error.message()));
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
    const QByteArray record = EncodeRecord(m_file->blankRecord(), values);
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
