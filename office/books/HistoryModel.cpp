#include "office/books/HistoryModel.h"

#include "base/Report.h"
#include "office/books/Format.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Tables.h"

#include <QMap>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <numeric>
#include <string>
#include <variant>

namespace varnel::office {

namespace {

// The rows of one page asked of a server: a few screens.
constexpr int kPageRows = 500;

// A cell's value as a role shows it.
QVariant cellOf(const Variant& value, HistoryModel::Kind kind, int role) {
    if (value.isNull())
        return role == ExportRole ? QVariant(QString()) : QVariant();
    const bool display = role != ExportRole;
    switch (kind) {
    case HistoryModel::Kind::Date:
        return display ? QVariant(DateText(value.toDate())) : QVariant(value.toDate());
    case HistoryModel::Kind::Money:
        return display ? MoneyText(value.toReal()) : MoneyPlain(value.toReal());
    case HistoryModel::Kind::Number:
        return display ? QVariant(NumberText(value.toReal())) : QVariant(value.toReal());
    case HistoryModel::Kind::Integer:
        return display ? QVariant(QString::number(value.toInteger()))
                       : QVariant(qlonglong(value.toInteger()));
    case HistoryModel::Kind::Text:
        break;
    }
    return value.toString();
}

} // namespace

HistoryModel::HistoryModel(QObject* parent) : QAbstractTableModel(parent) {
    connect(&m_watcher, &QFutureWatcher<QueryResult>::finished, this,
            Handler(this, &HistoryModel::QueryEnded));
}

void HistoryModel::QueryEnded() {
    if (m_watcher.property("generation").toInt() != m_generation)
        return; // a newer query is running
    Apply(m_watcher.result());
}

HistoryModel::~HistoryModel() {
    if (m_cancel)
        m_cancel->store(true);
    m_watcher.waitForFinished();
}

void HistoryModel::SetBooks(std::shared_ptr<const Books> books) {
    if (m_asker) {
        const bool first = !m_books || !books;
        m_books = std::move(books);
        if (first || m_snapshot.isEmpty())
            Run();
        else
            Look();
        return;
    }
    // The history only grows: with every record shown, the new ones are rows added at the
    // newest end, and the rows already there, the current one and the scrolling stay.
    const bool grown = m_result.all && !m_running && m_books && m_books->history && books &&
                       books->history && books->historyPath == m_books->historyPath &&
                       books->historyCount >= m_books->historyCount &&
                       books->history->ColumnCount() == m_books->history->ColumnCount() &&
                       m_query.filter.IsEmpty() && m_query.sortColumn < 0;
    if (grown) {
        const int added = int(books->historyCount - m_books->historyCount);
        const bool newestFirst = m_query.order == Qt::DescendingOrder;
        const int at = newestFirst ? 0 : rowCount();
        if (added > 0)
            beginInsertRows({}, at, at + added - 1);
        m_books = std::move(books);
        if (added > 0)
            endInsertRows();
        return;
    }
    m_books = std::move(books);
    m_columnIndex =
        m_books && m_books->history ? HistoryColumnIndexes(*m_books->history) : QList<int>{};
    Run();
}

void HistoryModel::SetFilter(const HistoryFilter& filter) {
    if (filter == m_query.filter)
        return;
    m_query.filter = filter;
    Run();
}

void HistoryModel::sort(int column, Qt::SortOrder order) {
    if (column == m_query.sortColumn && order == m_query.order)
        return;
    m_query.sortColumn = column;
    m_query.order = order;
    Run();
}

void HistoryModel::SetAsker(HistoryAsker asker) {
    m_asker = std::move(asker);
    m_books.reset();
    Run();
}

void HistoryModel::Run() {
    ++m_generation;
    if (m_cancel)
        m_cancel->store(true);
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    m_fetching = m_looking = m_lookAgain = false;
    if (m_asker) {
        Ask();
        return;
    }
    if (!m_books || !m_books->history) {
        Apply(QueryResult{});
        return;
    }
    if (m_query.filter.IsEmpty() && m_query.sortColumn < 0) {
        QueryResult all;
        all.all = true;
        Apply(std::move(all));
        return;
    }
    m_running = true;
    emit QueryStarted();
    m_watcher.setProperty("generation", m_generation);
    m_watcher.setFuture(QtConcurrent::run(
        [path = m_books->historyPath, count = m_books->historyCount, query = m_query,
         cancel = m_cancel] { return RunHistoryQuery(path, count, query, *cancel); }));
}

// The first page of the query, asked of the server.
void HistoryModel::Ask() {
    if (!m_books) {
        Answered(HistoryAnswer{});
        return;
    }
    m_running = true;
    emit QueryStarted();
    const int generation = m_generation;
    m_asker(m_query, std::nullopt, kPageRows, {}, [this, generation](HistoryAnswer answer) {
        if (generation == m_generation)
            Answered(std::move(answer));
    });
}

// A server that did not answer is the window's to tell (its reading fails as well): the rows
// shown stay, and the query is asked again at the next reading.
void HistoryModel::Answered(HistoryAnswer answer) {
    if (!answer.error.isEmpty()) {
        m_running = false;
        m_snapshot.clear();
        emit QueryFinished();
        return;
    }
    beginResetModel();
    m_result = QueryResult{};
    m_result.paid = std::move(answer.paid);
    m_rows = std::move(answer.page.rows);
    answer.page.rows.clear();
    m_mark = std::move(answer.page);
    m_keys.clear();
    for (const HistoryRow& row : m_rows)
        m_keys.insert(row.key);
    m_snapshot = answer.snapshot;
    m_matching = std::max<std::int64_t>(answer.matching >= 0 ? answer.matching : TotalRecords(),
                                        std::int64_t(m_rows.size()));
    m_running = false;
    endResetModel();
    emit QueryFinished();
}

void HistoryModel::ShowRows(std::vector<HistoryRow> rows) {
    beginResetModel();
    m_given = true;
    m_rows = std::move(rows);
    endResetModel();
}

bool HistoryModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && m_asker && m_books && !m_running && !m_fetching && !m_mark.end;
}

void HistoryModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent))
        return;
    m_fetching = true;
    const int generation = m_generation;
    HistoryPage after = m_mark;
    m_asker(m_query, std::move(after), kPageRows, {}, [this, generation](HistoryAnswer answer) {
        if (generation != m_generation)
            return;
        m_fetching = false;
        if (!answer.error.isEmpty())
            return; // asked again as the grid is scrolled
        std::vector<HistoryRow> rows;
        for (HistoryRow& row : answer.page.rows)
            if (!m_keys.contains(row.key))
                rows.push_back(std::move(row));
        answer.page.rows.clear();
        m_mark = std::move(answer.page);
        if (rows.empty())
            return;
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + rows.size()) - 1);
        for (HistoryRow& row : rows) {
            m_keys.insert(row.key);
            m_rows.push_back(std::move(row));
        }
        m_matching = std::max<std::int64_t>(m_matching, std::int64_t(m_rows.size()));
        endInsertRows();
    });
}

// What was committed since the last look, as the query lets it through.
void HistoryModel::Look() {
    if (m_running || m_looking) {
        m_lookAgain = true;
        return;
    }
    m_looking = true;
    m_lookAgain = false;
    const int generation = m_generation;
    m_asker(m_query, std::nullopt, 0, m_snapshot, [this, generation](HistoryAnswer answer) {
        if (generation != m_generation)
            return;
        m_looking = false;
        if (!answer.error.isEmpty())
            return; // the window's reading says why, and the next one looks again
        m_snapshot = answer.snapshot;
        Added(std::move(answer.page.rows));
        if (m_lookAgain && !m_running)
            Look();
    });
}

// Records committed since the last look, each put where the order shown has it among the rows
// asked so far (the server's order, told here from the rows' values: HistoryModel::Before); one
// after the last row while pages are still to come is left to them. With a client asked for,
// the query is asked again, as what each was paid changed too.
void HistoryModel::Added(std::vector<HistoryRow> rows) {
    std::erase_if(rows, [&](const HistoryRow& row) { return m_keys.contains(row.key); });
    if (rows.empty())
        return;
    if (!m_query.filter.client.trimmed().isEmpty()) {
        Run();
        return;
    }
    const auto before = [this](const HistoryRow& a, const HistoryRow& b) { return Before(a, b); };
    std::sort(rows.begin(), rows.end(), before);
    for (HistoryRow& row : rows) {
        ++m_matching;
        const auto at = std::upper_bound(m_rows.begin(), m_rows.end(), row, before);
        if (at == m_rows.end() && !m_mark.end)
            continue;
        const int place = int(at - m_rows.begin());
        beginInsertRows({}, place, place);
        m_keys.insert(row.key);
        m_rows.insert(m_rows.begin() + place, std::move(row));
        endInsertRows();
    }
}

