// Locks taken by statements: the requests a statement makes on a table and its rows, the wait for locks held
// by other sessions (until their transaction ends, the client cancels, or SET LOCK_TIMEOUT expires), and
// sp_lock. Inside a transaction the granted locks stay until it ends; outside one they last the statement.
#pragma once

#include <vector>

#include "catalog/lock_table.h"
#include "engine/exec_context.h"
#include "engine/sql_lexer.h"

namespace standin {

// A lock on the whole table.
LockRequest TableLock(const Database& db, const TableDef& table, LockMode mode);
// Locks on rows of `table` (positions in its rows) in `mode`, with the intent lock on the table and on its
// page that go with them.
// With `changed` (the table's rows after the statement's change), each row is also locked as it will be, so
// that a row known by all its values stays locked after an UPDATE changes them.
std::vector<LockRequest> RowLocks(const Database& db, const TableDef& table, const std::vector<size_t>& rows,
                                  LockMode mode, const std::vector<std::vector<Value>>* changed = nullptr);
// The same for rows given by value (the new values of changed or inserted rows).
std::vector<LockRequest> RowLocks(const Database& db, const TableDef& table,
                                  const std::vector<std::vector<Value>>& rows, LockMode mode);

// Takes `requests` for the statement running in `ctx`. True when granted at once. When another session
// holds a conflicting lock, waits with the state's mutex released, and returns false having either set
// ctx.retry_statement (the locks came free: the statement must run again from the start, as the catalogue
// may have changed meanwhile), reported 1222 (lock time-out), reported 1205 and rolled back (deadlock), or
// set ctx.cancelled (ATTENTION, or the client went away).
bool TakeLocks(ExecContext& ctx, const std::vector<LockRequest>& requests);

// DROP TABLE and ALTER TABLE take a schema modification lock on their table before they run. False when the
// statement must not run now (see TakeLocks).
bool LockSchemaChange(ExecContext& ctx, const std::vector<Token>& tokens);

}  // namespace standin
