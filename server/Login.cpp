#include "server/Login.h"

#include "server/Connection.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <libpq-fe.h>

#include <memory>

namespace varnel {

namespace {

// Held for the life of the process, read by every thread that opens a connection.
QMutex& loginsLock() {
    static QMutex lock;
    return lock;
}
QHash<QString, ServerLogin>& logins() {
    static QHash<QString, ServerLogin> held;
    return held;
}

// A value as libpq reads it between single quotes.
QString quoted(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

struct Finish {
    void operator()(PGconn* conn) const { PQfinish(conn); }
};
using Connection = std::unique_ptr<PGconn, Finish>;

// A connection made as ServerConnection makes it: the conninfo with the program's timeouts,
// and the login given instead of the conninfo's user and password.
Connection connect(const QString& conninfo, const ServerLogin& login) {
    QString text = WithTimeouts(login.user.isEmpty() ? conninfo : WithoutLogin(conninfo));
    if (!login.user.isEmpty())
        text += QStringLiteral(" user=") + quoted(login.user);
    if (!login.password.isEmpty())
        text += QStringLiteral(" password=") + quoted(login.password);
    return Connection(PQconnectdb(text.toUtf8().constData()));
}

} // namespace

QString WithoutLogin(const QString& conninfo) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        PQfreemem(error);
        return conninfo;
    }
    QStringList pairs;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        const QByteArray keyword(option->keyword);
        if (!option->val || keyword == "user" || keyword == "password")
            continue;
        pairs << QString::fromUtf8(keyword) + QLatin1Char('=') +
                     quoted(QString::fromUtf8(option->val));
    }
    PQconninfoFree(options);
    return pairs.join(QLatin1Char(' '));
}

ServerLogin HeldLogin(const QString& conninfo) {
    const QMutexLocker locked(&loginsLock());
    return logins().value(conninfo);
}

LoginNeed LoginNeeded(const QString& conninfo) {
    const Connection conn = connect(conninfo, HeldLogin(conninfo));
    LoginNeed need;
    if (!conn)
        return need;
    need.user = QString::fromUtf8(PQuser(conn.get()));
    // libpq's own word, never the text of its message: the server asked for a password and
    // neither the conninfo, ~/.pgpass nor the environment had one.
    need.password =
        PQstatus(conn.get()) == CONNECTION_BAD && PQconnectionNeedsPassword(conn.get()) == 1;
    return need;
}

QString LogIn(const QString& conninfo, const QString& user, const QString& password) {
    const ServerLogin login{user, password};
    const Connection conn = connect(conninfo, login);
    if (!conn)
        return QStringLiteral("нет памяти для соединения");
    if (PQstatus(conn.get()) != CONNECTION_OK)
        return QString::fromUtf8(PQerrorMessage(conn.get())).simplified();
    const QMutexLocker locked(&loginsLock());
    logins().insert(conninfo, login);
    return {};
}

} // namespace varnel
