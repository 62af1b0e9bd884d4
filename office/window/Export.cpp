#include "office/window/Export.h"

#include "base/Errors.h"
#include "office/books/Format.h"
#include "store/Csv.h"

#include <QAbstractItemModel>
#include <QColor>
#include <QDateTime>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QSaveFile>
#include <QTextDocument>
#include <QUrl>

#include <string>
#include <string_view>

namespace varnel::office {

namespace {

[[noreturn]] void cannotWrite(const QString& path, const QString& why) {
    throw EDatabaseError(
        QStringLiteral("Файл «%1» не записан: %2.").arg(QFileInfo(path).fileName(), why));
}

// A cell after the one before it in the row, quoted as varnel-export quotes its CSV, but with
// the ';' that a Russian-locale spreadsheet splits on (a decimal comma stays inside its cell).
void appendCell(std::string& bytes, int column, const QString& text) {
    if (column)
        bytes += ';';
    const QByteArray utf8 = text.toUtf8();
    AppendDelimited(bytes, std::string_view(utf8.constData(), std::size_t(utf8.size())), ';');
}

void writeAll(QSaveFile& file, const QString& path, const std::string& bytes) {
    if (file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()))
        cannotWrite(path, file.errorString());
}

QString exportText(const QAbstractItemModel& model, int row, int column) {
    const QModelIndex index = model.index(row, column);
    const QVariant value = model.data(index, ExportRole);
    return CsvText(value.isValid() ? value : model.data(index, Qt::DisplayRole));
}

} // namespace

namespace {

// Writes the header and then the model's rows, part after part while `next` finds one.
std::int64_t writeCsv(const QAbstractItemModel& model, const QString& path,
                      const std::function<bool(int rows)>& progress,
                      const std::function<bool()>& next) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        cannotWrite(path, file.errorString());
    const int columns = model.columnCount();
    std::string bytes = "\xEF\xBB\xBF";
    for (int c = 0; c < columns; ++c)
        appendCell(bytes, c, model.headerData(c, Qt::Horizontal).toString());
    bytes += "\r\n";
    std::int64_t written = 0;
    do {
        const int rows = model.rowCount();
        for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c)
                appendCell(bytes, c, exportText(model, r, c));
            bytes += "\r\n";
            if (bytes.size() > (1 << 20)) {
                writeAll(file, path, bytes);
                bytes.clear();
            }
            if (progress && r % 1000 == 0 && !progress(r)) {
                file.cancelWriting();
                return written;
            }
        }
        written += rows;
    } while (next && next());
    writeAll(file, path, bytes);
    if (!file.commit())
        cannotWrite(path, file.errorString());
    return written;
}

} // namespace

void WriteCsv(const QAbstractItemModel& model, const QString& path,
              const std::function<bool(int rows)>& progress) {
    writeCsv(model, path, progress, {});
}

std::int64_t WriteCsvInParts(const QAbstractItemModel& model, const QString& path,
                             const std::function<bool()>& next) {
    return writeCsv(model, path, {}, next);
}

QString Html(const QString& text) {
    return text.toHtmlEscaped();
}

QString ModelHtml(const QAbstractItemModel& model, int maxRows) {
    QString html = QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>");
    const int columns = model.columnCount();
    for (int c = 0; c < columns; ++c)
        html += QStringLiteral("<th bgcolor=\"#e8e8e8\">%1</th>")
                    .arg(Html(model.headerData(c, Qt::Horizontal).toString()));
    html += QStringLiteral("</tr>");
    const int rows = model.rowCount();
    for (int r = 0; r < rows && r < maxRows; ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < columns; ++c) {
            const QModelIndex index = model.index(r, c);
            const int align = model.data(index, Qt::TextAlignmentRole).toInt();
            const bool bold = model.data(index, Qt::FontRole).value<QFont>().bold();
            QString text = Html(model.data(index, Qt::DisplayRole).toString());
            // Numbers never wrap, nor the first column that names the line.
            const bool right = align & Qt::AlignRight;
            if (right || c == 0)
                text.replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
            if (bold)
                text = QStringLiteral("<b>%1</b>").arg(text);
            QString attributes = right ? QStringLiteral(" align=\"right\"") : QString();
            const QVariant background = model.data(index, Qt::BackgroundRole);
            if (background.canConvert<QColor>() && background.value<QColor>().isValid())
                attributes +=
                    QStringLiteral(" bgcolor=\"%1\"").arg(background.value<QColor>().name());
            html += QStringLiteral("<td%1>%2</td>").arg(attributes, text);
        }
        html += QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table>");
    if (rows > maxRows)
        html +=
            QStringLiteral("<p>Показаны первые %1 строк из %2; все строки — в выгрузке CSV.</p>")
                .arg(maxRows)
                .arg(rows);
    return html;
}

QString ReportHtml(const QString& title, const QString& body) {
    return QStringLiteral("<html><head><meta charset=\"utf-8\"></head>"
                          "<body style=\"font-family: 'Liberation Sans', sans-serif; "
                          "font-size: 9pt\"><h2>%1</h2>%2"
                          "<p style=\"color:#666666\">Varnel — бэк-офис, %3</p></body></html>")
        .arg(Html(title), body,
             QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm")));
}

void PrintHtml(const QString& html, QPrinter* printer, const ReportImages& images) {
    QTextDocument document;
    for (const auto& [name, image] : images)
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    document.setHtml(html);
    document.print(printer);
}

void WritePdf(const QString& html, const QString& path, const ReportImages& images) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                      QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter));
    PrintHtml(html, &printer, images);
    if (!QFileInfo(path).exists() || QFileInfo(path).size() == 0)
        cannotWrite(path, QStringLiteral("печать в PDF не удалась"));
}

} // namespace varnel::office
