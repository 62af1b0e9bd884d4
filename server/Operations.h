#pragma once

#include <QString>

namespace varnel {

class ServerConnection;

// The books' own operations on a server: functions of the books' schema that run with the rights
// of a role of the books that cannot log in (varnel_<database>_operations), each checking who
// calls it and holding the same rules, refusals and arithmetic as the program's own operations
// (HACKING.md), so that an operator needs no write right on any table:
//   varnel.enter_event, varnel.take_bet, varnel.settle, varnel.pay_out, varnel.revoke_bet,
//   varnel.undo_result, varnel.set_limits.
// Defined anew (create or replace) as this program has them, inside the caller's transaction.
void DefineOperations(ServerConnection& server);
// The name of the role the operations run as (varnel_<database>_operations).
QString OperationsRole(ServerConnection& server);
// The role the operations run as, made where missing, with the rights they need; the
// operators' groups given EXECUTE on theirs and nothing else that writes.
void GrantOperations(ServerConnection& server);

} // namespace varnel
