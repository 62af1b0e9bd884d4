#include "store/DataModule6.h"

#include "store/Tables.h"
#include "store/engine/Errors.h"
#include "store/engine/Journal.h"
#include "store/engine/Report.h"
#include "store/engine/Transaction.h"

#include <QDir>

namespace varnel {

namespace {

TTable* table(QObject* owner, const TableSpec& spec) {
    auto* t = new TTable(owner);
    t->setObjectName(spec.table);
    t->SetTableName(spec.file);
    t->SetExactFields(spec.exactFields);
    spec.MakeFields(t);
    return t;
}

TDataSource* source(QObject* owner, const TableSpec& spec, TDataSet* dataSet) {
    auto* s = new TDataSource(owner);
    s->setObjectName(spec.source);
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

// Each table opens on its own: a damaged or missing file keeps only itself closed, so that
// winnings can still be paid when the bets file is damaged, and so on. Every failure is
// reported, in one message, and the program goes on without those tables.
void TDataModule6::DataModuleCreate() {
    // Work that a crash cut off is finished (or was never begun) before anyone reads a table.
    RecoverInterruptedWork(QDir::currentPath());
    QStringList failures;
    for (TTable* table : {TableCompit, TableStavka, TableMoney}) {
        try {
            table->Open();
        } catch (const EDatabaseError& error) {
            failures << error.message();
        }
    }
    if (!failures.isEmpty())
        throw EDatabaseError(
            failures.join(QLatin1Char('\n')) + QLatin1Char('\n') +
            (failures.size() == 1
                 ? QStringLiteral("Программа работает без этой таблицы. Восстановите файл из "
                                  "резервной копии и перезапустите программу.")
                 : QStringLiteral("Программа работает без этих таблиц. Восстановите файлы из "
                                  "резервной копии и перезапустите программу.")));
}

} // namespace varnel
