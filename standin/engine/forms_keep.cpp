// The catalogue reads of the maintenance tool when it keeps a column's dependents, in the exact shapes it
// sends them (the general SELECT has no joins): a table's indexes with their columns (sys.indexes,
// sys.index_columns, sys.columns), its user-created statistics with their columns (sys.stats,
// sys.stats_columns), its defaults (sys.default_constraints) and its check constraints
// (sys.check_constraints), with SQL Server's column names and types.
#include <algorithm>

#include "engine/statement_registry.h"

namespace standin {

namespace {

ResultColumn Col(const char* name, const char* type, bool nullable = false) {
  return {name, *ParseSqlType(type), nullable};
}

Value Bit(bool on) {
  return Value(on ? 1 : 0);
}

// The table the read names; no rows when object_id() gives NULL.
TableDef* Table(ExecContext& ctx, const Captures& caps) {
  return ctx.CurrentDb()->FindTable(caps.Text("table"));
}

// Index ids as sys.indexes numbers them here: 1 for the clustered index, 2 on for the others in their order.
std::vector<int> IndexIds(const TableDef& table) {
  std::vector<int> ids;
  int id = 1;
  for (const auto& index : table.indexes) ids.push_back(index.clustered ? 1 : ++id);
  return ids;
}

void Indexes(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {Col("index_id", "int"),
                Col("name", "sysname", true),
                Col("type_desc", "nvarchar(60)", true),
                Col("is_unique", "bit", true),
                Col("is_primary_key", "bit", true),
                Col("is_unique_constraint", "bit", true),
                Col("filter_definition", "nvarchar(max)", true),
                Col("column_name", "sysname", true),
                Col("key_ordinal", "tinyint"),
                Col("is_descending_key", "bit", true),
                Col("is_included_column", "bit", true)};
  if (const TableDef* table = Table(ctx, caps)) {
    const std::vector<int> ids = IndexIds(*table);
    std::vector<size_t> order(ids.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return ids[a] < ids[b]; });
    for (size_t k : order) {
      const IndexDef& index = table->indexes[k];
      auto row = [&](const std::string& column, int ordinal, bool descending, bool included) {
        rs.rows.push_back({Value(ids[k]), Value(index.name),
                           Value(index.clustered ? "CLUSTERED" : "NONCLUSTERED"), Bit(index.unique),
                           Bit(index.primary_key), Bit(index.unique_constraint),
                           index.filter.empty() ? Value{} : Value(index.filter), Value(column),
                           Value(ordinal), Bit(descending), Bit(included)});
      };
      int ordinal = 0;
      for (const auto& key : index.keys) row(key.column, ++ordinal, key.descending, false);
      for (const auto& column : index.included) row(column, 0, false, true);
    }
  }
  ctx.Rows(std::move(rs));
}

void Statistics(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {Col("stats_id", "int"), Col("name", "sysname", true),
                Col("filter_definition", "nvarchar(max)", true), Col("column_name", "sysname", true)};
  if (const TableDef* table = Table(ctx, caps)) {
    // Statistics ids follow the indexes', whose statistics share their ids.
    const std::vector<int> ids = IndexIds(*table);
    int id = ids.empty() ? 1 : *std::max_element(ids.begin(), ids.end());
    for (const auto& statistic : table->statistics) {
      ++id;
      if (statistic.auto_created) continue;
      for (const auto& column : statistic.columns) {
        rs.rows.push_back({Value(id), Value(statistic.name), Value{}, Value(column)});
      }
    }
  }
  ctx.Rows(std::move(rs));
}

void Constraints(ExecContext& ctx, const Captures& caps, ConstraintKind kind) {
  ResultSet rs;
  rs.columns = {Col("name", "sysname"), Col("column_name", "sysname", true),
                Col("definition", "nvarchar(max)", true)};
  if (kind == ConstraintKind::kCheck) rs.columns.push_back(Col("is_not_trusted", "bit"));
  if (const TableDef* table = Table(ctx, caps)) {
    for (const auto& constraint : table->constraints) {
      if (constraint.kind != kind) continue;
      // A table-level check has no column of its own.
      const Value column = constraint.columns.empty() ? Value{} : Value(constraint.columns.front().column);
      std::vector<Value> row = {Value(constraint.name), column, Value(constraint.expression)};
      if (kind == ConstraintKind::kCheck) row.push_back(Bit(constraint.not_trusted));
      rs.rows.push_back(std::move(row));
    }
  }
  ctx.Rows(std::move(rs));
}

}  // namespace

void RegisterKeepForms(StatementRegistry& r) {
  r.AddForm(
      "indexes with their columns",
      "select i . index_id , i . name , i . type_desc , i . is_unique , i . is_primary_key , i . "
      "is_unique_constraint , i . filter_definition , c . name as column_name , ic . key_ordinal , ic . "
      "is_descending_key , ic . is_included_column from sys . indexes i join sys . index_columns ic on ic . "
      "object_id = i . object_id and ic . index_id = i . index_id join sys . columns c on c . object_id = ic "
      ". object_id and c . column_id = ic . column_id where i . object_id = object_id ( {table:str} ) order "
      "by i . index_id , ic . is_included_column , ic . key_ordinal , ic . index_column_id",
      Indexes);
  r.AddForm(
      "user statistics with their columns",
      "select s . stats_id , s . name , s . filter_definition , c . name as column_name from sys . stats s "
      "join sys . stats_columns sc on sc . object_id = s . object_id and sc . stats_id = s . stats_id join "
      "sys . columns c on c . object_id = sc . object_id and c . column_id = sc . column_id where s . "
      "object_id = object_id ( {table:str} ) and s . user_created = 1 order by s . stats_id , sc . "
      "stats_column_id",
      Statistics);
  r.AddForm(
      "defaults with their columns",
      "select d . name , c . name as column_name , d . definition from sys . default_constraints d join sys "
      ". columns c on c . object_id = d . parent_object_id and c . column_id = d . parent_column_id where d "
      ". parent_object_id = object_id ( {table:str} )",
      [](ExecContext& ctx, const Captures& caps) { Constraints(ctx, caps, ConstraintKind::kDefault); });
  r.AddForm("check constraints with their columns",
            "select k . name , c . name as column_name , k . definition , k . is_not_trusted from sys . "
            "check_constraints k left join sys . columns c on c . object_id = k . parent_object_id and c . "
            "column_id = k . parent_column_id where k . parent_object_id = object_id ( {table:str} )",
            [](ExecContext& ctx, const Captures& caps) { Constraints(ctx, caps, ConstraintKind::kCheck); });
}

}  // namespace standin
