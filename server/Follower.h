#pragma once

#include "store/Source.h"

#include <QString>
#include <QThread>

namespace varnel {

// Tells a window that shows the books on a server when they change, from a connection of its
// own on a thread of its own, idle between its short questions (never inside a transaction).
// On a primary server it listens on the books' channel, which the server notifies at the
// commit of every change of the books; on a hot standby, where LISTEN is refused, it asks every
// second how far the standby has replayed the primary's log. The connection is asked a cheap
// question every few seconds, and looked at as soon as its socket stirs, so that a lost one is
// found: it is made anew, listened on again, and told as a change, since what was committed
// meanwhile was never notified to it.
class ServerFollower : public BooksFollower {
    Q_OBJECT
public:
    explicit ServerFollower(const QString& conninfo, QObject* parent = nullptr);
    // Waits for the thread: for as long as a question to the server may take.
    ~ServerFollower() override;

    // How often the connection is asked whether it is there, and how often a standby is asked
    // what it has replayed.
    static constexpr int kCheckMs = 2000;
    static constexpr int kReplayCheckMs = 1000;
    // Changed comes at most once in this time, whatever the server notifies.
    static constexpr int kQuietMs = 100;
    // Changed: a commit was notified, the standby replayed more, or the connection was made
    // (anew). Lost: the server cannot be reached, or refused the questions (tried again at every
    // check).

private:
    QThread m_thread;
};

} // namespace varnel
