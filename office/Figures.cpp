#include "office/Figures.h"

#include "office/HistoryScan.h"
#include "store/History.h"
#include "store/Tables.h"
#include "store/engine/DbfFile.h"

#include <QHash>
#include <QMap>

#include <climits>
#include <utility>

namespace varnel::office {

void Cash::Add(const Cash& other) {
    stakes += other.stakes;
    won += other.won;
    restored += other.restored;
    paid += other.paid;
    bets += other.bets;
    wins += other.wins;
    restores += other.restores;
    payments += other.payments;
}

QString DrawOutcome() {
    return QStringLiteral("Ничья");
}

namespace {

std::int64_t integerOr(const Variant& value, std::int64_t none) {
    return value.isNull() ? none : value.toInteger();
}

QString eventLabel(std::int64_t number, const QString& sides) {
    if (number == LLONG_MAX)
        return QStringLiteral("Выплаты по ставкам, принятым до начала истории");
    return sides.isEmpty() ? QStringLiteral("№ %1").arg(number)
                           : QStringLiteral("№ %1  %2").arg(number).arg(sides);
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
        undone(scan, kinds::Undone()), result(scan, kinds::Result());

    QHash<std::int64_t, std::int64_t> numberOfSerial; // from the settlements that made payouts
    QHash<std::int64_t, QString> sidesOf;             // of each number, as last entered
    QMap<std::pair<std::int64_t, QString>, CashLine> events;
    QMap<QDate, CashLine> days;
    const auto sides = [&](const char* record) {
        return QStringLiteral("%1 — %2").arg(scan.Value(record, KOM1).toString(),
                                             scan.Value(record, KOM2).toString());
    };
    for (std::uint32_t i = 0; i < books.historyCount; ++i) {
        const char* record = scan.Record(i);
        if (record[0] == '*')
            continue;
        const bool inRange = scan.InDays(record);
        const bool isWon = won.Is(record);
        if (isWon) {
            const Variant serial = scan.Value(record, SERIAL);
            if (!serial.isNull())
                numberOfSerial.insert(serial.toInteger(),
                                      integerOr(scan.Value(record, NUMBER), LLONG_MAX));
        } else if (entered.Is(record) || undone.Is(record)) {
            sidesOf.insert(integerOr(scan.Value(record, NUMBER), LLONG_MAX), sides(record));
        }
        if (!inRange)
            continue;
        Cash delta;
        std::int64_t number = LLONG_MAX;
        if (isWon) {
            delta.won = scan.Amount(record, VYPLATA);
            delta.wins = 1;
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
        } else if (bet.Is(record)) {
            delta.stakes = scan.Amount(record, SUMMA);
            delta.bets = 1;
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
            if (!sidesOf.contains(number)) // an event entered before the history began
                sidesOf.insert(number, sides(record));
        } else if (restored.Is(record)) {
            delta.restored = scan.Amount(record, VYPLATA);
            delta.restores = 1;
            number = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
        } else if (paid.Is(record)) {
            delta.paid = scan.Amount(record, VYPLATA);
            delta.payments = 1;
            const Variant serial = scan.Value(record, SERIAL);
            if (!serial.isNull())
                number = numberOfSerial.value(serial.toInteger(), LLONG_MAX);
        } else {
            if (result.Is(record)) {
                const std::int64_t n = integerOr(scan.Value(record, NUMBER), LLONG_MAX);
                if (!sidesOf.contains(n))
                    sidesOf.insert(n, sides(record));
            }
            continue;
        }
        report.total.Add(delta);
        const QString eventSides = sidesOf.value(number);
        CashLine& line = events[{number, eventSides}];
        if (line.label.isEmpty()) {
            line.label = eventLabel(number, eventSides);
            line.number = number == LLONG_MAX ? Variant() : Variant(number);
        }
        line.cash.Add(delta);
        const QDate day = scan.Day(record);
        CashLine& daily = days[day];
        if (daily.label.isEmpty()) {
            daily.day = day;
            daily.label = day.toString(QStringLiteral("dd.MM.yyyy"));
        }
        daily.cash.Add(delta);
    }
    report.byEvent = events.values();
    report.byDay = days.values();
    return report;
}

QList<EventRisk> ComputeRisk(const Books& books) {
    QHash<std::int64_t, QList<const Bet*>> betsOf;
    for (const Bet& bet : books.bets)
        if (!bet.number.isNull())
            betsOf[bet.number.toInteger()] << &bet;
    QList<EventRisk> risks;
    for (const Event& event : books.events) {
        EventRisk risk;
        risk.event = event;
        const QString names[3] = {event.kom1, event.kom2, DrawOutcome()};
        for (int o = 0; o < 3; ++o)
            risk.outcomes[o].name = names[o];
        if (!event.number.isNull()) {
            for (const Bet* bet : betsOf.value(event.number.toInteger())) {
                ++risk.bets;
                risk.stakes += bet->stake;
                for (OutcomeRisk& outcome : risk.outcomes) {
                    if (Variant(bet->result) == Variant(outcome.name)) {
                        ++outcome.bets;
                        outcome.stakes += bet->stake;
                        outcome.payout += bet->stake + bet->stake * bet->koef;
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

} // namespace varnel::office
