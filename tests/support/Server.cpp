#include "tests/support/Server.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <cerrno>
#include <cstdlib>

#include <signal.h>
#include <unistd.h>

namespace varnel::test {

namespace {

QString run(const QString& program, const QStringList& args, QString* error = nullptr) {
    QProcess process;
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

} // namespace

PgServer::PgServer() {
    // A run that ended by a crash left its server running: stopped now, its folder removed.
    const QDir tmp(QStringLiteral("/tmp"));
    for (const QString& name : tmp.entryList({QStringLiteral("varnel-pg-*")}, QDir::Dirs)) {
        QFile owner(tmp.filePath(name + QStringLiteral("/owner")));
        if (!owner.open(QIODevice::ReadOnly))
            continue;
        const pid_t pid = pid_t(owner.readAll().trimmed().toLong());
        if (pid <= 0 || (::kill(pid, 0) != 0 && errno == ESRCH)) {
            m_dir = tmp.filePath(name);
            Stop("immediate");
            QDir(m_dir).removeRecursively();
        }
    }
    // A short folder of our own: the socket's path must stay under 107 bytes.
    QByteArray dir = QByteArrayLiteral("/tmp/varnel-pg-XXXXXX");
    if (!::mkdtemp(dir.data()))
        qFatal("no temporary folder for the test server");
    m_dir = QString::fromLocal8Bit(dir);
    Start();
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

} // namespace varnel::test
