#include "server/Connection.h"

#include "server/Login.h"
#include "store/Rules.h"

#include <QAtomicInteger>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QStringList>

#include <libpq-fe.h>

namespace varnel {

namespace {

// libpq's keyword = value pairs; a value may be single-quoted, with \' and \\ inside.
QList<QPair<QString, QString>> pairsOf(const QString& conninfo) {
    QList<QPair<QString, QString>> pairs;
    qsizetype i = 0;
    const qsizetype n = conninfo.size();
    const auto skipBlanks = [&] {
        while (i < n && conninfo.at(i).isSpace())
            ++i;
    };
    while (true) {
        skipBlanks();
        if (i >= n)
            break;
        QString key;
        while (i < n && conninfo.at(i) != QLatin1Char('=') && !conninfo.at(i).isSpace())
            key += conninfo.at(i++);
        skipBlanks();
        if (i < n && conninfo.at(i) == QLatin1Char('='))
            ++i;
        skipBlanks();
        QString value;
        if (i < n && conninfo.at(i) == QLatin1Char('\'')) {
            ++i;
            while (i < n && conninfo.at(i) != QLatin1Char('\'')) {
                if (conninfo.at(i) == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                value += conninfo.at(i++);
            }
            ++i;
        } else {
            while (i < n && !conninfo.at(i).isSpace())
                value += conninfo.at(i++);
        }
        pairs.append({key.toLower(), value});
    }
    return pairs;
}

// A value as a conninfo writes it: single-quoted, with \' and \\ inside.
QString connQuoted(const QString& value) {
    QString text = value;
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + text + QLatin1Char('\'');
}

bool isUri(const QString& conninfo) {
    return conninfo.startsWith(QLatin1String("postgresql://")) ||
           conninfo.startsWith(QLatin1String("postgres://"));
}

QString valueOf(const QString& conninfo, const QString& key) {
    for (const auto& [k, v] : pairsOf(conninfo))
        if (k == key)
            return v;
    return {};
}

bool sets(const QString& conninfo, const QString& key) {
    if (isUri(conninfo))
        return conninfo.contains(key + QLatin1Char('='));
    for (const auto& pair : pairsOf(conninfo))
        if (pair.first == key)
            return true;
    return false;
}

PGconn* handleOf(const QSqlDatabase& db) {
    if (!db.isValid() || !db.driver())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    // The driver's handle is libpq's connection (PGconn is struct pg_conn).
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn* const*>(handle.data());
}

} // namespace

QString WithTimeouts(const QString& conninfo) {
    const QList<QPair<QString, QString>> added = {
        {QStringLiteral("connect_timeout"), QString::number(kConnectTimeoutSeconds)},
        {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QStringLiteral("10")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("5")},
        {QStringLiteral("keepalives_count"), QStringLiteral("3")},
        {QStringLiteral("tcp_user_timeout"), QStringLiteral("15000")},
    };
    QString result = conninfo.trimmed();
    bool first = isUri(result) && !result.contains(QLatin1Char('?'));
    for (const auto& [key, value] : added) {
        if (sets(result, key))
            continue;
        if (isUri(result)) {
            result +=
                (first ? QLatin1Char('?') : QLatin1Char('&')) + key + QLatin1Char('=') + value;
            first = false;
        } else {
            result += QLatin1Char(' ') + key + QLatin1Char('=') + value;
        }
    }
    return result;
}

QString DescribeServer(const QString& conninfo) {
    if (isUri(conninfo)) {
        QString shown = conninfo.section(QLatin1Char('?'), 0, 0);
        // user:password@ shows as user@
        const qsizetype at = shown.indexOf(QLatin1Char('@'));
        const qsizetype scheme = shown.indexOf(QLatin1String("://")) + 3;
        if (at > scheme) {
            const qsizetype colon = shown.indexOf(QLatin1Char(':'), scheme);
            if (colon >= 0 && colon < at)
                shown.remove(colon, at - colon);
        }
        return shown;
    }
    const auto env = [](const char* name) { return qEnvironmentVariable(name); };
    QString host = valueOf(conninfo, QStringLiteral("host"));
    if (host.isEmpty())
        host = valueOf(conninfo, QStringLiteral("hostaddr"));
    if (host.isEmpty())
        host = env("PGHOST");
    if (host.isEmpty())
        host = QStringLiteral("localhost");
    QString port = valueOf(conninfo, QStringLiteral("port"));
    if (port.isEmpty())
        port = env("PGPORT");
    if (port.isEmpty())
        port = QStringLiteral("5432"); // libpq's own default
    QString db = valueOf(conninfo, QStringLiteral("dbname"));
    if (db.isEmpty())
        db = env("PGDATABASE");
    QString shown = host;
    if (!port.isEmpty())
        shown += QLatin1Char(':') + port;
    if (!db.isEmpty())
        shown += QLatin1Char('/') + db;
    return shown;
}

namespace {
ServerConnection::StatementObserver& observer() {
    static ServerConnection::StatementObserver observer;
    return observer;
}
} // namespace

void ServerConnection::Observe(StatementObserver observer) {
    ::varnel::observer() = std::move(observer);
}

bool ServerConnection::Observed(const QString& statement) {
    if (!observer())
        return false;
    PGconn* conn = handleOf(m_db);
    return observer()(statement, conn ? PQbackendPID(conn) : 0);
}

ServerConnection::ServerConnection(const QString& conninfo) : m_conninfo(conninfo) {
    static QAtomicInteger<quint64> counter;
    m_name = QStringLiteral("varnel-server-%1").arg(counter.fetchAndAddRelaxed(1));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    if (!m_db.isValid())
        throw EServerError(QStringLiteral("Нет драйвера PostgreSQL для Qt (пакет libqt6sql6-psql): "
                                          "книги на сервере «%1» недоступны.")
                               .arg(Server()),
                           false);
    // Connected at the first statement: a server that is down stops that statement, with
    // its message, not the making of the tables over it.
}

ServerConnection::~ServerConnection() {
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_name);
}

void ServerConnection::Open() {
    m_prepared.clear(); // they go with the connection
    m_db.close();
    m_inTransaction = false;
    // An operator who logged in replaces the conninfo's user.
    const ServerLogin login = HeldLogin(m_conninfo);
    const QString conninfo =
        WithTimeouts(login.user.isEmpty() ? m_conninfo : WithoutLogin(m_conninfo));
    // The driver reads its connect options with ';' as a blank, but quotes the host, the port,
    // the database, the user and the password it is given itself: each value libpq takes
    // reaches it as written. libpq reads the conninfo (a URI too) into its values first.
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.toUtf8().constData(), &error);
    if (!options) {
        const QString reason = QString::fromUtf8(error).simplified();
        PQfreemem(error);
        throw EServerError(QStringLiteral("Строка соединения с сервером книг «%1» неверна: %2")
                               .arg(Server(), reason),
                           false);
    }
    m_db.setHostName({});
    m_db.setPort(-1);
    m_db.setDatabaseName({});
    m_db.setUserName({});
    m_db.setPassword({});
    QStringList rest;
    QString session;
    QString unsafe;
    for (const PQconninfoOption* option = options; option->keyword; ++option) {
        if (!option->val)
            continue;
        const QByteArray keyword(option->keyword);
        const QString value = QString::fromUtf8(option->val);
        bool number = false;
        if (keyword == "host")
            m_db.setHostName(value);
        else if (keyword == "port" && (value.toInt(&number), number))
            m_db.setPort(value.toInt());
        else if (keyword == "dbname")
            m_db.setDatabaseName(value);
        else if (keyword == "user")
            m_db.setUserName(value);
        else if (keyword == "password")
            m_db.setPassword(value);
        else if (keyword == "options")
            session = value;
        else if (value.contains(QLatin1Char(';')))
            unsafe = QString::fromUtf8(keyword);
        else
            rest << QString::fromUtf8(keyword) + QLatin1Char('=') + connQuoted(value);
    }
    PQconninfoFree(options);
    if (!unsafe.isEmpty())
        throw EServerError(QStringLiteral("Строка соединения с сервером книг «%1»: значение "
                                          "ключа %2 с точкой с запятой не поддерживается.")
                               .arg(Server(), unsafe),
                           false);
    if (!login.user.isEmpty()) {
        m_db.setUserName(login.user);
        m_db.setPassword(login.password);
    }
    // The session's settings, fixed when it starts whatever the role's or the database's own
    // are (the driver escapes what it writes as standard_conforming_strings says then): a lock
    // wait that ends with a message, a transaction left idle (a counter gone without a word)
    // ended by the server and its locks dropped, the books' schema first.
    session += QStringLiteral(" -c standard_conforming_strings=on -c search_path=varnel,public "
                              "-c lock_timeout=%1 -c idle_in_transaction_session_timeout=%2")
                   .arg(kLockTimeoutMs)
                   .arg(kIdleInTransactionMs);
    rest << QStringLiteral("options=") + connQuoted(session.trimmed());
    m_db.setConnectOptions(rest.join(QLatin1Char(' ')));
    if (!m_db.open()) {
        QString reason = m_db.lastError().databaseText().simplified();
        if (reason.isEmpty())
            reason = m_db.lastError().text().simplified();
        throw EServerError(QStringLiteral("Сервер книг «%1» недоступен: %2 Ничего не записано; "
                                          "повторите действие, когда сервер будет доступен.")
                               .arg(Server(), reason),
                           true);
    }
}

