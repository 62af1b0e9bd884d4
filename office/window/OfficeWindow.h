#pragma once

#include "store/Reading.h"

#include <QMainWindow>

#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QTabWidget;

namespace varnel {
struct ChainCheck;
struct HistoryCensus;
} // namespace varnel

namespace varnel::office {

class CashView;
class HistoryView;
class BooksReader;
class OfficeView;
class RiskView;
class ViewReports;

// The back office's main window over one working folder: the history, the day's cash and the
// risk on open events, each exported as CSV and printed or saved as PDF; a result undone from
// the history. The books are read (BooksReader) while the counters work on them, from the
// folder's files or from the server its varnel.conf names, and read again as they change; a hot
// standby is read as it replays, for viewing only. A result is undone only where the books
// allow it: in a folder, and on a server by a manager (on the primary, not on a standby).
class OfficeWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit OfficeWindow(QWidget* parent = nullptr);
    ~OfficeWindow() override;

    // The folder to open at start: the one named, else the current directory when it holds
    // the books, else the last one opened; empty when none of these will do.
    static QString StartFolder(const QStringList& arguments);

    // Opens a working folder; false (and says why) when it holds no books, neither its own
    // nor a server's.
    bool OpenFolder(const QString& folder);
    QString Folder() const;
    // The books' server the folder names, as messages name it; empty for a folder's own books.
    QString Server() const;
    // Whether the books are read from a hot standby (read-only: no undo there), and whether
    // the undo of a result is offered (a folder's books; a server's to a manager).
    bool OnStandby() const;
    bool UndoOffered() const;
    // Reads the books again: now, or after the reading under way; false with no folder open.
    bool Refresh();
    const std::shared_ptr<const Books>& CurrentBooks() const;
    // Whether the views show the last reading whole: books read, and no question to the books
    // under way.
    bool Settled() const;
    // The history's records that cannot be read, as last counted (off the window's thread, all
    // of them, after each reading); none until the first count is done.
    std::optional<std::uint32_t> UnreadableRecords() const { return m_unreadableCount; }

    HistoryView* History() const { return m_history; }
    CashView* Cash() const { return m_cash; }
    RiskView* Risk() const { return m_risk; }
    OfficeView* CurrentView() const;
    void ShowView(int index);

    // The window's commands, for the menus, the tool bar and the tests.
    void ChooseFolder();
    void ExportCsv(const QString& path = {});
    void SavePdf(const QString& path = {});
    void Print();
    void PrintPreview();
    void UndoResult();
    void EditLimits();

signals:
    // The history's rows written out in the background are all in the file.
    void Exported(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void MakeActions();
    void UpdateActions();
    void UpdateTitle();
    void Show(const std::shared_ptr<const Books>& books);
    void ShowCensus(const HistoryCensus& census);
    void ShowChain(const ChainCheck& check);
    void KeepHeadOfReport();
    void ShowServerState();
    void ReadingFailed(const QString& message, bool broken);

    std::unique_ptr<BooksReader> m_reader;
    QTabWidget* m_views;
    HistoryView* m_history;
    CashView* m_cash;
    RiskView* m_risk;
    QLabel* m_state;
    QLabel* m_unreadable; // the history's records that cannot be read, when there are any
    QLabel* m_banner;     // what the server allows, when it is not everything
    QLabel* m_operator;   // who the office works as on the server
    std::optional<std::uint32_t> m_unreadableCount;
    QString m_refusal;      // the refusal last reported
    QStringList m_problems; // as last reported
    ViewReports* m_reports;
    QLabel* m_chain; // whether the history's chain is whole, as last checked
    QAction* m_undo = nullptr;
    QAction* m_limits = nullptr;
    QList<QAction*> m_viewActions;
};

} // namespace varnel::office
