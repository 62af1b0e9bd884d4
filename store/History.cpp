#include "store/History.h"

#include "base/Errors.h"
#include "store/Home.h"
#include "store/Rules.h"
#include "store/Tables.h"
#include "store/engine/DataSet.h"
#include "store/engine/Field.h"

#include <QDateTime>

#include <cmath>
#include <initializer_list>

namespace varnel {

namespace kinds {
QString Event() {
    return QStringLiteral("Событие");
}
QString Bet() {
    return QStringLiteral("Ставка");
}
QString Won() {
    return QStringLiteral("Выигрыш");
}
QString Lost() {
    return QStringLiteral("Проигрыш");
}
QString Result() {
    return QStringLiteral("Результат");
}
QString Paid() {
    return QStringLiteral("Выплата");
}
QString Undone() {
    return QStringLiteral("Отмена");
}
QString Restored() {
    return QStringLiteral("Возврат");
}
QString LimitsSet() {
    return QStringLiteral("Лимиты");
}
QString Revoked() {
    return QStringLiteral("Отзыв");
}
QString Copied() {
    return QStringLiteral("Копия");
}
QStringList All() {
    return {Event(),  Bet(),      Won(),       Lost(),    Result(), Paid(),
            Undone(), Restored(), LimitsSet(), Revoked(), Copied()};
}
} // namespace kinds

namespace {

using namespace fields;

const std::initializer_list<QLatin1String> kEventFields = {DATE,   KOM1,   KOM2,   KOEF_1, KOEF_2,
                                                           KOEF_N, SUMM_1, SUMM_2, SUMM_N};
const std::initializer_list<QLatin1String> kBetFields = {RESULT, SUMMA, KOEFICIENT, FIO};

// A field's value in two tables: the stored record `at` of `a`, and `b`'s record `other`.
bool sameAt(const TDataSet& a, std::uint32_t at, const TDataSet& b, std::uint32_t other,
            QLatin1String field) {
    const TField* aField = a.FieldByName(field);
    const TField* bField = b.FieldByName(field);
    return SameStoredValue(a.ValueAt(at, aField), aField, b.ValueAt(other, bField), bField);
}

} // namespace

// Two values are the same bet's, payout's or event's when they are equal, and two numbers when
// they differ by at most half a unit of the last digit that the narrower of their two columns
// keeps: a table of another writer may hold more digits than the history (15.641969 in a
// column of fifteen decimals, 15.6420 in the history's four), or fewer.
bool SameStoredValue(const Variant& a, const TField* aField, const Variant& b,
                     const TField* bField) {
    if (a.isNumeric() && b.isNumeric()) {
        const int decimals = std::min(aField->StoredDecimals(), bField->StoredDecimals());
        const double x = a.toReal(), y = b.toReal();
        // The half unit itself is in, whatever the binary fractions make of it.
        const double slack = 1e-9 * std::max({1.0, std::fabs(x), std::fabs(y)});
        return std::fabs(x - y) <= 0.5 * std::pow(10.0, -decimals) + slack;
    }
    return a == b || (a.isNull() && b.isNull());
}

bool THistory::Kept() const {
    return m_history && m_history->Active();
}

std::int64_t THistory::NextPlace() const {
    return std::int64_t(m_history->EndKey());
}

void THistory::Begin(const QString& kind) {
    m_history->Insert();
    const QDateTime now = QDateTime::currentDateTime();
    m_history->SetFieldValue(DEN, Variant(now.date()));
    m_history->SetFieldValue(VREMYA, Variant(now.time().toString(QStringLiteral("HH:mm:ss"))));
    m_history->SetFieldValue(VID, Variant(kind));
    StampOperator();
}

// The operator's name as the history's column holds it: no record, and so no operation, may
// fail for the name of whoever sits at the desk. A character the column's code page lacks is
// written as «?», and the name is cut where the column is full. A history without the field
// (one written before it was) leaves it out.
void THistory::StampOperator() {
    const TField* field = m_history->FindField(KASSIR);
    const QString name = m_home ? m_home->Operator() : QString();
    if (!field || name.isEmpty())
        return;
    const auto fits = [&](const QString& text) {
        try {
            m_history->SetFieldValue(KASSIR, Variant(text));
            m_history->CheckFits(KASSIR);
            return true;
        } catch (const EConvertError&) {
            return false;
        }
    };
    if (fits(name))
        return;
    QString fitted;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const qsizetype length = name.at(i).isHighSurrogate() && i + 1 < name.size() ? 2 : 1;
        const QString character = name.mid(i, length);
        i += length - 1;
        if (fits(fitted + character))
            fitted += character;
        else if (fits(fitted + QLatin1Char('?')))
            fitted += QLatin1Char('?');
        else
            break; // the column is full
    }
    m_history->SetFieldValue(KASSIR, fitted.isEmpty() ? Variant() : Variant(fitted));
}

