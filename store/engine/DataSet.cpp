#include "store/engine/DataSet.h"

#include "base/Errors.h"
#include "store/engine/Field.h"

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

} // namespace varnel
