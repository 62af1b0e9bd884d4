#pragma once

#include "base/Errors.h"
#include "store/History.h"
#include "store/Home.h"
#include "store/Rules.h"
#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

#include <cstdint>
#include <memory>
#include <optional>

#include <QDate>
#include <QHash>
#include <QLatin1String>
#include <QList>
#include <QObject>
#include <QUuid>

namespace varnel {

class TTable;

// The one non-visual container of the program's tables: one table and one data source per
// file, so every window shares one cursor per table for the whole run.
class TDataModule6 : public QObject {
    Q_OBJECT
public:
    // The books in the working folder's table files, or in the home given.
    explicit TDataModule6(QObject* parent = nullptr, std::unique_ptr<TBooksHome> home = {});
    ~TDataModule6() override;

    // Components, in the order they are created.
    TDataSet* TableCompit;
    TDataSource* SourceCompit;
    TDataSet* TableStavka;
    TDataSource* SourceStavka;
    TDataSet* TableTmp;
    TDataSource* SourceTmp;
    TDataSet* TableMoney;
    TDataSource* SourceMoney;
    // The history of every change (HISTORY.DBF), kept when the folder has one.
    TDataSet* TableHistory;
    THistory* History;
    // The owner's limits (LIMITS.DBF), where the books have them.
    TDataSet* TableLimits;

    // Field objects.
    TField* TableCompitNUMBER;
    TField* TableCompitDATE;
    TField* TableCompitKOM1;
    TField* TableCompitKOM2;
    TField* TableCompitKOEF_1;
    TField* TableCompitKOEF_2;
    TField* TableCompitKOEF_N;
    TField* TableCompitSUMM_1;
    TField* TableCompitSUMM_2;
    TField* TableCompitSUMM_N;
    TField* TableStavkaNUMBER;
    TField* TableStavkaRESULT;
    TField* TableStavkaSUMMA;
    TField* TableStavkaKOEFICIENT;
    TField* TableStavkaFIO;
    TField* TableTmpNUM;
    TField* TableMoneyFIO;
    TField* TableMoneySUMMA;

    // The creation handler: interrupted work finished or dropped, the tables opened. Throws
    // an EDatabaseError naming every table that did not open.
    void DataModuleCreate();

    // The operations on the books. Every change of the books is one of these, all or nothing
    // together with its record in the history: when one throws (the error an operator can act
    // on), nothing of it is written, and the cursors and their pending records are as they were
    // before it. The windows fill the pending records as the operator types; the operations
    // write them.

    // Work a crash or a failed write cut off is finished, or dropped when it never began.
    void FinishInterruptedWork();
    // Whether such work waits in the folder: until it is finished no table there is whole.
    static bool HasInterruptedWork(const QString& folder);
    // Enters the event pending on TableCompit (a new record, its fields set); it stays current.
    // Refuses an event the rules refuse: a day not after today, a side or a coefficient
    // missing, a coefficient below zero, two sides a settlement could not tell apart.
    void EnterEvent();
    // Makes current the first event in the table's order that carries the number (a pending
    // record is settled first, as every move does); false, with the cursor past the last event,
    // when none does. An event stored without a number matches none.
    bool FindEvent(const Variant& number);
    // Records the bet pending on TableStavka on the outcome of the current event: the bet, the
    // stake as the bet stores it added to the outcome's stake sum as stored and its payout to
    // the outcome's payout sum, the odds rule applied when `adjustOdds`, and the history's
    // record. The event's other pending changes go with it. Refuses (ERuleRefused) a stake of
    // nothing or less, an event no longer taking bets, and a bet past the owner's limits.
    void RecordBet(Outcome outcome, bool adjustOdds);
    // Revokes the bet under TableStavka's cursor before its event: its stake handed back (taken
    // off its outcome's stake sum, its payout off the outcome's payout sum where that is kept),
    // the bet removed, the history's record of it; the coefficients stay as the bet left them.
    // Refuses (ERuleRefused) a bet whose event is settled or takes no more bets, one already
    // gone, and (on a server, by its operation) a cashier's past the owner's minutes.
    void RevokeBet();
    // Settles the event with the outcome `winner` (a side's name, or the draw's): a payout of
    // stake + stake × coefficient for every bet on it that named the winner, every bet on it and
    // the event removed, the history's records of each.
    void SettleEvent(RecordKey event, const QString& winner);
    // Pays out the current payout: its removal and its record in the history. A bet's payout
    // that has a slip is paid so only for a lost slip, by a manager on a server; its record
    // notes it (WithoutSlipNote).
    void PayOut();

