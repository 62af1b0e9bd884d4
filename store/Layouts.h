#pragma once

#include "store/engine/DbfFile.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace varnel {

// The column layouts of the four tables as the program writes them. Widths and decimals
// keep what the program computes: stakes, sums and payouts to a hundredth of a kopeck,
// coefficients to eleven decimals (nine significant digits and more for any coefficient
// from 0.01 up).
QList<DbfColumn> CompitColumns();
QList<DbfColumn> PriemColumns();
QList<DbfColumn> TmpColumns();
QList<DbfColumn> MoneyColumns();

// The table files of a working folder, in the order they are laid out.
QStringList TableFileNames();

// Lays out a new working folder: the four empty tables. Refuses, before writing anything,
// when any of the tables is there already.
void CreateEmptyTables(const QString& folder);

} // namespace varnel
