#pragma once

#include "store/Questions.h"
#include "store/Reading.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace varnel {

// One pass over the history as the reading found it. A payment is put under the event whose
// settlement made the payout owed, found by the bet's serial. Days from..to, either end open
// when null.
CashReport ComputeCash(const Books& books, const QDate& from, const QDate& to);

// What one look at the live records [from, count) of the history file at `path` finds: the
// records that cannot be read, and the operators named (KASSIR), sorted, none for a history
// without the field. For a thread of its own, the file opened here on its own. Checks `cancel`
// as it goes. Throws nothing, as no handler is around it there: a failure comes back in
// `error`.
struct HistoryCensus {
    std::uint32_t unreadable = 0;
    QStringList operators;
    QString error;
    // Adds the census of the records after those of this one.
    void Add(const HistoryCensus& later);
};
HistoryCensus TakeCensus(const QString& path, std::uint32_t from, std::uint32_t count,
                         const std::atomic<bool>& cancel);

// What the office would pay on an open event if each outcome won (EventRisk), from the live
// bets of a folder's reading.
QList<EventRisk> ComputeRisk(const Books& books);

} // namespace varnel
