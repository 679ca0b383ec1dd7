// Whole databases and their owners: DROP DATABASE, DELETE with its row count, and the ownership procedures
// sp_changedbowner (sp_dropuser is with the other user procedures).
#include <algorithm>

#include "engine/locks.h"
#include "engine/statement_registry.h"

namespace standin {

namespace {

// Character comparison as the default collation makes it: without case, trailing spaces ignored.
bool TextEqual(const Value& a, const Value& b) {
  if (a.IsNull() || b.IsNull()) return false;
  auto right_trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  return NamesEqual(right_trimmed(a.ToText()), right_trimmed(b.ToText()));
}

// A database is in use while a session other than this one, or a scenario process, has it as its current
// database; dropping the database one is in fails the same way.
bool InUse(ExecContext& ctx, const Database& db) {
  if (NamesEqual(ctx.session.database, db.name)) return true;
  if (ctx.server.SessionsIn(db.name, ctx.session.connection) > 0) return true;
  return std::any_of(ctx.server.catalog.processes.begin(), ctx.server.catalog.processes.end(),
                     [&](const ProcessDef& p) { return NamesEqual(p.database, db.name); });
}

void DropDatabase(ExecContext& ctx, const Captures& caps) {
  const std::string& name = caps.Text("db");
  if (ctx.session.trancount > 0) {
    ctx.Error(226, 16, 6, "DROP DATABASE statement not allowed within multi-statement transaction.");
    return;
  }
  Database* db = ctx.server.catalog.FindDatabase(name);
  static const char* const kSystem[] = {"master", "tempdb", "model", "msdb"};
  const bool system =
      std::any_of(std::begin(kSystem), std::end(kSystem), [&](const char* s) { return NamesEqual(s, name); });
  if (!db || !ctx.IsSysAdmin()) {
    ctx.Error(
        3701, 11, 1,
        "Cannot drop the database '" + name + "', because it does not exist or you do not have permission.");
    return;
  }
  if (system) {
    ctx.Error(3708, 16, 1, "Cannot drop the database '" + db->name + "' because it is a system database.");
    return;
  }
  if (InUse(ctx, *db)) {
    ctx.Error(3702, 16, 4, "Cannot drop database \"" + db->name + "\" because it is currently in use.");
    return;
  }
  const std::string dropped = db->name;
  std::erase_if(ctx.server.catalog.databases, [&](const Database& d) { return NamesEqual(d.name, dropped); });
}

void Delete(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  const std::vector<std::string>& parts = caps["table"].parts;
  if (parts.size() >= 3) db = ctx.server.catalog.FindDatabase(parts[parts.size() - 3]);
  TableDef* table = db ? db->FindTable(caps.Text("table")) : nullptr;
  if (!table) {
    ctx.Error(208, 16, 1, "Invalid object name '" + caps.Text("table") + "'.");
    return;
  }
  int column = -1;
  if (caps.Has("col")) {
    column = table->ColumnIndex(caps.Text("col"));
    if (column < 0) {
      ctx.Error(207, 16, 1, "Invalid column name '" + caps.Text("col") + "'.");
      return;
    }
  }
  auto doomed = [&](const std::vector<Value>& row) {
    return column < 0 || TextEqual(row[static_cast<size_t>(column)], caps["value"].value);
  };
  std::vector<size_t> matched;
  for (size_t r = 0; r < table->rows.size(); ++r) {
    if (doomed(table->rows[r])) matched.push_back(r);
  }
  if (!TakeLocks(ctx, RowLocks(*db, *table, matched, LockMode::kX))) return;
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  const size_t before = table->rows.size();
  std::erase_if(table->rows, doomed);
  ctx.row_count = static_cast<int64_t>(before - table->rows.size());
}

void ChangeDbOwner(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const ProcArg* arg = call.Arg(0, "@loginame");
  // Names compare without their trailing blanks but keep their leading ones: " sa" names no login.
  std::string login_name = arg && !arg->value.IsNull() ? arg->value.ToText() : "";
  login_name.erase(login_name.find_last_not_of(' ') + 1);
  const LoginDef* login = ctx.server.catalog.FindLogin(login_name);
  if (!login) {
    ctx.Error(15007, 16, 1, "'" + login_name + "' is not a valid login or you do not have permission.");
    call.return_status = 1;
    return;
  }
  const bool is_user = std::any_of(db->users.begin(), db->users.end(), [&](const UserDef& u) {
    return !NamesEqual(u.name, "dbo") && NamesEqual(u.login, login->name);
  });
  if (is_user) {
    ctx.Error(15110, 16, 1, "The proposed new database owner is already a user or aliased in the database.");
    call.return_status = 1;
    return;
  }
  ctx.BeforeChange(*db);
  db->owner = login->name;
  auto dbo = std::find_if(db->users.begin(), db->users.end(),
                          [](const UserDef& u) { return NamesEqual(u.name, "dbo"); });
  if (dbo == db->users.end()) {
    db->users.insert(db->users.begin(), UserDef{"dbo", login->name, {"db_owner"}});
  } else {
    dbo->login = login->name;
  }
}

}  // namespace

void RegisterDatabaseForms(StatementRegistry& r) {
  r.AddForm("drop database", "drop database {db}", DropDatabase);
  r.AddForm("delete", "delete [from] {table:name} [where {col} = {value:lit}]", Delete);
  r.AddProcedure("sp_changedbowner", ChangeDbOwner);
}

}  // namespace standin