void THistory::CopyEvent(const TDataSet& events) {
    m_history->SetFieldValue(NUMBER, events.GetFieldValue(NUMBER));
    for (const QLatin1String field : kEventFields)
        m_history->SetFieldValue(field, events.GetFieldValue(field));
}

void THistory::CopyBet(const TDataSet& bets) {
    m_history->SetFieldValue(NUMBER, bets.GetFieldValue(NUMBER));
    for (const QLatin1String field : kBetFields)
        m_history->SetFieldValue(field, bets.GetFieldValue(field));
}

void THistory::EventEntered(const TDataSet& events) {
    if (!Kept())
        return;
    Begin(kinds::Event());
    CopyEvent(events);
    m_history->SetFieldValue(ZAPIS, Variant(events.CurrentIndex()));
    m_history->Post();
}

void THistory::BetTaken(const TDataSet& bets, const TDataSet& events, const QString& seal) {
    if (!Kept())
        return;
    const std::int64_t serial = NextSerial();
    Begin(kinds::Bet());
    CopyEvent(events);
    CopyBet(bets);
    m_history->SetFieldValue(SERIAL, Variant(serial));
    if (!seal.isEmpty())
        m_history->SetFieldValue(KOD, Variant(seal));
    m_history->SetFieldValue(ZAPIS, Variant(bets.CurrentIndex()));
    m_history->Post();
}

QHash<RecordKey, std::int64_t> THistory::SerialsOfBets(const TDataSet& events,
                                                       const TDataSet& bets) const {
    QHash<RecordKey, std::int64_t> serials;
    if (!Kept())
        return serials;
    const TDataSet& h = *m_history;
    const TField* vid = h.FieldByName(VID);
    const TField* number = h.FieldByName(NUMBER);
    const TField* zapis = h.FieldByName(ZAPIS);
    const Variant event = events.GetFieldValue(NUMBER);
    const Variant eventRecord(events.CurrentIndex());
    const QString bet = kinds::Bet(), restored = kinds::Restored(), entered = kinds::Event(),
                  undone = kinds::Undone();
    QHash<std::uint32_t, bool> seen; // the newest record of a place is the one that counts
    const TField* betNumber = bets.FieldByName(NUMBER);
    for (std::int64_t i = h.FindRecord(h.EndKey(), -1, number, event); i >= 0;
         i = h.FindRecord(i, -1, number, event)) {
        const auto at = std::uint32_t(i);
        const QString kind = h.ValueAt(at, vid).toString();
        if ((kind == entered || kind == undone) && h.ValueAt(at, zapis) == eventRecord)
            break; // no bet on the event is older than its entry
        if (kind != bet && kind != restored)
            continue;
        const auto place = std::uint32_t(h.ValueAt(at, zapis).toInteger());
        if (seen.contains(place))
            continue;
        seen.insert(place, true);
        if (place >= bets.EndKey() || bets.IsDeletedAt(place))
            continue;
        bool same = bets.ValueAt(place, betNumber) == event;
        for (const QLatin1String field : kBetFields)
            same = same && sameAt(bets, place, h, at, field);
        if (same)
            serials.insert(place, h.ValueAt(at, h.FieldByName(SERIAL)).toInteger());
    }
    return serials;
}

