#include "server/Follower.h"

#include "base/Errors.h"
#include "server/Connection.h"
#include "server/Schema.h"

#include <QSocketNotifier>
#include <QTimer>

#include <exception>
#include <memory>

namespace varnel {

// The follower's side on its own thread: everything here runs there, the connection made
// there and used nowhere else.
class FollowerWork : public QObject {
    Q_OBJECT
public:
    explicit FollowerWork(const QString& conninfo)
        : m_conninfo(conninfo), m_quiet(this), m_timer(this) {
        m_timer.setInterval(ServerFollower::kCheckMs);
        connect(&m_timer, &QTimer::timeout, this, &FollowerWork::Look);
        m_quiet.setSingleShot(true);
        m_quiet.setInterval(ServerFollower::kQuietMs);
        connect(&m_quiet, &QTimer::timeout, this, [this] {
            if (m_pending) {
                m_pending = false;
                Tell();
            }
        });
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
            ServerRows query = m_connection->Exec(QStringLiteral(
                "select pg_backend_pid(), pg_is_in_recovery(), pg_last_wal_replay_lsn()::text"));
            if (!query.Next())
                throw EServerError(QStringLiteral("Сервер книг «%1» не ответил на вопрос о "
                                                  "своём состоянии.")
                                       .arg(m_connection->Server()),
                                   true);
            const int backend = query.Value(0).toInt();
            const bool standby = query.Value(1).toBool();
            const QString replayed = query.Value(2).toString();
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
            if (!standby && m_connection->Notified().contains(kChangesChannel))
                changed = true; // it came with the answer
            m_replayed = replayed;
            m_lost = false;
            m_timer.setInterval(standby ? ServerFollower::kReplayCheckMs
                                        : ServerFollower::kCheckMs);
            if (changed)
                Tell();
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
        m_notifier.reset(); // a broken socket reads as ready for ever
        emit Lost(message, broken);
    }

    // LISTEN needs no right and is refused only on a standby, which is never asked: a failure
    // is the connection's, tried again at the next check. The socket is the new session's.
    void Listen() {
        m_connection->Exec(QStringLiteral("listen ") + kChangesChannel);
        m_notifier =
            std::make_unique<QSocketNotifier>(m_connection->Socket(), QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &FollowerWork::Notified);
    }

    // What came on the socket, or with the answer to a question.
    void Notified() {
        try {
            if (m_connection && m_connection->Notified().contains(kChangesChannel))
                Tell();
        } catch (const EServerError& error) {
            Lose(error.message(), error.Broken());
        }
    }

    // Any login that may connect may notify the channel, as often as it likes: the window is
    // told at once, then at most once more for whatever came in the quiet time after.
    void Tell() {
        if (m_quiet.isActive()) {
            m_pending = true;
            return;
        }
        emit Changed();
        m_quiet.start();
    }

    QString m_conninfo;
    std::unique_ptr<ServerConnection> m_connection;
    QTimer m_quiet;
    bool m_pending = false;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timer;
    int m_backend = 0; // the session listening, 0 none
    bool m_standby = false;
    QString m_replayed;
    bool m_lost = false;
};

ServerFollower::ServerFollower(const QString& conninfo, QObject* parent) : BooksFollower(parent) {
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
