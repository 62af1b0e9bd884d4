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
    if (ServerSchemaVersion(m_connection) == 0)
        throw EServerError(QStringLiteral("На сервере «%1» нет книг: их заводит varnel-newdesk "
                                          "--server.")
                               .arg(Server()),
                           false);
    m_snapshot.Take(m_connection);
    return ReadBooks(m_folder.path());
}

bool ServerBooks::Changed() {
    return m_snapshot.Behind(m_connection);
}

RecordKey ServerBooks::HistoryKey(std::int64_t record) const {
    const QList<RecordKey>& keys = m_snapshot.HistoryKeys();
    return record >= 0 && record < keys.size() ? keys[record] : -1;
}

} // namespace varnel::office
