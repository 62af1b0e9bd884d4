#include "tests/support/Standby.h"

#include "tests/support/Server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

namespace varnel::test {

namespace {

QString binary(const char* name) {
    const QString bin =
        qEnvironmentVariable("PG_BIN", QStringLiteral("/usr/lib/postgresql/15/bin"));
    return QDir(bin).filePath(QLatin1String(name));
}

// A program of the server's, as the owner of the clusters: `postgres` when we are root (the
// server refuses to run as root), ourselves otherwise.
void runAsOwner(const QString& program, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(childEnvironment());
    if (::getuid() == 0)
        process.start(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), program} +
                          args);
    else
        process.start(program, args);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        qFatal("%s %s failed: %s%s", qPrintable(program), qPrintable(args.join(' ')),
               process.readAllStandardError().constData(),
               process.readAllStandardOutput().constData());
}

void giveToOwner(const QString& path) {
    if (::getuid() != 0)
        return;
    const passwd* owner = ::getpwnam("postgres");
    if (!owner || ::chown(QFile::encodeName(path).constData(), owner->pw_uid, owner->pw_gid) != 0)
        qFatal("%s cannot be given to the postgres user", qPrintable(path));
}

QString valueOf(const QString& conninfo, const char* key) {
    const QRegularExpression pair(QStringLiteral("(?:^|\\s)%1=(\\S+)").arg(QLatin1String(key)));
    return pair.match(conninfo).captured(1);
}

void stopCluster(const QString& dir) {
    if (!QFile::exists(dir + QStringLiteral("/data/postmaster.pid")))
        return;
    runAsOwner(binary("pg_ctl"),
               {QStringLiteral("-D"), dir + QStringLiteral("/data"), QStringLiteral("-w"),
                QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("stop")});
}

} // namespace

PgStandby::PgStandby(const QString& primary) {
    m_primarySocket = valueOf(primary, "host");
    const QString user = valueOf(primary, "user");
    if (m_primarySocket.isEmpty() || user.isEmpty())
        qFatal("no socket folder or user in %s", qPrintable(primary));
    // A run that ended by a crash left its standby running: stopped now, its folder removed.
    const QDir tmp(QStringLiteral("/tmp"));
    for (const QString& name : tmp.entryList({QStringLiteral("varnel-sb-*")}, QDir::Dirs)) {
        QFile owner(tmp.filePath(name + QStringLiteral("/owner")));
        if (!owner.open(QIODevice::ReadOnly))
            continue;
        const pid_t pid = pid_t(owner.readAll().trimmed().toLong());
        if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) {
            stopCluster(tmp.filePath(name));
            QDir(tmp.filePath(name)).removeRecursively();
        }
    }
    // A short folder: the socket's path must stay under 107 bytes.
    QByteArray dir = QByteArrayLiteral("/tmp/varnel-sb-XXXXXX");
    if (!::mkdtemp(dir.data()))
        qFatal("no temporary folder for the standby");
    m_dir = QString::fromLocal8Bit(dir);
    QFile owner(m_dir + QStringLiteral("/owner"));
    if (!owner.open(QIODevice::WriteOnly) || owner.write(QByteArray::number(::getpid())) <= 0)
        qFatal("the standby's folder cannot be written");
    owner.close();
    const QString socket = m_dir + QStringLiteral("/s");
    if (!QDir().mkpath(socket))
        qFatal("no socket folder for the standby");
    QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(socket, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    giveToOwner(m_dir);
    giveToOwner(socket);

    // -R writes standby.signal and the primary's connection string into the copy; -X stream
    // takes the log written meanwhile with it, so the copy starts consistent.
    const QString data = m_dir + QStringLiteral("/data");
    runAsOwner(
        binary("pg_basebackup"),
        {QStringLiteral("-h"), m_primarySocket, QStringLiteral("-p"),
         valueOf(primary, "port").isEmpty() ? QStringLiteral("5432") : valueOf(primary, "port"),
         QStringLiteral("-U"), user, QStringLiteral("-D"), data, QStringLiteral("-R"),
         QStringLiteral("-X"), QStringLiteral("stream"), QStringLiteral("-c"),
         QStringLiteral("fast")});
    runAsOwner(
        binary("pg_ctl"),
        {QStringLiteral("-D"), data, QStringLiteral("-l"), m_dir + QStringLiteral("/server.log"),
         QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("-o"),
         QStringLiteral("-k %1 -c listen_addresses= -c port=5432 -c hot_standby=on").arg(socket),
         QStringLiteral("start")});
}

PgStandby::~PgStandby() {
    stopCluster(m_dir);
    QDir(m_dir).removeRecursively();
}

QString PgStandby::Conninfo(const QString& primaryDatabase) const {
    QString conninfo = primaryDatabase;
    return conninfo.replace(QStringLiteral("host=") + m_primarySocket,
                            QStringLiteral("host=%1/s").arg(m_dir));
}

void PgStandby::Promote() {
    runAsOwner(binary("pg_ctl"),
               {QStringLiteral("-D"), m_dir + QStringLiteral("/data"), QStringLiteral("-w"),
                QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("promote")});
}

bool PgStandby::CaughtUp(const QString& primaryDatabase) const {
    const QString written =
        psql(primaryDatabase, QStringLiteral("select pg_current_wal_lsn()")).value(0);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        if (psql(Conninfo(primaryDatabase),
                 QStringLiteral("select pg_last_wal_replay_lsn() >= '%1'::pg_lsn").arg(written))
                .value(0) == QLatin1String("t"))
            return true;
        QThread::msleep(50);
    }
    return false;
}

} // namespace varnel::test