// Whether a row comes before another in the order asked, as the server sorts them: the blank
// before every value, text folded (FoldName, trailing blanks dropped), equal values by their
// keys, the newest first going down.
bool HistoryModel::Before(const HistoryRow& a, const HistoryRow& b) const {
    const bool down = m_query.order == Qt::DescendingOrder;
    if (m_query.sortColumn >= 0 && m_query.sortColumn < Columns().size()) {
        const Kind kind = Columns().at(m_query.sortColumn).kind;
        const auto key = [&](const HistoryRow& row) {
            const Variant& value = row.values.at(m_query.sortColumn);
            if (kind == Kind::Text && !value.isNull()) {
                QString text = value.toString();
                while (text.endsWith(QLatin1Char(' ')))
                    text.chop(1);
                return text.isEmpty() ? HistorySortKey{QString()} : HistorySortKey{FoldName(text)};
            }
            return kind == Kind::Text ? HistorySortKey{QString()} : HistorySortKeyOf(value, kind);
        };
        const HistorySortKey ka = key(a), kb = key(b);
        if (ka < kb)
            return !down;
        if (kb < ka)
            return down;
    }
    return down ? a.key > b.key : a.key < b.key;
}

void HistoryModel::Apply(QueryResult result) {
    beginResetModel();
    m_result = std::move(result);
    m_cache.clear();
    m_running = false;
    endResetModel();
    if (!m_result.error.isEmpty())
        emit QueryFailed(m_result.error);
    emit QueryFinished();
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    if (m_given)
        return int(m_rows.size());
    if (!m_books)
        return 0;
    if (m_asker)
        return int(m_rows.size());
    if (!m_books->history)
        return 0;
    if (m_result.all)
        return int(std::min<std::uint32_t>(m_books->historyCount,
                                           std::uint32_t(std::numeric_limits<int>::max())));
    return int(m_result.rows.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Columns().size());
}

RecordKey HistoryModel::RecordAt(int row) const {
    if (row < 0 || row >= rowCount())
        return -1;
    if (m_asker || m_given)
        return m_rows[std::size_t(row)].key;
    if (m_result.all) {
        const bool oldestFirst = m_query.sortColumn < 0 && m_query.order == Qt::AscendingOrder;
        return oldestFirst ? row : std::int64_t(m_books->historyCount) - 1 - row;
    }
    return m_result.rows[std::size_t(row)];
}

const QVector<Variant>& HistoryModel::Decoded(std::uint32_t record) const {
    if (const auto it = m_cache.constFind(record); it != m_cache.constEnd())
        return *it;
    if (m_cache.size() > 4096)
        m_cache.clear(); // what is on screen is read again at once; the rest is not needed
    const THistoryFile& file = *m_books->history;
    const QVector<Variant> values = DecodeHistoryRecord(file, file.Record(record), m_columnIndex);
    return *m_cache.insert(record, values);
}

Variant HistoryModel::Value(int row, QLatin1String field) const {
    const std::int64_t record = RecordAt(row);
    const int column = ColumnOf(field);
    if (record < 0 || column < 0)
        return {};
    return RowValues(row).at(column);
}

const QVector<Variant>& HistoryModel::RowValues(int row) const {
    if (m_asker || m_given)
        return m_rows[std::size_t(row)].values;
    return Decoded(std::uint32_t(RecordAt(row)));
}

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.column() >= columnCount())
        return {};
    const Kind kind = Columns().at(index.column()).kind;
    if (role == Qt::TextAlignmentRole)
        return kind == Kind::Text || kind == Kind::Date
                   ? QVariant(int(Qt::AlignLeft | Qt::AlignVCenter))
                   : QVariant(int(Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole && role != ExportRole && role != Qt::ToolTipRole)
        return {};
    const std::int64_t record = RecordAt(index.row());
    if (record < 0)
        return {};
    // Painting calls this: nothing may leave it.
    try {
        return cellOf(RowValues(index.row()).at(index.column()), kind, role);
    } catch (const EVarnelError& error) {
        if (role == Qt::ToolTipRole)
            return error.message(); // what is wrong with the record, and where
        return role == Qt::DisplayRole ? QVariant(QStringLiteral("(не читается)")) : QVariant();
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Vertical)
        return section + 1;
    if (section < 0 || section >= Columns().size())
        return {};
    return QString::fromUtf8(Columns().at(section).title);
}

} // namespace varnel::office
