#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace varnel::test {

// A throwaway PostgreSQL server for one test program: a cluster in a temporary folder, run as
// the unprivileged `postgres` user when the tests run as root, reached through a private
// socket only (scripts/pg-throwaway.sh). Started by the constructor, stopped by the
// destructor; a server that does not start ends the run (the tests need it: never skipped).
class PgServer {
public:
    PgServer();
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // A new empty database of its own for one case; its connection string.
    QString NewDatabase();
    QString Conninfo(const QString& database) const;
    // Stops the server (`immediate`: as a crash would) and starts it again.
    void Stop(const char* mode = "fast");
    void Start();

private:
    QString Script(const QStringList& args) const;

    QString m_dir;
    int m_databases = 0;
};

// Every row a statement returns, its columns joined by '|' (psql's unaligned output). A
// statement the server refuses ends the run, unless `error` is given to hold why.
QStringList psql(const QString& conninfo, const QString& sql, QString* error = nullptr);

} // namespace varnel::test
