#include "store/Figures.h"

#include "base/Errors.h"
#include "store/History.h"
#include "store/HistoryScan.h"
#include "store/Rules.h"
#include "store/Tables.h"

#include <QHash>
#include <QMap>
#include <QSet>

#include <algorithm>
#include <climits>
#include <exception>
#include <utility>

namespace varnel {

namespace {

std::int64_t integerOr(const Variant& value, std::int64_t none) {
    return value.isNull() ? none : value.toInteger();
}

} // namespace

CashReport ComputeCash(const Books& books, const QDate& from, const QDate& to) {
    using namespace fields;
    CashReport report;
    report.from = from;
    report.to = to;
    if (!books.history)
        return report;
    HistoryScan scan(*books.history);
    scan.SetDays(from, to);
    const HistoryScan::Kind bet(scan, kinds::Bet()), won(scan, kinds::Won()),
        restored(scan, kinds::Restored()), paid(scan, kinds::Paid()), entered(scan, kinds::Event()),
        undone(scan, kinds::Undone()), result(scan, kinds::Result()),
        revoked(scan, kinds::Revoked());

    QHash<std::int64_t, std::int64_t> numberOfSerial; // from the settlements that made payouts
    QHash<std::int64_t, QString> sidesOf;             // of each number, as last entered
    QMap<std::pair<std::int64_t, QString>, CashLine> events;
    QMap<QDate, CashLine> days;
    QMap<QString, CashLine> operators;
    const auto sides = [&](const char* record) {
        return QStringLiteral("%1 — %2").arg(scan.Value(record, KOM1).toString(),
                                             scan.Value(record, KOM2).toString());
    };
    enum class Taken { Nothing, Won, Names, Bet, Restored, Paid, Result, Revoked };
    for (std::uint32_t i = 0; i < books.historyCount; ++i) {
        const char* record = scan.Record(i);
        if (record[0] == '*')
            continue;
        // A settlement of any day tells the event of its payments, an entry or an undoing the
        // sides of its event; the rest counts only on the days asked for.
        const bool inRange = scan.InDays(record);
        Taken taken = Taken::Nothing;
        if (won.Is(record))
            taken = Taken::Won;
        else if (entered.Is(record) || undone.Is(record))
            taken = Taken::Names;
        else if (!inRange)
            taken = Taken::Nothing;
        else if (bet.Is(record))
            taken = Taken::Bet;
        else if (restored.Is(record))
            taken = Taken::Restored;
        else if (paid.Is(record))
            taken = Taken::Paid;
        else if (result.Is(record))
            taken = Taken::Result;
        else if (revoked.Is(record))
            taken = Taken::Revoked;
        if (taken == Taken::Nothing)
            continue;
        // Before anything of it is used: a payment whose serial cannot be read would be put
        // under no event, a settlement under the wrong one.
        if (!scan.Readable(record)) {
            ++report.unreadable;
            continue;
        }
        if (taken == Taken::Won) {
            const Variant serial = scan.Value(record, SERIAL);
            if (!serial.isNull())
                numberOfSerial.insert(serial.toInteger(),
                                      integerOr(scan.Value(record, NUMBER), LLONG_MAX));
        } else if (taken == Taken::Names) {
            sidesOf.insert(integerOr(scan.Value(record, NUMBER), LLONG_MAX), sides(record));
        }
        if (!inRange)
            continue;
        Cash delta;
        std::int64_t number = LLONG_MAX;
        switch (taken) {
        case Taken::Won:
            delta.won = scan.Amount(record, VYPLATA);
            delta.wins = 1;
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
            break;
        case Taken::Bet:
        case Taken::Revoked:
            if (taken == Taken::Bet) {
                delta.stakes = scan.Amount(record, SUMMA);
                delta.bets = 1;
            } else {
                delta.refunded = scan.Amount(record, SUMMA);
                delta.refunds = 1;
            }
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
            if (!sidesOf.contains(number)) // an event entered before the history began
                sidesOf.insert(number, sides(record));
            break;
        case Taken::Restored:
            delta.restored = scan.Amount(record, VYPLATA);
            delta.restores = 1;
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
            break;
        case Taken::Paid: {
            delta.paid = scan.Amount(record, VYPLATA);
            delta.payments = 1;
            const Variant serial = scan.Value(record, SERIAL);
            if (!serial.isNull())
                number = numberOfSerial.value(serial.toInteger(), LLONG_MAX);
            break;
        }
        case Taken::Result: {
            const std::int64_t n = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
            if (!sidesOf.contains(n))
                sidesOf.insert(n, sides(record));
            continue;
        }
        case Taken::Names:
        case Taken::Nothing:
            continue;
        }
        report.total.Add(delta);
        const QString eventSides = sidesOf.value(number);
        CashLine& line = events[{number, eventSides}];
        if (line.label.isEmpty()) {
            line.label = CashEventLabel(number, eventSides);
            line.number = number == LLONG_MAX ? Variant() : Variant(number);
        }
        line.cash.Add(delta);
        const QDate day = scan.Day(record);
        CashLine& daily = days[day];
        if (daily.label.isEmpty()) {
            daily.day = day;
            daily.label = day.isValid() ? day.toString(QStringLiteral("dd.MM.yyyy"))
                                        : QStringLiteral("Без даты");
        }
        daily.cash.Add(delta);
        const QString who = scan.Operator(record);
        CashLine& till = operators[who];
        till.label = who;
        till.cash.Add(delta);
    }
    report.byEvent = events.values();
    report.byDay = days.values();
    report.byOperator = operators.values();
    return report;
}

QList<EventRisk> ComputeRisk(const Books& books) {
    // Keyed by the value, not by a whole number: another program's «1.5» for an event's
    // number is still the same on the event and on its bets.
    QHash<double, QList<const Bet*>> betsOf;
    for (const Bet& bet : books.bets)
        if (!bet.number.isNull())
            betsOf[bet.number.toReal()] << &bet;
    QList<EventRisk> risks;
    for (const Event& event : books.events) {
        EventRisk risk;
        risk.event = event;
        risk.limit = books.limits.maxLiability;
        const QString names[3] = {event.kom1, event.kom2, DrawName()};
        for (int o = 0; o < 3; ++o)
            risk.outcomes[o].name = names[o];
        if (!event.number.isNull()) {
            for (const Bet* bet : betsOf.value(event.number.toReal())) {
                ++risk.bets;
                risk.stakes += bet->stake;
                for (OutcomeRisk& outcome : risk.outcomes) {
                    if (Variant(bet->result) == Variant(outcome.name)) {
                        ++outcome.bets;
                        outcome.stakes += bet->stake;
                        outcome.payout =
                            StoredMoney(outcome.payout + BetPayout(bet->stake, bet->koef));
                        break;
                    }
                }
            }
        }
        for (int o = 0; o < 3; ++o)
            if (risk.outcomes[o].bets > 0 &&
                (risk.riskiest < 0 ||
                 risk.outcomes[o].payout > risk.outcomes[risk.riskiest].payout))
                risk.riskiest = o;
        risks << risk;
    }
    return risks;
}

void HistoryCensus::Add(const HistoryCensus& later) {
    unreadable += later.unreadable;
    for (const QString& name : later.operators)
        if (!operators.contains(name))
            operators << name;
    std::sort(operators.begin(), operators.end());
}

HistoryCensus TakeCensus(const QString& path, std::uint32_t from, std::uint32_t count,
                         const std::atomic<bool>& cancel) {
    constexpr std::uint32_t kCheckEvery = 1u << 14;
    HistoryCensus census;
    try {
        const THistoryFile file(path);
        count = std::min(count, file.Count());
        const HistoryScan scan(file);
        QSet<QString> operators;
        for (std::uint32_t i = from; i < count; ++i) {
            if ((i - from) % kCheckEvery == 0 && cancel.load())
                return census;
            const char* record = scan.Record(i);
            if (record[0] == '*')
                continue;
            if (!scan.Readable(record))
                ++census.unreadable;
            if (const QString who = scan.Operator(record); !who.isEmpty())
                operators.insert(who);
        }
        census.operators = operators.values();
        std::sort(census.operators.begin(), census.operators.end());
    } catch (const EVarnelError& error) {
        census = HistoryCensus{};
        census.error = error.message();
    } catch (const std::exception& error) {
        census = HistoryCensus{};
        census.error = QString::fromLocal8Bit(error.what());
    }
    return census;
}

} // namespace varnel
