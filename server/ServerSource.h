#pragma once

#include "store/Source.h"

#include <memory>

namespace varnel {

class ServerConnection;

// The books on a PostgreSQL server as the back office reads them: every question is the
// server's (ServerQuestions), on a connection made at the first of them, on the thread that asks
// them; changes followed by a ServerFollower. A mark is the server's snapshot of a reading.
class ServerSource : public BooksSource {
public:
    explicit ServerSource(const QString& conninfo);
    ~ServerSource() override;

    QString Server() const override;
    std::unique_ptr<BooksFollower> Follow() override;
    SourceReading Read(const QString& since) override;
    HistoryPage History(const HistoryQuery& query, const HistoryPage* after, int rows,
                        const QString& since = {}) override;
    std::int64_t Count(const HistoryFilter& filter) override;
    QList<PaidToClient> PaidTo(const QString& client, int* unreadable = nullptr) override;
    QString Mark() override;
    CashReport Cash(const QDate& from, const QDate& to) override;
    // The server's values are of their types: none unreadable. Its operators, by its index.
    HistoryCensus Census() override;
    // Sealed first, then checked from where the last check ended, against varnel.digests.
    ChainCheck CheckChain() override;
    ChainHead WriteDigest(const QString& why) override;

private:
    ServerConnection& Connection();

    QString m_conninfo;
    std::unique_ptr<ServerConnection> m_connection;
    ChainHead m_chainHead;
    std::optional<ChainVerdict> m_broken;
};

} // namespace varnel