void THistory::BetSettled(const TDataSet& bets, std::optional<std::int64_t> serial,
                          const TDataSet* payout) {
    if (!Kept())
        return;
    const std::int64_t own = serial ? *serial : NextPlace() + 1;
    Begin(payout ? kinds::Won() : kinds::Lost());
    CopyBet(bets);
    m_history->SetFieldValue(SERIAL, Variant(own));
    if (payout) {
        m_history->SetFieldValue(VYPLATA, payout->GetFieldValue(SUMMA));
        m_history->SetFieldValue(ZAPIS, Variant(payout->CurrentIndex()));
    }
    m_history->Post();
}

void THistory::ResultEntered(const TDataSet& events, const QString& winner) {
    if (!Kept())
        return;
    Begin(kinds::Result());
    CopyEvent(events);
    m_history->SetFieldValue(RESULT, Variant(winner));
    m_history->SetFieldValue(ZAPIS, Variant(events.CurrentIndex()));
    m_history->Post();
}

Variant THistory::SerialOfPayout(const TDataSet& money) const {
    if (!Kept())
        return {};
    // The settlement's record, the newest naming the payout's place.
    const TDataSet& h = *m_history;
    const TField* vid = h.FieldByName(VID);
    const TField* zapis = h.FieldByName(ZAPIS);
    const Variant place(money.CurrentIndex());
    const Variant fio = money.GetFieldValue(FIO);
    const Variant amount = money.GetFieldValue(SUMMA);
    const QString won = kinds::Won();
    Variant serial;
    for (std::int64_t i = h.FindRecord(h.EndKey(), -1, zapis, place); i >= 0;
         i = h.FindRecord(i, -1, zapis, place)) {
        const auto at = std::uint32_t(i);
        if (h.ValueAt(at, vid).toString() != won)
            continue; // the place of a record of another table
        if (SameStoredValue(h.ValueAt(at, h.FieldByName(FIO)), h.FieldByName(FIO), fio,
                            money.FieldByName(FIO)) &&
            SameStoredValue(h.ValueAt(at, h.FieldByName(VYPLATA)), h.FieldByName(VYPLATA), amount,
                            money.FieldByName(SUMMA)))
            serial = h.ValueAt(at, h.FieldByName(SERIAL));
        break;
    }
    return serial;
}

void THistory::PayoutPaid(const TDataSet& money, std::optional<std::int64_t> bySlip) {
    if (!Kept())
        return;
    const Variant serial = bySlip ? Variant(*bySlip) : SerialOfPayout(money);
    const bool withoutSlip = !bySlip && HasSlip(serial);
    const Variant fio = money.GetFieldValue(FIO);
    const Variant amount = money.GetFieldValue(SUMMA);
    Begin(kinds::Paid());
    if (withoutSlip)
        m_history->SetFieldValue(RESULT, Variant(WithoutSlipNote()));
    m_history->SetFieldValue(SERIAL, serial);
    m_history->SetFieldValue(FIO, fio);
    m_history->SetFieldValue(VYPLATA, amount);
    m_history->SetFieldValue(ZAPIS, Variant(money.CurrentIndex()));
    m_history->Post();
}

void THistory::BetRevoked(const TDataSet& bets, std::optional<std::int64_t> serial,
                          const TDataSet& events) {
    if (!Kept())
        return;
    const std::int64_t own = serial ? *serial : NextPlace() + 1;
    Begin(kinds::Revoked());
    CopyEvent(events);
    CopyBet(bets);
    m_history->SetFieldValue(SERIAL, Variant(own));
    m_history->SetFieldValue(ZAPIS, Variant(bets.CurrentIndex()));
    m_history->Post();
}

void THistory::LimitsChanged(const Limits& limits) {
    if (!Kept())
        return;
    Begin(kinds::LimitsSet());
    m_history->SetFieldValue(SUMM_1, OrBlank(limits.minStake));
    m_history->SetFieldValue(SUMM_2, OrBlank(limits.maxStake));
    m_history->SetFieldValue(VYPLATA, OrBlank(limits.maxPayout));
    m_history->SetFieldValue(SUMM_N, OrBlank(limits.maxLiability));
    m_history->SetFieldValue(ZAPIS, OrBlank(limits.revokeMinutes));
    m_history->Post();
}

