#pragma once

#include "office/books/Figures.h"
#include "store/Reading.h"

#include <QFileSystemWatcher>
#include <QFutureWatcher>
#include <QMainWindow>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QLabel;
class QPrinter;
class QTabWidget;

namespace varnel::office {

class CashView;
class HistoryView;
class ServerBooks;
class OfficeView;
class RiskView;

// The back office's main window over one working folder: the history, the day's cash and the
// risk on open events, each exported as CSV and printed or saved as PDF; a result undone from
// the history. It reads while the counter works on the folder and follows its changes. A
// folder whose varnel.conf names the books' server is read from that server, whose history is
// asked every two seconds whether another counter changed the books.
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
    const QString& Folder() const { return m_folder; }
    // The books' server the folder names, as messages name it; empty for a folder's own books.
    QString Server() const;
    // Reads the books again now; false when a commit of the counter kept it from a whole
    // reading (it is tried again shortly), or when it failed (and said why).
    bool Refresh();
    const std::shared_ptr<const Books>& CurrentBooks() const { return m_books; }
    // The history's records that cannot be read, as last counted (off the window's thread, all
    // of them, after each reading); none until the first count of the folder is done.
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

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool Read();
    void RefreshLater();
    void StartUnreadableCount();
    void UnreadableCounted();
    void MakeActions();
    void UpdateActions();
    void UpdateTitle();
    void Watch();
    bool FinishInterruptedWork();
    void FilesChanged();
    bool ReadServer();
    void Show(const std::shared_ptr<const Books>& books);
    void Poll();
    void ServerLost(const EServerError& error);
    QString OfferedPath(const QString& extension, const QString& filter);

    QString m_folder;
    std::shared_ptr<const Books> m_books;
    QTabWidget* m_views;
    HistoryView* m_history;
    CashView* m_cash;
    RiskView* m_risk;
    QLabel* m_state;
    QLabel* m_unreadable; // the history's records that cannot be read, when there are any
    QFutureWatcher<UnreadableCount> m_counting;
    std::shared_ptr<std::atomic<bool>> m_countCancel;
    int m_countGeneration = 0;
    std::optional<std::uint32_t> m_unreadableCount;
    QFileSystemWatcher m_watcher;
    QTimer m_refresh;
    std::unique_ptr<ServerBooks> m_server; // the folder's books are a server's
    QTimer m_poll;
    bool m_lost = false;    // the server did not answer the last question, or refused it
    QString m_refusal;      // the server's refusal last reported
    QStringList m_problems; // as last reported
    bool m_holding = false; // no new reading while the views are written out
    QAction* m_undo = nullptr;
    QList<QAction*> m_viewActions;
};

} // namespace varnel::office