    // A bet's slip. RecordBet gives each bet a payout code where the books keep its seal; the
    // code stays here, in memory only, for the slip of the last bet taken.
    // That slip with its code (no office); none when no bet with a slip was taken since start.
    std::optional<Slip> LastSlip() const;
    // The same slip marked a copy, with its record in the history. Refuses (EDatabaseError)
    // when no bet was taken here since start: the code is not kept past it.
    Slip CopyLastSlip();
    // What the books say of the slip whose barcode or serial and code the operator gave.
    // Refuses (ERuleRefused) text that is no slip's.
    SlipCheck CheckSlip(const QString& scanned);
    // Pays the slip's payout, exactly that bet's, with its record naming the serial; refuses
    // (ERuleRefused, SlipRefusal) a slip not owed, paid at another counter meanwhile included.
    void PayBySlip(const QString& scanned);
    // What undoing the result that the history's record `result` entered would change, or an
    // EDatabaseError saying why it cannot be undone (THistory::PlanUndo).
    THistory::UndoPlan PlanUndo(RecordKey result) const;
    // Undoes it: the event and its bets back, its payouts gone, the history's records of it.
    void UndoResult(RecordKey result);

    // The owner's limits as the books hold them now; none where the books have no limits'
    // table. Throws when they have one that cannot be read: no bet is taken past limits unread.
    Limits CurrentLimits() const;
    // Sets them, with the history's record; refuses limits that contradict each other.
    void SetLimits(const Limits& limits);

    // Opens a table of the working folder, mending one that was cut short (and saying so).
    static void OpenMending(TTable* table);

    TBooksHome& Home() const { return *m_home; }
    // The work of one operation over the tables named (for the operations, and for tests that
    // play another program's commit).
    std::unique_ptr<TBooksWork> BeginWork(std::initializer_list<TDataSet*> tables) {
        return m_home->Begin(tables);
    }

signals:
    void OnCreate();

private:
    // An operation whose commit broke, whether it was committed not known.
    struct UnknownAction {
        QUuid key;
        QString what;
        QString code; // a bet's payout code, the same when the bet is tried again
    };
    static constexpr qsizetype kUnknownKept = 16;

    template <typename Work>
    bool Perform(const QString& what, std::initializer_list<TDataSet*> shown, Work&& work);
    void TakeBet(Outcome outcome, bool adjustOdds);
    static SlipKey SlipKeyOf(const QString& scanned);
    double PayoutSum(Outcome outcome) const;
    static void ShowAsStored(std::initializer_list<TDataSet*> tables);
    static QString PendingValues(const TDataSet& table);
    void SettleBets(const Variant& number, const Variant& winner,
                    const QHash<RecordKey, std::int64_t>& serials);

    std::unique_ptr<TBooksHome> m_home;
    std::unique_ptr<THistory> m_history;
    QList<UnknownAction> m_unknown;
    QUuid m_action;    // the key of the operation under way
    QUuid m_performed; // the key of the operation last performed
    QString m_code;    // the payout code of the bet under way
    struct Taken {
        std::int64_t serial = 0;
        QString code;
    };
    std::optional<Taken> m_last; // the last bet with a slip taken here
};

// The program's one instance, made at start-up.
inline TDataModule6* DataModule6 = nullptr;

} // namespace varnel
