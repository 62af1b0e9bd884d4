#include "office/window/Export.h"

#include "base/Errors.h"
#include "office/books/Format.h"
#include "store/Csv.h"

#include <QAbstractItemModel>
#include <QAbstractTextDocumentLayout>
#include <QColor>
#include <QDateTime>
#include <QFileInfo>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
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

QString KeptTogether(const QString& html) {
    // A table the document reads as a plain frame: the one thing of a report it lays out as a
    // box whose place on the pages can be told and moved.
    return QStringLiteral("<table style=\"-qt-table-type: frame\" border=\"0\" width=\"100%\">"
                          "<tr><td>%1</td></tr></table>")
        .arg(html);
}

namespace {

// Inside the printer's own margins, as the reports have always had them.
constexpr qreal kPageMarginCm = 2;

// Whether a part of the document begins on one page and ends on another. The layout places in
// 64ths of a pixel: a part a page break moved may begin a hair above that page.
bool straddles(const QTextDocument& document, QTextFrame* frame) {
    const QRectF box = document.documentLayout()->frameBoundingRect(frame);
    const qreal page = document.pageSize().height();
    return int((box.top() + 1) / page) != int((box.bottom() - 1) / page);
}

// Each part kept together that the foot of a page would cut starts the next page instead; one
// longer than a page is left where it was, as starting it on a page of its own would gain nothing.
void keepPartsTogether(QTextDocument& document) {
    for (QTextFrame* frame : document.rootFrame()->childFrames()) {
        if (qobject_cast<QTextTable*>(frame) || !straddles(document, frame))
            continue;
        QTextFrameFormat format = frame->frameFormat();
        format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
        frame->setFrameFormat(format);
        if (straddles(document, frame)) {
            format.setPageBreakPolicy(QTextFormat::PageBreak_Auto);
            frame->setFrameFormat(format);
        }
    }
}

// The pages the document was laid out on, those of the printer's range (all when none is
// chosen), each with its number under it in the bottom margin.
void paintPages(const QTextDocument& document, QPrinter* printer, const QPointF& margin) {
    QPainter painter(printer);
    if (!painter.isActive())
        return; // a PDF not written is told by its missing file
    const QSizeF body = document.pageSize();
    const QPageRanges ranges = printer->pageRanges();
    const int count = document.pageCount();
    int first = ranges.firstPage(), last = ranges.lastPage();
    if (first == 0 && last == 0) {
        first = 1;
        last = count;
    }
    first = std::max(first, 1);
    last = std::min(last, count);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette.setColor(QPalette::Text, Qt::black); // whatever the desktop's colours
    painter.setFont(document.defaultFont());
    bool painted = false;
    for (int page = first; page <= last; ++page) {
        if (!ranges.isEmpty() && !ranges.contains(page))
            continue;
        if (painted && !printer->newPage())
            return;
        painted = true;
        const qreal top = (page - 1) * body.height();
        painter.save();
        painter.translate(margin.x(), margin.y() - top);
        context.clip = QRectF(0, top, body.width(), body.height());
        painter.setClipRect(context.clip);
        document.documentLayout()->draw(&painter, context);
        painter.restore();
        painter.drawText(QRectF(margin.x(), margin.y() + body.height(), body.width(), margin.y()),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(page));
    }
}

} // namespace

void PrintHtml(const QString& html, QPrinter* printer, const ReportImages& images) {
    QTextDocument document;
    for (const auto& [name, image] : images)
        document.addResource(QTextDocument::ImageResource, QUrl(name), image);
    document.setHtml(html);
    // Laid out on the printer's pages here, not by QTextDocument::print, so that where each part
    // falls is known before a page is painted. A page too small for the margins goes without.
    document.documentLayout()->setPaintDevice(printer);
    document.setDocumentMargin(0);
    QPointF margin(kPageMarginCm / 2.54 * printer->logicalDpiX(),
                   kPageMarginCm / 2.54 * printer->logicalDpiY());
    if (printer->width() < 4 * margin.x() || printer->height() < 4 * margin.y())
        margin = {};
    document.setPageSize(
        QSizeF(printer->width() - 2 * margin.x(), printer->height() - 2 * margin.y()));
    keepPartsTogether(document);
    paintPages(document, printer, margin);
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
