#pragma once

#include <QLatin1String>
#include <QString>

namespace varnel {

class ServerConnection;
struct FieldDescription;
struct TableDescription;

// The books on a server live in a schema of their own, on the database's search path.
inline constexpr QLatin1String kServerSchema{"varnel"};
// The layout this program writes and reads; a later one migrates from it.
inline constexpr int kServerSchemaVersion = 1;

// A table's name and a field's column on the server: the file's stem and the field's name,
// in lower case (COMPIT.DBF -> compit, SUMM_1 -> summ_1).
QString ServerTable(const TableDescription& table);
QString ServerColumn(QLatin1String field);

// Whether the database holds books, and of which layout (0: none).
int ServerSchemaVersion(ServerConnection& server);

// Lays out the books on an empty database: the schema, the tables of the program's own folder
// layout (each with a key per row; bets and payouts with their serial), the serials' sequence,
// and the schema's version; the schema put on the database's search path. False, nothing
// written, when the database holds books already. Throws an EServerError on a refusal (no
// right to create a schema, say).
bool LayOutServer(ServerConnection& server);
// Whether the database has the books' schema (of any version).
bool HoldsServerBooks(ServerConnection& server);
// The layout itself, inside the caller's transaction, on a database that holds no books.
void CreateServerSchema(ServerConnection& server);

} // namespace varnel
