#include "controls/DBGridModel.h"

#include "base/Errors.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

#include <algorithm>
#include <limits>

namespace varnel {

namespace {

// The key of the pending new record's row: after every stored record.
constexpr std::int64_t kPending = std::numeric_limits<std::int64_t>::max();

QVector<std::int64_t> Reversed(QVector<std::int64_t> keys) {
    std::reverse(keys.begin(), keys.end());
    return keys;
}

bool IsNumber(TFieldType type) {
    return type == TFieldType::Smallint || type == TFieldType::Integer || type == TFieldType::Float;
}

} // namespace

TDBGridModel::TDBGridModel(QObject* parent) : QAbstractTableModel(parent) {}

TDBGridModel::~TDBGridModel() {
    if (m_source)
        m_source->RemoveLink(this);
}

void TDBGridModel::SetDataSource(TDataSource* source) {
    if (m_source == source)
        return;
    Relink(m_source, source, this);
    DataSetChanged();
}

TDataSet* TDBGridModel::DataSet() const {
    return m_source ? m_source->DataSet() : nullptr;
}

void TDBGridModel::SetColumns(const QStringList& fieldNames) {
    beginResetModel();
    m_page.clear();
    m_currentRow = -1;
    m_columnNames = fieldNames;
    ResolveFields();
    endResetModel();
    Sync();
}

void TDBGridModel::ResolveFields() {
    m_fields.clear();
    TDataSet* dataSet = DataSet();
    for (const QString& name : m_columnNames)
        m_fields << (dataSet ? dataSet->FindField(name) : nullptr);
}

TField* TDBGridModel::ColumnField(int column) const {
    return column >= 0 && column < m_fields.size() ? m_fields[column].data() : nullptr;
}

void TDBGridModel::SetPageRows(int rows) {
    rows = std::max(rows, 1);
    if (rows == m_pageRows)
        return;
    m_pageRows = rows;
    Sync();
}

void TDBGridModel::SetLive(bool live) {
    m_live = live;
    if (m_live && m_stale)
        Sync();
}

RecordKey TDBGridModel::RecordAt(int row) const {
    if (row < 0 || row >= m_page.size() || m_page[row] == kPending)
        return -1;
    return m_page[row];
}

int TDBGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_page.size());
}

int TDBGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_columnNames.size());
}

Qt::ItemFlags TDBGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

Variant TDBGridModel::ValueOf(std::int64_t key, const TField* field) const {
    TDataSet* dataSet = DataSet();
    // The pending record, new or being changed, is shown as it stands, not as it was stored.
    if (key == kPending ||
        (dataSet->state() == TDataSet::State::Edit && key == dataSet->CurrentIndex()))
        return dataSet->GetFieldValue(field->FieldName());
    if (key >= dataSet->EndKey())
        return {};
    return dataSet->ValueAt(std::uint32_t(key), field);
}

QVariant TDBGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_page.size() || index.column() >= m_fields.size())
        return {};
    const TField* field = m_fields[index.column()];
    TDataSet* dataSet = DataSet();
    if (!field || !dataSet || !dataSet->Active())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        try {
            const QString text = field->Text(ValueOf(m_page[index.row()], field));
            return role == Qt::DisplayRole ? QVariant(text) : QVariant();
        } catch (const EVarnelError& error) {
            // A damaged value shows as an empty cell that says why.
            return role == Qt::DisplayRole ? QVariant(QString()) : QVariant(error.message());
        }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignVCenter |
                                   (IsNumber(field->DataType()) ? Qt::AlignRight : Qt::AlignLeft));
    default:
        return {};
    }
}

QVariant TDBGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columnNames.size())
            return {};
        if (role == Qt::DisplayRole) {
            const TField* field = ColumnField(section);
            return field ? field->DisplayLabel() : m_columnNames[section];
        }
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
        return {};
    }
    if (section < 0 || section >= m_page.size())
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignCenter);
    if (role != Qt::DisplayRole)
        return {};
    if (section != m_currentRow)
        return QString();
    const TDataSet* dataSet = DataSet();
    if (dataSet && dataSet->state() == TDataSet::State::Insert)
        return QStringLiteral("*");
    if (dataSet && dataSet->state() == TDataSet::State::Edit)
        return QStringLiteral("I");
    return QStringLiteral("▶");
}

void TDBGridModel::FieldChanged(TField* /*field*/) {
    if (!m_live) {
        m_stale = true;
        return;
    }
    if (m_currentRow >= 0 && !m_fields.isEmpty())
        emit dataChanged(index(m_currentRow, 0), index(m_currentRow, int(m_fields.size()) - 1));
}

void TDBGridModel::DataSetChanged() {
    // Field objects of a dataset without its own are made when the table opens.
    bool moved = false;
    for (int i = 0; i < m_fields.size(); ++i) {
        TDataSet* dataSet = DataSet();
        TField* field = dataSet ? dataSet->FindField(m_columnNames[i]) : nullptr;
        moved = moved || field != m_fields[i];
    }
    if (moved) {
        ResolveFields();
        if (!m_fields.isEmpty())
            emit headerDataChanged(Qt::Horizontal, 0, int(m_fields.size()) - 1);
    }
    Sync();
}

