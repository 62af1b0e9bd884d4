#include "server/Connection.h"

#include "server/Login.h"
#include "store/Rules.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>
#include <QUuid>

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

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

// A value as a statement's parameter takes it, in text; null for SQL's NULL.
std::optional<QByteArray> parameter(const QVariant& value) {
    if (value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return QByteArray(value.toBool() ? "true" : "false");
    case QMetaType::Double:
    case QMetaType::Float: {
        // The shortest text that reads back as the same double.
        const double real = value.toDouble();
        if (std::isnan(real))
            return QByteArray("NaN");
        if (std::isinf(real))
            return QByteArray(real > 0 ? "Infinity" : "-Infinity");
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, real);
        return QByteArray(text, written.ptr - text);
    }
    case QMetaType::QDate:
        if (!value.toDate().isValid())
            return std::nullopt;
        return value.toDate().toString(Qt::ISODate).toLatin1();
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs).toLatin1();
    case QMetaType::QUuid:
        return value.toUuid().toByteArray(QUuid::WithoutBraces);
    case QMetaType::QByteArray:
        return value.toByteArray();
    default:
        return value.toString().toUtf8();
    }
}

} // namespace

ServerRows::ServerRows(PGresult* result) : m_result(result, PQclear) {}

bool ServerRows::Next() {
    if (m_row < Size())
        ++m_row;
    return m_row < Size();
}

int ServerRows::Size() const {
    return m_result ? PQntuples(m_result.get()) : 0;
}

int ServerRows::Affected() const {
    return m_result ? QByteArray(PQcmdTuples(m_result.get())).toInt() : 0;
}

bool ServerRows::IsNull(int column) const {
    return !m_result || m_row < 0 || m_row >= Size() || column >= PQnfields(m_result.get()) ||
           PQgetisnull(m_result.get(), m_row, column);
}

QVariant ServerRows::Value(int column) const {
    if (IsNull(column))
        return {};
    const char* text = PQgetvalue(m_result.get(), m_row, column);
    const int length = PQgetlength(m_result.get(), m_row, column);
    // By the type's oid, fixed in PostgreSQL.
    switch (PQftype(m_result.get(), column)) {
    case 16: // boolean
        return QVariant(text[0] == 't');
    case 20: // bigint
        return QVariant(qlonglong(QByteArray(text, length).toLongLong()));
    case 21: // smallint
    case 23: // integer
    case 26: // oid
        return QVariant(QByteArray(text, length).toInt());
    case 700:    // real
    case 701:    // double precision
    case 1700: { // numeric
        double real = 0;
        const char* begin = text;
        if (*begin == '+')
            ++begin;
        std::from_chars(begin, text + length, real);
        return QVariant(real);
    }
    case 1082: // date
        return QVariant(QDate::fromString(QString::fromLatin1(text, length), Qt::ISODate));
    case 1114:   // timestamp
    case 1184: { // timestamp with time zone: "2026-12-08 23:18:20.5+03"
        QString stamp =
            QString::fromLatin1(text, length).replace(QLatin1Char(' '), QLatin1Char('T'));
        if (QRegularExpression(QStringLiteral("[+-]\\d\\d$")).match(stamp).hasMatch())
            stamp += QStringLiteral(":00");
        return QVariant(QDateTime::fromString(stamp, Qt::ISODateWithMs));
    }
    case 17: // bytea, as hex
        return QVariant(QByteArray::fromHex(QByteArray(text, length).mid(2)));
    default:
        return QVariant(QString::fromUtf8(text, length));
    }
}

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

QString SqlLiteral(const QString& text) {
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
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
    return observer()(statement, m_conn ? PQbackendPID(m_conn) : 0);
}

ServerConnection::ServerConnection(const QString& conninfo) : m_conninfo(conninfo) {
    // Connected at the first statement: a server that is down stops that statement, with
    // its message, not the making of the tables over it.
}

ServerConnection::~ServerConnection() {
    Close();
}

void ServerConnection::Close() noexcept {
    if (m_conn)
        PQfinish(m_conn);
    m_conn = nullptr;
}

