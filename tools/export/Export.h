#pragma once

#include <QStringList>

#include <cstdio>

namespace varnel {

// varnel-export TABLE.DBF [--where FIELD=VALUE ...] [--fields A,B,...] [--format csv|tsv|json]
//
// Writes the live records of a dBASE table (the program's or another tool's) to `out`, UTF-8:
// numbers as the file's digits with '.', never an exponent, however wide; dates ISO
// (YYYY-MM-DD), logicals true/false; blank text is empty text, a blank number, date or logical
// is empty (null in JSON). In CSV and TSV a name or value holding the separator, a quote or a
// line break is enclosed in quotes, a quote inside doubled.
// Every --where must hold (a field equal to the value, compared as the field's type: text
// without its trailing blanks, numbers as decimal numbers on all their digits, dates given ISO
// or YYYYMMDD). The table is
// only read. Returns the exit status: 0 done, 1 a table that cannot be read or a field it does
// not have (said on `err`), 2 a command line that is wrong.
int RunExport(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace varnel
