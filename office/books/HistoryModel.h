#pragma once

#include "store/Reading.h"
#include "store/engine/DataSet.h"

#include <QAbstractTableModel>
#include <QDate>
#include <QFutureWatcher>
#include <QHash>
#include <QLatin1String>
#include <QList>
#include <QString>
#include <QVector>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace varnel::office {

// What the manager asks of the history; every part left empty lets every record through.
struct HistoryFilter {
    QDate from, to;           // the days of the records (DEN), either end open
    QString client;           // part of the client's name, any case, ё as е
    std::optional<int> event; // the event's number
    QString kind;             // one VID (History.h)
    QString kassir;           // one operator's records (KASSIR), the name exactly
    bool IsEmpty() const;
    bool operator==(const HistoryFilter&) const = default;
};

struct HistoryQuery {
    HistoryFilter filter;
    int sortColumn = -1; // a column of HistoryModel; -1: the order of the file
    Qt::SortOrder order = Qt::DescendingOrder;
};

// What a client was paid, from the «Выплата» records of the whole history, and the stakes
// handed back, from its «Отзыв» records: every client whose name matched, paid or not.
struct PaidToClient {
    QString fio;
    double paid = 0;
    int payments = 0;
    double refunded = 0;
    int refunds = 0;
};

struct QueryResult {
    bool all = false;                // every record, in the file's order or its reverse
    std::vector<std::uint32_t> rows; // otherwise the records shown, in the order shown
    QList<PaidToClient> paid;        // with a client asked for: every name that matched
    // With a client asked for: the records of the names that matched that cannot be read
    // (HistoryScan::Readable), and so are in no sum of `paid`.
    int unreadable = 0;
    QString error; // the file could not be read
};

// Runs a query over the first `count` records of the history file at `path`, opened here for
// reading on its own (the scan runs off the window's thread). Checks `cancel` as it goes; a
// cancelled query returns what it had. Throws nothing, as it runs on a thread with no handler
// around it: a failure comes back in `error`. A record that cannot be read is shown where the
// filters can be told from it, sorted as a blank where its key cannot be read.
QueryResult RunHistoryQuery(const QString& path, std::uint32_t count, const HistoryQuery& query,
                            const std::atomic<bool>& cancel);

// Every history record, newest first unless sorted otherwise, read from the file when a cell
// is shown: a million records cost what ten do until filtered or sorted, which runs in the
// background (the rows already shown stay until it is done).
class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { Text, Date, Money, Number, Integer };
    struct Column {
        QLatin1String field;
        const char* title; // UTF-8
        Kind kind;
    };
    static const QList<Column>& Columns();
    static int ColumnOf(QLatin1String field);

    explicit HistoryModel(QObject* parent = nullptr);
    ~HistoryModel() override;

    // A new reading of the folder: the query runs again over it.
    void SetBooks(std::shared_ptr<const Books> books);
    const std::shared_ptr<const Books>& CurrentBooks() const { return m_books; }
    void SetFilter(const HistoryFilter& filter);
    const HistoryFilter& Filter() const { return m_query.filter; }
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return m_query.sortColumn; }
    Qt::SortOrder SortOrder() const { return m_query.order; }

    bool Busy() const { return m_running; } // a query runs; QueryFinished tells its end

    std::uint32_t TotalRecords() const { return m_books ? m_books->historyCount : 0; }
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

signals:
    void QueryStarted();
    void QueryFinished();
    void QueryFailed(const QString& message);

private:
    void Run();
    void QueryEnded();
    void Apply(QueryResult result);
    const QVector<Variant>& Decoded(std::uint32_t record) const;

    std::shared_ptr<const Books> m_books;
    HistoryQuery m_query;
    QueryResult m_result;
    QFutureWatcher<QueryResult> m_watcher;
    std::shared_ptr<std::atomic<bool>> m_cancel;
    int m_generation = 0;
    bool m_running = false;
    std::vector<int> m_columnIndex; // each shown column's index in the file
    mutable QHash<std::uint32_t, QVector<Variant>> m_cache;
};

} // namespace varnel::office
