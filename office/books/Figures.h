#pragma once

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

// The cash of some days, from the history's records of those days:
//   stakes    Σ SUMMA of «Ставка»: the stakes taken
//   won       Σ VYPLATA of «Выигрыш»: the payouts the results made owed
//   restored  Σ VYPLATA of «Возврат»: what undone results took back of them
//   paid      Σ VYPLATA of «Выплата»: the payouts paid out of the till
//   refunded  Σ SUMMA of «Отзыв»: the stakes of revoked bets handed back out of the till
// and so owed = won − restored and the balance of the till = stakes − refunded − paid.
struct Cash {
    double stakes = 0, won = 0, restored = 0, paid = 0, refunded = 0;
    int bets = 0, wins = 0, restores = 0, payments = 0, refunds = 0;
    double Owed() const { return won - restored; }
    double Balance() const { return stakes - refunded - paid; }
    void Add(const Cash& other);
};

struct CashLine {
    // «№ 7 Спартак — Зенит», a day, an operator, or the payouts older than the history
    QString label;
    Variant number;
    QDate day;
    Cash cash;
};

struct CashReport {
    QDate from, to;
    Cash total;
    QList<CashLine> byEvent; // in the order of their numbers
    QList<CashLine> byDay;   // in the order of the days
    // The till of each operator who wrote the records (KASSIR), in the order of their names;
    // records that name none (written before the field was, or by a counter on a folder that
    // knew no operator) under an empty name.
    QList<CashLine> byOperator;
    // The records these figures would have taken in that cannot be read (HistoryScan::Readable),
    // and so are not in them: those of the days that count, the settlements of any day.
    std::uint32_t unreadable = 0;
};

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
