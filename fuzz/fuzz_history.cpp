// Finds arbitrary bytes as HISTORY.DBF beside empty books and reads them as the back office
// does: the reading of the folder, the cash of every day and of one, the history's grid cell by
// cell, the count of its unreadable records and its queries by client, kind, days and event,
// sorted. A history that does not open is named among the reading's problems with the engine's
// message. Once it opened nothing may throw: the records that cannot be read are counted,
// exactly those that decoding every field of the history refuses, and they are in no figure.
// An escaping exception aborts; the sanitizers report memory and undefined-behaviour faults.
#include "base/Errors.h"
#include "office/books/HistoryModel.h"
#include "store/Figures.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Reading.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <vector>

using namespace varnel;
using namespace varnel::office;

namespace {

QString g_folder; // the empty books, and the history written anew for each input
QString g_history;

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_history: %s\n", what);
    std::abort();
}

void put(const std::uint8_t* data, std::size_t size) {
    QFile file(g_history);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        fault("cannot write the history");
}

// The live records, and of them those that cannot be read, told the long way: every field of
// the history decoded, the whole numbers taken as such, as the grid shows a record.
struct Records {
    std::vector<std::uint32_t> live;
    std::vector<bool> unreadable; // by place in the file
    std::uint32_t unreadableCount = 0;
};

Records decodeAll(const Books& books) {
    const THistoryFile& file = *books.history;
    Records records;
    records.unreadable.assign(books.historyCount, false);
    for (std::uint32_t i = 0; i < books.historyCount; ++i) {
        if (file.Record(i)[0] == '*')
            continue;
        records.live.push_back(i);
        for (const FieldDescription& field : HistoryTable().fields) {
            const int column = file.ColumnOf(field.name);
            if (column < 0)
                continue;
            try {
                const Variant value = file.Decode(file.Record(i), column);
                if ((field.type == TFieldType::Integer || field.type == TFieldType::Smallint) &&
                    !value.isNull())
                    (void)value.toInteger();
            } catch (const EVarnelError& e) {
                if (e.message().isEmpty())
                    fault("an error without a message");
                records.unreadable[i] = true;
            }
        }
        records.unreadableCount += records.unreadable[i] ? 1 : 0;
    }
    return records;
}

int countOf(const Cash& cash) {
    return cash.bets + cash.wins + cash.restores + cash.payments;
}

// The figures leave out the unreadable records, and their lines add up to the total.
void checkCash(const Books& books, const Records& records, const QDate& from, const QDate& to) {
    const CashReport report = ComputeCash(books, from, to);
    if (report.unreadable > records.unreadableCount)
        fault("the cash met more unreadable records than there are");
    if (countOf(report.total) > int(records.live.size() - records.unreadableCount))
        fault("the cash took in more records than can be read");
    int byEvent = 0, byDay = 0, byOperator = 0;
    for (const CashLine& line : report.byEvent)
        byEvent += countOf(line.cash);
    for (const CashLine& line : report.byDay)
        byDay += countOf(line.cash);
    for (const CashLine& line : report.byOperator)
        byOperator += countOf(line.cash);
    if (byEvent != countOf(report.total) || byDay != countOf(report.total) ||
        byOperator != countOf(report.total))
        fault("the cash's lines do not add up to its total");
}

// Every cell of the first rows, in every role: an unreadable record shows as such, whole.
void checkGrid(const std::shared_ptr<const Books>& books, const Records& records) {
    HistoryModel model;
    model.SetBooks(books);
    const int rows = std::min(model.rowCount(), 200);
    for (int row = 0; row < rows; ++row) {
        const std::int64_t record = model.RecordAt(row);
        int marked = 0;
        for (int column = 0; column < model.columnCount(); ++column) {
            const QModelIndex index = model.index(row, column);
            marked += model.data(index).toString() == QStringLiteral("(не читается)") ? 1 : 0;
            model.data(index, Qt::ToolTipRole);
            model.data(index, Qt::TextAlignmentRole);
            model.data(index, Qt::UserRole + 1); // what a CSV gets
        }
        const bool live =
            std::binary_search(records.live.begin(), records.live.end(), std::uint32_t(record));
        if (live && records.unreadable[std::size_t(record)] != (marked == model.columnCount()))
            fault("the grid marks other records unreadable than decoding finds");
    }
}

QueryResult query(const Books& books, const HistoryQuery& q) {
    static const std::atomic<bool> never{false};
    QueryResult result = RunHistoryQuery(books.historyPath, books.historyCount, q, never);
    if (!result.error.isEmpty())
        fault("a query failed over a history that opened");
    for (const std::uint32_t row : result.rows)
        if (row >= books.historyCount)
            fault("a query showed a record past the history");
    return result;
}

void checkQueries(const Books& books, const Records& records) {
    // Sorted, not filtered: every live record is shown once, readable or not.
    HistoryQuery sorted;
    sorted.sortColumn = HistoryModel::ColumnOf(fields::SERIAL);
    sorted.order = Qt::AscendingOrder;
    std::vector<std::uint32_t> rows = query(books, sorted).rows;
    std::sort(rows.begin(), rows.end());
    if (rows != records.live)
        fault("sorting lost or added records");

    // A client's payments: their unreadable records are counted, not summed.
    HistoryQuery paid;
    paid.filter.client = QStringLiteral("иванов");
    paid.filter.kind = kinds::Paid();
    paid.sortColumn = HistoryModel::ColumnOf(fields::VYPLATA);
    const QueryResult result = query(books, paid);
    const QString part = FoldName(paid.filter.client);
    int unreadable = 0;
    for (const std::uint32_t i : records.live)
        if (records.unreadable[i] &&
            FoldName(books.history
                         ->Decode(books.history->Record(i), books.history->ColumnOf(fields::FIO))
                         .toString())
                .contains(part))
            ++unreadable;
    if (result.unreadable != unreadable)
        fault("a client's unreadable records were miscounted");
    int payments = 0;
    for (const PaidToClient& to : result.paid)
        payments += to.payments;
    if (payments > int(records.live.size() - records.unreadableCount))
        fault("a client was paid by more records than can be read");

    HistoryQuery days;
    days.filter.from = QDate(2026, 12, 1);
    days.filter.to = QDate(2026, 12, 31);
    days.filter.event = 1;
    days.sortColumn = HistoryModel::ColumnOf(fields::DEN);
    query(books, days);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/varnel-fuzz-XXXXXX"));
    if (!dir.isValid())
        fault("no temporary folder");
    g_folder = dir.path();
    CreateEmptyTables(g_folder);
    g_history = QDir(g_folder).filePath(HistoryTable().file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    put(data, size);
    // The only error that may leave a reading is a counter busy with the folder: none here.
    const std::shared_ptr<const Books> books = ReadBooks(g_folder, 0);
    if (!books->history) {
        if (books->problems.size() != 1 || books->problems[0].isEmpty())
            fault("a history that did not open was not said so");
        return 0;
    }
    if (!books->problems.isEmpty())
        fault("a problem with a history that opened");
    const Records records = decodeAll(*books);
    static const std::atomic<bool> never{false};
    const HistoryCensus census = TakeCensus(books->historyPath, 0, books->historyCount, never);
    if (!census.error.isEmpty() || census.unreadable != records.unreadableCount)
        fault("the count of unreadable records is not what decoding finds");
    checkCash(*books, records, {}, {});
    checkCash(*books, records, QDate(2026, 12, 7), QDate(2026, 12, 7));
    checkGrid(books, records);
    checkQueries(*books, records);
    return 0;
}
