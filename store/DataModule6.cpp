#include "store/DataModule6.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/AdjustKoef.h"
#include "store/Backup.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/Journal.h"
#include "store/engine/Table.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTimer>

#include <algorithm>
#include <optional>

namespace varnel {

namespace {

TDataSource* source(QObject* owner, const TableDescription& described, TDataSet* dataSet) {
    auto* s = new TDataSource(owner);
    s->setObjectName(described.source);
    s->SetDataSet(dataSet);
    return s;
}

} // namespace

TDataModule6::TDataModule6(QObject* parent, std::unique_ptr<TBooksHome> home)
    : QObject(parent), m_home(home ? std::move(home) : FolderHome()) {
    setObjectName(QStringLiteral("DataModule6"));
    const auto table = [this](QObject* owner, const TableDescription& described) {
        return m_home->MakeTable(owner, described);
    };
    TableCompit = table(this, CompitTable());
    SourceCompit = source(this, CompitTable(), TableCompit);
    TableStavka = table(this, PriemTable());
    SourceStavka = source(this, PriemTable(), TableStavka);
    TableTmp = table(this, TmpTable());
    SourceTmp = source(this, TmpTable(), TableTmp);
    TableMoney = table(this, MoneyTable());
    SourceMoney = source(this, MoneyTable(), TableMoney);
    TableHistory = table(this, HistoryTable());
    TableLimits = table(this, LimitsTable());
    m_history = std::make_unique<THistory>(TableHistory, m_home.get());
    History = m_history.get();

    using namespace fields;
    TableCompitNUMBER = TableCompit->FieldByName(NUMBER);
    TableCompitDATE = TableCompit->FieldByName(DATE);
    TableCompitKOM1 = TableCompit->FieldByName(KOM1);
    TableCompitKOM2 = TableCompit->FieldByName(KOM2);
    TableCompitKOEF_1 = TableCompit->FieldByName(KOEF_1);
    TableCompitKOEF_2 = TableCompit->FieldByName(KOEF_2);
    TableCompitKOEF_N = TableCompit->FieldByName(KOEF_N);
    TableCompitSUMM_1 = TableCompit->FieldByName(SUMM_1);
    TableCompitSUMM_2 = TableCompit->FieldByName(SUMM_2);
    TableCompitSUMM_N = TableCompit->FieldByName(SUMM_N);
    TableStavkaNUMBER = TableStavka->FieldByName(NUMBER);
    TableStavkaRESULT = TableStavka->FieldByName(RESULT);
    TableStavkaSUMMA = TableStavka->FieldByName(SUMMA);
    TableStavkaKOEFICIENT = TableStavka->FieldByName(KOEFICIENT);
    TableStavkaFIO = TableStavka->FieldByName(FIO);
    TableTmpNUM = TableTmp->FieldByName(NUM);
    TableMoneyFIO = TableMoney->FieldByName(FIO);
    TableMoneySUMMA = TableMoney->FieldByName(SUMMA);

    connect(this, &TDataModule6::OnCreate, this, Handler(this, &TDataModule6::DataModuleCreate));
}

TDataModule6::~TDataModule6() = default;

void TDataModule6::DataModuleCreate() {
    m_home->Open(*this);
}

void TDataModule6::FinishInterruptedWork() {
    m_home->FinishInterruptedWork();
}

bool TDataModule6::HasInterruptedWork(const QString& folder) {
    return QFileInfo::exists(QDir(folder).filePath(JournalFileName()));
}

void TDataModule6::EnterEvent() {
    TDataSet& events = *TableCompit;
    using namespace fields;
    if (const QString refused = m_home->EventsAndResultsRefused(); !refused.isEmpty())
        throw ERuleRefused(refused);
    if (!EventDateAccepted(events.GetFieldValue(DATE).toDate(), Date()))
        throw ERuleRefused(PastDateMessage());
    const auto missing = [&events](QLatin1String field) {
        return ERuleRefused(MissingEventFieldMessage(events.FieldByName(field)->Title()));
    };
    for (const QLatin1String side : {KOM1, KOM2})
        if (events.GetFieldValue(side).toString().trimmed().isEmpty())
            throw missing(side);
    CheckSides(events.GetFieldValue(KOM1).toString(), events.GetFieldValue(KOM2).toString());
    for (const Outcome outcome : kOutcomes) {
        const Variant koef = events.GetFieldValue(KoefField(outcome));
        if (koef.isNull())
            throw missing(KoefField(outcome));
        CheckCoefficient(koef, events.FieldByName(KoefField(outcome))->Title());
    }
    Perform(QStringLiteral("event") + PendingValues(events), {&events}, [&] {
        auto work = BeginWork({&events, TableHistory});
        if (m_home->EnterEventThere(events, m_action)) {
            work->Commit();
            return;
        }
        // No bet on it yet: nothing to pay on any outcome.
        for (const Outcome outcome : kOutcomes)
            events.SetFieldValue(PayoutSumField(outcome), Variant(0));
        events.Post();
        History->EventEntered(events);
        work->Commit();
    });
}

bool TDataModule6::FindEvent(const Variant& number) {
    TDataSet& events = *TableCompit;
    events.First(); // settles a pending record first, as every move does
    if (events.IsEmpty()) {
        // Nothing to compare: the number is never read, so text that is no number is no error.
        return false;
    }
    const std::int64_t found = events.FindRecord(events.CurrentIndex() - 1, +1,
                                                 events.FieldByName(fields::NUMBER), number);
    if (found >= 0) {
        events.MoveTo(std::uint32_t(found));
        return true;
    }
    // As a walk that ran off the end: on the last record, past it.
    events.Last();
    events.Next();
    return false;
}

void TDataModule6::RecordBet(Outcome outcome, bool adjustOdds) {
    TDataSet& bets = *TableStavka;
    TDataSet& events = *TableCompit;
    if (events.CurrentIndex() < 0)
        throw EDatabaseError(QStringLiteral("Ставка не записана: событие не выбрано."));
    if (!StakeAccepted(bets.GetFieldValue(fields::SUMMA)))
        throw ERuleRefused(WrongStakeMessage());
    m_code = NewPayoutCode(); // the one of the first try, when this is the same bet again
    const bool before = Perform(QStringLiteral("bet %1 %2 %3")
                                        .arg(events.CurrentIndex())
                                        .arg(int(outcome))
                                        .arg(adjustOdds) +
                                    PendingValues(bets),
                                {&events, &bets}, [&] { TakeBet(outcome, adjustOdds); });
    if (before) {
        // Taken by the try whose answer was lost: its slip is the one of its code.
        if (const std::optional<std::int64_t> serial = m_home->SerialOfAction(m_performed))
            m_last = Taken{*serial, m_code};
    }
}

void TDataModule6::TakeBet(Outcome outcome, bool adjustOdds) {
    using namespace fields;
    TDataSet& bets = *TableStavka;
    TDataSet& events = *TableCompit;
    const QLatin1String stakeSum = SumField(outcome);
    auto work = BeginWork({&bets, &events, TableHistory});
    const bool slips = m_home->KeepsSeals(*TableHistory);
    const QString seal = slips ? SealPayoutCode(m_code) : QString();
    std::int64_t serial = 0;
    if (m_home->TakeBetThere(events, bets, outcome, adjustOdds, seal, serial, m_action)) {
        work->Commit();
        m_last = slips ? std::optional(Taken{serial, m_code}) : std::nullopt;
        return;
    }
    const RecordKey event = events.CurrentIndex();
    // The stake sum as it is stored now.
    const Variant stored = events.ValueAt(event, events.FieldByName(stakeSum));
    // The rules, on the bet as its record will store it and the event as it is stored now,
    // before anything is written; the limits as they stand at this bet.
    if (!BetsOpen(events.ValueAt(event, events.FieldByName(DATE)).toDate(), Date()))
        throw ERuleRefused(BetsClosedMessage());
    const auto asStored = [&bets](QLatin1String field) {
        return StoredNumber(bets.GetFieldValue(field).toReal(),
                            bets.FieldByName(field)->StoredDecimals());
    };
    const double stake = asStored(SUMMA);
    const double koef = asStored(KOEFICIENT);
    const double payoutSum = PayoutSum(outcome);
    CheckLimits(CurrentLimits(), stake, koef, payoutSum, OutcomeName(events, outcome));

    if (History->Kept()) {
        serial = History->NextSerial();
        bets.SetFieldValue(SERIAL, Variant(serial));
    }
    bets.Post();
    // The stake as the bet holds it in its file.
    const Variant storedStake = bets.GetFieldValue(SUMMA);
    events.Edit();
    events.SetFieldValue(stakeSum, stored + storedStake);
    events.SetFieldValue(
        PayoutSumField(outcome),
        Variant(StoredMoney(
            payoutSum + BetPayout(storedStake.toReal(), bets.GetFieldValue(KOEFICIENT).toReal()))));
    if (adjustOdds)
        AdjustKoef(events);
    events.Post();
    History->BetTaken(bets, events, seal);
    work->Commit();
    m_last = slips ? std::optional(Taken{serial, m_code}) : std::nullopt;
}

// What the stored bets on the current event's outcome would pay if it won: kept with the event,
// or, where it is not (an event entered before it was kept, or put back by an undone result, or
// a table without the field), summed from its bets in their order as each bet would have added
// to it.
double TDataModule6::PayoutSum(Outcome outcome) const {
    using namespace fields;
    const TDataSet& events = *TableCompit;
    const TDataSet& bets = *TableStavka;
    const RecordKey event = events.CurrentIndex();
    const TField* kept = events.FieldByName(PayoutSumField(outcome));
    if (!kept->Missing()) {
        const Variant sum = events.ValueAt(event, kept);
        if (!sum.isNull())
            return sum.toReal();
    }
    // (a blank number is the number of the bets of the event whose number is blank)
    const Variant number = events.ValueAt(event, events.FieldByName(NUMBER));
    if (!bets.Active())
        return 0;
    const Variant name = Variant(OutcomeName(events, outcome));
    const TField* betNumber = bets.FieldByName(NUMBER);
    const TField* result = bets.FieldByName(RESULT);
    const TField* summa = bets.FieldByName(SUMMA);
    const TField* koef = bets.FieldByName(KOEFICIENT);
    double sum = 0;
    for (RecordKey at = bets.FindRecord(-1, +1, betNumber, number); at >= 0;
         at = bets.FindRecord(at, +1, betNumber, number))
        if (bets.ValueAt(at, result) == name)
            sum = StoredMoney(
                sum + BetPayout(bets.ValueAt(at, summa).toReal(), bets.ValueAt(at, koef).toReal()));
    return sum;
}

void TDataModule6::RevokeBet() {
    using namespace fields;
    TDataSet& bets = *TableStavka;
    TDataSet& events = *TableCompit;
    if (!bets.Active() || bets.IsEmpty() || bets.CurrentIndex() < 0)
        throw EDatabaseError(QStringLiteral("Ставка не выбрана."));
    // The browser shows stored bets only; an event's record left pending is not this work's.
    for (TDataSet* table : {&bets, &events})
        if (table->Active() && table->state() != TDataSet::State::Browse)
            table->Cancel();
    // The bet's record names it: after a commit whose answer was lost, it may be gone.
    Perform(QStringLiteral("revoke %1").arg(bets.CurrentIndex()), {&events, &bets}, [&] {
        auto work = BeginWork({&bets, &events, TableHistory});
        if (m_home->RevokeThere(bets, m_action)) {
            work->Commit();
            ShowAsStored({&events, &bets});
            return;
        }
        const Variant number = bets.GetFieldValue(NUMBER);
        const std::int64_t found =
            events.IsEmpty() ? -1 : events.FindRecord(-1, +1, events.FieldByName(NUMBER), number);
        if (found < 0)
            throw ERuleRefused(RevokeSettledMessage());
        events.MoveTo(std::uint32_t(found));
        const RecordKey event = events.CurrentIndex();
        if (!BetsOpen(events.ValueAt(event, events.FieldByName(DATE)).toDate(), Date()))
            throw ERuleRefused(RevokeClosedMessage());
        const std::optional<Outcome> outcome = OutcomeNamed(events, bets.GetFieldValue(RESULT));
        if (!outcome)
            throw ERuleRefused(RevokeUnnamedMessage(bets.GetFieldValue(RESULT).toString()));
        std::optional<std::int64_t> serial;
        if (const auto serials = History->SerialsOfBets(events, bets);
            serials.contains(bets.CurrentIndex()))
            serial = serials.value(bets.CurrentIndex());

        const double stake = bets.GetFieldValue(SUMMA).toReal();
        const double payout = BetPayout(stake, bets.GetFieldValue(KOEFICIENT).toReal());
        const TField* kept = events.FieldByName(PayoutSumField(*outcome));
        const Variant payoutSum = kept->Missing() ? Variant() : events.ValueAt(event, kept);
        events.Edit();
        events.SetFieldValue(SumField(*outcome),
                             Variant(events.GetFieldValue(SumField(*outcome)).toReal() - stake));
        // A blank payout sum stays blank: the next bet sums it from the bets left.
        if (!payoutSum.isNull())
            events.SetFieldValue(PayoutSumField(*outcome),
                                 Variant(StoredMoney(payoutSum.toReal() - payout)));
        events.Post();
        History->BetRevoked(bets, serial, events);
        bets.Delete();
        work->Commit();
    });
}

Limits TDataModule6::CurrentLimits() const {
    TDataSet& table = *TableLimits;
    if (!table.Active()) {
        if (!m_home->HasLimits())
            return {};
        // A limits' table that did not open at the start, or was laid out since, opens now.
        table.Open();
    }
    // Its First reads them as they are stored now, whatever the back office set meanwhile.
    return ReadLimits(table);
}

void TDataModule6::SetLimits(const Limits& limits) {
    using namespace fields;
    TDataSet& table = *TableLimits;
    if (!table.Active() && !m_home->HasLimits())
        throw EDatabaseError(QStringLiteral("В этих книгах нет таблицы лимитов %1: её добавляет "
                                            "varnel-newdesk, запущенная на рабочей папке.")
                                 .arg(LimitsTable().file));
    CheckLimitsSet(limits);
    Perform(QStringLiteral("limits %1 %2 %3 %4 %5")
                .arg(OrBlank(limits.minStake).toString(), OrBlank(limits.maxStake).toString(),
                     OrBlank(limits.maxPayout).toString(), OrBlank(limits.maxLiability).toString(),
                     OrBlank(limits.revokeMinutes).toString()),
            {&table}, [&] {
                if (!table.Active())
                    table.Open();
                auto work = BeginWork({&table, TableHistory});
                if (m_home->SetLimitsThere(table, limits, m_action)) {
                    work->Commit();
                    return;
                }
                table.First();
                if (table.IsEmpty())
                    table.Insert();
                else
                    table.Edit();
                table.SetFieldValue(STAVKA_MIN, OrBlank(limits.minStake));
                table.SetFieldValue(STAVKA_MAX, OrBlank(limits.maxStake));
                table.SetFieldValue(VYPL_MAX, OrBlank(limits.maxPayout));
                table.SetFieldValue(RISK_MAX, OrBlank(limits.maxLiability));
                table.SetFieldValue(OTMENA_MIN, OrBlank(limits.revokeMinutes));
                table.Post();
                History->LimitsChanged(limits);
                work->Commit();
            });
}

void TDataModule6::SettleEvent(RecordKey event, const QString& winner) {
    TDataSet& money = *TableMoney;
    TDataSet& bets = *TableStavka;
    TDataSet& events = *TableCompit;
    if (const QString refused = m_home->EventsAndResultsRefused(); !refused.isEmpty())
        throw ERuleRefused(refused);
    Perform(QStringLiteral("result %1 ").arg(event) + winner, {&events, &bets, &money}, [&] {
        money.Open();
        bets.Open();
        if (events.CurrentIndex() != event) {
            if (event < 0 || event >= events.EndKey() || events.IsDeletedAt(event))
                throw EEventGone();
            events.MoveTo(std::uint32_t(event));
        }
        auto work = BeginWork({&money, &bets, &events, TableHistory});
        if (m_home->SettleThere(events, winner, m_action)) {
            work->Commit();
            ShowAsStored({&events, &bets, &money});
            return;
        }
        const auto serials = History->SerialsOfBets(events, bets);
        bets.First();
        SettleBets(events.GetFieldValue(fields::NUMBER), Variant(winner), serials);
        History->ResultEntered(events, winner);
        events.Delete();
        work->Commit();
    });
}

// Every bet is examined, the last one included; none is skipped after a deletion, since the
// record that takes the deleted one's place is examined next.
void TDataModule6::SettleBets(const Variant& number, const Variant& winner,
                              const QHash<RecordKey, std::int64_t>& serials) {
    TDataSet& money = *TableMoney;
    TDataSet& bets = *TableStavka;
    const TField* betNumber = bets.FieldByName(fields::NUMBER);
    for (;;) {
        // (no bet at all: nothing to compare, not a bet of a blank number)
        if (bets.Eof())
            return;
        if (!(bets.GetFieldValue(fields::NUMBER) == number)) {
            // The next bet on the event, found on the file's bytes; none: the walk is done.
            const std::int64_t next = bets.FindRecord(bets.CurrentIndex(), +1, betNumber, number);
            if (next < 0)
                return;
            bets.MoveTo(std::uint32_t(next));
            continue;
        }
        const RecordKey place = bets.CurrentIndex();
        const std::optional<std::int64_t> serial =
            serials.contains(place) ? std::optional(serials.value(place)) : std::nullopt;
        if (bets.GetFieldValue(fields::RESULT) == winner) {
            money.Insert();
            money.SetFieldValue(fields::FIO, bets.GetFieldValue(fields::FIO));
            money.SetFieldValue(fields::SUMMA, BetPayout(bets.GetFieldValue(fields::SUMMA),
                                                         bets.GetFieldValue(fields::KOEFICIENT)));
            if (serial)
                money.SetFieldValue(fields::SERIAL, Variant(*serial));
            money.Post();
            History->BetSettled(bets, serial, &money);
        } else {
            History->BetSettled(bets, serial, nullptr);
        }
        bets.Delete();
        if (bets.Eof())
            return;
    }
}

void TDataModule6::PayOut() {
    bool paid = false;
    const bool paidBefore =
        Perform(QStringLiteral("payout %1").arg(TableMoney->CurrentIndex()), {TableMoney}, [&] {
            auto work = BeginWork({TableMoney, TableHistory});
            if (const std::optional<bool> there = m_home->PayOutThere(*TableMoney, m_action)) {
                if (*there) {
                    work->Commit();
                    paid = true;
                    TableMoney->Refresh(); // the payouts move on
                }
            } else {
                History->PayoutPaid(*TableMoney);
                TableMoney->Delete();
                work->Commit();
                paid = true;
            }
        });
    if (paid || paidBefore)
        return;
    // Paid at another counter meanwhile: nothing written, and the payouts move on.
    TableMoney->Refresh();
    throw EDatabaseError(QStringLiteral("Этот выигрыш уже выплачен."));
}

std::optional<Slip> TDataModule6::LastSlip() const {
    if (!m_last)
        return std::nullopt;
    std::optional<Slip> slip = History->SlipOf(m_last->serial);
    if (slip)
        slip->code = m_last->code;
    return slip;
}

Slip TDataModule6::CopyLastSlip() {
    if (!m_last)
        throw EDatabaseError(QStringLiteral("Повторить нечего: с запуска программы здесь не "
                                            "принято ни одной ставки с квитанцией. Код выплаты "
                                            "хранится только до закрытия программы, поэтому "
                                            "квитанцию прежней ставки напечатать снова нельзя."));
    const std::int64_t serial = m_last->serial;
    Perform(QStringLiteral("copy %1").arg(serial), {}, [&] {
        auto work = BeginWork({TableHistory});
        if (!m_home->SlipCopiedThere(serial, m_action))
            History->SlipCopied(serial);
        work->Commit();
    });
    std::optional<Slip> slip = LastSlip();
    if (!slip)
        throw EDatabaseError(
            QStringLiteral("Ставки № %1 нет в истории книг: квитанцию не из чего составить.")
                .arg(serial));
    slip->copy = true;
    return *slip;
}

SlipKey TDataModule6::SlipKeyOf(const QString& scanned) {
    const std::optional<SlipKey> key = ReadSlipText(scanned);
    if (!key)
        throw ERuleRefused(NotSlipTextMessage());
    return *key;
}

SlipCheck TDataModule6::CheckSlip(const QString& scanned) {
    const SlipKey key = SlipKeyOf(scanned);
    if (std::optional<SlipCheck> there = m_home->CheckSlipThere(key.serial, key.code))
        return *there;
    TableMoney->Open();
    return History->CheckSlip(key.serial, key.code, *TableMoney);
}

void TDataModule6::PayBySlip(const QString& scanned) {
    const SlipKey key = SlipKeyOf(scanned);
    TDataSet& money = *TableMoney;
    Perform(QStringLiteral("slip %1").arg(key.serial), {&money}, [&] {
        money.Open();
        auto work = BeginWork({&money, TableHistory});
        if (m_home->PayBySlipThere(key.serial, key.code, m_action)) {
            work->Commit();
            ShowAsStored({&money});
            return;
        }
        RecordKey place = -1;
        const SlipCheck check = History->CheckSlip(key.serial, key.code, money, &place);
        if (check.state != SlipCheck::State::Owed)
            throw ERuleRefused(SlipRefusal(check));
        money.MoveTo(std::uint32_t(place));
        History->PayoutPaid(money, key.serial);
        money.Delete();
        work->Commit();
    });
}

THistory::UndoPlan TDataModule6::PlanUndo(RecordKey result) const {
    return History->PlanUndo(result, *TableCompit, *TableMoney);
}

void TDataModule6::UndoResult(RecordKey result) {
    if (!TableStavka->Active())
        throw EDatabaseError(QStringLiteral("Результат нельзя отменить: таблица «%1» не "
                                            "открыта.")
                                 .arg(TableStavka->DisplayName()));
    Perform(QStringLiteral("undo %1").arg(result), {TableCompit, TableStavka, TableMoney}, [&] {
        auto work = BeginWork({TableCompit, TableStavka, TableMoney, TableHistory});
        // Planned inside the work, once no other undo of the result runs: a second one finds
        // the first's records and is refused as undone already.
        m_home->HoldUndo(result, {TableCompit, TableMoney, TableHistory});
        const THistory::UndoPlan plan = PlanUndo(result);
        if (m_home->UndoThere(result, m_action)) {
            work->Commit();
            ShowAsStored({TableCompit, TableStavka, TableMoney});
            return;
        }
        History->Undo(plan, *TableCompit, *TableStavka, *TableMoney);
        // The event put back owes what its bets put back would pay.
        TableCompit->Edit();
        for (const Outcome outcome : kOutcomes)
            TableCompit->SetFieldValue(PayoutSumField(outcome), Variant(PayoutSum(outcome)));
        TableCompit->Post();
        work->Commit();
    });
}

// The key of an operation, and what became of one whose commit broke with its outcome unknown:
// the same operation again (the operator's next Ok, the pending records as they were) first
// asks the books whether that key is there. Found, the operation was committed after all: it
// is not done twice, the cursors of `shown` show the books as stored and the pending records of
// it go, and the answer is true.
template <typename Work>
bool TDataModule6::Perform(const QString& what, std::initializer_list<TDataSet*> shown,
                           Work&& work) {
    const auto unknown = std::find_if(m_unknown.begin(), m_unknown.end(),
                                      [&](const UnknownAction& a) { return a.what == what; });
    const bool again = unknown != m_unknown.end();
    const QUuid key = again ? unknown->key : QUuid::createUuid();
    m_performed = key;
    if (again)
        m_code = unknown->code;
    if (again && m_home->ActionDone(key)) {
        m_unknown.erase(unknown);
        ShowAsStored(shown);
        return true;
    }
    m_action = key;
    const auto done = qScopeGuard([this] { m_action = QUuid(); });
    try {
        work();
    } catch (const EServerError& error) {
        if (error.Unknown() && !again) {
            if (m_unknown.size() == kUnknownKept)
                m_unknown.removeFirst();
            m_unknown.append({key, what, m_code});
        }
        throw;
    }
    if (again)
        m_unknown.removeIf([&](const UnknownAction& a) { return a.key == key; });
    return false;
}

void TDataModule6::ShowAsStored(std::initializer_list<TDataSet*> tables) {
    for (TDataSet* table : tables) {
        if (!table->Active())
            continue;
        if (table->state() != TDataSet::State::Browse)
            table->Cancel();
        table->Refresh();
    }
}

// The values pending on a table's current record, to tell one operation from another.
QString TDataModule6::PendingValues(const TDataSet& table) {
    QString values;
    for (const TField* field : table.Fields())
        values += QChar(0x1f) + table.GetFieldValue(field->FieldName()).toString();
    return values;
}

// A table cut short (its header counts more records than the file holds whole), or one whose
// records are followed by bytes of another program, opens with what is whole, once an exact
// copy of the file as found is kept; the operator is told.
void TDataModule6::OpenMending(TTable* table) {
    QString mended;
    try {
        table->Open();
        return;
    } catch (const ETruncatedTable& cut) {
        mended = QStringLiteral("Таблица «%1» была обрезана: в заголовке %2 записей, а целых в "
                                "файле %3. Таблица исправлена: %3 целых записей сохранены, "
                                "неполная запись в конце отброшена.")
                     .arg(table->DisplayName())
                     .arg(cut.claimed())
                     .arg(cut.whole());
    } catch (const EStrayTail& stray) {
        mended = QStringLiteral("В таблице «%1» за последней записью было %2 байт, которые не "
                                "являются записями таблицы (их записала другая программа). "
                                "Таблица исправлена: %3 записей сохранены, лишние байты "
                                "отброшены.")
                     .arg(table->DisplayName())
                     .arg(stray.stray())
                     .arg(stray.whole());
    }
    const QString copy = KeepDamagedCopy(QDir::currentPath(), table->TableName());
    table->OpenCuttingTruncatedTail();
    ReportNotice(mended + QStringLiteral(" Файл в том виде, в каком он был найден, сохранён как "
                                         "«%1».")
                              .arg(QDir::toNativeSeparators(copy)));
}

} // namespace varnel
