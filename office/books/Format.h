#pragma once

#include "store/Rules.h"

#include <QDate>
#include <QString>
#include <QVariant>

#include <Qt>

namespace varnel::office {

// What a cell holds for export: the number (a double) or the date itself, as a spreadsheet
// should read it, where DisplayRole has the text a person reads (with group separators).
inline constexpr int ExportRole = Qt::UserRole + 1;
// What a small table sorts by (its proxy's sort role): the number or date itself.
inline constexpr int SortRole = Qt::UserRole + 2;

// Money to the kopeck, in the Russian way («12 500,00»), is the books' MoneyText.
using varnel::MoneyText;
// Money to the kopeck for a spreadsheet: «12500,00».
QString MoneyPlain(double amount);
// A coefficient or another number as it is, with a decimal comma.
QString NumberText(double value);
QString DateText(const QDate& date); // dd.MM.yyyy
// A cell's export value as a Russian-locale spreadsheet reads it: numbers with a decimal comma
// and no group separator, dates dd.MM.yyyy.
QString CsvText(const QVariant& value);

} // namespace varnel::office
