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
    std::unique_ptr<DbfFile> file = OpenFile();
    const auto fail = [&](const QString& what) {
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: %2. Файл не изменён.").arg(DisplayName(), what));
    };
    if (m_fields.isEmpty()) {
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
    for (TField* field : m_fields) {
        const int column = file->columnIndex(field->FieldName());
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
    m_file.reset();
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

std::int64_t TDataSet::NextLive(std::int64_t from, int step) const {
    if (step < 0) {
        const QVector<std::int64_t> prior = LiveBackward(from - 1, 1);
        return prior.isEmpty() ? -1 : prior.first();
    }
    // Every Next comes here: a plain walk forward, which the file's read-ahead serves.
    const std::int64_t count = m_file->recordCount();
    for (std::int64_t i = from + 1; i < count; ++i)
        if (!m_file->isDeleted(std::uint32_t(i)))
            return i;
    return -1;
}

QVector<std::int64_t> TDataSet::LiveForward(std::int64_t from, int wanted) const {
    QVector<std::int64_t> found;
    const std::int64_t count = PhysicalCount();
    for (std::int64_t i = std::max<std::int64_t>(from, 0); i < count && found.size() < wanted; ++i)
        if (!m_file->isDeleted(std::uint32_t(i)))
            found << i;
    return found;
}

QVector<std::int64_t> TDataSet::LiveBackward(std::int64_t from, int wanted) const {
    // The file is read ahead in blocks, never behind: stepping back one record at a time would
    // read a block per record. So the walk goes back a stretch at a time, reading each stretch
    // forward, the stretches growing while the records there are deleted.
    QVector<std::int64_t> found;
    QVector<std::int64_t> live;
    std::int64_t stretch = 64;
    const std::int64_t count = m_file ? m_file->recordCount() : 0; // Open asks before it is active
    for (std::int64_t high = std::min<std::int64_t>(from, count - 1);
         high >= 0 && found.size() < wanted; stretch = std::min<std::int64_t>(stretch * 2, 4096)) {
        const std::int64_t low = std::max<std::int64_t>(high - stretch + 1, 0);
        live.clear();
        for (std::int64_t i = low; i <= high; ++i)
            if (!m_file->isDeleted(std::uint32_t(i)))
                live << i;
        for (qsizetype i = live.size(); i > 0 && found.size() < wanted;)
            found << live[--i];
        high = low - 1;
    }
    return found;
}

void TDataSet::MoveBy(std::int64_t records) {
    CheckBrowseMode();
    if (records == 0 || m_current < 0)
        return;
    const int steps = int(std::min<std::int64_t>(std::abs(records), INT_MAX));
    const QVector<std::int64_t> path =
        records > 0 ? LiveForward(m_current + 1, steps) : LiveBackward(m_current - 1, steps);
    if (!path.isEmpty())
        MoveTo(std::uint32_t(path.last()));
}

std::uint32_t TDataSet::PhysicalCount() const {
    return Active() ? m_file->recordCount() : 0;
}

bool TDataSet::IsDeletedAt(std::uint32_t index) const {
    return m_file->isDeleted(index);
}

Variant TDataSet::ValueAt(std::uint32_t index, const TField* field) const {
    return m_file->decode(m_file->record(index), field->ColumnIndex());
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
    m_current = NextLive(std::int64_t(m_file->recordCount()), -1);
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

std::int64_t TDataSet::FindRecord(std::int64_t from, int step, const TField* field,
                                  const Variant& value) const {
    CheckActive();
    const FieldMatcher matcher(m_file->codec(), field->ColumnIndex(), value);
    const std::int64_t count = m_file->recordCount();
    const std::ptrdiff_t stride = std::ptrdiff_t(step) * m_file->recordLength();
    for (std::int64_t i = from + step; i >= 0 && i < count;) {
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

void TDataSet::MoveTo(std::uint32_t index) {
    CheckBrowseMode();
    if (index >= m_file->recordCount() || m_file->isDeleted(index))
        throw EDatabaseError(
            QStringLiteral("Таблица «%1»: записи %2 нет.").arg(DisplayName()).arg(index + 1));
    m_current = index;
    m_eof = m_bof = false;
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

void TDataSet::LoadBuffer() {
    const char* record = m_file->record(std::uint32_t(m_current));
    for (int i = 0; i < m_fields.size(); ++i)
        m_buffer[i] = m_file->decode(record, m_fields[i]->ColumnIndex());
}

void TDataSet::Edit() {
    CheckActive();
    if (m_state == State::Insert || m_state == State::Edit)
        return;
    if (m_current < 0)
        throw EDatabaseError(
            QStringLiteral("Таблица «%1» пуста: изменять нечего.").arg(DisplayName()));
    LoadBuffer();
    m_modified = false;
    SetState(State::Edit);
    NotifyRecord();
}

QByteArray TDataSet::EncodeBuffer(const QByteArray& base) const {
    QByteArray record = base;
    record[0] = ' ';
    for (int i = 0; i < m_fields.size(); ++i)
        EncodeField(record.data(), i);
    return record;
}

void TDataSet::EncodeField(char* record, int field) const {
    try {
        m_file->encode(record, m_fields[field]->ColumnIndex(), m_buffer[field]);
    } catch (const EConvertError& error) {
        throw EConvertError(
            QStringLiteral("Поле %1: %2").arg(m_fields[field]->Title(), error.message()));
    }
}

void TDataSet::CheckFits(const QString& name) const {
    CheckActive();
    const int i = IndexOfField(name);
    if (i < 0)
        FieldByName(name);
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    QByteArray probe = m_file->blankRecord();
    EncodeField(probe.data(), i);
}

void TDataSet::Post() {
    CheckActive();
    if (m_state != State::Insert && m_state != State::Edit)
        return;
    UpdateRecord();
    if (m_state == State::Insert) {
        const QByteArray record = EncodeBuffer(m_file->blankRecord());
        BeforeWrite();
        m_current = m_file->append(record);
        NotifyDataSet();
    } else {
        const char* stored = m_file->record(std::uint32_t(m_current));
        const QByteArray record = EncodeBuffer(QByteArray(stored, m_file->recordLength()));
        BeforeWrite();
        m_file->write(std::uint32_t(m_current), record);
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
    BeforeWrite();
    m_file->markDeleted(std::uint32_t(m_current));
    std::int64_t next = NextLive(m_current, +1);
    if (next < 0)
        next = NextLive(m_current, -1);
    m_current = next;
    m_eof = m_bof = m_current < 0;
    NotifyDataSet();
    NotifyRecord();
}

void TDataSet::BeforeWrite() {
    // A transaction's writes reach the file at its commit, which calls this itself.
    if (m_beforeWrite && !m_file->inOverlay())
        m_beforeWrite();
}

void TDataSet::BeginTransaction() {
    CheckActive();
    m_file->beginOverlay();
    m_saved =
        std::make_unique<Saved>(Saved{m_state, m_current, m_eof, m_bof, m_modified, m_buffer});
}

void TDataSet::EndTransaction(bool committed) {
    std::unique_ptr<Saved> saved = std::move(m_saved);
    if (committed || !saved || !Active())
        return;
    if (m_file->inOverlay())
        m_file->dropOverlay();
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
    return m_file->decode(m_file->record(std::uint32_t(m_current)), m_fields[i]->ColumnIndex());
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

QString TTable::DisplayName() const {
    return QFileInfo(m_tableName).fileName();
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
