#include "office/window/ServerBooks.h"

#include "server/Connection.h"

namespace varnel::office {

ServerBooks::ServerBooks(const QString& conninfo) : m_conninfo(conninfo) {
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1); // the connection stays with its thread
    m_pool.setObjectName(QStringLiteral("varnel-office-reader"));
}

ServerBooks::~ServerBooks() {
    m_pool.clear();
    m_pool.waitForDone();
}

QString ServerBooks::Server() const {
    return DescribeServer(m_conninfo);
}

ServerConnection& ServerBooks::Connection() {
    if (!m_connection)
        m_connection = std::make_unique<ServerConnection>(m_conninfo);
    return *m_connection;
}

HistoryAsker ServerBooks::HistoryQuestions(QObject* context) {
    const QPointer<QObject> guard(context);
    return [this, guard](const HistoryQuery& query, std::optional<HistoryPage> after, int rows,
                         const QString& since, std::function<void(HistoryAnswer)> answered) {
        if (!guard)
            return;
        Ask<HistoryAnswer>(
            guard.data(),
            [query, after, rows, since](ServerQuestions& server) {
                HistoryAnswer answer;
                if (!since.isEmpty()) {
                    // The snapshot first: what commits meanwhile is found by the next look.
                    answer.snapshot = server.Snapshot();
                    answer.page = server.History(query, nullptr, rows, since);
                } else if (after) {
                    answer.page = server.History(query, &*after, rows);
                } else {
                    answer.snapshot = server.Snapshot();
                    answer.page = server.History(query, nullptr, rows);
                    // Every record: as many as the reading counted (HistoryModel).
                    if (answer.page.end)
                        answer.matching = std::int64_t(answer.page.rows.size());
                    else if (!query.filter.IsEmpty())
                        answer.matching = server.Count(query.filter);
                    if (!query.filter.client.trimmed().isEmpty())
                        answer.paid = server.PaidTo(query.filter.client);
                }
                return answer;
            },
            answered,
            [answered](ServerFailure failure) {
                HistoryAnswer answer;
                answer.error = failure.message;
                answered(std::move(answer));
            });
    };
}

} // namespace varnel::office
