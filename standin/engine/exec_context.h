// The context a statement handler runs in: the shared server state (locked), the session it came from, and
// the reply it writes into.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "catalog/server_state.h"
#include "engine/reply.h"

namespace standin {

struct PreparedStatement {
  std::string text;
  std::string declarations;
};

// Per-connection state the statements see and change.
struct SessionState {
  int connection = 0;
  int spid = 0;
  std::string login;
  std::string database = "master";
  std::string language = "us_english";     // SET LANGUAGE; from the login packet or the login's default
  DateOrder date_order = DateOrder::kMdy;  // SET DATEFORMAT; set by the language
  int trancount = 0;
  int64_t lock_timeout_ms = -1;  // SET LOCK_TIMEOUT; -1 waits for a lock as long as it takes
  uint64_t tran_descriptor = 0;
  // Databases as they were when the open transaction first changed them, restored by ROLLBACK or a
  // disconnect.
  std::map<std::string, Database> undo;
  std::map<int32_t, PreparedStatement> prepared;
  int32_t next_handle = 1;
};

class ExecContext {
 public:
  ExecContext(ServerState& server_state, SessionState& session_state, Reply& reply_out)
      : server(server_state), session(session_state), reply(reply_out) {}

  ServerState& server;
  SessionState& session;
  Reply& reply;
  bool in_procedure = false;
  std::string procedure;  // name put into messages raised inside a procedure
  bool failed = false;
  bool abort_batch = false;         // the statements after this one in the batch are not run
  bool aborts_transaction = false;  // an error of this statement ends the batch and rolls back (241, 242)
  std::optional<int64_t> row_count;
  std::map<std::string, Value> parameters;  // @name (lower case) -> value, for sp_executesql
  // Asked while a statement waits for a lock: true when the client cancelled (ATTENTION) or went away.
  std::function<bool()> interrupted;
  bool cancelled = false;        // the batch stopped on the client's cancel
  bool retry_statement = false;  // a lock the statement waited for came free: it runs again from the start
  // When the statement's wait for locks gives up (SET LOCK_TIMEOUT); set on its first wait.
  std::optional<std::chrono::steady_clock::time_point> lock_deadline;

  // The session's current database; never null while a session is logged in.
  Database* CurrentDb();
  const LoginDef* CurrentLogin();
  bool IsSysAdmin();

  // A result set; a SELECT statement's row count, or a DONEINPROC inside a procedure.
  void Rows(ResultSet rows);
  void Info(int32_t number, std::string text, uint8_t state = 1);
  // 3621 "The statement has been terminated.", which follows an error that ended a
  // data-changing statement.
  void Terminated() { Info(3621, "The statement has been terminated.", 0); }
  void Error(int32_t number, uint8_t severity, uint8_t state, std::string text);
  void Error(const SqlError& error) { Error(error.number, error.severity, error.state, error.text); }
  void Env(EnvItem env) { reply.items.push_back(std::move(env)); }
  // Records the database before its first change inside an open transaction, so ROLLBACK can restore it.
  void BeforeChange(Database& db);
};

}  // namespace standin
