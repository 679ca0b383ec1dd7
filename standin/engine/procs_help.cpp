// The catalogue help procedures: sp_helpindex, sp_helpconstraint and sp_helpstats, with SQL Server's
// result-set shapes and the informational messages they print instead of an empty set.
#include <algorithm>

#include "engine/help_procs.h"
#include "engine/statement_registry.h"

namespace standin {

namespace {

SqlType T(const char* text) {
  return *ParseSqlType(text);
}

std::string JoinKeys(const std::vector<IndexKey>& keys) {
  std::string out;
  for (const auto& k : keys) {
    if (!out.empty()) out += ", ";
    out += k.column + (k.descending ? "(-)" : "");
  }
  return out;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const auto& i : items) out += (out.empty() ? "" : ", ") + i;
  return out;
}

bool LessCi(const std::string& a, const std::string& b) {
  return Lower(a) < Lower(b);
}

// Finds the table named by @objname in the current database; reports 201, 15250 or 15009 and returns null.
TableDef* ObjectArgument(ExecContext& ctx, ProcCall& call, const std::string& proc, std::string& written) {
  const ProcArg* arg = call.Arg(0, "@objname");
  if (!arg || arg->value.IsNull()) {
    ctx.Error(201, 16, 4,
              "Procedure or function '" + proc + "' expects parameter '@objname', which was not supplied.");
    call.return_status = 1;
    return nullptr;
  }
  written = arg->value.ToText();
  Database* db = ctx.CurrentDb();
  int dots = static_cast<int>(std::count(written.begin(), written.end(), '.'));
  if (dots >= 2 && !NamesEqual(LastNamePart(written.substr(0, written.find('.'))), db->name)) {
    ctx.Error(
        15250, 16, 1,
        "The database name component of the object qualifier must be the name of the current database.");
    call.return_status = 1;
    return nullptr;
  }
  TableDef* table = db->FindTable(written);
  if (!table) {
    ctx.Error(15009, 16, 1,
              "The object '" + written + "' does not exist in database '" + db->name +
                  "' or is invalid for this operation.");
    call.return_status = 1;
  }
  return table;
}

}  // namespace

void HelpIndex(ExecContext& ctx, ProcCall& call) {
  std::string written;
  TableDef* table = ObjectArgument(ctx, call, "sp_helpindex", written);
  if (!table) return;
  if (table->indexes.empty()) {
    ctx.Info(15472,
             "The object '" + written + "' does not have any indexes, or you do not have permissions.");
    return;
  }
  ResultSet rs;
  rs.columns = {{"index_name", T("sysname"), false},
                {"index_description", T("varchar(210)"), true},
                {"index_keys", T("nvarchar(2078)"), true}};
  std::vector<const IndexDef*> sorted;
  for (const auto& i : table->indexes) sorted.push_back(&i);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return LessCi(a->name, b->name); });
  for (const IndexDef* i : sorted) {
    std::string description = i->clustered ? "clustered" : "nonclustered";
    if (i->unique || i->primary_key || i->unique_constraint) description += ", unique";
    if (i->primary_key) description += ", primary key";
    if (i->unique_constraint) description += ", unique key";
    description += " located on " + i->filegroup;
    rs.rows.push_back({Value(i->name), Value(description), Value(JoinKeys(i->keys))});
  }
  ctx.Rows(std::move(rs));
}