QByteArray ServerConnection::HashPassword(const QString& role, const QString& password) {
    Value(QStringLiteral("select 1")); // connected, to ask the server which hash it keeps
    char* hashed = PQencryptPasswordConn(handleOf(m_db), password.toUtf8().constData(),
                                         role.toUtf8().constData(), nullptr);
    if (!hashed)
        throw EServerError(
            QStringLiteral("Сервер книг «%1»: пароль не зашифрован: %2")
                .arg(Server(), QString::fromUtf8(PQerrorMessage(handleOf(m_db))).simplified()),
            false);
    const QByteArray result(hashed);
    PQfreemem(hashed);
    return result;
}

bool ServerConnection::Broken() const {
    PGconn* conn = handleOf(m_db);
    return !m_db.isOpen() || !conn || PQstatus(conn) != CONNECTION_OK;
}

bool ServerConnection::Broken(const QSqlError& error) const {
    // The server's word that it ends the session: a connection exception, shut down by an
    // administrator or a crash, or a transaction left idle too long; libpq may not yet have
    // seen the socket close. A failure with no SQLSTATE at all had no answer from the server.
    const QString code = error.nativeErrorCode();
    return Broken() || code.isEmpty() || code.startsWith(QLatin1String("08")) ||
           code == QLatin1String("57P01") || code == QLatin1String("57P02") ||
           code == QLatin1String("57P03") || code == QLatin1String("25P03");
}

