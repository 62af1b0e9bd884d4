#pragma once

#include "store/Home.h"

#include <QString>

namespace varnel {

class ServerConnection;

// The books on a PostgreSQL server: the data module's tables are the server's (TServerTable),
// each operation one server transaction, the event it works on held (FOR UPDATE) against the
// other counters until it ends, the bets' serials the server's sequence. The connection is
// made here and kept for the module's life, on its thread.
std::unique_ptr<TBooksHome> ServerHome(const QString& conninfo);
// The same over a connection the caller keeps.
std::unique_ptr<TBooksHome> ServerHome(ServerConnection& connection);

} // namespace varnel
