#include "office/window/Reports.h"

#include "base/Report.h"
#include "office/window/Export.h"
#include "office/window/HistoryView.h"
#include "office/window/Reader.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStatusBar>

namespace varnel::office {

namespace {

constexpr int kExportPageRows = 5000;

} // namespace

ViewReports::ViewReports(QMainWindow* window) : QObject(window), m_window(window) {}

void ViewReports::SetReader(BooksReader* reader) {
    if (m_giveUp)
        m_giveUp->store(true);
    m_reader = reader;
    m_exporting = false;
    ++m_generation;
}

void ViewReports::Say(const QString& message, int ms) {
    m_window->statusBar()->showMessage(message, ms);
}

QString ViewReports::OfferedPath(const OfficeView& view, const QString& extension,
                                 const QString& filter) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString start = QDir(documents.isEmpty() ? QDir::homePath() : documents)
                              .filePath(view.FileStem() + QLatin1Char('.') + extension);
    QString path =
        QFileDialog::getSaveFileName(m_window, QStringLiteral("Сохранить как"), start, filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + extension;
    return path;
}

void ViewReports::ExportCsv(OfficeView* view, const QString& given) {
    const QString path =
        given.isEmpty() ? OfferedPath(*view, QStringLiteral("csv"), QStringLiteral("CSV (*.csv)"))
                        : given;
    if (path.isEmpty())
        return;
    if (qobject_cast<HistoryView*>(view) && m_reader) {
        ExportHistory(view, path);
        return;
    }
    const QAbstractItemModel& model = *view->ExportModel();
    if (m_reader)
        m_reader->Hold(true); // the rows written stay as they are
    const auto held = qScopeGuard([reader = m_reader] {
        if (reader)
            reader->Hold(false);
    });
    QProgressDialog progress(QStringLiteral("Выгрузка в CSV…"), QStringLiteral("Прервать"), 0,
                             model.rowCount(), m_window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    RunHandler([&] {
        WriteCsv(model, path, [&](int rows) {
            progress.setValue(rows);
            return !progress.wasCanceled();
        });
        Say(progress.wasCanceled() ? QStringLiteral("Выгрузка прервана, файл не записан")
                                   : QStringLiteral("Выгружено строк: %1 в «%2»")
                                         .arg(model.rowCount())
                                         .arg(QDir::toNativeSeparators(path)));
    });
}

void ViewReports::ExportHistory(OfficeView* view, const QString& path) {
    Say(QStringLiteral("Выгрузка истории в «%1»…").arg(QDir::toNativeSeparators(path)), 0);
    const HistoryQuery query = static_cast<HistoryView*>(view)->Model()->Query();
    m_exporting = true;
    const int generation = m_generation;
    m_giveUp = std::make_shared<std::atomic<bool>>(false);
    m_reader->Ask<std::int64_t>(
        this,
        [query, path, giveUp = m_giveUp](BooksSource& source) {
            HistoryModel page;
            std::optional<HistoryPage> after;
            return WriteCsvInParts(page, path, [&] {
                if (giveUp->load()) // another folder opened: nothing is left of the file
                    throw EDatabaseError(QStringLiteral("Выгрузка истории прервана."));
                if (after && after->end)
                    return false;
                HistoryPage next =
                    source.History(query, after ? &*after : nullptr, kExportPageRows);
                const bool any = !next.rows.empty();
                page.ShowRows(std::move(next.rows));
                next.rows.clear();
                after = std::move(next);
                return any;
            });
        },
        [this, path, generation](std::int64_t rows) {
            if (generation != m_generation)
                return;
            m_exporting = false;
            Say(QStringLiteral("Выгружено строк: %1 в «%2»")
                    .arg(rows)
                    .arg(QDir::toNativeSeparators(path)));
            emit Exported(path);
        },
        [this, generation](const SourceFailure& failure) {
            if (generation != m_generation)
                return;
            m_exporting = false;
            m_window->statusBar()->clearMessage();
            ReportError(failure.message);
        });
}

void ViewReports::SavePdf(OfficeView* view, const QString& given) {
    const QString path =
        given.isEmpty() ? OfferedPath(*view, QStringLiteral("pdf"), QStringLiteral("PDF (*.pdf)"))
                        : given;
    if (path.isEmpty())
        return;
    RunHandler([&] {
        WritePdf(view->Report(), path, view->ReportImages());
        Say(QStringLiteral("Отчёт сохранён в «%1»").arg(QDir::toNativeSeparators(path)));
    });
}

void ViewReports::Print(OfficeView* view) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintDialog dialog(&printer, m_window);
    dialog.setWindowTitle(QStringLiteral("Печать: %1").arg(view->Title()));
    if (dialog.exec() == QDialog::Accepted)
        PrintHtml(view->Report(), &printer, view->ReportImages());
}

void ViewReports::PrintPreview(OfficeView* view) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    QPrintPreviewDialog preview(&printer, m_window);
    preview.setObjectName(QStringLiteral("PrintPreview"));
    preview.setWindowTitle(QStringLiteral("Просмотр: %1").arg(view->Title()));
    const QString html = view->Report();
    const ReportImages images = view->ReportImages();
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [&](QPrinter* target) { RunHandler([&] { PrintHtml(html, target, images); }); });
    preview.resize(1000, 760);
    preview.exec();
}

} // namespace varnel::office
