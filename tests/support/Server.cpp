#include "tests/support/Server.h"

#include "server/Connection.h"
#include "server/Schema.h"
#include "server/ServerHome.h"
#include "server/Snapshot.h"
#include "store/DataModule6.h"
#include "store/Home.h"

#include <QDir>
#include <QFile>
#include <QMetaMethod>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace varnel::test {

namespace {

QString run(const QString& program, const QStringList& args, QString* error = nullptr) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    process.start(program, args);
    const bool done = process.waitForFinished(120000) &&
                      process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!done && error) {
        *error = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return {};
    }
    if (!done)
        qFatal("%s %s failed: %s%s", qPrintable(program), qPrintable(args.join(' ')),
               process.readAllStandardError().constData(),
               process.readAllStandardOutput().constData());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

// A TCP port on 127.0.0.1 that nobody listens on now: the system's pick for a socket bound to
// port 0, let go again for the server to take.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("no free TCP port on 127.0.0.1");
    ::close(fd);
    return ntohs(address.sin_port);
}

// A throwaway root (root.crt, root.key), the server's certificate for 127.0.0.1 and localhost
// signed by it (server.crt, server.key), and another root that signed nothing (other-root.crt).
void makeCertificates(const QString& dir) {
    QDir().mkpath(dir);
    const auto openssl = [&](const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(childEnvironment());
        process.setWorkingDirectory(dir);
        process.start(QStringLiteral("openssl"), args);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            qFatal("openssl %s failed: %s", qPrintable(args.join(' ')),
                   process.readAllStandardError().constData());
    };
    const QStringList newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                "-nodes"};
    for (const QString& root : {QStringLiteral("root"), QStringLiteral("other-root")})
        openssl(QStringList{"req", "-x509"} + newKey +
                QStringList{"-keyout", root + ".key", "-out", root + ".crt", "-days", "2", "-subj",
                            "/CN=Varnel " + root, "-addext", "basicConstraints=critical,CA:TRUE",
                            "-addext", "keyUsage=critical,keyCertSign,cRLSign"});
    QFile extensions(dir + QStringLiteral("/server.ext"));
    if (!extensions.open(QIODevice::WriteOnly) ||
        extensions.write("basicConstraints=CA:FALSE\n"
                         "subjectAltName=DNS:localhost,IP:127.0.0.1\n") <= 0)
        qFatal("the certificate's extensions cannot be written");
    extensions.close();
    openssl(QStringList{"req"} + newKey +
            QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"});
    openssl({"x509", "-req", "-in", "server.csr", "-CA", "root.crt", "-CAkey", "root.key",
             "-CAcreateserial", "-out", "server.crt", "-days", "2", "-extfile", "server.ext"});
}

} // namespace

PgServer::PgServer(Reach reach) : m_reach(reach) {
    // A run that ended by a crash left its server running: stopped now, its folder removed.
    const QDir tmp(QStringLiteral("/tmp"));
    for (const QString& name : tmp.entryList({QStringLiteral("varnel-pg-*")}, QDir::Dirs)) {
        QFile owner(tmp.filePath(name + QStringLiteral("/owner")));
        if (!owner.open(QIODevice::ReadOnly))
            continue;
        const pid_t pid = pid_t(owner.readAll().trimmed().toLong());
        if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) {
            // Whatever is left there must not stop this run: a failed stop is only a folder
            // that stays.
            QString ignored;
            run(QStringLiteral(VARNEL_TESTS_DIR "/../scripts/pg-throwaway.sh"),
                {QStringLiteral("stop"), tmp.filePath(name), QStringLiteral("immediate")},
                &ignored);
            QDir(tmp.filePath(name)).removeRecursively();
        }
    }
    // A short folder of our own: the socket's path must stay under 107 bytes.
    QByteArray dir = QByteArrayLiteral("/tmp/varnel-pg-XXXXXX");
    if (!::mkdtemp(dir.data()))
        qFatal("no temporary folder for the test server");
    m_dir = QString::fromLocal8Bit(dir);
    QStringList options;
    if (m_reach != Reach::Socket) {
        m_port = freePort();
        options << QStringLiteral("--tcp") << QString::number(m_port);
    }
    if (m_reach == Reach::Tls) {
        makeCertificates(Certificate({}));
        options << QStringLiteral("--tls") << Certificate({});
    }
    Script(QStringList{QStringLiteral("start"), m_dir, QStringLiteral("postgres")} + options);
    QFile owner(m_dir + QStringLiteral("/owner"));
    if (!owner.open(QIODevice::WriteOnly) || owner.write(QByteArray::number(::getpid())) <= 0)
        qFatal("the test server's folder cannot be written");
}

PgServer::~PgServer() {
    Stop();
    QDir(m_dir).removeRecursively();
}

QString PgServer::Script(const QStringList& args) const {
    return run(QStringLiteral(VARNEL_TESTS_DIR "/../scripts/pg-throwaway.sh"), args);
}

void PgServer::Start() {
    Script({QStringLiteral("start"), m_dir, QStringLiteral("postgres")});
}

void PgServer::Stop(const char* mode) {
    Script({QStringLiteral("stop"), m_dir, QString::fromLatin1(mode)});
}

QString PgServer::Conninfo(const QString& database) const {
    return Script({QStringLiteral("conninfo"), m_dir, database});
}

QString PgServer::OverTcp(const QString& conninfo, const QString& user) const {
    if (m_reach == Reach::Socket)
        qFatal("the test server listens on its socket only");
    const QString database =
        QRegularExpression(QStringLiteral("dbname=(\\S+)")).match(conninfo).captured(1);
    QString tcp = QStringLiteral("host=127.0.0.1 port=%1 dbname=%2").arg(m_port).arg(database);
    if (!user.isEmpty())
        tcp += QStringLiteral(" user=") + user;
    return tcp;
}

