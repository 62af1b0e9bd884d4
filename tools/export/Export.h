#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <string>

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
// or YYYYMMDD). A field of one of the program's tables that the program added later (the
// history's KASSIR) reads blank from a file written before it, in --fields and --where alike.
// The table is only read. Returns the exit status: 0 done (--help alone: the usage on `out`),
// 1 a table that cannot be read or a field it does not have (said on `err`), 2 a command line
// that is wrong.
int RunExport(const QStringList& arguments, std::FILE* out, std::FILE* err);

// varnel-export --server CONNINFO TABLE [--where …] [--fields …] [--format …]
// varnel-export --server CONNINFO --to-folder DIR
//
// The same for a table of the books on a PostgreSQL server (compit, priem, money, tmp,
// history; or their files' names): its fields as the program's own file has them, its rows
// in the order of their keys, read page by page through a cursor. With --to-folder, the books
// as .DBF files in the program's own layout, all tables read at one moment: a snapshot every
// dBASE tool opens. A folder that holds any of them already is refused.
int RunServerExport(const QStringList& arguments, std::FILE* out, std::FILE* err);

// Every form of the command, as --help prints it on `out` and a wrong command line after the
// reason on `err`.
extern const char kExportUsage[];

// What an export is asked: the table (a file, or a server's table), the conditions, the
// fields and the format, read from the command line from `first` on. A command line that is
// wrong throws an ExportUsage saying why.
enum class ExportFormat { Csv, Tsv, Json };
struct ExportRequest {
    QString table;
    QList<QPair<QString, QString>> where; // field, value
    QStringList fields;                   // none: all
    ExportFormat format = ExportFormat::Csv;
};
struct ExportUsage {
    QString why;
};
ExportRequest ParseExportRequest(const QStringList& arguments, qsizetype first);

// A JSON string of the output; a CSV or TSV field is quoted by AppendDelimited (store/Csv.h).
void AppendJsonString(std::string& out, const std::string& text);

} // namespace varnel
