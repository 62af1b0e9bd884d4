#pragma once

#include "base/Errors.h"
#include "store/engine/DataSet.h"

#include <QDir>
#include <QList>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace varnel {

class ServerRows;
class ServerConnection;
struct FieldDescription;
struct TableDescription;

// A read-only look at the books on a server at one moment (one REPEATABLE READ transaction),
// rows fetched a page at a time: the driver holds a whole result in memory, a cursor's page is
// all it holds here. A break of the connection ends the reading with the server's word.
class ServerReading {
public:
    explicit ServerReading(ServerConnection& server);
    ~ServerReading();
    ServerReading(const ServerReading&) = delete;
    ServerReading& operator=(const ServerReading&) = delete;

    ServerConnection& Server() const { return m_server; }
    // Calls `each` with every row's values as text (a null as a null QVariant), the values
    // bound to the ?s in order.
    void ForEach(const QString& sql, const QVariantList& values,
                 const std::function<void(const ServerRows&)>& each);

private:
    ServerConnection& m_server;
};

// The select of a table's fields as the program's files write them, as text: numbers their
// digits without trailing zeros, text blank (which a file cannot tell from none) as empty
// text; with `withKey`, the row's key after them; in the order of the keys. `where` is put
// after the table's name (" where …", or empty). A sealed field is read as none unless
// `sealedRead` (the books' owner, who may).
QString ServerSelect(const TableDescription& table, const QList<const FieldDescription*>& fields,
                     const QString& where, bool withKey = false, bool sealedRead = false);
// Whether this session's login may read the sealed fields.
bool ReadsSealed(ServerConnection& server);

// A row of the server that the program's file of its table cannot hold (a value another program
// wrote there): the message names the table and the row's key, and why.
class EUnwritableRow : public EDatabaseError {
public:
    using EDatabaseError::EDatabaseError;
};

// The books of a server kept as the table files of a working folder (the program's own
// layout), each taking read at one moment: a folder every reader of the books' files reads.
// The events, bets, payouts and the temporary table are written anew each time; the history,
// only ever added to, gets the rows it did not have yet, so a record keeps its place from one
// taking to the next.
class ServerSnapshot {
public:
    explicit ServerSnapshot(const QString& folder);
    ~ServerSnapshot();

    const QDir& Folder() const { return m_folder; }
    // Reads the books now and brings the files up to them. A table is written under another
    // name and put in its place once whole. Throws the EVarnelError that stopped it; the files
    // are then as a taking left them, the history perhaps ahead of the other tables.
    void Take(ServerConnection& server);

private:
    RecordKey Low();
    QString Missing() const;

    QDir m_folder;
    bool m_taken = false;
    std::optional<bool> m_sealedRead; // ReadsSealed, asked at the first taking
    std::vector<RecordKey> m_sorted;  // the keys of the history's records, sorted
    // A key is given when a row is written, not when its work is committed: a counter whose
    // work is still under way may commit a row with a key below those read already. Keys
    // missing above m_low are looked for again; the newest key at each taking moves m_low up
    // once it is old enough that no work begun before it can still be under way.
    RecordKey m_low = 0;
    std::deque<std::pair<std::int64_t, RecordKey>> m_marks; // when taken, the newest key then
};

} // namespace varnel
