#pragma once

#include "store/History.h"
#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

#include <memory>

#include <QDate>
#include <QObject>

namespace varnel {

// The one non-visual container of the program's tables: one table and one data source per
// file, so every window shares one cursor per table for the whole run.
class TDataModule6 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule6(QObject* parent = nullptr);
    ~TDataModule6() override;

    // Components, in the order they are created.
    TTable* TableCompit;
    TDataSource* SourceCompit;
    TTable* TableStavka;
    TDataSource* SourceStavka;
    TTable* TableTmp;
    TDataSource* SourceTmp;
    TTable* TableMoney;
    TDataSource* SourceMoney;
    // The history of every change (HISTORY.DBF), kept when the folder has one.
    TTable* TableHistory;
    THistory* History;

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
    // Pays out the current payout: its removal and its record in the history, together or not
    // at all.
    void PayOut();
    // Undoes the result that the history's record `result` entered (THistory::PlanUndo says
    // what changes, or why it cannot), all or nothing.
    void UndoResult(std::uint32_t result);

    // Opens a table of the working folder, mending one that was cut short (and saying so).
    static void OpenMending(TTable* table);

signals:
    void OnCreate();

private:
    void CopyOnNewDay();

    std::unique_ptr<THistory> m_history;
    QDate m_copiedOn; // the day of the last daily copy this run took
};

// The program's one instance, made at start-up.
inline TDataModule6* DataModule6 = nullptr;

} // namespace varnel