void ServerConnection::Open() {
    m_prepared.clear(); // they go with the connection
    Close();
    m_inTransaction = false;
    // An operator who logged in replaces the conninfo's user. libpq reads the conninfo (a URI
    // too) itself, whatever its values hold; what follows it overrides it.
    const ServerLogin login = HeldLogin(m_conninfo);
    const QByteArray conninfo =
        WithTimeouts(login.user.isEmpty() ? m_conninfo : WithoutLogin(m_conninfo)).toUtf8();
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.constData(), &error);
    if (!options) {
        const QString reason = QString::fromUtf8(error).simplified();
        PQfreemem(error);
        throw EServerError(QStringLiteral("Строка соединения с сервером книг «%1» неверна: %2")
                               .arg(Server(), reason),
                           false);
    }
    QByteArray session;
    for (const PQconninfoOption* option = options; option->keyword; ++option)
        if (option->val && qstrcmp(option->keyword, "options") == 0)
            session = option->val;
    PQconninfoFree(options);
    // The session's settings, fixed when it starts whatever the role's or the database's own
    // are: text as written, dates in ISO form, doubles in full; a lock wait that ends with a
    // message, a transaction left idle (a counter gone without a word) ended by the server and
    // its locks dropped, the books' schema first.
    session += QStringLiteral(" -c standard_conforming_strings=on -c DateStyle=ISO "
                              "-c extra_float_digits=1 -c search_path=varnel,public "
                              "-c lock_timeout=%1 -c idle_in_transaction_session_timeout=%2")
                   .arg(kLockTimeoutMs)
                   .arg(kIdleInTransactionMs)
                   .toUtf8();
    const QByteArray user = login.user.toUtf8();
    const QByteArray password = login.password.toUtf8();
    QList<const char*> keywords{"dbname", "options", "client_encoding"};
    QList<const char*> values{conninfo.constData(), session.constData(), "UTF8"};
    if (!login.user.isEmpty()) {
        keywords << "user"
                 << "password";
        values << user.constData() << password.constData();
    }
    keywords << nullptr;
    values << nullptr;
    m_conn = PQconnectdbParams(keywords.constData(), values.constData(), 1);
    if (PQstatus(m_conn) != CONNECTION_OK) {
        const QString reason = QString::fromUtf8(PQerrorMessage(m_conn)).simplified();
        Close();
        throw EServerError(QStringLiteral("Сервер книг «%1» недоступен: %2 Ничего не записано; "
                                          "повторите действие, когда сервер будет доступен.")
                               .arg(Server(), reason),
                           true);
    }
    // The server's notices ("… does not exist, skipping") are no one's business at a counter:
    // libpq would print them on the standard error.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
}

QByteArray ServerConnection::HashPassword(const QString& role, const QString& password) {
    Value(QStringLiteral("select 1")); // connected, to ask the server which hash it keeps
    char* hashed = PQencryptPasswordConn(m_conn, password.toUtf8().constData(),
                                         role.toUtf8().constData(), nullptr);
    if (!hashed)
        throw EServerError(
            QStringLiteral("Сервер книг «%1»: пароль не зашифрован: %2")
                .arg(Server(), QString::fromUtf8(PQerrorMessage(m_conn)).simplified()),
            false);
    const QByteArray result(hashed);
    PQfreemem(hashed);
    return result;
}

bool ServerConnection::Broken() const {
    return !m_conn || PQstatus(m_conn) != CONNECTION_OK;
}

bool ServerConnection::Broken(const QString& state) const {
    // The server's word that it ends the session: a connection exception, shut down by an
    // administrator or a crash, or a transaction left idle too long; libpq may not yet have
    // seen the socket close. A failure with no SQLSTATE at all had no answer from the server.
    return Broken() || state.isEmpty() || state.startsWith(QLatin1String("08")) ||
           state == QLatin1String("57P01") || state == QLatin1String("57P02") ||
           state == QLatin1String("57P03") || state == QLatin1String("25P03");
}

