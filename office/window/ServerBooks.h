#pragma once

#include "server/Connection.h"
#include "server/Snapshot.h"
#include "store/Reading.h"

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

namespace varnel::office {

// The books on a PostgreSQL server as the back office reads them: each reading one look at the
// server's tables at one moment, kept as table files in a folder of the office's own (the
// history only added to, so a record keeps its place and the views their rows), and read as a
// working folder's books are. The connection is the window thread's; the changes are followed
// from another (ServerFollower).
class ServerBooks {
public:
    explicit ServerBooks(const QString& conninfo);

    const QString& Conninfo() const { return m_connection.Conninfo(); }
    // The server as a message names it.
    QString Server() const { return m_connection.Server(); }
    // Reads the books now; throws the EServerError of a server that cannot be reached, or that
    // refuses (holds no books, or books of another layout, say).
    std::shared_ptr<const Books> Read();
    // As the last reading found the server: a hot standby (read-only, no undo there), and
    // whether its login may undo a result (a manager, or the books' owner).
    bool Standby() const { return m_standby; }
    bool MayUndo() const { return m_mayUndo; }
    // Who the office works as there: its login, and whether that owns the books.
    const QString& Operator() const { return m_operator; }
    bool OwnsBooks() const { return m_ownsBooks; }
    // The server's key of the history's record at `record` in a reading's history.
    RecordKey HistoryKey(std::int64_t record) const;

private:
    QTemporaryDir m_folder;
    ServerConnection m_connection;
    ServerSnapshot m_snapshot;
    bool m_standby = false;
    bool m_mayUndo = false;
    QString m_operator;
    bool m_ownsBooks = false;
};

} // namespace varnel::office
