// Server administration statements: ALTER DATABASE ... SET SINGLE_USER / MULTI_USER / OFFLINE / ONLINE and
// KILL.
#include <algorithm>

#include "engine/statement_registry.h"

namespace standin {

namespace {

void AlterDatabaseFailed(ExecContext& ctx) {
  ctx.Error(5069, 16, 1, "ALTER DATABASE statement failed.");
}

// SINGLE_USER and OFFLINE need the database to themselves: other sessions in it are ended WITH ROLLBACK
// IMMEDIATE; otherwise (NO_WAIT, or no option, where the server would wait) the change fails with 5070.
void AlterDatabase(ExecContext& ctx, const Captures& caps) {
  const std::string& name = caps.Text("db");
  if (ctx.session.trancount > 0) {
    ctx.Error(226, 16, 6, "ALTER DATABASE statement not allowed within multi-statement transaction.");
    return;
  }
  Database* db = ctx.server.catalog.FindDatabase(name);
  if (!db) {
    ctx.Error(5011, 14, 5,
              "User does not have permission to alter database '" + name +
                  "', the database does not exist, or the database is not in a state that allows "
                  "access checks.");
    AlterDatabaseFailed(ctx);
    return;
  }
  if (!ctx.IsSysAdmin()) {
    ctx.Error(5011, 14, 9,
              "User does not have permission to alter database '" + db->name +
                  "', the database does not exist, or the database is not in a state that allows "
                  "access checks.");
    AlterDatabaseFailed(ctx);
    return;
  }
  const std::string option = Lower(caps.Text("option"));
  const bool exclusive = option == "single_user" || option == "offline";
  if (option != "single_user" && option != "multi_user" && option != "offline" && option != "online") {
    SyntaxErrorNear(ctx, caps["option"].tokens, 0);
    return;
  }
  if (exclusive) {
    std::vector<int> others;
    for (const auto& [id, s] : ctx.server.sessions) {
      if (id != ctx.session.connection && NamesEqual(s.database, db->name)) others.push_back(id);
    }
    bool scenario_users =
        std::any_of(ctx.server.catalog.processes.begin(), ctx.server.catalog.processes.end(),
                    [&](const ProcessDef& p) { return NamesEqual(p.database, db->name); });
    if (!others.empty() || scenario_users) {
      if (!caps.Has("immediate") && !caps.Has("after")) {
        ctx.Error(
            5070, 16, 2,
            "Database state cannot be changed while other users are using the database '" + db->name + "'");
        AlterDatabaseFailed(ctx);
        return;
      }
      ctx.Info(5060, "Nonqualified transactions are being rolled back. Estimated rollback completion: 100%.",
               1);
      for (int id : others) ctx.server.EndSession(id);
      std::erase_if(ctx.server.catalog.processes,
                    [&](const ProcessDef& p) { return NamesEqual(p.database, db->name); });
    }
  }
  if (option == "single_user") db->single_user = true;
  if (option == "multi_user") db->single_user = false;
  if (option == "offline") db->state = DbState::kOffline;
  if (option == "online") db->state = DbState::kOnline;
}

void Kill(ExecContext& ctx, const Captures& caps) {
  const Value& v = caps["spid"].value;
  int64_t spid = std::holds_alternative<int64_t>(v.v) ? std::get<int64_t>(v.v) : -1;
  if (!ctx.IsSysAdmin()) {
    ctx.Error(6102, 14, 1, "User does not have permission to use the KILL statement.");
    return;
  }
  if (ctx.session.trancount > 0) {
    ctx.Error(6115, 16, 1, "KILL command cannot be used inside user transactions.");
    return;
  }
  if (spid < 1 || spid > 32767) {
    ctx.Error(6101, 16, 1,
              "Process ID " + std::to_string(spid) +
                  " is not a valid process ID. Choose a number between 1 and 32767.");
    return;
  }
  if (spid == ctx.session.spid) {
    ctx.Error(6104, 16, 1, "Cannot use KILL to kill your own process.");
    return;
  }
  if (spid < 50) {
    ctx.Error(6107, 14, 1, "Only user processes can be killed.");
    return;
  }
  for (const auto& [id, s] : ctx.server.sessions) {
    if (s.spid == spid) {
      ctx.server.EndSession(id);
      return;
    }
  }
  auto& processes = ctx.server.catalog.processes;
  auto it =
      std::find_if(processes.begin(), processes.end(), [&](const ProcessDef& p) { return p.spid == spid; });
  if (it == processes.end()) {
    ctx.Error(6106, 16, 2, "Process ID " + std::to_string(spid) + " is not an active process ID.");
    return;
  }
  processes.erase(it);
}

}  // namespace

void RegisterAdminForms(StatementRegistry& r) {
  r.AddForm("alter database set",
            "alter database {db} set {option} [with rollback immediate|after] [{seconds:num}] [seconds] "
            "[with no_wait]",
            AlterDatabase);
  r.AddForm("kill", "kill {spid:num}", Kill);
}

}  // namespace standin
