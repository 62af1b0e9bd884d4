#pragma once

#include "store/engine/DbfFile.h"
#include "store/engine/Field.h"

#include <QLatin1String>
#include <QList>
#include <QString>
#include <QStringList>

namespace varnel {

class TDataSet;

// The names of the tables' fields, as every part of the program spells them.
namespace fields {
inline constexpr QLatin1String NUMBER{"NUMBER"};
inline constexpr QLatin1String DATE{"DATE"};
inline constexpr QLatin1String KOM1{"KOM1"};
inline constexpr QLatin1String KOM2{"KOM2"};
inline constexpr QLatin1String KOEF_1{"KOEF_1"};
inline constexpr QLatin1String KOEF_2{"KOEF_2"};
inline constexpr QLatin1String KOEF_N{"KOEF_N"};
inline constexpr QLatin1String SUMM_1{"SUMM_1"};
inline constexpr QLatin1String SUMM_2{"SUMM_2"};
inline constexpr QLatin1String SUMM_N{"SUMM_N"};
inline constexpr QLatin1String RESULT{"RESULT"};
inline constexpr QLatin1String SUMMA{"SUMMA"};
inline constexpr QLatin1String KOEFICIENT{"KOEFICIENT"};
inline constexpr QLatin1String FIO{"FIO"};
inline constexpr QLatin1String NUM{"NUM"};
// What an event's bets on each outcome would pay if it won (added later: blank where not known).
inline constexpr QLatin1String VYPL_1{"VYPL_1"};
inline constexpr QLatin1String VYPL_2{"VYPL_2"};
inline constexpr QLatin1String VYPL_N{"VYPL_N"};
// The owner's limits (LIMITS.DBF), blank for none.
inline constexpr QLatin1String STAVKA_MIN{"STAVKA_MIN"}; // the smallest stake
inline constexpr QLatin1String STAVKA_MAX{"STAVKA_MAX"}; // the largest stake
inline constexpr QLatin1String VYPL_MAX{"VYPL_MAX"};     // the largest payout of one bet
inline constexpr QLatin1String RISK_MAX{"RISK_MAX"};     // the largest payout sum of an outcome
inline constexpr QLatin1String OTMENA_MIN{"OTMENA_MIN"}; // minutes a cashier may revoke a bet in
// The history's own.
inline constexpr QLatin1String DEN{"DEN"};         // the day of the change
inline constexpr QLatin1String VREMYA{"VREMYA"};   // its time, hh:mm:ss
inline constexpr QLatin1String VID{"VID"};         // what happened
inline constexpr QLatin1String SERIAL{"SERIAL"};   // the bet's serial number
inline constexpr QLatin1String ZAPIS{"ZAPIS"};     // the record's place in its table
inline constexpr QLatin1String VYPLATA{"VYPLATA"}; // a payout's amount
inline constexpr QLatin1String KASSIR{"KASSIR"};   // the operator who wrote the record
inline constexpr QLatin1String KOD{"KOD"};         // the seal of a bet's payout code (Slip.h)
inline constexpr QLatin1String HASH{"HASH"};       // the record's link in the chain (Chain.h)
} // namespace fields

// The digits after the point of every money column the program writes: a hundredth of a kopeck.
inline constexpr int kMoneyDecimals = 4;

// One field of a table: what the program holds in it, the column it writes for it in a new
// file, the smallest column it accepts in a file another tool wrote, and how it is shown.
struct FieldDescription {
    QLatin1String name;
    TFieldType type;
    int size = 0;                // characters the operator may type into a string field
    DbfColumn written;           // the column of a new file (name filled in from `name`)
    ColumnNeeds accepted;        // the least a file's column must offer
    const char* label = nullptr; // the column title of the browsers (UTF-8); none: the name
    int displayDecimals = -1;    // digits shown after the point; -1 as the number is
    // Added to the table after files of it were written: a file without it opens as it is, the
    // field read blank and left out of what is written (TField::MayBeMissing). A file lacking
    // any other field is refused.
    bool mayBeMissing = false;
    // Kept from the operators on a server (column rights): only the books' operations read it.
    // A server's cursor and the back office's readings leave it out; on a folder, whoever holds
    // the files holds the books anyway.
    bool sealed = false;
    // Not a column of the server's table: the server keeps it apart (the history's chain,
    // which its sealer alone writes).
    bool keptApart = false;
};

// One table file: its name, the data module's components over it, and its fields in order.
struct TableDescription {
    QLatin1String file;   // in the working folder
    QLatin1String table;  // the data module's table component
    QLatin1String source; // and its data source
    bool exactFields;     // the file holds these fields and no others
    QList<FieldDescription> fields;

    // The columns a new file of this table is written with.
    QList<DbfColumn> Columns() const;
    // The field of that name, or null.
    const FieldDescription* Field(QLatin1String name) const;
    // The fields that may be missing and that a file of these columns lacks, in order.
    QList<const FieldDescription*> MissingFrom(const QList<DbfColumn>& columns) const;
    // Gives a dataset this table's field objects, in order.
    void MakeFields(TDataSet* dataSet) const;
};

const TableDescription& CompitTable();
const TableDescription& PriemTable();
const TableDescription& TmpTable();
const TableDescription& MoneyTable();
// The history of every change, appended to and never rewritten (History.h). Its last fields,
// KASSIR, KOD and HASH, came later: a history written before them opens without them
// (varnel-newdesk adds them). The bets and the payouts got their SERIAL so too.
const TableDescription& HistoryTable();

// The owner's limits: one record, each field blank for no limit. A folder laid out before it
// has none, and its books have no limits; it is not among AllTables, which are the books.
const TableDescription& LimitsTable();

// The tables of a working folder in the order they are laid out: the four books, then the
// history.
const QList<const TableDescription*>& AllTables();
QStringList TableFileNames();

// Lays out a new working folder: the empty tables and the limits' table. Refuses, before writing
// anything, when any of them is there already.
void CreateEmptyTables(const QString& folder);
// Adds the history to a working folder whose four books are there and which has none; the
// books are not touched. False when the folder holds a history already. Refuses when any of the
// four books is missing.
bool AddHistoryTable(const QString& folder);
// Adds the limits' table, no limit set, to a working folder that has none; false when it has.
bool AddLimitsTable(const QString& folder);

} // namespace varnel
