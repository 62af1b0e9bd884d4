#pragma once

#include "store/Questions.h"
#include "store/engine/Variant.h"

#include <QList>
#include <QString>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <variant>
#include <vector>

namespace varnel {

// A history record's value as the history is sorted by it: the blank before every value, days
// and numbers as numbers, text folded (FoldName).
using HistorySortKey = std::variant<std::monostate, double, QString>;
HistorySortKey HistorySortKeyOf(const Variant& value, HistoryKind kind);

class THistoryFile;

// The history file's column of each of HistoryColumns(), -1 where the file lacks it.
QList<int> HistoryColumnIndexes(const THistoryFile& file);
// A record's values in the order of HistoryColumns() (`columns` the file's, as above): a blank as
// a null, a serial as a whole number. Throws the EVarnelError of a record that cannot be read: a
// serial of «1.5» makes the record unreadable as a whole, as HistoryScan::Readable says of it.
QVector<Variant> DecodeHistoryRecord(const THistoryFile& file, const char* record,
                                     const QList<int>& columns);

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

} // namespace varnel
