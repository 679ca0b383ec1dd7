// sp_lock and SET LOCK_TIMEOUT.
#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <variant>

#include "engine/locks.h"
#include "engine/statement_registry.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

std::string Padded(std::string_view text, size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

std::optional<int64_t> SpidArg(const ProcCall& call, size_t position, std::string_view name) {
  const ProcArg* arg = call.Arg(position, name);
  if (!arg || arg->value.IsNull()) return std::nullopt;
  int64_t spid = 0;
  const std::string text = arg->value.ToText();
  std::from_chars(text.data(), text.data() + text.size(), spid);
  return spid;
}

// Every session holds a shared lock on its current database, then the locks of its transaction and the
// request it waits for; by spid, or for the one or two spids given.
void Lock(ExecContext& ctx, ProcCall& call) {
  const auto spid1 = SpidArg(call, 0, "@spid1");
  const auto spid2 = SpidArg(call, 1, "@spid2");
  ResultSet rs;
  rs.columns = {{"spid", *ParseSqlType("smallint"), true},
                {"dbid", *ParseSqlType("smallint"), true},
                {"ObjId", IntType(), true},
                {"IndId", *ParseSqlType("smallint"), true},
                {"Type", *ParseSqlType("nchar(4)"), true},
                {"Resource", *ParseSqlType("nchar(32)"), true},
                {"Mode", *ParseSqlType("nvarchar(8)"), true},
                {"Status", *ParseSqlType("nvarchar(5)"), true}};
  std::vector<const LiveSession*> sessions;
  for (const auto& [connection, live] : ctx.server.sessions) {
    const bool wanted =
        (!spid1 && !spid2) || (spid1 && *spid1 == live.spid) || (spid2 && *spid2 == live.spid);
    if (wanted) sessions.push_back(&live);
  }
  std::sort(sessions.begin(), sessions.end(),
            [](const LiveSession* a, const LiveSession* b) { return a->spid < b->spid; });
  auto row = [&](int spid, int16_t dbid, int32_t object_id, int16_t index_id, LockType type,
                 const std::string& resource, LockMode mode, bool granted) {
    rs.rows.push_back({Value(static_cast<int64_t>(spid)), Value(static_cast<int64_t>(dbid)),
                       Value(static_cast<int64_t>(object_id)), Value(static_cast<int64_t>(index_id)),
                       Value(Padded(LockTypeName(type), 4)), Value(Padded(resource, 32)),
                       Value(std::string(LockModeName(mode))),
                       Value(std::string(granted ? "GRANT" : "WAIT"))});
  };
  for (const LiveSession* live : sessions) {
    if (const Database* db = ctx.server.catalog.FindDatabase(live->database)) {
      row(live->spid, db->dbid, 0, 0, LockType::kDb, "", LockMode::kS, true);
    }
    const auto& entries = ctx.server.locks.Entries();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
      const LockEntry& e = *it;
      if (e.connection != live->connection) continue;
      // A row changed in place is held under its old and its new values, but it is one row.
      const bool shown = std::any_of(entries.begin(), it, [&](const LockEntry& earlier) {
        return earlier.connection == e.connection && earlier.granted == e.granted && earlier.mode == e.mode &&
               earlier.resource.object_id == e.resource.object_id &&
               earlier.resource.dbid == e.resource.dbid && earlier.resource.type == e.resource.type &&
               earlier.resource.text == e.resource.text;
      });
      if (shown) continue;
      row(e.spid, e.resource.dbid, e.resource.object_id, e.resource.index_id, e.resource.type,
          e.resource.text, e.mode, e.granted);
    }
  }
  ctx.Rows(std::move(rs));
}

// SET LOCK_TIMEOUT n: milliseconds a statement waits for a lock; -1 waits as long as it takes, 0 not at all.
void SetLockTimeout(ExecContext& ctx, const Captures& caps) {
  TokenCursor cur(caps["ms"].tokens);
  Value value;
  if (!cur.Literal(value) || !cur.AtEnd() || !std::holds_alternative<int64_t>(value.v)) {
    return SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
  }
  const int64_t ms = std::get<int64_t>(value.v);
  ctx.session.lock_timeout_ms = ms < 0 ? -1 : ms;
}

}  // namespace

void RegisterLockForms(StatementRegistry& r) {
  r.AddForm("set lock_timeout", "set lock_timeout {ms:rest}", SetLockTimeout);
  r.AddProcedure("sp_lock", Lock);
}

}  // namespace standin
