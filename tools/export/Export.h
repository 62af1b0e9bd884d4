#pragma once

#include <QStringList>

#include <cstdio>

namespace varnel {

// varnel-export TABLE.DBF [--where FIELD=VALUE ...] [--fields A,B,...] [--format csv|tsv|json]
//
// Writes the live records of a dBASE table (the program's or another tool's) to `out`, UTF-8:
// numbers with '.', dates ISO (YYYY-MM-DD), logicals true/false; blank text is empty text, a
// blank number, date or logical is empty (null in JSON).
// Every --where must hold (a field equal to the value, compared as the field's type: text
// without its trailing blanks, numbers as numbers, dates given ISO or YYYYMMDD). The table is
// only read. Returns the exit status: 0 done, 1 a table that cannot be read or a field it does
// not have (said on `err`), 2 a command line that is wrong.
int RunExport(const QStringList& arguments, std::FILE* out, std::FILE* err);

} // namespace varnel
