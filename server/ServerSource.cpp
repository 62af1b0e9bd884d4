#include "server/ServerSource.h"

#include "server/Connection.h"
#include "server/Follower.h"
#include "server/Questions.h"
#include "server/Seals.h"

namespace varnel {

ServerSource::ServerSource(const QString& conninfo) : m_conninfo(conninfo) {}

ServerSource::~ServerSource() = default;

QString ServerSource::Server() const {
    return DescribeServer(m_conninfo);
}

ServerConnection& ServerSource::Connection() {
    if (!m_connection)
        m_connection = std::make_unique<ServerConnection>(m_conninfo);
    return *m_connection;
}

std::unique_ptr<BooksFollower> ServerSource::Follow() {
    return std::make_unique<ServerFollower>(m_conninfo);
}

SourceReading ServerSource::Read(const QString& since) {
    ServerReading reading = ServerQuestions(Connection()).Read(since);
    SourceState state;
    state.standby = reading.state.standby;
    state.mayUndo = reading.state.mayUndo;
    state.login = reading.state.login;
    state.ownsBooks = reading.state.ownsBooks;
    return {std::move(reading.books), reading.snapshot, state, {}};
}

HistoryPage ServerSource::History(const HistoryQuery& query, const HistoryPage* after, int rows,
                                  const QString& since) {
    return ServerQuestions(Connection()).History(query, after, rows, since);
}

std::int64_t ServerSource::Count(const HistoryFilter& filter) {
    return ServerQuestions(Connection()).Count(filter);
}

QList<PaidToClient> ServerSource::PaidTo(const QString& client, int* unreadable) {
    if (unreadable)
        *unreadable = 0;
    return ServerQuestions(Connection()).PaidTo(client);
}

QString ServerSource::Mark() {
    return ServerQuestions(Connection()).Snapshot();
}

CashReport ServerSource::Cash(const QDate& from, const QDate& to) {
    return ServerQuestions(Connection()).Cash(from, to);
}

ChainCheck ServerSource::CheckChain() {
    ServerConnection& server = Connection();
    ChainCheck check;
    check.chained = true;
    if (m_broken) {
        check.verdict = *m_broken;
        return check;
    }
    QList<ChainHead> digests;
    for (ServerRows row = server.Exec(QStringLiteral("select records, head from varnel.digests"));
         row.Next();)
        digests.append({row.Value(0).toLongLong(), row.Value(1).toString().toLatin1()});
    check.verdict = CheckServerChain(server, digests, m_chainHead, &check.unsealed);
    if (check.verdict.Whole())
        m_chainHead = check.verdict.head;
    else
        m_broken = check.verdict;
    return check;
}

ChainHead ServerSource::WriteDigest(const QString& why) {
    return varnel::WriteDigest(Connection(), why);
}

HistoryCensus ServerSource::Census() {
    HistoryCensus census;
    census.operators = ServerQuestions(Connection()).Operators();
    return census;
}

} // namespace varnel
