#pragma once

#include "store/Slip.h"

namespace varnel::test {

// A slip as a bet on a Cyrillic event with a backslash in a side's name would print it.
inline Slip aSlip(std::int64_t serial, const QString& code) {
    Slip slip;
    slip.office = QStringLiteral("Контора «Северная», касса 2");
    slip.taken = QDateTime(QDate(2026, 12, 8), QTime(23, 18, 5));
    slip.serial = serial;
    slip.eventNumber = 7;
    slip.eventDate = QDate(2026, 12, 12);
    slip.side1 = QStringLiteral("Зенит");
    slip.side2 = QStringLiteral("ЦСКА\\Москва");
    slip.outcome = QStringLiteral("Зенит");
    slip.stake = 1000;
    slip.koef = 2.5;
    slip.payout = 3500;
    slip.cashier = QStringLiteral("Иванова");
    slip.code = code;
    return slip;
}

} // namespace varnel::test