void ServerConnection::Fail(const QString& what, const QSqlError& error, bool committing) {
    const bool broken = Broken(error);
    if (broken)
        m_inTransaction = false;
    const QString code = error.nativeErrorCode();
    // The server's words (or libpq's), without the driver's "(SQLSTATE)" after them.
    QString reason = error.databaseText().trimmed();
    if (reason.isEmpty())
        reason = error.text().trimmed();
    reason.remove(QRegularExpression(QStringLiteral("\\s*\\([0-9A-Z]{0,5}\\)\\s*$")));
    // Of a refusal, what the server says: not its severity, nor where in the server's own
    // functions it was raised.
    reason.remove(QRegularExpression(QStringLiteral("^(ERROR|FATAL|ОШИБКА|ВАЖНО):\\s*")));
    reason.remove(QRegularExpression(QStringLiteral("\\s*(CONTEXT|КОНТЕКСТ):.*$"),
                                     QRegularExpression::DotMatchesEverythingOption));
    // Runs of the line's own white space made one space; a no-break space (in money the rules
    // show) kept.
    reason =
        reason.replace(QRegularExpression(QStringLiteral("[ \\t\\r\\n]+")), QStringLiteral(" "))
            .trimmed();
    qWarning("books' server: %s: %s", qPrintable(what), qPrintable(reason));
    if (code == QLatin1String(kRuleRefusedState))
        throw ERuleRefused(reason);
    if (code == QLatin1String(kEventGoneState))
        throw EEventGone();
    if (code == QLatin1String(kCoefficientChangedState))
        throw ECoefficientChanged(reason.isEmpty() ? Variant() : Variant(reason.toDouble()));
    if (code == QLatin1String("55P03"))
        throw EServerError(QStringLiteral("Сервер книг «%1»: запись занята другой кассой дольше "
                                          "%2 с. Повторите действие.")
                               .arg(Server())
                               .arg(kLockTimeoutMs / 1000),
                           false);
    if (broken)
        throw EServerError(
            committing
                ? QStringLiteral("Связь с сервером книг «%1» прервана, когда действие "
                                 "записывалось: %2. Записано ли оно, станет известно при "
                                 "повторе.")
                      .arg(Server(), reason)
                : QStringLiteral("Связь с сервером книг «%1» прервана: %2. Ничего не записано; "
                                 "повторите действие, когда сервер будет доступен.")
                      .arg(Server(), reason),
            true, committing);
    throw EServerError(QStringLiteral("Сервер книг «%1» отказал: %2").arg(Server(), reason), false);
}

