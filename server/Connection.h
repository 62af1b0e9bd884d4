#pragma once

#include "base/Errors.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

struct pg_conn;
struct pg_result;

namespace varnel {

// How long a call to the books' server may wait: to connect, for a lock held by another
// counter, and how long the server keeps a transaction that went idle (a counter whose cable
// was pulled) before it ends it and drops its locks.
inline constexpr int kConnectTimeoutSeconds = 10;
inline constexpr int kLockTimeoutMs = 5000;
inline constexpr int kIdleInTransactionMs = 30000;

// libpq's connection string of a folder's varnel.conf, as the user wrote it, with what the
// program adds for a counter (timeouts, keepalives) unless the string sets them itself.
QString WithTimeouts(const QString& conninfo);
// The server as a message names it: host (or socket folder), port and database, never a
// password.
QString DescribeServer(const QString& conninfo);
// The program's own text as an SQL literal, for statements it writes (the books' kinds, its
// messages); a value from outside travels bound, never written into a statement.
QString SqlLiteral(const QString& text);

// The SQLSTATE of a refusal by the books' rules that the server's own guard raises (a class
// of the program's own): its message is the rule's, thrown as ERuleRefused as the operation's
// own refusal would be, without the server's name before it.
inline constexpr char kRuleRefusedState[] = "VR001";
// The server's own operations refuse so an event that is no longer in the books (EEventGone),
// and a bet at a coefficient that is no longer the event's, the event's own the message
// (ECoefficientChanged).
inline constexpr char kEventGoneState[] = "VR002";
inline constexpr char kCoefficientChangedState[] = "VR003";

// The rows a statement returned, read one after another: positioned before the first. A
// column's value comes as its type reads in Qt: a boolean, an integer, a double (numeric too),
// a date, a time stamp, bytes; anything else as text.
class ServerRows {
public:
    ServerRows() = default;
    explicit ServerRows(pg_result* result); // takes it
    bool Next();
    QVariant Value(int column) const;
    bool IsNull(int column) const;
    int Size() const;     // the rows
    int Affected() const; // the rows an insert, update or delete changed

private:
    std::shared_ptr<pg_result> m_result;
    int m_row = -1;
};

// One connection to the books' server, for the thread that made it. Every statement runs
// through Exec, which throws an EServerError naming the server and the reason. Outside a
// transaction only readings run, and one that finds the connection broken reconnects once,
// silently; inside one, a break stops the work (the server drops the transaction).
class ServerConnection {
public:
    explicit ServerConnection(const QString& conninfo);
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    const QString& Conninfo() const { return m_conninfo; }
    QString Server() const { return DescribeServer(m_conninfo); }

    // Runs a statement with its values bound in order ($1, $2, …, written as ?): they travel
    // apart from the statement's text, never written into it.
    ServerRows Exec(const QString& sql, const QVariantList& values = {});
    // The last statement of a transaction begun, with its COMMIT in the same round trip. A
    // refusal leaves the transaction to be rolled back; a break with no answer to the statement
    // leaves the outcome unknown, as a break while committing does.
    ServerRows Finish(const QString& sql, const QVariantList& values);
    // The rows of a query as COPY's text writes them, a line each (its columns apart by tabs,
    // \N for NULL, a backslash before a tab, a newline or a backslash in a value), to `each`:
    // a million rows in the time Exec takes for a few thousand. The query's text is the
    // program's own; its values are bound.
    void CopyOut(const QString& query, const std::function<void(const char* line, int size)>& each);
    // The first column of the first row, or a null QVariant when there is none.
    QVariant Value(const QString& sql, const QVariantList& values = {});

    // A password hashed as the server stores it (its password_encryption), for `role`: the
    // password itself never goes to the server, nor into its log.
    QByteArray HashPassword(const QString& role, const QString& password);

    void Begin();
    // A break while committing leaves the outcome unknown (EServerError::Unknown).
    void Commit();
    void Rollback() noexcept;
    bool InTransaction() const { return m_inTransaction; }

    // A seam for the tests of breaks: told of each statement before it goes to the server
    // ("begin" and "commit" too), with the process id of the server's backend on this
    // connection, so that a test can cut the connection or stop the server right there; and of
    // a commit's answer as "commit answered", where returning true loses that answer (the
    // commit then fails as a break would, its outcome unknown). Never set in the program.
    using StatementObserver = std::function<bool(const QString& statement, int backend)>;
    static void Observe(StatementObserver observer);

    // For LISTEN: the connection's socket (-1 before it is made), and the channels notified
    // since the last asking, as they came (EServerError when the connection is found broken).
    int Socket() const;
    QStringList Notified();

private:
    bool Observed(const QString& statement);

    void Open();
    void SendBegin();
    // The answer to COMMIT: the transaction ended, or a failure whose outcome is not known.
    void Committed(const pg_result* answer);
    void Close() noexcept;
    // Runs once; a null result is libpq's own failure (no answer).
    pg_result* Run(const QString& sql, const QVariantList& values);
    // Names `sql` prepared on this connection (preparing it now if need be); the server's
    // refusal to prepare it, when it refuses.
    pg_result* Prepare(const QString& sql, QByteArray& name);
    [[noreturn]] void Fail(const QString& what, const pg_result* result, bool committing = false);
    bool Broken() const;
    bool Broken(const QString& state) const;

    QString m_conninfo;
    pg_conn* m_conn = nullptr;
    bool m_inTransaction = false;
    bool m_begun = false;    // the transaction's BEGIN has gone to the server
    bool m_finished = false; // by Finish: the transaction's Commit has nothing left to do
    QHash<QString, QByteArray> m_prepared; // the names of the statements prepared, by their text
};

// A transaction of one connection: rolled back unless committed.
class ServerTransaction {
public:
    explicit ServerTransaction(ServerConnection& connection) : m_connection(connection) {
        m_connection.Begin();
    }
    ~ServerTransaction() {
        if (m_connection.InTransaction())
            m_connection.Rollback();
    }
    ServerTransaction(const ServerTransaction&) = delete;
    ServerTransaction& operator=(const ServerTransaction&) = delete;
    void Commit() { m_connection.Commit(); }

private:
    ServerConnection& m_connection;
};

} // namespace varnel
