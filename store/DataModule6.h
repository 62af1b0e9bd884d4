#pragma once

#include "store/engine/DataSet.h"
#include "store/engine/DataSource.h"
#include "store/engine/Field.h"

#include <QObject>

namespace varnel {

// The one non-visual container of the program's tables: one table and one data source per
// file, so every window shares one cursor per table for the whole run.
class TDataModule6 : public QObject {
    Q_OBJECT
public:
    explicit TDataModule6(QObject* parent = nullptr);

    // Components, in the order they are created.
    TTable* TableCompit;
    TDataSource* SourceCompit;
    TTable* TableStavka;
    TDataSource* SourceStavka;
    TTable* TableTmp;
    TDataSource* SourceTmp;
    TTable* TableMoney;
    TDataSource* SourceMoney;

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
    // Opens a table of the working folder, mending one that was cut short (and saying so).
    static void OpenMending(TTable* table);

signals:
    void OnCreate();
};

// The program's one instance, made at start-up.
inline TDataModule6* DataModule6 = nullptr;

} // namespace varnel
