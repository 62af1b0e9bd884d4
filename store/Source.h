#pragma once

#include "store/Chain.h"
#include "store/Figures.h"
#include "store/Questions.h"
#include "store/Reading.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>

namespace varnel {

struct QueryResult;

// What the books allow whoever reads them, as the last reading found it.
struct SourceState {
    bool standby = false;   // a hot standby of a server: read-only
    bool mayUndo = true;    // may undo a result and set the limits (a folder's reader may)
    QString login;          // who the reading was made as; empty in a folder
    bool ownsBooks = false; // the books' owner
};

// One reading of the live books: none (a null `books`) when, given the mark of an earlier one,
// nothing changed since; the mark of this one, for the next to say what changed after it.
struct SourceReading {
    std::shared_ptr<const Books> books;
    QString mark;
    SourceState state;
    QString notice; // what the reading did on the way that the operator is to hear of
};

// The history's chain as a check found it: whether the history carries one at all (a folder's
// may predate it), the verdict, and the records not yet sealed (a server's, of work under way).
struct ChainCheck {
    bool chained = false;
    ChainVerdict verdict;
    std::int64_t unsealed = 0;
};

// Tells of changes of the books as they come, on the thread that asked for it: the folder's
// files written, a server's commits notified.
class BooksFollower : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    // The books may have changed; several may come for one change.
    void Changed();
    // The books cannot be followed: why, and whether the way to them broke (it is tried again).
    void Lost(const QString& message, bool broken);
};

// Why a head of the history is written down at the back office's asking: its day report, the
// one reason a server takes (varnel.write_digest).
inline constexpr char kDayReportDigest[] = "отчёт за день";

// The books as the back office reads them, wherever they live: a folder's table files
// (FolderSource) or a PostgreSQL server (server/ServerSource.h). Every question but Follow runs
// on one thread of the asker's, one at a time, and may take long; each throws the EVarnelError
// of books that cannot be read (an EServerError for a server out of reach or refusing).
// History, Count, PaidTo and Cash answer from the books as the last Read found them.
class BooksSource {
public:
    virtual ~BooksSource() = default;

    // The books' server as messages name it; empty for a folder's own books.
    virtual QString Server() const = 0;
    // Made on, and telling on, the caller's thread.
    virtual std::unique_ptr<BooksFollower> Follow() = 0;

    virtual SourceReading Read(const QString& since) = 0;
    // A page of `rows` records of the query after `after` (from the first when null); with
    // `since`, the mark of an earlier reading, every record written after it.
    virtual HistoryPage History(const HistoryQuery& query, const HistoryPage* after, int rows,
                                const QString& since = {}) = 0;
    // How many records the query lets through.
    virtual std::int64_t Count(const HistoryFilter& filter) = 0;
    // What each client whose name contains the part was paid and handed back; `unreadable`
    // counts the records of those names that cannot be read, and so are in no sum.
    virtual QList<PaidToClient> PaidTo(const QString& client, int* unreadable = nullptr) = 0;
    // The mark of this moment, from which the history's records written later are found.
    virtual QString Mark() = 0;
    // The cash of the days from..to (either end open when null).
    virtual CashReport Cash(const QDate& from, const QDate& to) = 0;
    // The history's records that cannot be read and the operators it names.
    virtual HistoryCensus Census() = 0;
    // The history's chain checked, from where the last check ended, against the heads the books
    // keep (Chain.h).
    virtual ChainCheck CheckChain() = 0;
    // The head as it stands written down among the books' heads, `why` saying what for.
    virtual ChainHead WriteDigest(const QString& why) = 0;
};

// The books of a working folder: read from its files when no commit of the counter is under
// way (a journal a stopped counter left is finished first, under the folder's lock), followed
// by watching the files.
class FolderSource : public BooksSource {
public:
    explicit FolderSource(const QString& folder, int patienceMs = 400);
    ~FolderSource() override;

    QString Server() const override { return {}; }
    std::unique_ptr<BooksFollower> Follow() override;
    // Throws EBooksBusy while a commit keeps the folder's books from a whole reading. A mark is
    // the count of the history's records; `since` does not spare a reading, which costs little.
    SourceReading Read(const QString& since) override;
    HistoryPage History(const HistoryQuery& query, const HistoryPage* after, int rows,
                        const QString& since = {}) override;
    std::int64_t Count(const HistoryFilter& filter) override;
    QList<PaidToClient> PaidTo(const QString& client, int* unreadable = nullptr) override;
    QString Mark() override;
    CashReport Cash(const QDate& from, const QDate& to) override;
    // Carries on from the records looked at before, as the history is only added to; a file
    // written anew is looked at again whole.
    HistoryCensus Census() override;
    ChainCheck CheckChain() override;
    ChainHead WriteDigest(const QString& why) override;

private:
    const Books& Own();

    QString m_folder;
    int m_patienceMs;
    std::shared_ptr<const Books> m_read; // the last reading, as handed out
    std::shared_ptr<Books> m_own;        // the same, with this thread's own history file
    const QueryResult& Ordered(const HistoryQuery& query);

    // The query whose order was found last, and that order.
    struct OrderedQuery;
    std::unique_ptr<OrderedQuery> m_ordered;
    // The census so far: of which file, of how many of its records.
    QString m_countedPath;
    QByteArray m_countedFile;
    std::uint32_t m_counted = 0;
    HistoryCensus m_census;
    // Where the last check of the chain ended: the file, its head, the first record sealed,
    // and a verdict of a broken chain, kept until the file is written anew.
    QByteArray m_chainFile;
    ChainHead m_chainHead;
    std::int64_t m_sealedFrom = 0;
    std::optional<ChainVerdict> m_broken;
};

} // namespace varnel
