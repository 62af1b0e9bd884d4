#pragma once

#include "store/Questions.h"
#include "store/Reading.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace varnel {

class ServerConnection;

// What the server said of itself and of the login at a reading.
struct ServerState {
    bool standby = false;   // a hot standby: read-only
    bool mayUndo = false;   // a manager, or the books' owner
    QString login;          // who the reading was made as
    bool ownsBooks = false; // the books' owner
};

// The live books as one reading on a server finds them (one REPEATABLE READ transaction): the
// events, bets, payouts and limits, the count of the history (asked of it a page at a time,
// ServerQuestions::History), and the snapshot of that moment, from which the history's records
// committed later are found whatever their keys.
struct ServerReading {
    std::shared_ptr<Books> books;
    ServerState state;
    QString snapshot; // pg_current_snapshot() as text
};

// The back office's questions to the books on a server, each answered by the server: the
// history filtered and sorted there and read a page at a time in the order shown (keyset pages:
// each starts after the last row of the one before), the figures summed there. Nothing is
// copied into files. On the caller's connection and thread; every call throws the EServerError
// of a server that does not answer or refuses.
class ServerQuestions {
public:
    explicit ServerQuestions(ServerConnection& server) : m_server(server) {}

    // With `since`, the snapshot of an earlier reading: none of the live books (a null `books`)
    // when the history has no record committed since, as every change of the books writes one.
    ServerReading Read(const QString& since = {});
    // The page of `rows` records of the query after `after` (from the first when null). With
    // `since`, a snapshot of an earlier reading, only the records committed after it, all of
    // them: what a look at the server after a notice adds.
    HistoryPage History(const HistoryQuery& query, const HistoryPage* after, int rows,
                        const QString& since = {});
    // How many records the query lets through.
    std::int64_t Count(const HistoryFilter& filter);
    // The snapshot of this moment, as text.
    QString Snapshot();
    // What each client whose name contains the part was paid and handed back.
    QList<PaidToClient> PaidTo(const QString& client);
    // The cash of the days from..to (either end open when null), summed by the server.
    CashReport Cash(const QDate& from, const QDate& to);
    // The operators the history names, sorted.
    QStringList Operators();

private:
    ServerConnection& m_server;
};

} // namespace varnel
