#pragma once

#include "tests/support/TestSupport.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace varnel::test {

// A throwaway PostgreSQL server for one test program: a cluster in a temporary folder, run as
// the unprivileged `postgres` user when the tests run as root, reached through a private
// socket only (scripts/pg-throwaway.sh). Started by the constructor, stopped by the
// destructor; a server that does not start ends the run (the tests need it: never skipped).
class PgServer {
public:
    // How operators reach it besides the tests' socket: not at all, over TCP on 127.0.0.1 at a
    // free port of its own where every login asks for a password (scram-sha-256), or the same
    // with TLS, its certificate for 127.0.0.1 and localhost signed by a throwaway root
    // (Certificate("root.crt")); Certificate("other-root.crt") is a root that signed nothing.
    enum class Reach { Socket, Tcp, Tls };
    explicit PgServer(Reach reach = Reach::Socket);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    // A new empty database of its own for one case; its connection string.
    QString NewDatabase();
    QString Conninfo(const QString& database) const;
    // Stops the server (`immediate`: as a crash would) and starts it again.
    void Stop(const char* mode = "fast");
    void Start();

    // The database of a socket's connection string, reached over TCP as `user` (Reach::Tcp or
    // Tls): host=127.0.0.1 port=… dbname=… [user=…].
    QString OverTcp(const QString& conninfo, const QString& user) const;
    QString Certificate(const QString& name) const;
    // Where the cluster, its log and its certificates are.
    QString Folder() const;

private:
    QString Script(const QStringList& args) const;

    QString m_dir;
    Reach m_reach;
    int m_port = 0;
    int m_databases = 0;
};

// The same database reached as another login.
QString asLogin(const QString& conninfo, const QString& role);
// A new database of the server with books laid out as varnel-newdesk lays them out, and a login
// without a password in the cashiers' group for each of `cashiers`, in the managers' for each of
// `managers`; cashiers enter events and results when `cashiersSettle`.
QString booksWithOperators(PgServer& server, const QStringList& cashiers,
                           const QStringList& managers, bool cashiersSettle = false);

// A cashier's login role with a password (kept hashed by the server), in the books' cashiers'
// group, as varnel-newdesk --add-operator makes it.
void addOperator(const QString& conninfo, const QString& name, const QString& password);

// Every row a statement returns, its columns joined by '|' (psql's unaligned output). A
// statement the server refuses ends the run, unless `error` is given to hold why.
QStringList psql(const QString& conninfo, const QString& sql, QString* error = nullptr);

// A psql session of its own, started at once and running `sql` (statements in one string, as
// `psql -c` takes them) while the test goes on: another counter, or a login that holds its
// transaction open. The server knows it by `name` (application_name).
class PsqlSession {
public:
    PsqlSession(const QString& conninfo, const QString& sql,
                const QString& name = QStringLiteral("held"));
    ~PsqlSession();
    PsqlSession(const PsqlSession&) = delete;
    PsqlSession& operator=(const PsqlSession&) = delete;
    // Waits, 30 s at most, until the session sleeps in pg_sleep, as `observer` sees the server:
    // what it ran before is done and holds what it held.
    void WaitUntilAsleep(const QString& observer) const;
    // Waits for its end: the rows it printed; `refusal` what the server refused (empty: none).
    QStringList Finish(QString* refusal);

private:
    std::unique_ptr<QProcess> m_process;
    QString m_name;
};

// The test's cases run on a folder's files, then each again (but for `folderOnly`, the cases
// about the files themselves) with `current` pointing to a throwaway server for their books;
// cases named on the command line run on both.
int runOnBothHomes(QObject& test, int argc, char** argv, const QStringList& folderOnly,
                   PgServer*& current);

class BooksFixture;

// The books of one case of the books' tests (runBooksTests): a fresh folder's files, or, while
// the cases run again on a server, a fresh database of it laid out as varnel-newdesk lays it.
struct HomeBooks {
    HomeBooks();
    ~HomeBooks();
    QString conninfo; // empty on a folder
    std::unique_ptr<BooksFixture> books;
    // The file of a table as the books hold it now: the folder's own, or the server's table
    // written out at this moment as the program's own file.
    QString table(const QString& file);

private:
    std::unique_ptr<QTemporaryDir> m_snapshot;
};

// The books' tests' main: as runOnBothHomes, HomeBooks made on the server the second time.
int runBooksTests(QObject& test, int argc, char** argv, const QStringList& folderOnly);
template <typename App, typename Test>
int runBooksTests(int argc, char** argv, const QStringList& folderOnly) {
    App app(argc, argv);
    useProgramLocale();
    Test test;
    return runBooksTests(test, argc, argv, folderOnly);
}

} // namespace varnel::test