void ServerConnection::Fail(const QString& what, const PGresult* result, bool committing) {
    const QString code =
        result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
    const bool broken = Broken(code);
    if (broken) {
        m_inTransaction = false;
        m_begun = false;
    }
    // The server's words, or libpq's when no answer came.
    QString reason = QString::fromUtf8(result ? PQresultErrorMessage(result) : "").trimmed();
    if (reason.isEmpty())
        reason = QString::fromUtf8(m_conn ? PQerrorMessage(m_conn) : "").trimmed();
    if (reason.isEmpty())
        reason = QStringLiteral("ответ сервера не получен");
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

namespace {
// A statement's values as libpq takes them: texts, and pointers to them (null for NULL).
struct Parameters {
    explicit Parameters(const QVariantList& values) {
        texts.reserve(values.size());
        pointers.reserve(values.size());
        for (const QVariant& value : values) {
            texts.push_back(parameter(value));
            pointers.push_back(texts.back() ? texts.back()->constData() : nullptr);
        }
    }
    int Count() const { return int(pointers.size()); }
    std::vector<std::optional<QByteArray>> texts;
    std::vector<const char*> pointers;
};
} // namespace

PGresult* ServerConnection::Prepare(const QString& sql, QByteArray& name) {
    // Prepared once per connection, then executed with its values: one round trip a call, its
    // plan reused.
    name = m_prepared.value(sql);
    if (!name.isEmpty())
        return nullptr;
    const QByteArray candidate = "varnel_" + QByteArray::number(m_prepared.size() + 1);
    QString numbered;
    int mark = 0;
    for (const QChar c : sql)
        numbered += c == QLatin1Char('?') ? QStringLiteral("$%1").arg(++mark) : QString(c);
    PGresult* prepared =
        PQprepare(m_conn, candidate.constData(), numbered.toUtf8().constData(), 0, nullptr);
    if (PQresultStatus(prepared) != PGRES_COMMAND_OK)
        return prepared;
    PQclear(prepared);
    m_prepared.insert(sql, candidate);
    name = candidate;
    return nullptr;
}

PGresult* ServerConnection::Run(const QString& sql, const QVariantList& values) {
    if (values.isEmpty())
        return PQexec(m_conn, sql.toUtf8().constData());
    QByteArray name;
    if (PGresult* refused = Prepare(sql, name))
        return refused;
    const Parameters parameters(values);
    return PQexecPrepared(m_conn, name.constData(), parameters.Count(), parameters.pointers.data(),
                          nullptr, nullptr, 0);
}

namespace {
bool succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}
QString stateOf(const PGresult* result) {
    return result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString();
}
} // namespace

ServerRows ServerConnection::Exec(const QString& sql, const QVariantList& values) {
    if (m_inTransaction && !m_begun)
        SendBegin();
    const bool alone = !m_inTransaction;
    if (alone && Broken())
        Open();
    Observed(sql);
    PGresult* result = Run(sql, values);
    const ServerRows rows(result); // frees it, however this ends
    if (succeeded(result))
        return rows;
    // A connection the server ended while idle is found broken only by the next statement:
    // outside a transaction (a reading, or the start of one) it is asked once more anew.
    if (alone && Broken(stateOf(result))) {
        Open();
        PGresult* again = Run(sql, values);
        const ServerRows second(again);
        if (succeeded(again))
            return second;
        Fail(sql.simplified().left(60), again);
    }
    Fail(sql.simplified().left(60), result);
}

void ServerConnection::CopyOut(const QString& query,
                               const std::function<void(const char*, int)>& each) {
    if (m_inTransaction && !m_begun)
        SendBegin();
    if (!m_inTransaction && Broken())
        Open();
    const QString sql = QStringLiteral("copy (%1) to stdout").arg(query);
    Observed(sql);
    const QByteArray text = sql.toUtf8();
    PGresult* start = PQexec(m_conn, text.constData());
    const ServerRows started(start); // frees it
    if (PQresultStatus(start) != PGRES_COPY_OUT)
        Fail(sql.simplified().left(60), start);
    char* line = nullptr;
    int size = 0;
    while ((size = PQgetCopyData(m_conn, &line, 0)) > 0) {
        try {
            each(line, line[size - 1] == '\n' ? size - 1 : size);
        } catch (...) {
            PQfreemem(line);
            while (PQgetCopyData(m_conn, &line, 0) > 0) // the rest read off and dropped
                PQfreemem(line);
            while (PGresult* rest = PQgetResult(m_conn))
                PQclear(rest);
            throw;
        }
        PQfreemem(line);
    }
    PGresult* end = PQgetResult(m_conn);
    const ServerRows ended(end);
    while (PGresult* rest = PQgetResult(m_conn))
        PQclear(rest);
    if (size == -2 || !succeeded(end))
        Fail(sql.simplified().left(60), end);
}