namespace {

QString when(const TDataSet& h, std::uint32_t at) {
    return QStringLiteral("%1 в %2").arg(h.ValueAt(at, h.FieldByName(DEN)).toString(),
                                         h.ValueAt(at, h.FieldByName(VREMYA)).toString());
}

[[noreturn]] void refuse(const QString& why) {
    throw EDatabaseError(QStringLiteral("Результат нельзя отменить: %1").arg(why));
}

} // namespace

THistory::UndoPlan THistory::PlanUndo(RecordKey result, const TDataSet& events,
                                      const TDataSet& money) const {
    if (!Kept())
        refuse(QStringLiteral("история не ведётся."));
    for (const TDataSet* table : {&events, &money})
        if (!table->Active())
            refuse(QStringLiteral("таблица «%1» не открыта.").arg(table->DisplayName()));
    const TDataSet& h = *m_history;
    const auto value = [&h](RecordKey at, QLatin1String field) {
        return h.ValueAt(std::uint32_t(at), h.FieldByName(field));
    };
    if (result < 0 || result >= h.EndKey() || h.IsDeletedAt(std::uint32_t(result)) ||
        value(result, VID).toString() != kinds::Result())
        refuse(QStringLiteral("запись %1 истории — не ввод результата.").arg(result + 1));
    UndoPlan plan;
    plan.result = result;
    plan.number = value(result, NUMBER);
    plan.date = value(result, DATE);
    plan.kom1 = value(result, KOM1);
    plan.kom2 = value(result, KOM2);
    plan.winner = value(result, RESULT).toString();

    // Undone already?
    const TField* serialField = h.FieldByName(SERIAL);
    // The first record after the result of a kind that carries the serial, or -1.
    const auto later = [&](const Variant& serial, const QString& kind) {
        for (std::int64_t i = h.FindRecord(result, +1, serialField, serial); i >= 0;
             i = h.FindRecord(i, +1, serialField, serial))
            if (value(std::uint32_t(i), VID).toString() == kind)
                return i;
        return std::int64_t(-1);
    };
    if (const std::int64_t at = later(Variant(std::int64_t(result) + 1), kinds::Undone()); at >= 0)
        refuse(QStringLiteral("он уже отменён %1.").arg(when(h, std::uint32_t(at))));

    // Event numbers may repeat, and the first event of a number is the one its bets are settled
    // with: while another event of the number is open, the bets put back would go to it.
    if (const std::int64_t other =
            events.FindRecord(-1, +1, events.FieldByName(NUMBER), plan.number);
        other >= 0) {
        const auto at = std::uint32_t(other);
        throw EDatabaseError(QStringLiteral("Отмена невозможна: в книгах снова событие № %1 "
                                            "«%2 — %3»")
                                 .arg(plan.number.toString(),
                                      events.ValueAt(at, events.FieldByName(KOM1)).toString(),
                                      events.ValueAt(at, events.FieldByName(KOM2)).toString()));
    }

    // Its bets: the records of its number just before it, written in the same commit. Where
    // several counters share the books, another counter's records of other events may stand
    // among them (their keys taken while this commit was under way), and the keys of work
    // rolled back are missing.
    const TField* numberField = h.FieldByName(NUMBER);
    for (std::int64_t at = h.FindRecord(result, -1, numberField, plan.number); at >= 0;
         at = h.FindRecord(at, -1, numberField, plan.number)) {
        const QString kind = value(std::uint32_t(at), VID).toString();
        if (kind != kinds::Won() && kind != kinds::Lost())
            break;
        plan.bets.prepend(at);
    }

    // Each payout it created must still be owed, exactly as written.
    for (const RecordKey at : plan.bets) {
        if (value(at, VID).toString() != kinds::Won())
            continue;
        const Variant fio = value(at, FIO);
        const Variant amount = value(at, VYPLATA);
        const auto place = value(at, ZAPIS).toInteger();
        const QString whose = QStringLiteral("выигрыш клиента %1 (%2)")
                                  .arg(Quoted(fio.toString()), amount.toString());
        if (const std::int64_t paid = later(value(at, SERIAL), kinds::Paid()); paid >= 0)
            refuse(QStringLiteral("%1 выплачен %2.").arg(whose, when(h, std::uint32_t(paid))));
        const TField* moneyFio = money.FieldByName(FIO);
        const TField* moneySumma = money.FieldByName(SUMMA);
        if (place < 0 || place >= std::int64_t(money.EndKey()) ||
            money.IsDeletedAt(std::uint32_t(place)) ||
            !SameStoredValue(money.ValueAt(std::uint32_t(place), moneyFio), moneyFio, fio,
                             h.FieldByName(FIO)) ||
            !SameStoredValue(money.ValueAt(std::uint32_t(place), moneySumma), moneySumma, amount,
                             h.FieldByName(VYPLATA)))
            refuse(QStringLiteral("%1 уже нет среди невыплаченных (таблица «%2»).")
                       .arg(whose, money.DisplayName()));
        plan.payouts << place;
        plan.owed += amount.toReal();
        ++plan.won;
    }
    return plan;
}

