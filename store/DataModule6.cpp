#include "store/DataModule6.h"

#include "base/Errors.h"
#include "base/Report.h"
#include "store/AdjustKoef.h"
#include "store/Backup.h"
#include "store/Tables.h"
#include "store/engine/Convert.h"
#include "store/engine/Journal.h"
#include "store/engine/Transaction.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <optional>

namespace varnel {

namespace {

TTable* table(QObject* owner, const TableDescription& described) {
    auto* t = new TTable(owner);
    t->setObjectName(described.table);
    t->SetTableName(described.file);
    t->SetExactFields(described.exactFields);
    described.MakeFields(t);
    return t;
}

// The tables the daily copies hold: all but the history, which has a copy of its own.
QStringList Books() {
    QStringList books = TableFileNames();
    books.removeAll(HistoryTable().file);
    return books;
}

TDataSource* source(QObject* owner, const TableDescription& described, TDataSet* dataSet) {
    auto* s = new TDataSource(owner);
    s->setObjectName(described.source);
    s->SetDataSet(dataSet);
    return s;
}

} // namespace

TDataModule6::TDataModule6(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule6"));
    TableCompit = table(this, CompitTable());
    SourceCompit = source(this, CompitTable(), TableCompit);
    TableStavka = table(this, PriemTable());
    SourceStavka = source(this, PriemTable(), TableStavka);
    TableTmp = table(this, TmpTable());
    SourceTmp = source(this, TmpTable(), TableTmp);
    TableMoney = table(this, MoneyTable());
    SourceMoney = source(this, MoneyTable(), TableMoney);
    TableHistory = table(this, HistoryTable());
    m_history = std::make_unique<THistory>(TableHistory);
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

    for (TTable* t : {TableCompit, TableStavka, TableTmp, TableMoney, TableHistory})
        t->SetBeforeWrite([this] { CopyOnNewDay(); });

    connect(this, &TDataModule6::OnCreate, this, Handler(this, &TDataModule6::DataModuleCreate));
}

// A counter left running past midnight takes the new day's copy before the day's first write,
// as its first start that day would have. A copy that cannot be made does not stop the work:
// the operator is told, and the next start tries again.
void TDataModule6::CopyOnNewDay() {
    const QDate today = Date();
    if (!m_copiedOn.isValid() || m_copiedOn == today)
        return;
    m_copiedOn = today;
    try {
        BackUpTables(QDir::currentPath(), Books(), today);
    } catch (const EDatabaseError& error) {
        // Told once the operator's action is done: a box shown here, in the middle of the
        // action's write, would run the event loop while the tables wait to be written.
        QTimer::singleShot(0, this, [message = error.message()] { ReportNotice(message); });
    }
}

TDataModule6::~TDataModule6() = default;

// Each table opens on its own: a damaged or missing file keeps only itself closed, so that
// winnings can still be paid when the bets file is damaged, and so on. Every failure is
// reported, in one message naming the newest backup of each such table, and the program goes
// on without those tables.
void TDataModule6::DataModuleCreate() {
    const QString folder = QDir::currentPath();
    // Work that a crash cut off is finished (or was never begun) before anyone reads a table,
    // and the day's copy is taken before anything is written.
    FinishInterruptedWork();
    QStringList failures;
    try {
        m_copiedOn = Date();
        BackUpTables(folder, Books(), m_copiedOn);
        BackUpHistory(folder, HistoryTable().file);
    } catch (const EDatabaseError& error) {
        failures << error.message();
    }
    int failedTables = 0;
    for (TTable* table : {TableCompit, TableStavka, TableMoney}) {
        try {
            OpenMending(table);
        } catch (const EDatabaseError& error) {
            const QString backup = NewestBackupOf(folder, table->TableName(), Date());
            failures << error.message() +
                            (backup.isEmpty() ? QStringLiteral(" Резервной копии этой таблицы нет.")
                                              : QStringLiteral(" Последняя резервная копия: «%1».")
                                                    .arg(QDir::toNativeSeparators(backup)));
            ++failedTables;
        }
    }
    // The history is kept where the folder has one; books laid out before it was are worked
    // on as ever, and the operator is told once how to start one.
    if (!QFileInfo::exists(TableHistory->TableName())) {
        ReportNotice(QStringLiteral("В рабочей папке нет таблицы истории %1: программа работает "
                                    "как прежде, но изменения книг не записываются в историю. "
                                    "Чтобы вести историю, закройте программу и выполните "
                                    "«varnel-newdesk %2»: она добавит таблицу истории, не трогая "
                                    "остальные.")
                         .arg(TableHistory->DisplayName(), QDir::toNativeSeparators(folder)));
    } else {
        try {
            OpenMending(TableHistory);
        } catch (const EDatabaseError& error) {
            failures << error.message() +
                            QStringLiteral(" Программа работает, но история не записывается.");
        }
    }
    if (failures.isEmpty())
        return;
    QString message = failures.join(QLatin1Char('\n'));
    if (failedTables == 1)
        message += QStringLiteral("\nПрограмма работает без этой таблицы. Восстановите файл из "
                                  "резервной копии и перезапустите программу.");
    else if (failedTables > 1)
        message += QStringLiteral("\nПрограмма работает без этих таблиц. Восстановите файлы из "
                                  "резервной копии и перезапустите программу.");
    throw EDatabaseError(message);
}

void TDataModule6::FinishInterruptedWork() {
    RecoverInterruptedWork(QDir::currentPath());
}

bool TDataModule6::HasInterruptedWork(const QString& folder) {
    return QFileInfo::exists(QDir(folder).filePath(JournalFileName()));
}

void TDataModule6::EnterEvent() {
    TTransaction work({TableCompit, TableHistory});
    TableCompit->Post();
    History->EventEntered(*TableCompit);
    work.Commit();
}

bool TDataModule6::FindEvent(const Variant& number) {
    TTable& events = *TableCompit;
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

void TDataModule6::RecordBet(QLatin1String stakeSum, bool adjustOdds) {
    TTable& bets = *TableStavka;
    TTable& events = *TableCompit;
    if (events.CurrentIndex() < 0)
        throw EDatabaseError(QStringLiteral("Ставка не записана: событие не выбрано."));
    const Variant stored =
        events.ValueAt(std::uint32_t(events.CurrentIndex()), events.FieldByName(stakeSum));
    TTransaction work({&bets, &events, TableHistory});
    bets.Post();
    // The stake as the bet holds it in its file.
    const Variant stake = bets.GetFieldValue(fields::SUMMA);
    events.Edit();
    events.SetFieldValue(stakeSum, stored + stake);
    if (adjustOdds)
        AdjustKoef(events);
    events.Post();
    History->BetTaken(bets, events);
    work.Commit();
}

void TDataModule6::SettleEvent(RecordKey event, const QString& winner) {
    TTable& money = *TableMoney;
    TTable& bets = *TableStavka;
    TTable& events = *TableCompit;
    money.Open();
    bets.Open();
    if (events.CurrentIndex() != event)
        events.MoveTo(std::uint32_t(event));
    TTransaction work({&money, &bets, &events, TableHistory});
    const auto serials = History->SerialsOfBets(events, bets);
    bets.First();
    SettleBets(events.GetFieldValue(fields::NUMBER), Variant(winner), serials);
    History->ResultEntered(events, winner);
    events.Delete();
    work.Commit();
}

// Every bet is examined, the last one included; none is skipped after a deletion, since the
// record that takes the deleted one's place is examined next.
void TDataModule6::SettleBets(const Variant& number, const Variant& winner,
                              const QHash<RecordKey, std::int64_t>& serials) {
    TTable& money = *TableMoney;
    TTable& bets = *TableStavka;
    const TField* betNumber = bets.FieldByName(fields::NUMBER);
    for (;;) {
        if (!(bets.GetFieldValue(fields::NUMBER) == number)) {
            // The next bet on the event, found on the file's bytes; none: the walk is done.
            const std::int64_t next = bets.FindRecord(bets.CurrentIndex(), +1, betNumber, number);
            if (next < 0)
                return;
            bets.MoveTo(std::uint32_t(next));
            continue;
        }
        const RecordKey place = bets.CurrentIndex();
        const auto serial =
            serials.contains(place) ? std::optional(serials.value(place)) : std::nullopt;
        if (bets.GetFieldValue(fields::RESULT) == winner) {
            money.Insert();
            money.SetFieldValue(fields::FIO, bets.GetFieldValue(fields::FIO));
            const Variant stake = bets.GetFieldValue(fields::SUMMA);
            const Variant koef = bets.GetFieldValue(fields::KOEFICIENT);
            money.SetFieldValue(fields::SUMMA, stake + stake * koef);
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
    TTransaction work({TableMoney, TableHistory});
    History->PayoutPaid(*TableMoney);
    TableMoney->Delete();
    work.Commit();
}

THistory::UndoPlan TDataModule6::PlanUndo(RecordKey result) const {
    return History->PlanUndo(result, *TableCompit, *TableMoney);
}

void TDataModule6::UndoResult(RecordKey result) {
    if (!TableStavka->Active())
        throw EDatabaseError(QStringLiteral("Результат нельзя отменить: таблица «%1» не "
                                            "открыта.")
                                 .arg(TableStavka->DisplayName()));
    const THistory::UndoPlan plan = PlanUndo(result);
    TTransaction work({TableCompit, TableStavka, TableMoney, TableHistory});
    History->Undo(plan, *TableCompit, *TableStavka, *TableMoney);
    work.Commit();
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
