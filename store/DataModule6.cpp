#include "store/DataModule6.h"

#include "store/engine/Errors.h"
#include "store/engine/Report.h"
#include "store/engine/Transaction.h"

#include <QDir>

namespace varnel {

namespace {
// Digits after the point a file's column needs to be usable: money to the kopeck,
// coefficients to nine decimals.
constexpr int kMoneyDecimals = 2;
constexpr int kCoefDecimals = 9;

TTable* table(QObject* owner, const char* name, const char* file) {
    auto* t = new TTable(owner);
    t->setObjectName(QString::fromLatin1(name));
    t->SetTableName(QString::fromLatin1(file));
    return t;
}

TDataSource* source(QObject* owner, const char* name, TDataSet* dataSet) {
    auto* s = new TDataSource(owner);
    s->setObjectName(QString::fromLatin1(name));
    s->SetDataSet(dataSet);
    return s;
}

TField* money(TDataSet* dataSet, const char* name, const QString& label) {
    auto* f = new TField(dataSet, QString::fromLatin1(name), TFieldType::Float, 0, label);
    f->SetMinDecimals(kMoneyDecimals);
    f->SetDisplayDecimals(2); // roubles and kopecks
    return f;
}

TField* coefficient(TDataSet* dataSet, const char* name, const QString& label) {
    auto* f = new TField(dataSet, QString::fromLatin1(name), TFieldType::Float, 0, label);
    f->SetMinDecimals(kCoefDecimals);
    return f;
}
} // namespace

TDataModule6::TDataModule6(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DataModule6"));
    TableCompit = table(this, "TableCompit", "COMPIT.DBF");
    SourceCompit = source(this, "SourceCompit", TableCompit);
    TableStavka = table(this, "TableStavka", "PRIEM.DBF");
    SourceStavka = source(this, "SourceStavka", TableStavka);
    TableTmp = table(this, "TableTmp", "TMP.DBF");
    SourceTmp = source(this, "SourceTmp", TableTmp);
    TableMoney = table(this, "TableMoney", "MONEY.DBF");
    SourceMoney = source(this, "SourceMoney", TableMoney);

    // The events and bets files are described completely by these fields.
    TableCompit->SetExactFields(true);
    TableStavka->SetExactFields(true);

    TableCompitNUMBER = new TField(TableCompit, QStringLiteral("NUMBER"), TFieldType::Smallint, 0,
                                   QStringLiteral("№"));
    TableCompitDATE = new TField(TableCompit, QStringLiteral("DATE"), TFieldType::Date);
    TableCompitKOM1 = new TField(TableCompit, QStringLiteral("KOM1"), TFieldType::String, 25,
                                 QStringLiteral("Команда 1"));
    TableCompitKOM2 = new TField(TableCompit, QStringLiteral("KOM2"), TFieldType::String, 25,
                                 QStringLiteral("Команда 2"));
    TableCompitKOEF_1 = coefficient(TableCompit, "KOEF_1", QStringLiteral("К-т на Команду 1"));
    TableCompitKOEF_2 = coefficient(TableCompit, "KOEF_2", QStringLiteral("К-т на Команду 2"));
    TableCompitKOEF_N = coefficient(TableCompit, "KOEF_N", QStringLiteral("К-т на Ничью"));
    TableCompitSUMM_1 = money(TableCompit, "SUMM_1", QStringLiteral("Сумма (1)"));
    TableCompitSUMM_2 = money(TableCompit, "SUMM_2", QStringLiteral("Сумма (2)"));
    TableCompitSUMM_N = money(TableCompit, "SUMM_N", QStringLiteral("Сумма (Н)"));

    TableStavkaNUMBER = new TField(TableStavka, QStringLiteral("NUMBER"), TFieldType::Smallint, 0,
                                   QStringLiteral("№"));
    TableStavkaRESULT = new TField(TableStavka, QStringLiteral("RESULT"), TFieldType::String, 25,
                                   QStringLiteral("Результат"));
    TableStavkaSUMMA = money(TableStavka, "SUMMA", QStringLiteral("Сумма"));
    TableStavkaKOEFICIENT = coefficient(TableStavka, "KOEFICIENT", QStringLiteral("Коэффициент"));
    TableStavkaFIO = new TField(TableStavka, QStringLiteral("FIO"), TFieldType::String, 50,
                                QStringLiteral("Ф.И.О."));

    TableTmpNUM = new TField(TableTmp, QStringLiteral("NUM"), TFieldType::Smallint);

    TableMoneyFIO = new TField(TableMoney, QStringLiteral("FIO"), TFieldType::String, 50,
                               QStringLiteral("Ф.И.О."));
    TableMoneySUMMA = money(TableMoney, "SUMMA", QStringLiteral("Сумма выплаты"));

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