QSqlQuery ServerConnection::Exec(const QString& sql, const QVariantList& values) {
    const bool alone = !m_inTransaction;
    if (alone && Broken())
        Open();
    // A statement with values is prepared once per connection and then executed with its
    // values written out, one round trip a call and its plan reused: the driver's own prepare
    // would prepare, execute and drop it every time.
    const auto run = [&](QSqlQuery& query) {
        query.setForwardOnly(true);
        if (values.isEmpty())
            return query.exec(sql);
        QString name = m_prepared.value(sql);
        if (name.isEmpty()) {
            name = QStringLiteral("varnel_%1").arg(m_prepared.size() + 1);
            QString numbered;
            int mark = 0;
            for (const QChar c : sql)
                numbered += c == QLatin1Char('?') ? QStringLiteral("$%1").arg(++mark) : QString(c);
            if (!query.exec(QStringLiteral("prepare %1 as %2").arg(name, numbered)))
                return false;
            m_prepared.insert(sql, name);
        }
        QStringList written;
        for (const QVariant& value : values) {
            QSqlField field(QString(), value.metaType());
            field.setValue(value);
            written << m_db.driver()->formatValue(field);
        }
        return query.exec(QStringLiteral("execute %1 (%2)").arg(name, written.join(',')));
    };
    Observed(sql);
    QSqlQuery query(m_db);
    if (run(query))
        return query;
    // A connection the server ended while idle is found broken only by the next statement:
    // outside a transaction (a reading, or the start of one) it is asked once more anew.
    if (alone && Broken(query.lastError())) {
        Open();
        QSqlQuery again(m_db);
        if (run(again))
            return again;
        Fail(sql.simplified().left(60), again.lastError());
    }
    Fail(sql.simplified().left(60), query.lastError());
}

QVariant ServerConnection::Value(const QString& sql, const QVariantList& values) {
    QSqlQuery query = Exec(sql, values);
    return query.next() ? query.value(0) : QVariant();
}

void ServerConnection::Begin() {
    if (Broken())
        Open();
    Observed(QStringLiteral("begin"));
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("begin"))) {
        if (!Broken(query.lastError()))
            Fail(QStringLiteral("begin"), query.lastError());
        Open(); // a break found before the work began: once more on a new connection
        if (!query.exec(QStringLiteral("begin")))
            Fail(QStringLiteral("begin"), query.lastError());
    }
    m_inTransaction = true;
}

void ServerConnection::Commit() {
    Observed(QStringLiteral("commit"));
    QSqlQuery query(m_db);
    if (!query.exec(QStringLiteral("commit")))
        Fail(QStringLiteral("commit"), query.lastError(), true);
    if (Observed(QStringLiteral("commit answered")))
        Fail(QStringLiteral("commit"),
             QSqlError(QStringLiteral("the answer to COMMIT was lost"), {},
                       QSqlError::ConnectionError),
             true);
    m_inTransaction = false;
}

void ServerConnection::Rollback() noexcept {
    m_inTransaction = false;
    if (Broken())
        return;
    QSqlQuery query(m_db);
    query.exec(QStringLiteral("rollback"));
}

} // namespace varnel