QString PgServer::Folder() const {
    return m_dir;
}

QString PgServer::Certificate(const QString& name) const {
    return m_dir + QStringLiteral("/tls/") + name;
}

QString PgServer::NewDatabase() {
    const QString name = QStringLiteral("books%1").arg(++m_databases);
    psql(Conninfo(QStringLiteral("postgres")), QStringLiteral("create database %1").arg(name));
    return Conninfo(name);
}

QStringList psql(const QString& conninfo, const QString& sql, QString* error) {
    const QString out =
        run(QStringLiteral("psql"),
            {QStringLiteral("-XAtq"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
             QStringLiteral("-d"), conninfo, QStringLiteral("-c"), sql},
            error);
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

QString asLogin(const QString& conninfo, const QString& role) {
    return conninfo + QStringLiteral(" user=") + role;
}

QString booksWithOperators(PgServer& server, const QStringList& cashiers,
                           const QStringList& managers, bool cashiersSettle) {
    const QString db = server.NewDatabase();
    ServerConnection books(db);
    LayOutServer(books);
    SetCashiersSettle(books, cashiersSettle);
    for (const QString& name : cashiers)
        AddOperator(books, name, OperatorRole::Kassa, {});
    for (const QString& name : managers)
        AddOperator(books, name, OperatorRole::Manager, {});
    return db;
}

PsqlSession::PsqlSession(const QString& conninfo, const QString& sql, const QString& name)
    : m_process(std::make_unique<QProcess>()), m_name(name) {
    m_process->setProcessEnvironment(childEnvironment());
    m_process->start(QStringLiteral("psql"),
                     {QStringLiteral("-XAtq"), QStringLiteral("-v"),
                      QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-d"),
                      conninfo + QStringLiteral(" application_name=") + name, QStringLiteral("-c"),
                      sql});
    if (!m_process->waitForStarted(10000))
        qFatal("psql did not start");
}

PsqlSession::~PsqlSession() {
    if (m_process->state() != QProcess::NotRunning)
        m_process->waitForFinished(60000);
}

void PsqlSession::WaitUntilAsleep(const QString& observer) const {
    for (int tries = 0; tries < 300; ++tries) {
        if (psql(observer, QStringLiteral("select count(*) from pg_stat_activity where "
                                          "application_name = '%1' and wait_event = 'PgSleep'")
                               .arg(m_name)) == QStringList{QStringLiteral("1")})
            return;
        if (m_process->state() == QProcess::NotRunning)
            qFatal("the session %s ended before it slept: %s", qPrintable(m_name),
                   m_process->readAllStandardError().constData());
        QThread::msleep(100);
    }
    qFatal("the session %s never slept", qPrintable(m_name));
}

QStringList PsqlSession::Finish(QString* refusal) {
    if (!m_process->waitForFinished(60000))
        qFatal("the session %s did not end", qPrintable(m_name));
    *refusal = QString::fromUtf8(m_process->readAllStandardError()).trimmed();
    const QString out = QString::fromUtf8(m_process->readAllStandardOutput()).trimmed();
    return out.isEmpty() ? QStringList() : out.split(QLatin1Char('\n'));
}

void addOperator(const QString& conninfo, const QString& name, const QString& password) {
    ServerConnection server(conninfo);
    AddOperator(server, name, OperatorRole::Kassa, server.HashPassword(name, password));
}

int runOnBothHomes(QObject& test, int argc, char** argv, const QStringList& folderOnly,
                   PgServer*& current) {
    int failed = QTest::qExec(&test, argc, argv);
    QStringList again{QString::fromLocal8Bit(argv[0])};
    bool named = false;
    for (int i = 1; i < argc; ++i) {
        again << QString::fromLocal8Bit(argv[i]);
        named = named || argv[i][0] != '-';
    }
    const QMetaObject* meta = test.metaObject();
    for (int m = meta->methodOffset(); !named && m < meta->methodCount(); ++m) {
        const QMetaMethod method = meta->method(m);
        const QString name = QString::fromLatin1(method.name());
        if (method.methodType() == QMetaMethod::Slot && method.access() == QMetaMethod::Private &&
            !QStringList{"initTestCase", "cleanupTestCase", "init", "cleanup"}.contains(name) &&
            !name.endsWith(QLatin1String("_data")) && !folderOnly.contains(name))
            again << name;
    }
    std::printf("The same cases with the books on a server:\n");
    std::fflush(stdout);
    PgServer server;
    current = &server;
    failed += QTest::qExec(&test, again);
    current = nullptr;
    return failed;
}

namespace {
PgServer* homeServer = nullptr; // while the books' tests run on a server
} // namespace

HomeBooks::HomeBooks() {
    if (!homeServer) {
        books = std::make_unique<BooksFixture>();
        return;
    }
    conninfo = homeServer->NewDatabase();
    {
        ServerConnection server(conninfo);
        LayOutServer(server);
    }
    books = std::make_unique<BooksFixture>(ServerHome(conninfo));
}

HomeBooks::~HomeBooks() = default;

QString HomeBooks::table(const QString& file) {
    if (conninfo.isEmpty())
        return books->folder.file(file);
    m_snapshot = std::make_unique<QTemporaryDir>();
    ServerConnection server(conninfo);
    ServerSnapshot(m_snapshot->path()).Take(server);
    return m_snapshot->filePath(file);
}

int runBooksTests(QObject& test, int argc, char** argv, const QStringList& folderOnly) {
    return runOnBothHomes(test, argc, argv, folderOnly, homeServer);
}

} // namespace varnel::test
