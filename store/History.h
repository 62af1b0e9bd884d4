#pragma once

#include "store/Slip.h"
#include "store/engine/DataSet.h"
#include "store/engine/Variant.h"

#include <QDate>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace varnel {

class TBooksHome;
struct Limits;
class TDataSet;
class TField;
class TTable;

// What each history record says happened (its VID), and what its fields hold:
//   Событие    an event entered: the event's fields; ZAPIS its record in COMPIT.DBF
//   Ставка     a bet taken: SERIAL, the bet's fields, ZAPIS its record in PRIEM.DBF, and the
//              event's fields as the bet left them (stake sums, coefficients after the odds rule)
//   Выигрыш    a bet settled as won: SERIAL, the bet's fields, VYPLATA the payout owed and ZAPIS
//              the payout's record in MONEY.DBF
//   Проигрыш   a bet settled as lost: SERIAL, the bet's fields
//   Результат  a result entered, after its bets' records: the event's fields as they were,
//              RESULT the winning outcome, ZAPIS the event's record in COMPIT.DBF
//   Выплата    a payout paid: SERIAL, FIO and VYPLATA, ZAPIS its record in MONEY.DBF
//   Отмена     a result undone: the event's fields, ZAPIS its new record in COMPIT.DBF, RESULT
//              the outcome undone, SERIAL one more than the place of the result's record
//   Возврат    a bet put back by an undone result: as Ставка, with the new ZAPIS, and VYPLATA
//              the payout that was taken away
//   Отзыв      a bet revoked before its event, its stake handed back: SERIAL, the bet's fields,
//              ZAPIS its record in PRIEM.DBF, and the event's fields as the revocation left them
//   Копия      a bet's slip printed again: SERIAL
//   Лимиты     the owner's limits as they now stand (blank: no limit): SUMM_1 the smallest stake,
//              SUMM_2 the largest, VYPLATA the largest payout of a bet, SUMM_N the largest
//              payout sum of an outcome, ZAPIS the minutes a cashier may revoke a bet in
// A Ставка record keeps the seal of the bet's payout code (KOD, Slip.h) where the history has
// the field; a Выплата record notes in RESULT a payout of a bet with a slip paid without it.
// Every record also names who wrote it (KASSIR: the home's operator, TBooksHome::Operator), and
// when (DEN, VREMYA).
// Every bet has a serial that never repeats: one more than the place in the history of the
// record that first named it (its Ставка, or for a bet older than the history its settlement).
namespace kinds {
QString Event();
QString Bet();
QString Won();
QString Lost();
QString Result();
QString Paid();
QString Undone();
QString Restored();
QString LimitsSet();
QString Revoked();
QString Copied();
// Every kind above.
QStringList All();
} // namespace kinds

// Whether two stored values are the same: numbers to half a unit of the last decimal the
// narrower of their two columns keeps, anything else equal (or both none).
bool SameStoredValue(const Variant& a, const TField* aField, const Variant& b,
                     const TField* bField);

// Appends the history of the books' changes to HISTORY.DBF. Each call writes inside the
// caller's transaction, which covers the history table too, so that a change and its history
// are on disk together or not at all. With no history table open, nothing is recorded.
class THistory {
public:
    explicit THistory(TDataSet* history, TBooksHome* home = nullptr)
        : m_history(history), m_home(home) {}
    bool Kept() const;

    // The event is on the stored record just written.
    void EventEntered(const TDataSet& events);
    // The bet, and its event as it now stands, each on its stored record just written; `seal`
    // the seal of its payout code (none: a bet without a slip).
    void BetTaken(const TDataSet& bets, const TDataSet& events, const QString& seal = {});
    // The serial the next bet taken gets: one more than the place its record will take.
    std::int64_t NextSerial() const { return NextPlace() + 1; }

