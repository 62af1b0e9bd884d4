#include "server/Follower.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimer>

#include <exception>
#include <memory>

namespace varnel {

// The follower's side on its own thread: everything here runs there, the connection made
// there and used nowhere else.
class FollowerWork : public QObject {
    Q_OBJECT
public:
    explicit FollowerWork(const QString& conninfo) : m_conninfo(conninfo), m_timer(this) {
        m_timer.setInterval(ServerFollower::kCheckMs);
        connect(&m_timer, &QTimer::timeout, this, &FollowerWork::Look);
    }

    void Start() {
        m_timer.start();
        Look();
    }

signals:
    void Changed();
    void Lost(const QString& message, bool broken);

private:
    // One question tells whether the session is still the one listening, whether the server
    // is a standby (still), and how far a standby has replayed. A connection found broken is
    // made anew by the question itself.
    void Look() {
        try {
            if (!m_connection)
                m_connection = std::make_unique<ServerConnection>(m_conninfo);
            QSqlQuery query = m_connection->Exec(QStringLiteral(
                "select pg_backend_pid(), pg_is_in_recovery(), pg_last_wal_replay_lsn()::text"));
            if (!query.next())
                throw EServerError(QStringLiteral("Сервер книг «%1» не ответил на вопрос о "
                                                  "своём состоянии.")
                                       .arg(m_connection->Server()),
                                   true);
            const int backend = query.value(0).toInt();
            const bool standby = query.value(1).toBool();
            const QString replayed = query.value(2).toString();
            bool changed = m_lost;
            if (backend != m_backend || standby != m_standby) {
                // A new session (the first, one made again after a break) or a standby
                // promoted: whatever was committed before it listened was never told to it.
                if (!standby)
                    Listen();
                m_backend = backend;
                m_standby = standby;
                changed = true;
            }
            if (standby && replayed != m_replayed)
                changed = true;
            m_replayed = replayed;
            m_lost = false;
            m_timer.setInterval(standby ? ServerFollower::kReplayCheckMs
                                        : ServerFollower::kCheckMs);
            if (changed)
                emit Changed();
        } catch (const EServerError& error) {
            Lose(error.message(), error.Broken());
        } catch (const EVarnelError& error) {
            Lose(error.message(), false);
        } catch (const std::exception& error) {
            Lose(QString::fromLocal8Bit(error.what()), false);
        }
    }

    void Lose(const QString& message, bool broken) {
        m_backend = 0;
        m_lost = true;
        emit Lost(message, broken);
    }

    void Listen() {
        QSqlDriver* driver = m_connection->Database().driver();
        connect(driver, &QSqlDriver::notification, this, &FollowerWork::Notified,
                Qt::UniqueConnection);
        // LISTEN needs no right and is refused only on a standby, which is never asked: a
        // failure is the connection's, tried again at the next check.
        if (!driver->subscribeToNotification(kChangesChannel))
            throw EServerError(
                QStringLiteral("Сервер книг «%1» не принял подписку на изменения книг: %2")
                    .arg(m_connection->Server(), driver->lastError().databaseText().simplified()),
                true);
    }

    void Notified(const QString& channel) {
        if (channel == kChangesChannel)
            emit Changed();
    }

    QString m_conninfo;
    std::unique_ptr<ServerConnection> m_connection;
    QTimer m_timer;
    int m_backend = 0; // the session listening, 0 none
    bool m_standby = false;
    QString m_replayed;
    bool m_lost = false;
};

ServerFollower::ServerFollower(const QString& conninfo, QObject* parent) : QObject(parent) {
    m_thread.setObjectName(QStringLiteral("varnel-follower"));
    auto* work = new FollowerWork(conninfo); // owned by the thread, deleted as it ends
    work->moveToThread(&m_thread);
    connect(&m_thread, &QThread::started, work, &FollowerWork::Start);
    connect(&m_thread, &QThread::finished, work, &QObject::deleteLater);
    connect(work, &FollowerWork::Changed, this, &ServerFollower::Changed);
    connect(work, &FollowerWork::Lost, this, &ServerFollower::Lost);
    m_thread.start();
}

ServerFollower::~ServerFollower() {
    m_thread.quit();
    m_thread.wait();
}

} // namespace varnel

#include "Follower.moc"
