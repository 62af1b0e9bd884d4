#pragma once

#include <QDate>
#include <QString>

namespace varnel {

// The runtime's conversions between text and values, all following the current locale
// (QLocale()), which tests set explicitly.

// Today, without a time of day.
QDate Date();
// Tests move the program's clock by whole days (a counter left running past midnight, a clock
// set a year ahead); 0 puts it back. Never moved in the program.
void ShiftDateForTests(qint64 days);

// The date in the locale's short date format.
QString DateToStr(const QDate& date);

// Reads a date written in the order of the locale's short date format (day, month and
// year in that format's order, any non-digit separators). A year of one or two digits is
// placed in the hundred years around today (the 50 years before it and the 49 after), so
// "08.12.26" is in 2026; a year left out is this year. Anything else is an EConvertError.
QDate StrToDate(const QString& text);

// A 32-bit integer written in decimal, blanks around it allowed; anything else is an
// EConvertError.
int StrToInt(const QString& text);

// A double as the operator reads it: up to 15 significant digits, the locale's decimal
// separator, no group separators.
QString FloatToStr(double value);

} // namespace varnel
