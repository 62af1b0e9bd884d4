#pragma once

#include <QString>

namespace varnel::test {

// A hot standby of a throwaway server (PgServer): a base backup of the primary taken over its
// private socket (pg_basebackup -R: the standby's signal and its way back to the primary),
// started on a private socket of its own, streaming and replaying the primary's log; read-only,
// as any hot standby is. Run as the unprivileged `postgres` user when the tests run as root.
// Started by the constructor, stopped and removed by the destructor; one that does not start
// ends the run.
class PgStandby {
public:
    // `primary`: the connection string of any database of the primary.
    explicit PgStandby(const QString& primary);
    ~PgStandby();
    PgStandby(const PgStandby&) = delete;
    PgStandby& operator=(const PgStandby&) = delete;

    // The same database of the primary on the standby: its connection string.
    QString Conninfo(const QString& primaryDatabase) const;
    // Waits until the standby has replayed all the primary had written when asked; false after
    // half a minute.
    bool CaughtUp(const QString& primaryDatabase) const;
    // Makes it a primary of its own (pg_ctl promote), its books writable from then on.
    void Promote();

private:
    QString m_dir;
    QString m_primarySocket;
};

} // namespace varnel::test
