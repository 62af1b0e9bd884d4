#pragma once

#include "store/HistoryQuery.h"
#include "store/Questions.h"
#include "store/Reading.h"
#include "store/engine/DataSet.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QFutureWatcher>
#include <QHash>
#include <QLatin1String>
#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace varnel::office {

// A question of the history put to the books' server, answered on the window's thread: the
// page asked for (the first one with the count of the records the query lets through, -1 for
// every record of the reading, the
// snapshot of the moment and, with a client asked for, what each was paid), or with `since`, a
// snapshot of an earlier look, the records committed after it and the snapshot of now.
struct HistoryAnswer {
    HistoryPage page;
    std::int64_t matching = -1;
    QString snapshot;
    QList<PaidToClient> paid;
    QString error;
};
using HistoryAsker =
    std::function<void(const HistoryQuery& query, std::optional<HistoryPage> after, int rows,
                       const QString& since, std::function<void(HistoryAnswer)> answered)>;

// Every history record, newest first unless sorted otherwise. In a folder, read from the file
// when a cell is shown: a million records cost what ten do until filtered or sorted, which runs
// in the background (the rows already shown stay until it is done). On a server (SetAsker), the
// server filters and sorts, and the rows come a page at a time as the grid is scrolled to them;
// a new reading asks only for what was committed since the last look.
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using Kind = HistoryKind;
    using Column = HistoryColumn;
    static const QList<Column>& Columns() { return HistoryColumns(); }
    static int ColumnOf(QLatin1String field) { return HistoryColumnOf(field); }

    explicit HistoryModel(QObject* parent = nullptr);
    ~HistoryModel() override;

    // A new reading of the folder: the query runs again over it. On a server, a new reading
    // of the live tables: the history is asked what was committed since the last look.
    void SetBooks(std::shared_ptr<const Books> books);
    // The history asked of a server from now on; none: read from the folder's file.
    void SetAsker(HistoryAsker asker);
    // Shows these rows and no other, as they are: a page of a server's history being written
    // out, on the thread that writes it.
    void ShowRows(std::vector<HistoryRow> rows);
    const HistoryQuery& Query() const { return m_query; }
    const std::shared_ptr<const Books>& CurrentBooks() const { return m_books; }
    void SetFilter(const HistoryFilter& filter);
    const HistoryFilter& Filter() const { return m_query.filter; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return m_query.sortColumn; }
    Qt::SortOrder SortOrder() const { return m_query.order; }

    bool Busy() const { return m_running; } // a query runs; QueryFinished tells its end
    // A server is asked for more rows, or for what was committed since the last look.
    bool Following() const { return m_fetching || m_looking || m_lookAgain; }

    std::uint32_t TotalRecords() const { return m_books ? m_books->historyCount : 0; }
    // The records the query lets through, whether shown yet or not.
    std::int64_t Matching() const {
        // (with no filter every record matches: as many as the reading counted, whichever
        // look at the server found the last ones)
        return !m_asker ? rowCount() : m_query.filter.IsEmpty() ? TotalRecords() : m_matching;
    }
    RecordKey RecordAt(int row) const; // -1 for no row
    // Throws an EVarnelError for a record that cannot be read; data() shows it «(не читается)».
    Variant Value(int row, QLatin1String field) const;
    const QList<PaidToClient>& PaidToClients() const { return m_result.paid; }
    int UnreadableOfClients() const { return m_result.unreadable; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

signals:
    void QueryStarted();
    void QueryFinished();
    void QueryFailed(const QString& message);

private:
    void Run();
    void QueryEnded();
    void Apply(QueryResult result);
    const QVector<Variant>& Decoded(std::uint32_t record) const;
    const QVector<Variant>& RowValues(int row) const;
    void Ask();
    void Answered(HistoryAnswer answer);
    void Look();
    void Added(std::vector<HistoryRow> rows);
    bool Before(const HistoryRow& a, const HistoryRow& b) const;

    std::shared_ptr<const Books> m_books;
    HistoryQuery m_query;
    QueryResult m_result;
    QFutureWatcher<QueryResult> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    int m_generation = 0;
    bool m_running = false;
    QList<int> m_columnIndex; // each shown column's index in the file
    mutable QHash<std::uint32_t, QVector<Variant>> m_cache;

    // On a server: the rows asked so far, in the order shown, and their keys; where the next
    // page starts; the snapshot of the last look; the records the query lets through.
    HistoryAsker m_asker;
    bool m_given = false; // ShowRows
    std::vector<HistoryRow> m_rows;
    QSet<RecordKey> m_keys;
    HistoryPage m_mark;
    QString m_snapshot;
    std::int64_t m_matching = 0;
    bool m_fetching = false;
    bool m_looking = false;
    bool m_lookAgain = false;
};

} // namespace varnel::office