void HelpConstraint(ExecContext& ctx, ProcCall& call) {
  std::string written;
  TableDef* table = ObjectArgument(ctx, call, "sp_helpconstraint", written);
  if (!table) return;
  Database* db = ctx.CurrentDb();
  const ProcArg* nomsg = call.Arg(1, "@nomsg");
  if (!nomsg || !NamesEqual(nomsg->value.ToText(), "nomsg")) {
    ResultSet name_set;
    name_set.columns = {{"Object Name", T("nvarchar(776)"), false}};
    name_set.rows.push_back({Value(written)});
    ctx.Rows(std::move(name_set));
  }
  if (table->constraints.empty()) {
    ctx.Info(15469,
             "No constraints are defined on object '" + written + "', or you do not have permissions.");
  } else {
    ResultSet rs;
    rs.columns = {
        {"constraint_type", T("nvarchar(146)"), true}, {"constraint_name", T("nvarchar(128)"), true},
        {"delete_action", T("nvarchar(9)"), true},     {"update_action", T("nvarchar(9)"), true},
        {"status_enabled", T("varchar(8)"), true},     {"status_for_replication", T("varchar(19)"), true},
        {"constraint_keys", T("nvarchar(2078)"), true}};
    std::vector<const ConstraintDef*> sorted;
    for (const auto& c : table->constraints) sorted.push_back(&c);
    // The procedure orders its rows by constraint name; a constraint's continuation rows follow it.
    std::stable_sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return LessCi(a->name, b->name); });
    const Value na("(n/a)");
    for (const ConstraintDef* c : sorted) {
      std::string enabled = c->enabled ? "Enabled" : "Disabled";
      std::string replication = c->not_for_replication ? "Not_For_Replication" : "Is_For_Replication";
      std::string column = c->columns.empty() ? "" : c->columns.front().column;
      switch (c->kind) {
        case ConstraintKind::kPrimaryKey:
        case ConstraintKind::kUnique: {
          std::string kind = c->kind == ConstraintKind::kPrimaryKey ? "PRIMARY KEY" : "UNIQUE";
          kind += c->clustered ? " (clustered)" : " (non-clustered)";
          rs.rows.push_back({Value(kind), Value(c->name), na, na, na, na, Value(JoinKeys(c->columns))});
          break;
        }
        case ConstraintKind::kForeignKey: {
          std::vector<std::string> local;
          for (const auto& k : c->columns) local.push_back(k.column);
          rs.rows.push_back({Value("FOREIGN KEY"), Value(c->name), Value(c->delete_action),
                             Value(c->update_action), Value(enabled), Value(replication),
                             Value(Join(local))});
          rs.rows.push_back({Value(" "), Value(" "), Value(" "), Value(" "), Value(" "), Value(" "),
                             Value("REFERENCES " + db->name + ".dbo." + LastNamePart(c->ref_table) + " (" +
                                   Join(c->ref_columns) + ")")});
          break;
        }
        case ConstraintKind::kCheck:
          rs.rows.push_back({Value(column.empty() ? "CHECK Table Level " : "CHECK on column " + column),
                             Value(c->name), na, na, Value(enabled), Value(replication),
                             Value(c->expression)});
          break;
        case ConstraintKind::kDefault:
          rs.rows.push_back(
              {Value("DEFAULT on column " + column), Value(c->name), na, na, na, na, Value(c->expression)});
          break;
      }
    }
    ctx.Rows(std::move(rs));
  }
  std::vector<std::string> referencing;
  for (const auto& other : db->tables) {
    for (const auto& c : other.constraints) {
      if (c.kind == ConstraintKind::kForeignKey && NamesEqual(LastNamePart(c.ref_table), table->name)) {
        referencing.push_back(db->name + "." + other.owner + "." + other.name + ": " + c.name);
      }
    }
  }
  if (referencing.empty()) {
    ctx.Info(15470, "No foreign keys reference table '" + written +
                        "', or you do not have permissions on referencing tables.");
  } else {
    std::sort(referencing.begin(), referencing.end(), LessCi);
    ResultSet rs;
    rs.columns = {{"Table is referenced by foreign key", T("nvarchar(516)"), true}};
    for (auto& r : referencing) rs.rows.push_back({Value(r)});
    ctx.Rows(std::move(rs));
  }
}

void HelpStats(ExecContext& ctx, ProcCall& call) {
  std::string written;
  TableDef* table = ObjectArgument(ctx, call, "sp_helpstats", written);
  if (!table) return;
  const ProcArg* results = call.Arg(1, "@results");
  bool all = results && NamesEqual(Trim(results->value.ToText()), "ALL");
  std::vector<std::pair<std::string, std::string>> rows;
  // STATS lists the statistics that belong to no index, auto-created and user-created alike; ALL adds
  // indexes.
  for (const auto& s : table->statistics) rows.push_back({s.name, Join(s.columns)});
  if (all) {
    for (const auto& i : table->indexes) {
      std::vector<std::string> cols;
      for (const auto& k : i.keys) cols.push_back(k.column);
      rows.push_back({i.name, Join(cols)});
    }
  }
  if (rows.empty()) {
    if (all) {
      ctx.Info(15575, "This object does not have any statistics or indexes.");
    } else {
      ctx.Info(15574, "This object does not have any statistics.");
    }
    return;
  }
  std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return LessCi(a.first, b.first); });
  ResultSet rs;
  rs.columns = {{"statistics_name", T("sysname"), false}, {"statistics_keys", T("nvarchar(2078)"), false}};
  for (auto& [name, keys] : rows) rs.rows.push_back({Value(name), Value(keys)});
  ctx.Rows(std::move(rs));
}

void RegisterHelpProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_helpindex", HelpIndex);
  r.AddProcedure("sp_helpconstraint", HelpConstraint);
  r.AddProcedure("sp_helpstats", HelpStats);
  r.AddProcedure("sp_help", Help);
}

}  // namespace standin
