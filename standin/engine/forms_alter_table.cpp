// ALTER TABLE t ADD column definitions, ALTER TABLE t DROP COLUMN c, and the values column defaults give
// new rows.
#include <algorithm>
#include <cstdio>
#include <mutex>
#include <random>

#include "engine/create_support.h"

namespace standin {

namespace {

std::string NewGuidText() {
  static std::mt19937_64 engine{std::random_device{}()};
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  const uint64_t hi = engine(), lo = engine();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%08X-%04X-4%03X-%04X-%012llX", static_cast<unsigned>(hi >> 32),
                static_cast<unsigned>((hi >> 16) & 0xFFFF), static_cast<unsigned>(hi & 0xFFF),
                static_cast<unsigned>(0x8000 | (lo >> 48 & 0x3FFF)),
                static_cast<unsigned long long>(lo & 0xFFFFFFFFFFFFULL));
  return buf;
}

// The stand-in's clock stands still, so that tests can expect its dates: getdate() in a SELECT reads the
// same moment.
DateTime Now() {
  return DateTimeFromParts(2024, 6, 1, 12, 0, 0, 0);
}

void DropColumn(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(caps.Text("table"));
  const std::string& column_name = caps.Text("column");
  if (!table) {
    ctx.Error(4902, 16, 1,
              "Cannot find the object \"" + caps.Text("table") +
                  "\" because it does not exist or you do not have permissions.");
    return;
  }
  const int col = table->ColumnIndex(column_name);
  if (col < 0) {
    ctx.Error(4924, 16, 1,
              "ALTER TABLE DROP COLUMN failed because column '" + column_name +
                  "' does not exist in table '" + table->name + "'.");
    return;
  }
  const std::string column = table->columns[static_cast<size_t>(col)].name;
  auto names = [&](const std::vector<IndexKey>& keys) {
    return std::any_of(keys.begin(), keys.end(),
                       [&](const IndexKey& k) { return NamesEqual(k.column, column); });
  };
  std::vector<std::pair<std::string, std::string>> dependents;  // kind, name
  for (const auto& i : table->indexes) {
    if (names(i.keys) && !i.primary_key && !i.unique_constraint) dependents.push_back({"index", i.name});
  }
  for (const auto& s : table->statistics) {
    const bool on_column = std::any_of(s.columns.begin(), s.columns.end(),
                                       [&](const std::string& c) { return NamesEqual(c, column); });
    if (on_column && !s.auto_created) dependents.push_back({"statistics", s.name});
  }
  for (const auto& c : table->constraints) {
    if (names(c.columns)) dependents.push_back({"object", c.name});
  }
  if (!dependents.empty()) {
    for (const auto& [kind, name] : dependents)
      ctx.Error(5074, 16, 1, "The " + kind + " '" + name + "' is dependent on column '" + column + "'.");
    ctx.Error(
        4922, 16, 9,
        "ALTER TABLE DROP COLUMN " + column + " failed because one or more objects access this column.");
    return;
  }
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  table->columns.erase(table->columns.begin() + col);
  for (auto& row : table->rows) row.erase(row.begin() + col);
  std::erase_if(table->statistics, [&](const StatisticDef& s) {
    return std::any_of(s.columns.begin(), s.columns.end(),
                       [&](const std::string& c) { return NamesEqual(c, column); });
  });
}

void AddColumns(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(caps.Text("table"));
  if (!table) {
    ctx.Error(4902, 16, 1,
              "Cannot find the object \"" + caps.Text("table") +
                  "\" because it does not exist or you do not have permissions.");
    return;
  }
  TableDef changed = *table;
  const size_t first_new = changed.columns.size();
  const size_t constraints_before = changed.constraints.size();
  if (!ParseAddedColumns(ctx, *db, caps["body"].tokens, changed)) return;
  for (size_t k = constraints_before; k < changed.constraints.size(); ++k) {
    if (ObjectNameTaken(*db, changed.constraints[k].name)) {
      ctx.Error(2714, 16, 5,
                "There is already an object named '" + changed.constraints[k].name + "' in the database.");
      ctx.Error(1750, 16, 0, "Could not create constraint or index. See previous errors.");
      return;
    }
  }
  // Existing rows take the default of a NOT NULL column, NULL otherwise, and identity values in order.
  for (size_t c = first_new; c < changed.columns.size(); ++c) {
    const ColumnDef& column = changed.columns[c];
    const ConstraintDef* def = nullptr;
    for (const auto& con : changed.constraints) {
      if (con.kind == ConstraintKind::kDefault && NamesEqual(con.columns.at(0).column, column.name))
        def = &con;
    }
    int64_t next = column.seed;
    for (auto& row : changed.rows) {
      Value v;
      if (column.identity) {
        v = ConvertValue(Value(next), *ParseSqlType("bigint"), column.type).value;
        next += column.increment;
      } else if (def && !column.nullable) {
        v = DefaultValue(*def, column.type);
      }
      if (v.IsNull() && !column.nullable) {
        ctx.Error(4901, 16, 1,
                  "ALTER TABLE only allows columns to be added that can contain nulls, or have a DEFAULT "
                  "definition specified, or the column being added is an identity or timestamp column, or "
                  "alternatively if none of the previous conditions are satisfied the table must be empty to "
                  "allow addition of this column. Column '" +
                      column.name + "' cannot be added to non-empty table '" + changed.name +
                      "' because it does not satisfy these conditions.");
        return;
      }
      row.push_back(std::move(v));
    }
  }
  ctx.BeforeChange(*db);
  *db->FindTable(caps.Text("table")) = std::move(changed);
}

}  // namespace

Value DefaultValue(const ConstraintDef& constraint, const SqlType& type) {
  std::string text = constraint.expression;
  while (text.size() >= 2 && text.front() == '(' && text.back() == ')')
    text = text.substr(1, text.size() - 2);
  const std::string lower = Lower(Trim(text));
  Value v;
  SqlType from = VarCharType(8000);
  if (lower == "getdate()" || lower == "current_timestamp") {
    v = Value(Now());
    from = *ParseSqlType("datetime");
  } else if (lower == "newid()") {
    v = Value(NewGuidText());
  } else if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
    std::string inner;
    for (size_t k = 1; k + 1 < text.size(); ++k) {
      inner += text[k];
      if (text[k] == '\'' && text[k + 1] == '\'') ++k;
    }
    v = Value(inner);
  } else if (text.size() >= 3 && (text[0] == 'N' || text[0] == 'n') && text[1] == '\'') {
    ConstraintDef unicode = constraint;
    unicode.expression = text.substr(1);
    return DefaultValue(unicode, type);
  } else if (!lower.empty() && lower.find_first_not_of("-.0123456789") == std::string::npos) {
    v = Value(lower);
  } else {
    return Value{};  // an expression the stand-in does not evaluate
  }
  auto converted = ConvertValue(v, from, type);
  return converted.error ? Value{} : converted.value;
}

void RegisterAlterTableForms(StatementRegistry& r) {
  r.AddForm("alter table drop column", "alter table {table:name} drop column {column}", DropColumn);
  r.AddForm("alter table add columns", "alter table {table:name} add {body:rest}", AddColumns);
}

}  // namespace standin
