#include "store/Source.h"

#include "store/DataModule6.h"
#include "store/HistoryQuery.h"
#include "store/HistoryScan.h"
#include "store/InFolder.h"
#include "store/Tables.h"
#include "store/engine/FolderLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <algorithm>

#include <sys/stat.h>

namespace varnel {

namespace {

// The file behind a path, told apart from another put in its place under the same name.
QByteArray fileIdentity(const QString& path) {
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return QByteArray::number(qulonglong(status.st_dev)) + ':' +
           QByteArray::number(qulonglong(status.st_ino));
}

// The folder tells of a journal coming and going and of a table replaced; the files, of writes
// in place. A file that was replaced is watched anew.
class FolderFollower : public BooksFollower {
public:
    explicit FolderFollower(const QString& folder) : m_folder(folder) {
        connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { Tell(); });
        connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { Tell(); });
        Watch();
    }

private:
    void Tell() {
        Watch();
        emit Changed();
    }
    void Watch() {
        QStringList paths{m_folder};
        const QDir dir(m_folder);
        for (const QString& name : TableFileNames())
            if (QFileInfo::exists(dir.filePath(name)))
                paths << dir.filePath(name);
        const QStringList watched = m_watcher.files() + m_watcher.directories();
        QStringList missing;
        for (const QString& path : paths)
            if (!watched.contains(path))
                missing << path;
        if (!missing.isEmpty())
            m_watcher.addPaths(missing);
    }

    QString m_folder;
    QFileSystemWatcher m_watcher;
};

const std::atomic<bool> kNever{false};

} // namespace

struct FolderSource::OrderedQuery {
    HistoryQuery query;
    std::uint32_t count = 0;
    QueryResult result;
};

FolderSource::FolderSource(const QString& folder, int patienceMs)
    : m_folder(folder), m_patienceMs(patienceMs) {}

FolderSource::~FolderSource() = default;

std::unique_ptr<BooksFollower> FolderSource::Follow() {
    return std::make_unique<FolderFollower>(m_folder);
}

// A journal that stays while nobody holds the folder is the work of a counter that was stopped
// mid-commit: nobody would ever finish it, and the reading would wait for ever. It is finished
// (or dropped) as the counter's start would, under the folder's lock; a counter that holds the
// lock is committing, and its reading waits.
SourceReading FolderSource::Read(const QString&) {
    QString notice;
    std::shared_ptr<const Books> read;
    try {
        read = ReadBooks(m_folder, m_patienceMs);
    } catch (const EBooksBusy&) {
        if (!TDataModule6::HasInterruptedWork(m_folder))
            throw;
        FolderLock lock;
        if (!lock.TryLock(m_folder))
            throw;
        {
            const InFolder here(m_folder);
            TDataModule6 books;
            books.FinishInterruptedWork();
        }
        lock.Unlock();
        notice = QStringLiteral("Операция, прерванная при остановке кассы, доведена до конца");
        read = ReadBooks(m_folder, m_patienceMs);
    }
    // The risk summed here, off the window's thread, as a server sums it.
    auto books = std::make_shared<Books>(*read);
    books->summed = SummedBooks{books->bets.size(), books->payouts.size(), ComputeRisk(*books)};
    m_read = books;
    m_own.reset();
    m_ordered.reset();
    return {books, QString::number(books->historyCount), SourceState{}, notice};
}

// The reading's books with a history file of this thread's own: the one handed out is read on
// the window's thread, and a file caches what it read.
const Books& FolderSource::Own() {
    if (!m_read)
        throw EDatabaseError(QStringLiteral("Книги папки «%1» ещё не прочитаны.")
                                 .arg(QDir::toNativeSeparators(m_folder)));
    if (!m_own) {
        m_own = std::make_shared<Books>(*m_read);
        if (m_own->history)
            m_own->history = std::make_shared<THistoryFile>(m_own->historyPath);
    }
    return *m_own;
}

// The records the query lets through in its order, over the reading's history: the last query's
// kept, for its next pages.
const QueryResult& FolderSource::Ordered(const HistoryQuery& query) {
    const Books& books = Own();
    if (!m_ordered || !(m_ordered->query == query) || m_ordered->count != books.historyCount) {
        QueryResult result = RunHistoryQuery(books.historyPath, books.historyCount, query, kNever);
        if (!result.error.isEmpty()) {
            m_ordered.reset();
            throw EDatabaseError(result.error);
        }
        m_ordered = std::make_unique<OrderedQuery>(
            OrderedQuery{query, books.historyCount, std::move(result)});
    }
    return m_ordered->result;
}

