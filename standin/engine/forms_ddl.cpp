// Schema changes: DROP INDEX, DROP STATISTICS, ALTER TABLE ... DROP CONSTRAINT and ALTER TABLE ... ALTER
// COLUMN.
#include <algorithm>

#include "engine/statement_registry.h"

namespace standin {

namespace {

bool NamesColumn(const std::vector<IndexKey>& keys, std::string_view column) {
  return std::any_of(keys.begin(), keys.end(),
                     [&](const IndexKey& k) { return NamesEqual(k.column, column); });
}

bool NamesColumn(const std::vector<std::string>& columns, std::string_view column) {
  return std::any_of(columns.begin(), columns.end(),
                     [&](const std::string& c) { return NamesEqual(c, column); });
}

// Resolves "[db.][owner.]table" to a table; the database part, when given, names another database.
TableDef* ResolveTable(ExecContext& ctx, const std::vector<std::string>& parts, Database** db_out) {
  Database* db = parts.size() >= 3 && !parts[parts.size() - 3].empty()
                     ? ctx.server.catalog.FindDatabase(parts[parts.size() - 3])
                     : ctx.CurrentDb();
  if (db_out) *db_out = db;
  return db ? db->FindTable(parts.back()) : nullptr;
}

void DropIndex(ExecContext& ctx, const std::vector<std::string>& table_parts, const std::string& index_name) {
  Database* db = nullptr;
  TableDef* table = ResolveTable(ctx, table_parts, &db);
  std::string shown = table_parts.back() + "." + index_name;
  IndexDef* index = table ? table->FindIndex(index_name) : nullptr;
  if (!index) {
    ctx.Error(
        3701, 11, 7,
        "Cannot drop the index '" + shown + "', because it does not exist or you do not have permission.");
    return;
  }
  if (index->primary_key || index->unique_constraint) {
    ctx.Error(3723, 16, 4,
              "An explicit DROP INDEX is not allowed on index '" + shown + "'. It is being used for " +
                  (index->primary_key ? "PRIMARY KEY" : "UNIQUE KEY") + " constraint enforcement.");
    return;
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(table_parts.back());
  std::erase_if(table->indexes, [&](const IndexDef& i) { return NamesEqual(i.name, index_name); });
}

void DropStatistics(ExecContext& ctx, const Captures& caps) {
  const auto& parts = caps["target"].parts;
  if (parts.size() < 2) {
    SyntaxErrorNear(ctx, caps["target"].tokens, caps["target"].tokens.size());
    return;
  }
  std::vector<std::string> table_parts(parts.begin(), parts.end() - 1);
  const std::string& stat_name = parts.back();
  Database* db = nullptr;
  TableDef* table = ResolveTable(ctx, table_parts, &db);
  std::string shown = table_parts.back() + "." + stat_name;
  if (table && !table->FindStatistic(stat_name) && table->FindIndex(stat_name)) {
    ctx.Error(3739, 11, 1,
              "Cannot DROP the index '" + shown + "' because it is not a statistics collection.");
    return;
  }
  if (!table || !table->FindStatistic(stat_name)) {
    ctx.Error(3701, 11, 6,
              "Cannot drop the statistics '" + shown +
                  "', because it does not exist or you do not have permission.");
    return;
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(table_parts.back());
  std::erase_if(table->statistics, [&](const StatisticDef& s) { return NamesEqual(s.name, stat_name); });
}

void DropConstraint(ExecContext& ctx, const Captures& caps) {
  Database* db = nullptr;
  TableDef* table = ResolveTable(ctx, caps["table"].parts, &db);
  const std::string& name = caps.Text("constraint");
  if (!table) {
    ctx.Error(4902, 16, 1,
              "Cannot find the object \"" + caps.Text("table") +
                  "\" because it does not exist or you do not have permissions.");
    return;
  }
  ConstraintDef* constraint = table->FindConstraint(name);
  if (!constraint) {
    ctx.Error(3728, 16, 1, "'" + name + "' is not a constraint.");
    ctx.Error(3727, 16, 0, "Could not drop constraint. See previous errors.");
    return;
  }
  if (constraint->kind == ConstraintKind::kPrimaryKey || constraint->kind == ConstraintKind::kUnique) {
    for (const auto& other : db->tables) {
      for (const auto& fk : other.constraints) {
        if (fk.kind == ConstraintKind::kForeignKey && NamesEqual(LastNamePart(fk.ref_table), table->name) &&
            !(&other == table)) {
          ctx.Error(3725, 16, 0,
                    "The constraint '" + constraint->name + "' is being referenced by table '" + other.name +
                        "', foreign key constraint '" + fk.name + "'.");
          ctx.Error(3727, 16, 0, "Could not drop constraint. See previous errors.");
          return;
        }
      }
    }
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps["table"].parts.back());
  // PRIMARY KEY and UNIQUE constraints take their index with them.
  std::erase_if(table->indexes, [&](const IndexDef& i) {
    return (i.primary_key || i.unique_constraint) && NamesEqual(i.name, name);
  });
  std::erase_if(table->constraints, [&](const ConstraintDef& c) { return NamesEqual(c.name, name); });
}

// What stops a column's type change: indexes, user-created statistics and constraints that name the column.
// Auto-created statistics never block; the change drops them.
struct Dependent {
  std::string kind;  // "index", "statistics" or "object"
  std::string name;
};

std::vector<Dependent> BlockingDependents(const TableDef& table, const ColumnDef& column,
                                          const SqlType& new_type, bool nullable) {
  const bool same_type = column.type == new_type;
  // Growing a variable-length column within its own type is allowed around indexes, statistics and defaults.
  const bool widening =
      column.type.base == new_type.base &&
      (new_type.base == BaseType::kVarChar || new_type.base == BaseType::kNVarChar ||
       new_type.base == BaseType::kVarBinary) &&
      (new_type.length < 0 || (column.type.length >= 0 && new_type.length >= column.type.length));
  std::vector<Dependent> out;
  for (const auto& index : table.indexes) {
    if (!index.UsesColumn(column.name)) continue;
    if (index.primary_key && (nullable || !same_type)) {
      out.push_back({"object", index.name});
    } else if (!index.primary_key && !index.unique_constraint && !same_type && !widening) {
      out.push_back({"index", index.name});
    }
  }
  for (const auto& stat : table.statistics) {
    if (!stat.auto_created && NamesColumn(stat.columns, column.name) && !same_type && !widening) {
      out.push_back({"statistics", stat.name});
    }
  }
  for (const auto& c : table.constraints) {
    // A table-level check depends on every column it names.
    const bool table_check = c.kind == ConstraintKind::kCheck && c.columns.empty() &&
                             Lower(c.expression).find("[" + Lower(column.name) + "]") != std::string::npos;
    if ((!NamesColumn(c.columns, column.name) && !table_check) || c.kind == ConstraintKind::kPrimaryKey)
      continue;
    bool blocks = c.kind == ConstraintKind::kDefault  ? !same_type && !widening
                  : c.kind == ConstraintKind::kUnique ? !same_type && !widening
                                                      : !same_type;
    if (blocks) out.push_back({"object", c.name});
  }
  return out;
}

void AlterColumn(ExecContext& ctx, const Captures& caps) {
  Database* db = nullptr;
  TableDef* table = ResolveTable(ctx, caps["table"].parts, &db);
  const std::string& column_name = caps.Text("column");
  if (!table) {
    ctx.Error(4902, 16, 1,
              "Cannot find the object \"" + caps.Text("table") +
                  "\" because it does not exist or you do not have permissions.");
    return;
  }
  auto type = ParseSqlType(caps.Text("type"));
  if (!type) {
    ctx.Error(
        2715, 16, 6,
        "Column, parameter, or variable #1: Cannot find data type " + caps["type"].tokens[0].text + ".");
    return;
  }
  int col = table->ColumnIndex(column_name);
  if (col < 0) {
    ctx.Error(4924, 16, 1,
              "ALTER TABLE ALTER COLUMN failed because column '" + column_name +
                  "' does not exist in table '" + table->name + "'.");
    return;
  }
  // ODBC sessions run with ANSI_NULL_DFLT_ON, so a column altered without NULL/NOT NULL becomes nullable.
  bool nullable = !caps.Has("not");
  ColumnDef& column = table->columns[col];
  auto blocking = BlockingDependents(*table, column, *type, nullable);
  if (!blocking.empty()) {
    for (const auto& d : blocking) {
      ctx.Error(5074, 16, 1,
                "The " + d.kind + " '" + d.name + "' is dependent on column '" + column.name + "'.");
    }
    ctx.Error(4922, 16, 9,
              "ALTER TABLE ALTER COLUMN " + column.name +
                  " failed because one or more objects access this column.");
    return;
  }
  std::vector<Value> converted;
  converted.reserve(table->rows.size());
  for (const auto& row : table->rows) {
    const Value& v = row[col];
    if (v.IsNull() && !nullable) {
      ctx.Error(515, 16, 2,
                "Cannot insert the value NULL into column '" + column.name + "', table '" + db->name + "." +
                    table->owner + "." + table->name + "'; column does not allow nulls. UPDATE fails.");
      ctx.Terminated();
      return;
    }
    auto c = ConvertValue(v, column.type, *type, ctx.session.date_order);
    if (c.error) {
      ctx.Error(*c.error);
      ctx.Terminated();
      return;
    }
    converted.push_back(std::move(c.value));
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps["table"].parts.back());
  ColumnDef& target = table->columns[col];
  target.type = *type;
  target.nullable = nullable;
  for (size_t r = 0; r < table->rows.size(); ++r) table->rows[r][col] = std::move(converted[r]);
  std::erase_if(table->statistics,
                [&](const StatisticDef& s) { return s.auto_created && NamesColumn(s.columns, target.name); });
}

}  // namespace

void RegisterDdlForms(StatementRegistry& r) {
  r.AddForm("drop index (table.index)", "drop index {target:name}",
            [](ExecContext& ctx, const Captures& caps) {
              const auto& parts = caps["target"].parts;
              if (parts.size() < 2) {
                SyntaxErrorNear(ctx, caps["target"].tokens, caps["target"].tokens.size());
                return;
              }
              DropIndex(ctx, std::vector<std::string>(parts.begin(), parts.end() - 1), parts.back());
            });
  r.AddForm("drop index on", "drop index {index} on {table:name}",
            [](ExecContext& ctx, const Captures& caps) {
              DropIndex(ctx, caps["table"].parts, caps.Text("index"));
            });
  r.AddForm("drop statistics", "drop statistics {target:name}", DropStatistics);
  r.AddForm("alter table drop constraint", "alter table {table:name} drop constraint {constraint}",
            DropConstraint);
  r.AddForm("alter table alter column",
            "alter table {table:name} alter column {column} {type:type} [not] [null]", AlterColumn);
}

}  // namespace standin
