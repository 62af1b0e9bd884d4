#include "office/window/Reader.h"

#include "base/Report.h"
#include "office/window/Limits.h"
#include "server/ServerSource.h"

#include <QPointer>

namespace varnel::office {

namespace {

constexpr int kChangeDelayMs = 250; // a folder's changes of one commit come as several signals
constexpr int kBusyRetryMs = 300;   // a commit under way ends within moments
constexpr int kRetryMs = 3000;      // books that did not answer
constexpr int kPatienceMs = 400;    // how long a folder's reading waits out a commit

} // namespace

BooksReader::BooksReader(const QString& folder, const QString& conninfo, QObject* parent)
    : QObject(parent), m_folder(folder), m_conninfo(conninfo) {
    if (conninfo.isEmpty())
        m_source = std::make_shared<FolderSource>(folder, kPatienceMs);
    else
        m_source = std::make_shared<ServerSource>(conninfo);
    m_server = m_source->Server();
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1); // a server's connection stays with its thread
    m_pool.setObjectName(QStringLiteral("varnel-office-reader"));
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, &BooksReader::Read);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &BooksReader::Read);
    // Made before the first reading: a change committed while it reads is told after it.
    m_follower = m_source->Follow();
    connect(m_follower.get(), &BooksFollower::Changed, this, &BooksReader::Changed);
    connect(m_follower.get(), &BooksFollower::Lost, this,
            [this](const QString& message, bool broken) {
                m_lost = true;
                emit Failed(message, broken);
            });
}

BooksReader::~BooksReader() {
    m_follower.reset();
    m_pool.clear();
    m_pool.waitForDone();
}

bool BooksReader::Idle() const {
    return m_books && !m_reading && !m_readAgain && !m_soon.isActive() && m_census.Idle() &&
           m_check.Idle();
}

// A server's follower tells at most once in its quiet time; a folder's files tell once per
// write, and a counter taking bets one after another must not hold the views back for ever: a
// change is read within the delay of the first signal, not of the last.
void BooksReader::Changed() {
    if (OnServer())
        m_soon.start(0);
    else if (!m_soon.isActive())
        m_soon.start(kChangeDelayMs);
}

void BooksReader::Hold(bool held) {
    m_held = held;
    if (!held && m_readAgain)
        Read();
}

// One reading at a time; after a reading shown, a server reads the history's records committed
// since, and the live books only when there are any: a notice that changed nothing (anyone may
// send one) costs the window next to nothing.
void BooksReader::Read() {
    m_soon.stop();
    if (m_reading || m_held) { // a view being written out keeps the rows it shows
        m_readAgain = true;
        return;
    }
    m_reading = true;
    m_readAgain = false;
    const QString since = m_books && !m_lost ? m_mark : QString();
    const auto ended = [this] {
        m_reading = false;
        if (m_readAgain && !m_held)
            m_soon.start(0);
    };
    Ask<SourceReading>(
        this, [since](BooksSource& source) { return source.Read(since); },
        [this, ended](SourceReading reading) {
            ended();
            m_retry.stop();
            m_lost = false;
            m_state = reading.state;
            if (!reading.notice.isEmpty())
                emit Told(reading.notice);
            if (reading.books) {
                m_mark = reading.mark;
                m_books = reading.books;
                emit Shown(m_books);
                Census();
            }
            emit StateChanged();
        },
        [this, ended](SourceFailure failure) {
            ended();
            if (failure.busy) {
                emit Waiting();
                m_soon.start(kBusyRetryMs);
                return;
            }
            m_lost = true;
            emit Failed(failure.message, failure.broken);
            m_retry.start();
        });
}

