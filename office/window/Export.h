#pragma once

#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <functional>

class QAbstractItemModel;
class QPrinter;

namespace varnel::office {

// Writes what a model shows as CSV for a Russian-locale spreadsheet: UTF-8 with a byte order
// mark, a header row of the column titles, ';' between cells, numbers with a decimal comma and
// no group separator, dates dd.MM.yyyy; a cell holding ';', a quote or a line break is quoted.
// `progress` is told the rows written and may stop the export by returning false. Throws an
// EDatabaseError naming the file when it cannot be written; nothing is left of a stopped or
// failed export.
void WriteCsv(const QAbstractItemModel& model, const QString& path,
              const std::function<bool(int rows)>& progress = {});
// The same for rows that come a part at a time: `next` puts the next part into the model and
// says whether there was one. The rows written.
std::int64_t WriteCsvInParts(const QAbstractItemModel& model, const QString& path,
                             const std::function<bool()>& next);

// A model as an HTML table for a printed report: its first `maxRows` rows, and a word on the
// rest.
QString ModelHtml(const QAbstractItemModel& model, int maxRows = 2000);
// The whole report: a title, what its figures mean, and its tables.
QString ReportHtml(const QString& title, const QString& body);
// A part of a report that is never parted by a page's end: when it does not fit at the foot of a
// page, it starts the next one whole (one longer than a page breaks where it must).
QString KeptTogether(const QString& html);

// Prints a report, 2 cm inside the printer's margins and each page's number under it; as PDF
// into a file (an EDatabaseError when it cannot be written).
using ReportImages = QList<QPair<QString, QImage>>;
void PrintHtml(const QString& html, QPrinter* printer, const ReportImages& images = {});
void WritePdf(const QString& html, const QString& path, const ReportImages& images = {});

// Escapes text for the reports.
QString Html(const QString& text);

} // namespace varnel::office