void THistory::Undo(const UndoPlan& plan, TDataSet& events, TDataSet& bets, TDataSet& money) {
    TDataSet& h = *m_history;
    const auto value = [&h](RecordKey at, QLatin1String field) {
        return h.ValueAt(std::uint32_t(at), h.FieldByName(field));
    };
    events.Insert();
    events.SetFieldValue(NUMBER, plan.number);
    for (const QLatin1String field : kEventFields)
        events.SetFieldValue(field, value(plan.result, field));
    events.Post();

    Begin(kinds::Undone());
    CopyEvent(events);
    h.SetFieldValue(RESULT, Variant(plan.winner));
    h.SetFieldValue(ZAPIS, Variant(events.CurrentIndex()));
    h.SetFieldValue(SERIAL, Variant(std::int64_t(plan.result) + 1));
    h.Post();

    for (const RecordKey at : plan.bets) {
        bets.Insert();
        bets.SetFieldValue(NUMBER, value(at, NUMBER));
        for (const QLatin1String field : kBetFields)
            bets.SetFieldValue(field, value(at, field));
        bets.SetFieldValue(SERIAL, value(at, SERIAL)); // its slip pays again
        bets.Post();
        Begin(kinds::Restored());
        CopyBet(bets);
        h.SetFieldValue(SERIAL, value(at, SERIAL));
        h.SetFieldValue(ZAPIS, Variant(bets.CurrentIndex()));
        h.SetFieldValue(VYPLATA, value(at, VYPLATA));
        h.Post();
    }
    for (const RecordKey place : plan.payouts) {
        money.MoveTo(std::uint32_t(place));
        money.Delete();
    }
}

THistory::BetRecords THistory::RecordsOfBet(const Variant& serial) const {
    BetRecords found;
    if (!Kept() || serial.isNull())
        return found;
    const TDataSet& h = *m_history;
    const TField* serialField = h.FieldByName(SERIAL);
    const TField* vid = h.FieldByName(VID);
    // A bet's records are its Ставка and those after it; the Отмена of a result numbers its
    // SERIAL otherwise, and a Копия says nothing of the bet: both are passed over.
    const QStringList ends = {kinds::Won(), kinds::Lost(), kinds::Paid(), kinds::Revoked(),
                              kinds::Restored()};
    for (std::int64_t i = h.FindRecord(h.EndKey(), -1, serialField, serial); i >= 0;
         i = h.FindRecord(i, -1, serialField, serial)) {
        const QString kind = h.ValueAt(std::uint32_t(i), vid).toString();
        if (kind == kinds::Bet()) {
            found.taken = i;
            if (found.newest < 0)
                found.newest = i;
            return found;
        }
        if (found.newest < 0 && ends.contains(kind))
            found.newest = i;
    }
    return {};
}

bool THistory::HasSlip(const Variant& serial) const {
    const RecordKey bet = RecordsOfBet(serial).taken;
    const TField* seal = m_history ? m_history->FindField(KOD) : nullptr;
    return bet >= 0 && seal && !m_history->ValueAt(std::uint32_t(bet), seal).isNull();
}

