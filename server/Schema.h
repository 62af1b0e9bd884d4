#pragma once

#include <QLatin1String>
#include <QString>

namespace varnel {

class ServerConnection;
struct FieldDescription;
struct TableDescription;

// The books on a server live in a schema of their own, on the database's search path.
inline constexpr QLatin1String kServerSchema{"varnel"};
// The layout this program writes and reads; an earlier one is brought to it by UpgradeServer.
// 1: the tables; 2: the operators' groups, who wrote each history record, the server's guard
// of the history, and the notice of every change; 3: the owner's limits (a table managers
// alone change) and each event's payout sums; 4: when each history record was written, the
// books' settings, the first of the books' own operations; 5: every change of the operators
// through the books' own operations (server/Operations.h), none through a table; 6: a bet's
// slip (the seal of its payout code, which no operator reads, and the payment by the slip);
// 7: the back office's questions (the transaction of each history record, the history's
// indexes, client names folded by the books' own function); 8: the history's chain (Seals.h);
// 9: the history's records in their canonical form, for the chain's checkers.
inline constexpr int kServerSchemaVersion = 10;

// The channel every committed change of the books is announced on (LISTEN varnel).
inline constexpr QLatin1String kChangesChannel{"varnel"};

// The two groups of operators: cashiers take events, bets, results and payouts and read
// everything; managers may also undo a result and set the limits.
enum class OperatorRole { Kassa, Manager };

// A table's name and a field's column on the server: the file's stem and the field's name,
// in lower case (COMPIT.DBF -> compit, SUMM_1 -> summ_1).
QString ServerTable(const TableDescription& table);
QString ServerColumn(QLatin1String field);

// Whether the database holds books, and of which layout (0: none).
int ServerSchemaVersion(ServerConnection& server);
// Throws the EServerError an operator can act on unless the database holds books of this
// program's layout: none, an earlier one (varnel-newdesk --upgrade), a later one.
void RequireServerBooks(ServerConnection& server);

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

// Brings books of an earlier layout to this one, every record kept, in one transaction: the
// old layout's version, or 0 when they were of this one already (nothing changed). Throws an
// EServerError when the database holds no books or books of a later layout.
int UpgradeServer(ServerConnection& server);

// Whether cashiers enter events and results on these books, or managers alone do (the default
// of new books; books upgraded from a layout before the choice let cashiers, as they always
// did). The books' owner's to set.
void SetCashiersSettle(ServerConnection& server, bool cashiersSettle);
// Why the operator of this connection may not enter events and results here; empty when they
// may.
QString EventsAndResultsRefused(ServerConnection& server);

// The group role of the books' operators of a role (the groups belong to the whole cluster:
// their names carry the database's).
QString OperatorGroup(ServerConnection& server, OperatorRole role);
// The same, quoted as an SQL name.
QString QuotedGroup(ServerConnection& server, OperatorRole role);
// Why a cashier may not enter events and results on books whose owner leaves them to managers.
QString ManagersSettleMessage();
// Makes a login role for an operator in the group of `role`, with the password already
// hashed by libpq (ServerConnection::HashPassword), or none (peer or certificate logins). A
// login role of that name already there only joins the group, its password left as it is:
// false then. Throws an EServerError on a bad name or a refusal (no right to make roles).
bool AddOperator(ServerConnection& server, const QString& name, OperatorRole role,
                 const QByteArray& passwordHash);

} // namespace varnel
