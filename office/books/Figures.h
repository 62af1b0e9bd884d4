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

namespace varnel::office {

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

// What the office would pay on an open event if each outcome won: every live bet on it whose
// RESULT is that outcome pays its BetPayout, summed as the books keep the sum (each step kept
// to a hundredth of a kopeck).
struct OutcomeRisk {
    QString name; // KOM1, KOM2 or «Ничья»
    int bets = 0;
    double stakes = 0;
    double payout = 0;
};

struct EventRisk {
    Event event;
    std::array<OutcomeRisk, 3> outcomes;
    int bets = 0;
    double stakes = 0; // taken on the event, all outcomes
    int riskiest = -1; // the outcome of the largest payout; -1 with no bets
    // The owner's limit of the payouts of one outcome, which no outcome's payout may pass.
    std::optional<double> limit;
    // What the office keeps (negative: loses) if the riskiest outcome wins.
    double WorstResult() const { return riskiest < 0 ? 0 : stakes - outcomes[riskiest].payout; }
};

QList<EventRisk> ComputeRisk(const Books& books);

} // namespace varnel::office