HistoryPage FolderSource::History(const HistoryQuery& query, const HistoryPage* after, int rows,
                                  const QString& since) {
    const Books& books = Own();
    HistoryPage page;
    if (!books.history) {
        page.end = true;
        return page;
    }
    const QueryResult& ordered = Ordered(query);
    const std::size_t total = ordered.all ? books.historyCount : ordered.rows.size();
    const bool oldestFirst = query.order == Qt::AscendingOrder;
    const auto recordAt = [&](std::size_t place) -> std::uint32_t {
        if (!ordered.all)
            return ordered.rows[place];
        return oldestFirst ? std::uint32_t(place) : std::uint32_t(total - 1 - place);
    };
    // A page of the folder starts at its place in the order; `since`, at the records counted
    // by an earlier reading's mark.
    std::size_t place = after ? after->lastSort.toULongLong() : 0;
    const std::uint32_t firstNew = since.isEmpty() ? 0 : since.toUInt();
    const THistoryFile& file = *books.history;
    const QList<int> columns = HistoryColumnIndexes(file);
    for (; place < total && (!since.isEmpty() || int(page.rows.size()) < rows); ++place) {
        const std::uint32_t record = recordAt(place);
        if (record < firstNew)
            continue;
        HistoryRow row{record, {}};
        try { // a record that cannot be read is left blank, as the grid exports it
            row.values = DecodeHistoryRecord(file, file.Record(record), columns);
        } catch (const EVarnelError&) {
            row.values.resize(columns.size());
        }
        page.rows.push_back(std::move(row));
    }
    page.lastSort = QString::number(place);
    page.lastKey = page.rows.empty() ? -1 : page.rows.back().key;
    page.end = place >= total;
    return page;
}

std::int64_t FolderSource::Count(const HistoryFilter& filter) {
    const Books& books = Own();
    if (!books.history)
        return 0;
    // The query whose pages are asked, when it is this filter's: its order does not change a count.
    const QueryResult& result = Ordered(
        m_ordered && m_ordered->query.filter == filter ? m_ordered->query : HistoryQuery{filter});
    return result.all ? std::int64_t(books.historyCount) : std::int64_t(result.rows.size());
}

QList<PaidToClient> FolderSource::PaidTo(const QString& client, int* unreadable) {
    const Books& books = Own();
    if (!books.history || client.trimmed().isEmpty())
        return {};
    HistoryQuery query;
    query.filter.client = client;
    const QueryResult& result =
        Ordered(m_ordered && m_ordered->query.filter.client == client ? m_ordered->query : query);
    if (unreadable)
        *unreadable = result.unreadable;
    return result.paid; // what each is owed, the reading's payouts tell
}

QString FolderSource::Mark() {
    return m_read ? QString::number(m_read->historyCount) : QString();
}

CashReport FolderSource::Cash(const QDate& from, const QDate& to) {
    return ComputeCash(Own(), from, to);
}

ChainCheck FolderSource::CheckChain() {
    const Books& books = Own();
    if (!books.history) {
        m_chainFile.clear();
        return {};
    }
    const QString& path = books.historyPath;
    const QByteArray file = path.toUtf8() + '|' + fileIdentity(path);
    if (file != m_chainFile || books.historyCount < m_chainHead.records) {
        m_chainFile = file;
        m_chainHead = {};
        m_sealedFrom = 0;
        m_broken.reset();
    }
    ChainCheck check;
    check.chained = books.history->ColumnOf(fields::HASH) >= 0;
    if (m_broken) {
        check.verdict = *m_broken;
        return check;
    }
    check.verdict = CheckFolderChain(path, FolderDigests(m_folder), m_chainHead, m_sealedFrom,
                                     books.historyCount);
    if (check.verdict.Whole()) {
        m_chainHead = check.verdict.head;
        m_sealedFrom = check.verdict.sealedFrom;
    } else {
        m_broken = check.verdict;
    }
    // A history with the field carries a chain once its first record is sealed, or from the
    // start when it has no record yet.
    check.chained = check.chained && (!check.verdict.Whole() || check.verdict.sealedFrom > 0 ||
                                      check.verdict.head.records == 0);
    return check;
}

ChainHead FolderSource::WriteDigest(const QString& why) {
    const ChainCheck check = CheckChain();
    if (!check.verdict.Whole())
        throw EDatabaseError(check.verdict.Said());
    WriteFolderDigest(m_folder, check.verdict.head, why);
    return check.verdict.head;
}

HistoryCensus FolderSource::Census() {
    const Books& books = Own();
    if (!books.history) {
        m_countedPath.clear();
        m_counted = 0;
        m_census = {};
        return {};
    }
    const QString& path = books.historyPath;
    const QByteArray file = fileIdentity(path);
    if (file.isEmpty() || path != m_countedPath || file != m_countedFile ||
        books.historyCount < m_counted) {
        m_countedPath = path;
        m_countedFile = file;
        m_counted = 0;
        m_census = {};
    }
    if (books.historyCount > m_counted) {
        HistoryCensus later = TakeCensus(path, m_counted, books.historyCount, kNever);
        if (!later.error.isEmpty())
            throw EDatabaseError(later.error);
        if (fileIdentity(path) != file) { // written anew meanwhile: looked at whole next time
            m_countedPath.clear();
            return m_census;
        }
        m_census.Add(later);
        m_counted = books.historyCount;
    }
    return m_census;
}

} // namespace varnel
