#include "office/window/ServerBooks.h"

#include "base/Errors.h"
#include "server/Schema.h"

#include <QDir>

namespace varnel::office {

ServerBooks::ServerBooks(const QString& conninfo)
    : m_folder(QDir::temp().filePath(QStringLiteral("varnel-office-XXXXXX"))),
      m_connection(conninfo), m_snapshot(m_folder.path()) {
    if (!m_folder.isValid())
        throw EDatabaseError(
            QStringLiteral("Нет места для книг сервера «%1» во временной папке: %2")
                .arg(Server(), m_folder.errorString()));
}

std::shared_ptr<const Books> ServerBooks::Read() {
    RequireServerBooks(m_connection);
    ServerRows server = m_connection.Exec(QStringLiteral(
        "select pg_is_in_recovery(), varnel.may_undo(), session_user, varnel.owns_books()"));
    server.Next();
    const bool standby = server.Value(0).toBool();
    const bool mayUndo = server.Value(1).toBool();
    m_snapshot.Take(m_connection);
    m_standby = standby;
    m_mayUndo = mayUndo;
    m_operator = server.Value(2).toString();
    m_ownsBooks = server.Value(3).toBool();
    return ReadBooks(m_folder.path());
}

RecordKey ServerBooks::HistoryKey(std::int64_t record) const {
    const QList<RecordKey>& keys = m_snapshot.HistoryKeys();
    return record >= 0 && record < keys.size() ? keys[record] : -1;
}

} // namespace varnel::office
