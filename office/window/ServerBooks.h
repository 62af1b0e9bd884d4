#pragma once

#include "base/Errors.h"
#include "office/books/HistoryModel.h"
#include "server/Questions.h"

#include <QFutureWatcher>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <memory>
#include <optional>

namespace varnel {
class ServerConnection;
}

namespace varnel::office {

// The failure of a question to the server: its message, and whether the connection broke (the
// server out of reach) rather than the server refusing.
struct ServerFailure {
    QString message;
    bool broken = false;
};

// The books on a PostgreSQL server as the back office asks them: every view's question goes to
// the server (server/Questions.h), on a thread of the office's own with a connection of its
// own, one question at a time, the answer handed back on the window's thread. Nothing is copied
// into files. The changes are followed from yet another connection (ServerFollower).
class ServerBooks {
public:
    explicit ServerBooks(const QString& conninfo);
    // Waits for the question under way, if any.
    ~ServerBooks();

    const QString& Conninfo() const { return m_conninfo; }
    // The server as a message names it.
    QString Server() const;

    // Asks a question of the server off the window's thread; `answered` is called on the
    // context's thread with its answer, or `failed` with why there is none, unless the context
    // is gone by then.
    template <typename Answer>
    void Ask(QObject* context, std::function<Answer(ServerQuestions&)> question,
             std::function<void(Answer)> answered, std::function<void(ServerFailure)> failed) {
        using Result = std::pair<std::optional<Answer>, ServerFailure>;
        auto* watcher = new QFutureWatcher<Result>(context);
        QObject::connect(watcher, &QFutureWatcher<Result>::finished, context,
                         [watcher, answered, failed] {
                             Result result = watcher->result();
                             watcher->deleteLater();
                             if (result.first)
                                 answered(std::move(*result.first));
                             else
                                 failed(result.second);
                         });
        watcher->setFuture(QtConcurrent::run(&m_pool, [this, question]() -> Result {
            try {
                ServerQuestions questions(Connection());
                return {question(questions), {}};
            } catch (const EServerError& error) {
                return {std::nullopt, {error.message(), error.Broken()}};
            } catch (const EVarnelError& error) {
                return {std::nullopt, {error.message(), false}};
            } catch (const std::exception& error) {
                return {std::nullopt, {QString::fromLocal8Bit(error.what()), false}};
            }
        }));
    }

    // As the last reading found the server: a hot standby (read-only, no undo there), and
    // whether its login may undo a result (a manager, or the books' owner).
    bool Standby() const { return m_state.standby; }
    bool MayUndo() const { return m_state.mayUndo; }
    // Who the office works as there: its login, and whether that owns the books.
    const QString& Operator() const { return m_state.login; }
    bool OwnsBooks() const { return m_state.ownsBooks; }
    void SetState(const ServerState& state) { m_state = state; }

    // The history's questions for the history's model, answered through this connection.
    HistoryAsker HistoryQuestions(QObject* context);

private:
    // The reading thread's connection, made there at its first question.
    ServerConnection& Connection();

    QString m_conninfo;
    QThreadPool m_pool; // one thread: the connection's
    std::unique_ptr<ServerConnection> m_connection;
    ServerState m_state;
};

} // namespace varnel::office