ServerRows ServerConnection::Finish(const QString& sql, const QVariantList& values) {
    // The transaction's BEGIN (when nothing went before), the statement and the COMMIT go
    // together (libpq's pipeline): one round trip, and what the statement locks is let go as
    // soon as the server has done.
    const bool begin = !m_begun;
    if (begin) {
        Observed(QStringLiteral("begin"));
        // A session the server ended while the counter stood idle is found here, before
        // anything is sent, and made anew.
        if (m_conn)
            PQconsumeInput(m_conn);
        if (Broken())
            Open();
    }
    Observed(sql);
    QByteArray name;
    if (PGresult* refused = Prepare(sql, name)) {
        const ServerRows freed(refused);
        Fail(sql.simplified().left(60), refused);
    }
    const Parameters parameters(values);
    if (!PQenterPipelineMode(m_conn))
        Fail(sql.simplified().left(60), nullptr);
    const auto command = [this](const char* text) {
        return PQsendQueryParams(m_conn, text, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    };
    bool sent = (!begin || command("begin")) &&
                PQsendQueryPrepared(m_conn, name.constData(), parameters.Count(),
                                    parameters.pointers.data(), nullptr, nullptr, 0) &&
                command("commit") && PQpipelineSync(m_conn);
    // Each statement's result, then the null that ends it; then the pipeline's end.
    const auto next = [this, &sent]() -> PGresult* {
        if (!sent)
            return nullptr;
        PGresult* result = PQgetResult(m_conn);
        if (!result) {
            sent = false;
            return nullptr;
        }
        while (PGresult* more = PQgetResult(m_conn))
            PQclear(more);
        return result;
    };
    PGresult* begun = begin ? next() : nullptr;
    const ServerRows begunRows(begun);
    PGresult* statement = next();
    const ServerRows rows(statement);
    PGresult* commit = next();
    const ServerRows committed(commit);
    if (sent)
        PQclear(PQgetResult(m_conn)); // the pipeline's end (PQclear takes a null too)
    if (!PQexitPipelineMode(m_conn))
        Close(); // a connection left in the middle of a pipeline is no use to anyone
    m_begun = true;
    // An error the server answered (a refusal, or the session ended before the statement did)
    // means the COMMIT never ran: nothing written. With no answer at all it may have run.
    const PGresult* failed = begin && !succeeded(begun) ? begun : statement;
    if (!succeeded(failed))
        Fail(stateOf(failed).isEmpty() ? QStringLiteral("commit") : sql.simplified().left(60),
             failed, stateOf(failed).isEmpty());
    Committed(commit);
    m_finished = true;
    return rows;
}

QVariant ServerConnection::Value(const QString& sql, const QVariantList& values) {
    ServerRows rows = Exec(sql, values);
    return rows.Next() ? rows.Value(0) : QVariant();
}

void ServerConnection::Begin() {
    // BEGIN goes with the transaction's first statement: a bet's, with the bet and its COMMIT
    // in one round trip (Finish).
    m_finished = false;
    m_begun = false;
    m_inTransaction = true;
}

void ServerConnection::SendBegin() {
    if (Broken())
        Open();
    Observed(QStringLiteral("begin"));
    PGresult* result = PQexec(m_conn, "begin");
    ServerRows first(result);
    if (!succeeded(result)) {
        if (!Broken(stateOf(result)))
            Fail(QStringLiteral("begin"), result);
        Open(); // a break found before the work began: once more on a new connection
        PGresult* again = PQexec(m_conn, "begin");
        ServerRows second(again);
        if (!succeeded(again))
            Fail(QStringLiteral("begin"), again);
    }
    m_inTransaction = true;
    m_begun = true;
}

void ServerConnection::Commit() {
    if (m_finished) { // committed with its last statement
        m_finished = false;
        return;
    }
    if (!m_begun) { // nothing was asked of the server
        m_inTransaction = false;
        return;
    }
    Observed(QStringLiteral("commit"));
    PGresult* result = PQexec(m_conn, "commit");
    const ServerRows answer(result);
    Committed(result);
}

void ServerConnection::Committed(const PGresult* answer) {
    // COMMIT of a transaction that failed answers ROLLBACK, with no error: the work is as lost,
    // its outcome told as unknown like any failed commit.
    if (!succeeded(answer) || qstrcmp(PQcmdStatus(const_cast<PGresult*>(answer)), "COMMIT") != 0)
        Fail(QStringLiteral("commit"), answer, true);
    if (Observed(QStringLiteral("commit answered"))) // the answer lost, as with a cable cut
        Fail(QStringLiteral("commit"), nullptr, true);
    m_inTransaction = false;
}

void ServerConnection::Rollback() noexcept {
    const bool begun = m_begun;
    m_inTransaction = false;
    m_begun = false;
    if (!begun || Broken())
        return;
    PQclear(PQexec(m_conn, "rollback"));
}

int ServerConnection::Socket() const {
    return m_conn ? PQsocket(m_conn) : -1;
}

QStringList ServerConnection::Notified() {
    QStringList channels;
    if (!m_conn)
        return channels;
    if (!PQconsumeInput(m_conn))
        throw EServerError(
            QStringLiteral("Связь с сервером книг «%1» прервана: %2")
                .arg(Server(), QString::fromUtf8(PQerrorMessage(m_conn)).simplified()),
            true);
    while (PGnotify* notify = PQnotifies(m_conn)) {
        channels << QString::fromUtf8(notify->relname);
        PQfreemem(notify);
    }
    return channels;
}

} // namespace varnel
