#include "store/Tables.h"

#include "base/Errors.h"
#include "store/Chain.h"
#include "store/engine/DataSet.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace varnel {

namespace {

// What the program writes. Stakes, sums and payouts to a hundredth of a kopeck, coefficients
// to eleven decimals (nine significant digits and more for any coefficient from 0.01 up);
// nineteen characters, the strict dBASE III limit.
constexpr int kNumberWidthWritten = 6; // -32768 fits
constexpr int kRealWidthWritten = 19;
constexpr int kMoneyDecimalsWritten = kMoneyDecimals;
constexpr int kCoefDecimalsWritten = 11;

// What a file written by another tool must offer: any width and any decimals. A value with
// more decimals than its column is rounded to them, as every dBASE tool does; one whose integer
// part or text does not fit is refused, naming the column, when its record is written.
constexpr ColumnNeeds kAnyColumn{};

DbfColumn column(char type, int width, int decimals = 0) {
    DbfColumn c;
    c.type = type;
    c.length = width;
    c.decimals = decimals;
    return c;
}

FieldDescription smallint(QLatin1String name, const char* label = nullptr) {
    return {name, TFieldType::Smallint, 0, column('N', kNumberWidthWritten), kAnyColumn, label};
}

FieldDescription date(QLatin1String name) {
    return {name, TFieldType::Date, 0, column('D', 8), kAnyColumn, nullptr};
}

FieldDescription text(QLatin1String name, int size, const char* label) {
    return {name, TFieldType::String, size, column('C', size), kAnyColumn, label};
}

// A field added after files of its table were written (FieldDescription::mayBeMissing).
FieldDescription addedLater(FieldDescription field) {
    field.mayBeMissing = true;
    return field;
}

// A bet's serial, kept with the bet and its payout (added later to both).
FieldDescription serial() {
    return {fields::SERIAL, TFieldType::Integer, 0, column('N', 9), kAnyColumn, "№ ставки"};
}

// The record's hash in the history's chain (Chain.h), 64 hex digits; a server keeps it apart.
FieldDescription chainLink() {
    FieldDescription field = addedLater(text(fields::HASH, kChainHashLength, "Хеш"));
    field.keptApart = true;
    return field;
}

// What the books keep of a payout code: "salt$hash" in hex (Slip.h).
constexpr int kSealLength = 81;

FieldDescription sealed(FieldDescription field) {
    field.sealed = true;
    return field;
}

// The operator's name: a server's role name is at most 63 bytes.
constexpr int kOperatorLength = 63;

FieldDescription money(QLatin1String name, const char* label) {
    return {name,       TFieldType::Float,
            0,          column('N', kRealWidthWritten, kMoneyDecimalsWritten),
            kAnyColumn, label,
            2}; // roubles and kopecks
}

FieldDescription coefficient(QLatin1String name, const char* label) {
    return {name,       TFieldType::Float,
            0,          column('N', kRealWidthWritten, kCoefDecimalsWritten),
            kAnyColumn, label};
}

} // namespace

QList<DbfColumn> TableDescription::Columns() const {
    QList<DbfColumn> columns;
    for (const FieldDescription& field : fields) {
        DbfColumn c = field.written;
        c.name = field.name;
        columns << c;
    }
    return columns;
}