QVector<std::int64_t> TDBGridModel::PageEndingAt(std::int64_t last, int capacity) const {
    const TDataSet& dataSet = *DataSet();
    QVector<std::int64_t> page = Reversed(dataSet.LiveBackward(last, capacity));
    if (page.size() < capacity && !page.isEmpty())
        page += dataSet.LiveForward(page.last() + 1, capacity - int(page.size()));
    return page;
}

void TDBGridModel::FillBack(QVector<std::int64_t>& page, int capacity) const {
    if (page.isEmpty() || page.size() >= capacity)
        return;
    page = Reversed(DataSet()->LiveBackward(page.first() - 1, capacity - int(page.size()))) + page;
}

QVector<std::int64_t> TDBGridModel::PageAround(std::int64_t current, int capacity) const {
    const TDataSet& dataSet = *DataSet();
    const std::int64_t top = !m_page.isEmpty() && m_page.first() != kPending ? m_page.first() : -1;
    QVector<std::int64_t> page;
    if (top >= 0 && top <= current) {
        page = dataSet.LiveForward(top, capacity);
        if (page.contains(current)) {
            FillBack(page, capacity);
            return page;
        }
        // A step or a few down: scroll by the rows it takes, the current record at the bottom.
        if (!page.isEmpty() && current > page.last()) {
            const QVector<std::int64_t> below = dataSet.LiveForward(page.last() + 1, capacity);
            const qsizetype at = below.indexOf(current);
            if (at >= 0) {
                page += below.mid(0, at + 1);
                return page.mid(page.size() - std::min<qsizetype>(page.size(), capacity));
            }
        }
        return PageEndingAt(current, capacity); // a jump forward
    }
    if (top > current) {
        // A step or a few up: the current record comes in at the top.
        const QVector<std::int64_t> above = dataSet.LiveBackward(top - 1, capacity);
        const qsizetype at = above.indexOf(current);
        if (at >= 0) {
            page = Reversed(above.mid(0, at + 1)) + dataSet.LiveForward(top, capacity);
            page.resize(std::min<qsizetype>(page.size(), capacity));
            return page;
        }
    }
    // A jump back, or the first page: the current record at the top.
    page = dataSet.LiveForward(current, capacity);
    FillBack(page, capacity);
    return page;
}

QVector<std::int64_t> TDBGridModel::ComputePage() const {
    TDataSet* dataSet = DataSet();
    if (!dataSet || !dataSet->Active() || m_fields.isEmpty())
        return {};
    const bool pending = dataSet->state() == TDataSet::State::Insert;
    const int capacity = m_pageRows - (pending ? 1 : 0);
    QVector<std::int64_t> page;
    if (capacity > 0) {
        if (pending) {
            const QVector<std::int64_t> last =
                dataSet->LiveBackward(std::int64_t(dataSet->EndKey()) - 1, 1);
            if (!last.isEmpty())
                page = PageEndingAt(last.first(), capacity);
        } else if (dataSet->CurrentIndex() >= 0) {
            page = PageAround(dataSet->CurrentIndex(), capacity);
        }
    }
    if (pending)
        page << kPending;
    return page;
}

void TDBGridModel::ApplyPage(const QVector<std::int64_t>& page) {
    // Both pages are in file order, so a merge tells the rows that left from the ones that
    // came; the views (and the model checker) see each removal and insertion as it is.
    QVector<int> leaving;
    QVector<int> coming;
    for (qsizetype o = 0, n = 0; o < m_page.size() || n < page.size();) {
        if (n == page.size() || (o < m_page.size() && m_page[o] < page[n]))
            leaving << int(o++);
        else if (o == m_page.size() || page[n] < m_page[o])
            coming << int(n++);
        else
            ++o, ++n;
    }
    for (qsizetype i = leaving.size(); i > 0;) {
        const int last = leaving[--i];
        int first = last;
        while (i > 0 && leaving[i - 1] == first - 1)
            first = leaving[--i];
        beginRemoveRows({}, first, last);
        m_page.remove(first, last - first + 1);
        endRemoveRows();
    }
    for (qsizetype i = 0; i < coming.size();) {
        const int first = coming[i];
        int last = first;
        while (i + 1 < coming.size() && coming[i + 1] == last + 1)
            last = coming[++i];
        ++i;
        beginInsertRows({}, first, last);
        for (int row = first; row <= last; ++row)
            m_page.insert(row, page[row]);
        endInsertRows();
    }
}

void TDBGridModel::Sync() {
    if (!m_live) {
        m_stale = true;
        return;
    }
    m_stale = false;
    QVector<std::int64_t> page;
    try {
        page = ComputePage();
    } catch (const EVarnelError&) {
        // This runs inside the dataset's own operations: an error reading the file must not
        // break off a Post or a Delete half done. The grid shows nothing until the next change;
        // the operation that reads the file for real reports it.
        page.clear();
    }
    ApplyPage(page);
    const TDataSet* dataSet = DataSet();
    if (dataSet && dataSet->Active() && dataSet->state() == TDataSet::State::Insert)
        m_currentRow = int(m_page.size()) - 1;
    else
        m_currentRow = dataSet ? int(m_page.indexOf(dataSet->CurrentIndex())) : -1;
    if (!m_page.isEmpty()) {
        // Values may have changed under unchanged rows (a posted change) and the marker moves.
        emit dataChanged(index(0, 0), index(int(m_page.size()) - 1, columnCount() - 1));
        emit headerDataChanged(Qt::Vertical, 0, int(m_page.size()) - 1);
    }
    emit PageChanged();
}

} // namespace varnel