    // The serials of the bets on an event in PRIEM.DBF, by record: found in the history from its
    // end back to where the event was entered. A bet with no record of its own has none here.
    QHash<RecordKey, std::int64_t> SerialsOfBets(const TDataSet& events,
                                                 const TDataSet& bets) const;
    // A bet being settled, on its stored record (before it goes); a winning one with its payout
    // just written. `serial` from SerialsOfBets, or none for a bet older than the history.
    void BetSettled(const TDataSet& bets, std::optional<std::int64_t> serial,
                    const TDataSet* payout);
    // The event being settled, on its stored record (before it goes), after its bets.
    void ResultEntered(const TDataSet& events, const QString& winner);

    // A bet being revoked, on its stored record (before it goes), and its event as the
    // revocation leaves it, on its stored record just written. `serial` as for BetSettled.
    void BetRevoked(const TDataSet& bets, std::optional<std::int64_t> serial,
                    const TDataSet& events);

    // The limits just set.
    void LimitsChanged(const Limits& limits);

    // The payout on the current record of the payouts table, before it goes: paid by the slip
    // of `bySlip`, or by name (its bet's serial found here, and a bet that has a slip noted
    // WithoutSlipNote).
    void PayoutPaid(const TDataSet& money, std::optional<std::int64_t> bySlip = std::nullopt);
    // The serial of the bet whose win the current payout is: its settlement's record, when
    // that record says the payout as it stands; null otherwise.
    Variant SerialOfPayout(const TDataSet& money) const;

    // Undoing a result: the event and its bets put back as they were, the payouts it created
    // taken away. Planned first (what will change, for the operator's confirmation); refused
    // with an EDatabaseError saying why when the record is no result, the result was undone
    // already, an event of its number is in the books again, or a payout of it was paid or is
    // no longer as it was written.
    struct UndoPlan {
        RecordKey result = 0;             // the result's record in the history
        Variant number, date, kom1, kom2; // the event
        QString winner;
        QList<RecordKey> bets;    // the settled bets' records in the history, in its order
        QList<RecordKey> payouts; // the payouts to take away, in MONEY.DBF
        double owed = 0;          // what they come to
        int won = 0;
    };
    UndoPlan PlanUndo(RecordKey result, const TDataSet& events, const TDataSet& money) const;
    // Within a transaction over the four tables: the books as the plan says, and the record of
    // it all (Отмена, then a Возврат per bet).
    void Undo(const UndoPlan& plan, TDataSet& events, TDataSet& bets, TDataSet& money);

    // The slip of the bet of `serial` shown with `code`: what the records of the serial say,
    // and for a payout owed its record in `money`. Unknown unless the code matches the seal
    // kept with the bet's record.
    SlipCheck CheckSlip(std::int64_t serial, const QString& code, const TDataSet& money,
                        RecordKey* payout = nullptr) const;
    // Whether the bet of `serial` was given a slip (its record keeps a seal).
    bool HasSlip(const Variant& serial) const;
    // The slip of the bet of `serial` as its record says it (no office, no code); none when the
    // history has no record of its taking.
    std::optional<Slip> SlipOf(std::int64_t serial) const;
    // The slip of `serial` printed again.
    void SlipCopied(std::int64_t serial);

    TDataSet* Table() const { return m_history; }

private:
    void Begin(const QString& kind);
    void StampOperator(); // KASSIR: the home's operator
    void CopyEvent(const TDataSet& events);
    void CopyBet(const TDataSet& bets);
    std::int64_t NextPlace() const; // the place the next record takes
    // The records of the bet of a serial, found in one walk back: its Ставка (-1: none) and
    // the newest after it that says what became of it (the Ставка itself when none does).
    struct BetRecords {
        RecordKey taken = -1;
        RecordKey newest = -1;
    };
    BetRecords RecordsOfBet(const Variant& serial) const;
    Slip SlipAt(RecordKey taken, std::int64_t serial) const;

    TDataSet* m_history;
    TBooksHome* m_home; // where the serials are kept with the bets, they come from there
};

} // namespace varnel
