#pragma once

#include "store/Questions.h"
#include "store/engine/Variant.h"

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <variant>
#include <vector>

namespace varnel {

// A history record's value as the history is sorted by it: the blank before every value, days
// and numbers as numbers, text folded (FoldName).
using HistorySortKey = std::variant<std::monostate, double, QString>;
HistorySortKey HistorySortKeyOf(const Variant& value, HistoryKind kind);

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