std::optional<Slip> THistory::SlipOf(std::int64_t serial) const {
    const RecordKey bet = RecordsOfBet(Variant(serial)).taken;
    if (bet < 0)
        return std::nullopt;
    return SlipAt(bet, serial);
}

Slip THistory::SlipAt(RecordKey taken, std::int64_t serial) const {
    const TDataSet& h = *m_history;
    const auto value = [&](QLatin1String field) {
        return h.ValueAt(std::uint32_t(taken), h.FieldByName(field));
    };
    Slip slip;
    slip.serial = serial;
    slip.taken = QDateTime(value(DEN).toDate(),
                           QTime::fromString(value(VREMYA).toString(), QStringLiteral("HH:mm:ss")));
    slip.eventNumber = int(value(NUMBER).toInteger());
    slip.eventDate = value(DATE).toDate();
    slip.side1 = value(KOM1).toString().trimmed();
    slip.side2 = value(KOM2).toString().trimmed();
    slip.outcome = value(RESULT).toString().trimmed();
    slip.stake = value(SUMMA).toReal();
    slip.koef = value(KOEFICIENT).toReal();
    slip.payout = BetPayout(slip.stake, slip.koef);
    if (h.FindField(KASSIR))
        slip.cashier = value(KASSIR).toString().trimmed();
    return slip;
}

SlipCheck THistory::CheckSlip(std::int64_t serial, const QString& code, const TDataSet& money,
                              RecordKey* payout) const {
    SlipCheck check;
    check.bet.serial = serial;
    const BetRecords records = RecordsOfBet(Variant(serial));
    const TField* sealField = m_history ? m_history->FindField(KOD) : nullptr;
    if (records.taken < 0 || !sealField ||
        !PayoutCodeMatches(code,
                           m_history->ValueAt(std::uint32_t(records.taken), sealField).toString()))
        return check;
    const TDataSet& h = *m_history;
    check.bet = SlipAt(records.taken, serial);
    check.client = h.ValueAt(std::uint32_t(records.taken), h.FieldByName(FIO)).toString().trimmed();

    const auto at = std::uint32_t(records.newest);
    const QString kind = h.ValueAt(at, h.FieldByName(VID)).toString();
    check.state = SlipCheck::State::Open;
    if (kind == kinds::Lost()) {
        check.state = SlipCheck::State::Lost;
    } else if (kind == kinds::Revoked()) {
        check.state = SlipCheck::State::Revoked;
    } else if (kind == kinds::Paid()) {
        check.state = SlipCheck::State::Paid;
        check.paidWhen = QStringLiteral("%1 в %2").arg(
            h.ValueAt(at, h.FieldByName(DEN)).toDate().toString(QStringLiteral("dd.MM.yyyy")),
            h.ValueAt(at, h.FieldByName(VREMYA)).toString().trimmed());
        if (const TField* kassir = h.FindField(KASSIR))
            check.paidBy = h.ValueAt(at, kassir).toString().trimmed();
    } else if (kind == kinds::Won()) {
        // Its payout, where the settlement put it, as the settlement wrote it.
        check.bet.payout = h.ValueAt(at, h.FieldByName(VYPLATA)).toReal();
        const std::int64_t place = h.ValueAt(at, h.FieldByName(ZAPIS)).toInteger();
        const TField* owedSerial = money.FindField(SERIAL);
        check.state = SlipCheck::State::Unknown;
        if (place >= 0 && place < std::int64_t(money.EndKey()) &&
            !money.IsDeletedAt(std::uint32_t(place)) &&
            (!owedSerial || owedSerial->Missing() ||
             money.ValueAt(std::uint32_t(place), owedSerial) == Variant(serial))) {
            check.state = SlipCheck::State::Owed;
            if (payout)
                *payout = place;
        }
    }
    return check;
}

void THistory::SlipCopied(std::int64_t serial) {
    if (!Kept())
        return;
    Begin(kinds::Copied());
    m_history->SetFieldValue(SERIAL, Variant(serial));
    m_history->Post();
}

} // namespace varnel
