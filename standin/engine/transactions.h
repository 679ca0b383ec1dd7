// Transactions of a session: BEGIN/COMMIT/ROLLBACK from statement text and from transaction manager requests.
// Changes to a database inside a transaction are undone by restoring the copy taken before its first change.
#pragma once

#include "engine/exec_context.h"

namespace standin {

void BeginTransaction(ExecContext& ctx);
// 3902 when no transaction is open.
void CommitTransaction(ExecContext& ctx);
// 3903 when no transaction is open.
void RollbackTransaction(ExecContext& ctx);
// A connection that ends with a transaction open loses its changes and its locks, as on the server. Caller
// holds the state's mutex.
void RollbackOnDisconnect(ServerState& server, SessionState& session);

}  // namespace standin