// Every record of the history is looked at (whether it reads, which operator wrote it): one
// census at a time, a reading meanwhile ending in one more after it. What is shown stays until
// it is done.
void BooksReader::Census() {
    if (!m_census.Begin())
        return;
    Ask<HistoryCensus>(
        this, [](BooksSource& source) { return source.Census(); },
        [this](const HistoryCensus& census) {
            const bool again = m_census.End(true);
            m_censusError.clear();
            emit Counted(census);
            CheckChain();
            if (again)
                Census();
        },
        [this](const SourceFailure& failure) {
            m_census.End(false);
            // A server's next reading says what is wrong; a folder's history is told once.
            if (!OnServer() && failure.message != m_censusError)
                ReportError(failure.message);
            m_censusError = failure.message;
        });
}

// The chain from where the last check ended: one check at a time, a census meanwhile ending in
// one more after it. A check that fails is told by the next reading, as a census's is.
void BooksReader::CheckChain() {
    if (!m_check.Begin())
        return;
    Ask<ChainCheck>(
        this, [](BooksSource& source) { return source.CheckChain(); },
        [this](const ChainCheck& check) {
            const bool again = m_check.End(true);
            emit Checked(check);
            if (again)
                CheckChain();
        },
        [this](const SourceFailure&) { m_check.End(false); });
}

HistoryAsker BooksReader::HistoryQuestions(QObject* context) {
    if (!OnServer())
        return {};
    const QPointer<QObject> guard(context);
    return [this, guard](const HistoryQuery& query, std::optional<HistoryPage> after, int rows,
                         const QString& since, std::function<void(HistoryAnswer)> answered) {
        if (!guard)
            return;
        Ask<HistoryAnswer>(
            guard.data(),
            [query, after, rows, since](BooksSource& source) {
                HistoryAnswer answer;
                if (!since.isEmpty()) {
                    // The mark first: what commits meanwhile is found by the next look.
                    answer.snapshot = source.Mark();
                    answer.page = source.History(query, nullptr, rows, since);
                } else if (after) {
                    answer.page = source.History(query, &*after, rows);
                } else {
                    answer.snapshot = source.Mark();
                    answer.page = source.History(query, nullptr, rows);
                    // Every record: as many as the reading counted (HistoryModel).
                    if (answer.page.end)
                        answer.matching = std::int64_t(answer.page.rows.size());
                    else if (!query.filter.IsEmpty())
                        answer.matching = source.Count(query.filter);
                    if (!query.filter.client.trimmed().isEmpty())
                        answer.paid = source.PaidTo(query.filter.client);
                }
                return answer;
            },
            answered,
            [answered](const SourceFailure& failure) {
                HistoryAnswer answer;
                answer.error = failure.message;
                answered(std::move(answer));
            });
    };
}

CashView::CashAsker BooksReader::CashQuestions(QObject* context) {
    const QPointer<QObject> guard(context);
    return [this, guard](const QDate& from, const QDate& to, CashView::CashAnswer answered) {
        if (!guard)
            return;
        Ask<CashReport>(
            guard.data(), [from, to](BooksSource& source) { return source.Cash(from, to); },
            [answered](const CashReport& report) { answered(report, {}); },
            [this, answered](const SourceFailure& failure) {
                if (!OnServer()) // a server's failure is the reading's to tell
                    ReportError(failure.message);
                answered({}, failure.message);
            });
    };
}

UndoAttempt BooksReader::Undo(RecordKey record,
                              const std::function<bool(const QString&)>& confirm) {
    const UndoAttempt attempt = OnServer()
                                    ? UndoResultOnServer(m_conninfo, record, confirm)
                                    : UndoResultInFolder(m_folder, std::uint32_t(record), confirm);
    if (attempt.outcome != UndoAttempt::Outcome::Cancelled)
        Read();
    return attempt;
}

QString BooksReader::SetLimits(const Limits& limits) {
    CheckLimitsSet(limits);
    const QString refused =
        OnServer() ? SetLimitsOnServer(m_conninfo, limits) : SetLimitsInFolder(m_folder, limits);
    if (refused.isEmpty())
        Read();
    return refused;
}

QString BooksReader::LimitsHeld() const {
    return OnServer() ? QString() : LimitsHeldInFolder(m_folder);
}

} // namespace varnel::office
