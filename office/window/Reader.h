#pragma once

#include "base/Errors.h"
#include "office/books/HistoryModel.h"
#include "office/window/CashView.h"
#include "office/window/Undo.h"
#include "store/Source.h"

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

namespace varnel::office {

// Why a question to the books has no answer: its message; whether the way to them broke (a
// server out of reach) rather than the books refusing; whether a commit of the counter kept the
// folder's books from a whole reading (nothing wrong: tried again shortly).
struct SourceFailure {
    QString message;
    bool broken = false;
    bool busy = false;
};

// The books of one working folder as the back office reads them, from their source (the
// folder's files, or the server its varnel.conf names): every question on a thread of the
// reader's own, one at a time, the answer handed back on the window's thread. It reads the books
// at once and again whenever they change (the source's follower), one reading at a time, a change
// told meanwhile ending in one more reading after it; a reading that fails is tried again
// shortly, the books shown staying as they were read last.
class BooksReader : public QObject {
    Q_OBJECT
public:
    // `conninfo` the server's the folder names; empty for the folder's own files.
    BooksReader(const QString& folder, const QString& conninfo, QObject* parent = nullptr);
    // Waits for the question under way, if any.
    ~BooksReader() override;

    const QString& Folder() const { return m_folder; }
    bool OnServer() const { return !m_conninfo.isEmpty(); }
    // The books' server as messages name it; empty for a folder's own books.
    QString Server() const { return m_server; }
    // What the books allow, as the last reading found it.
    const SourceState& State() const { return m_state; }
    const std::shared_ptr<const Books>& CurrentBooks() const { return m_books; }
    // Whether the books did not answer the last reading.
    bool Lost() const { return m_lost; }
    // No reading under way, none to follow, the history's census taken and its chain checked.
    bool Idle() const;

    // Reads the books now, or after the reading under way. While held, the reading waits.
    void Read();
    void Hold(bool held);

    // Asks a question of the books off the window's thread; `answered` is called on the
    // context's thread with its answer, or `failed` with why there is none, unless the context
    // is gone by then.
    template <typename Answer>
    void Ask(QObject* context, std::function<Answer(BooksSource&)> question,
             std::function<void(Answer)> answered, std::function<void(SourceFailure)> failed) {
        using Result = std::pair<std::optional<Answer>, SourceFailure>;
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
        watcher->setFuture(QtConcurrent::run(&m_pool, [source = m_source, question]() -> Result {
            try {
                return {question(*source), {}};
            } catch (const EBooksBusy& error) {
                return {std::nullopt, {error.message(), false, true}};
            } catch (const EServerError& error) {
                return {std::nullopt, {error.message(), error.Broken()}};
            } catch (const EVarnelError& error) {
                return {std::nullopt, {error.message()}};
            } catch (const std::exception& error) {
                return {std::nullopt, {QString::fromLocal8Bit(error.what())}};
            }
        }));
    }

    // The history's questions for the history's model: a server's, page by page; none for a
    // folder, whose model reads the reading's history file itself, a record as it is shown.
    HistoryAsker HistoryQuestions(QObject* context);
    // The cash of some days, for the cash view.
    CashView::CashAsker CashQuestions(QObject* context);

    // The books' own operations, with the reading after them.
    UndoAttempt Undo(RecordKey record, const std::function<bool(const QString&)>& confirm);
    QString SetLimits(const Limits& limits);
    // Why the limits cannot be set now, asked as the dialog opens: a counter holding the folder
    // (a quick try of its lock). Empty on a server, where the operation itself answers.
    QString LimitsHeld() const;

signals:
    // A reading of the books, whole.
    void Shown(const std::shared_ptr<const Books>& books);
    // A commit of the counter keeps the folder's books from a whole reading: tried again soon.
    void Waiting();
    // The books did not answer, or refused: why, and whether the way to them broke.
    void Failed(const QString& message, bool broken);
    // What the books allow changed, or was found again.
    void StateChanged();
    // The history's census, after each reading.
    void Counted(const HistoryCensus& census);
    // The history's chain checked, after each census.
    void Checked(const ChainCheck& check);
    // What a reading did on the way that the operator is to hear of.
    void Told(const QString& message);

private:
    void Changed();
    void Census();
    void CheckChain();

    QString m_folder;
    QString m_conninfo;
    QString m_server;
    // Shared with the questions under way: a question is never left without its source.
    std::shared_ptr<BooksSource> m_source;
    QThreadPool m_pool; // one thread: the source's
    std::unique_ptr<BooksFollower> m_follower;
    QTimer m_soon;  // a change told, or a commit under way: a reading shortly
    QTimer m_retry; // a reading that failed, tried again
    std::shared_ptr<const Books> m_books;
    SourceState m_state;
    QString m_mark; // the source's at the reading shown
    bool m_lost = false;
    bool m_held = false;
    bool m_reading = false;
    bool m_readAgain = false;
    // A question asked of the source one at a time: asked meanwhile, it is asked once more
    // when the one under way is answered.
    struct OneAtATime {
        bool asking = false;
        bool again = false;
        bool Begin() { // whether to ask now
            again = asking;
            return !std::exchange(asking, true);
        }
        bool End(bool answered) { // whether to ask again
            asking = false;
            return std::exchange(again, false) && answered;
        }
        bool Idle() const { return !asking && !again; }
    };
    OneAtATime m_census;
    OneAtATime m_check;
    QString m_censusError; // as last told
};

} // namespace varnel::office
