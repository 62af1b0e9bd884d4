#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QMainWindow;

namespace varnel::office {

class BooksReader;
class OfficeView;

// A view of the main window written out: as CSV, as PDF, printed or previewed. The history's
// CSV holds every record of its query, not only the rows the grid holds: asked of the books a
// page at a time and written on the reader's thread, the window free meanwhile. The other views
// are written as shown, the readings held meanwhile.
class ViewReports : public QObject {
    Q_OBJECT
public:
    explicit ViewReports(QMainWindow* window);

    // The books the history is asked of; none while no folder is open. A history being written
    // out of the books before is given up, its file not written.
    void SetReader(BooksReader* reader);
    // A history is being written out.
    bool Busy() const { return m_exporting; }

    // An empty path is asked of the manager.
    void ExportCsv(OfficeView* view, const QString& path = {});
    void SavePdf(OfficeView* view, const QString& path = {});
    void Print(OfficeView* view);
    void PrintPreview(OfficeView* view);

signals:
    // A history's rows written out in the background are all in the file.
    void Exported(const QString& path);

private:
    QString OfferedPath(const OfficeView& view, const QString& extension, const QString& filter);
    void ExportHistory(OfficeView* view, const QString& path);
    void Say(const QString& message, int ms = 8000);

    QMainWindow* m_window;
    BooksReader* m_reader = nullptr;
    bool m_exporting = false;
    std::shared_ptr<std::atomic<bool>> m_giveUp; // of the history being written out
    int m_generation = 0; // the reader's, as the answers of an older one are not this one's
};

} // namespace varnel::office
