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

namespace varnel {
class ServerFollower;
}

namespace varnel::office {

class CashView;
class HistoryView;
class ServerBooks;
class OfficeView;
class RiskView;

// The back office's main window over one working folder: the history, the day's cash and the
// risk on open events, each exported as CSV and printed or saved as PDF; a result undone from
// the history. It reads while the counter works on the folder and follows its changes. A
// folder whose varnel.conf names the books' server is read from that server, and read again
// whenever the server tells of a change committed at any counter (ServerFollower); a hot
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
    const QString& Folder() const { return m_folder; }
    // The books' server the folder names, as messages name it; empty for a folder's own books.
    QString Server() const;
    // Whether the books are read from a hot standby (read-only: no undo there), and whether
    // the undo of a result is offered (a folder's books; a server's to a manager).
    bool OnStandby() const;
    bool UndoOffered() const;
    // Reads the books again now; false when a commit of the counter kept it from a whole
    // reading (it is tried again shortly), or when it failed (and said why).
    bool Refresh();
    const std::shared_ptr<const Books>& CurrentBooks() const { return m_books; }
    // Whether the views show the last reading whole: books read, and no question to the books'
    // server under way.
    bool Settled() const;
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
    void EditLimits();

signals:
    // A view's rows written out in the background (a server's history) are all in the file.
    void Exported(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool Read();
    void RefreshLater();
    void StartCensus();
    void CensusTaken();
    void ShowCensus();
    void MakeActions();
    void UpdateActions();
    void UpdateTitle();
    void Watch();
    bool FinishInterruptedWork();
    void FilesChanged();
    bool ReadServer();
    void Show(const std::shared_ptr<const Books>& books);
    void ServerChanged();
    void FollowerLost(const QString& message, bool broken);
    void ServerLost(const EServerError& error);
    void ShowServerState();
    QString OfferedPath(const QString& extension, const QString& filter);
    void ExportServerHistory(const QString& path);

    QString m_folder;
    std::shared_ptr<const Books> m_books;
    QTabWidget* m_views;
    HistoryView* m_history;
    CashView* m_cash;
    RiskView* m_risk;
    QLabel* m_state;
    QLabel* m_unreadable; // the history's records that cannot be read, when there are any
    // The census of the history shown: of which file (its path, and the file itself, told
    // apart from one written anew in its place) and of how many of its records.
    struct Counted {
        QString path;
        QByteArray file;
        std::uint32_t records = 0;
        HistoryCensus census;
    };
    Counted m_counted;
    QFutureWatcher<HistoryCensus> m_census; // of the records after m_counted's
    std::shared_ptr<std::atomic<bool>> m_countCancel;
    std::shared_ptr<std::atomic<bool>> m_countMoved; // the file was replaced under the census
    int m_countGeneration = 0;
    bool m_countAgain = false; // the history grew while its census ran
    std::optional<std::uint32_t> m_unreadableCount;
    QFileSystemWatcher m_watcher;
    QTimer m_refresh;
    std::unique_ptr<ServerBooks> m_server; // the folder's books are a server's
    std::unique_ptr<ServerFollower> m_follower;
    QTimer m_retry;           // a reading of the server that failed, tried again
    QLabel* m_banner;         // what the server allows, when it is not everything
    QLabel* m_operator;       // who the office works as on the server
    bool m_lost = false;      // the server did not answer the last question, or refused it
    QString m_refusal;        // the server's refusal last reported
    QStringList m_problems;   // as last reported
    bool m_holding = false;   // no new reading while the views are written out
    bool m_reading = false;   // a look at the server is under way
    bool m_readAgain = false; // and another is to follow it
    int m_serverGeneration = 0;
    QString m_snapshot; // the server's at the reading shown
    bool m_exporting = false;
    QAction* m_undo = nullptr;
    QAction* m_limits = nullptr;
    QList<QAction*> m_viewActions;
};

} // namespace varnel::office