const FieldDescription* TableDescription::Field(QLatin1String name) const {
    for (const FieldDescription& field : fields)
        if (QString(field.name).compare(name, Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

QList<const FieldDescription*>
TableDescription::MissingFrom(const QList<DbfColumn>& columns) const {
    QList<const FieldDescription*> missing;
    for (const FieldDescription& field : fields) {
        if (!field.mayBeMissing)
            continue;
        const bool there = std::any_of(columns.begin(), columns.end(), [&](const DbfColumn& c) {
            return c.name.compare(field.name, Qt::CaseInsensitive) == 0;
        });
        if (!there)
            missing << &field;
    }
    return missing;
}

void TableDescription::MakeFields(TDataSet* dataSet) const {
    for (const FieldDescription& described : fields) {
        auto* field = new TField(dataSet, described.name, described.type, described.size,
                                 described.label ? QString::fromUtf8(described.label) : QString());
        field->SetNeeds(described.accepted);
        field->SetDisplayDecimals(described.displayDecimals);
        field->SetMayBeMissing(described.mayBeMissing);
    }
}

const TableDescription& CompitTable() {
    using namespace fields;
    static const TableDescription table{
        QLatin1String("COMPIT.DBF"),
        QLatin1String("TableCompit"),
        QLatin1String("SourceCompit"),
        true,
        {smallint(NUMBER, "№"), date(DATE), text(KOM1, 25, "Команда 1"),
         text(KOM2, 25, "Команда 2"), coefficient(KOEF_1, "К-т на Команду 1"),
         coefficient(KOEF_2, "К-т на Команду 2"), coefficient(KOEF_N, "К-т на Ничью"),
         money(SUMM_1, "Сумма (1)"), money(SUMM_2, "Сумма (2)"), money(SUMM_N, "Сумма (Н)"),
         addedLater(money(VYPL_1, "Выплата (1)")), addedLater(money(VYPL_2, "Выплата (2)")),
         addedLater(money(VYPL_N, "Выплата (Н)"))}};
    return table;
}

const TableDescription& PriemTable() {
    using namespace fields;
    static const TableDescription table{
        QLatin1String("PRIEM.DBF"),
        QLatin1String("TableStavka"),
        QLatin1String("SourceStavka"),
        true,
        {smallint(NUMBER, "№"), text(RESULT, 25, "Результат"), money(SUMMA, "Сумма"),
         coefficient(KOEFICIENT, "Коэффициент"), text(FIO, 50, "Ф.И.О."), addedLater(serial())}};
    return table;
}

const TableDescription& TmpTable() {
    static const TableDescription table{QLatin1String("TMP.DBF"),
                                        QLatin1String("TableTmp"),
                                        QLatin1String("SourceTmp"),
                                        false,
                                        {smallint(fields::NUM)}};
    return table;
}

const TableDescription& MoneyTable() {
    using namespace fields;
    static const TableDescription table{
        QLatin1String("MONEY.DBF"),
        QLatin1String("TableMoney"),
        QLatin1String("SourceMoney"),
        false,
        {text(FIO, 50, "Ф.И.О."), money(SUMMA, "Сумма выплаты"), addedLater(serial())}};
    return table;
}

const TableDescription& HistoryTable() {
    using namespace fields;
    // The event's, the bet's and the payout's fields as their own tables hold them, so that
    // what a record says can be put back exactly.
    static const TableDescription table{
        QLatin1String("HISTORY.DBF"),
        QLatin1String("TableHistory"),
        QLatin1String("SourceHistory"),
        false,
        {date(DEN),
         text(VREMYA, 8, "Время"),
         text(VID, 10, "Что"),
         serial(),
         {ZAPIS, TFieldType::Integer, 0, column('N', 9), kAnyColumn, "Запись"},
         smallint(NUMBER, "№"),
         date(DATE),
         text(KOM1, 25, "Команда 1"),
         text(KOM2, 25, "Команда 2"),
         coefficient(KOEF_1, "К-т на Команду 1"),
         coefficient(KOEF_2, "К-т на Команду 2"),
         coefficient(KOEF_N, "К-т на Ничью"),
         money(SUMM_1, "Сумма (1)"),
         money(SUMM_2, "Сумма (2)"),
         money(SUMM_N, "Сумма (Н)"),
         text(RESULT, 25, "Результат"),
         money(SUMMA, "Ставка"),
         coefficient(KOEFICIENT, "Коэффициент"),
         text(FIO, 50, "Ф.И.О."),
         money(VYPLATA, "Выплата"),
         addedLater(text(KASSIR, kOperatorLength, "Кассир")),
         sealed(addedLater(text(KOD, kSealLength, "Код"))),
         chainLink()}};
    return table;
}

const TableDescription& LimitsTable() {
    using namespace fields;
    static const TableDescription table{
        QLatin1String("LIMITS.DBF"),
        QLatin1String("TableLimits"),
        QLatin1String("SourceLimits"),
        false,
        {money(STAVKA_MIN, "Наименьшая ставка"),
         money(STAVKA_MAX, "Наибольшая ставка"),
         money(VYPL_MAX, "Наибольшая выплата по ставке"),
         money(RISK_MAX, "Наибольшая выплата по исходу"),
         {OTMENA_MIN, TFieldType::Integer, 0, column('N', 9), kAnyColumn, "Отмена кассиром, мин"}}};
    return table;
}

const QList<const TableDescription*>& AllTables() {
    static const QList<const TableDescription*> tables = {
        &CompitTable(), &PriemTable(), &TmpTable(), &MoneyTable(), &HistoryTable()};
    return tables;
}

QStringList TableFileNames() {
    QStringList names;
    for (const TableDescription* table : AllTables())
        names << table->file;
    return names;
}

void CreateEmptyTables(const QString& folder) {
    const QDir dir(folder);
    if (!dir.exists())
        throw EDatabaseError(QStringLiteral("Папки «%1» нет.").arg(folder));
    const QStringList names = TableFileNames() << LimitsTable().file;
    for (const QString& name : names)
        if (QFileInfo::exists(dir.filePath(name)))
            throw EDatabaseError(QStringLiteral("В папке «%1» уже есть таблица %2: она не будет "
                                                "перезаписана.")
                                     .arg(QDir::toNativeSeparators(dir.absolutePath()), name));
    for (const TableDescription* table : AllTables())
        DbfFile::create(dir.filePath(table->file), table->Columns());
    AddLimitsTable(folder);
}

bool AddLimitsTable(const QString& folder) {
    const QString limits = QDir(folder).filePath(LimitsTable().file);
    if (QFileInfo::exists(limits))
        return false;
    DbfFile::create(limits, LimitsTable().Columns());
    return true;
}

bool AddHistoryTable(const QString& folder) {
    const QDir dir(folder);
    const QString history = dir.filePath(HistoryTable().file);
    if (QFileInfo::exists(history))
        return false;
    for (const TableDescription* table : AllTables())
        if (table != &HistoryTable() && !QFileInfo::exists(dir.filePath(table->file)))
            throw EDatabaseError(
                QStringLiteral("В папке «%1» нет таблицы %2: история заводится "
                               "только при всех четырёх таблицах.")
                    .arg(QDir::toNativeSeparators(dir.absolutePath()), table->file));
    DbfFile::create(history, HistoryTable().Columns());
    return true;
}

} // namespace varnel
