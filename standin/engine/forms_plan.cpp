// The reads of the maintenance tool's dry run, in the exact shapes it sends them (the general SELECT has no
// joins, UNION or ISDATE): the indexes that use a column only as an included column or in their filter, and
// the values of a column that do not read as dates under the session's DATEFORMAT.
#include <algorithm>

#include "engine/statement_registry.h"

namespace standin {

namespace {

bool IsKey(const IndexDef& index, const std::string& column) {
  return std::any_of(index.keys.begin(), index.keys.end(),
                     [&](const IndexKey& key) { return NamesEqual(key.column, column); });
}

// select i.name from sys.indexes i join sys.index_columns ic ... where i.object_id = object_id('<table>') and
// c.name = '<column>' and ic.is_included_column = 1 union select i.name from sys.indexes i where i.object_id
// = object_id('<table>') and i.has_filter = 1 and i.filter_definition like '%<column>%'
void HiddenIndexes(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {{"name", NVarCharType(128), true}};
  const std::string& column = caps.Text("column");
  if (TableDef* table = ctx.CurrentDb()->FindTable(caps.Text("table"))) {
    for (const auto& index : table->indexes) {
      const bool included = std::any_of(index.included.begin(), index.included.end(),
                                        [&](const std::string& c) { return NamesEqual(c, column); });
      const bool filtered =
          !index.filter.empty() && index.UsesColumn(column) && !IsKey(index, column) && !included;
      if (included || filtered) rs.rows.push_back({Value(index.name)});
    }
  }
  ctx.Rows(std::move(rs));
}

// Rows whose column is not NULL and does not read as a date under the session's date order: their count, or
// the first five values.
void UnreadableDates(ExecContext& ctx, const Captures& caps, bool count) {
  TableDef* table = ctx.CurrentDb()->FindTable(caps.Text("table"));
  if (!table) {
    ctx.Error(208, 16, 1, "Invalid object name '" + caps.Text("table") + "'.");
    return;
  }
  const int k = table->ColumnIndex(caps.Text("column"));
  if (k < 0) {
    ctx.Error(207, 16, 1, "Invalid column name '" + caps.Text("column") + "'.");
    return;
  }
  std::vector<Value> unreadable;
  for (const auto& row : table->rows) {
    const Value& value = row[static_cast<size_t>(k)];
    if (value.IsNull()) continue;
    SqlError error;
    if (!std::holds_alternative<DateTime>(value.v) &&
        !ParseDateTime(value.ToText(), &error, ctx.session.date_order)) {
      unreadable.push_back(value);
    }
  }
  ResultSet rs;
  if (count) {
    rs.columns = {{caps.Text("alias"), IntType(), true}};
    rs.rows.push_back({Value(static_cast<int64_t>(unreadable.size()))});
  } else {
    const ColumnDef& source = table->columns[static_cast<size_t>(k)];
    rs.columns = {ResultColumn{source.name, source.type, true}};
    for (size_t i = 0; i < unreadable.size() && i < 5; ++i) rs.rows.push_back({unreadable[i]});
  }
  ctx.Rows(std::move(rs));
}

}  // namespace

void RegisterPlanForms(StatementRegistry& r) {
  r.AddForm(
      "indexes hiding a column",
      "select i . name from sys . indexes i join sys . index_columns ic on ic . object_id = i . object_id "
      "and ic . index_id = i . index_id join sys . columns c on c . object_id = ic . object_id and c . "
      "column_id = ic . column_id where i . object_id = object_id ( {table:str} ) and c . name = "
      "{column:str} and ic . is_included_column = 1 union select i . name from sys . indexes i where i . "
      "object_id = object_id ( {table2:str} ) and i . has_filter = 1 and i . filter_definition like "
      "{pattern:str}",
      HiddenIndexes);
  r.AddForm(
      "count of unreadable dates",
      "select count ( * ) as {alias} from {table:name} where {column} is not null and isdate ( {column2} ) "
      "= 0",
      [](ExecContext& ctx, const Captures& caps) { UnreadableDates(ctx, caps, true); });
  r.AddForm(
      "unreadable dates",
      "select top 5 {column} from {table:name} where {column1} is not null and isdate ( {column2} ) = 0",
      [](ExecContext& ctx, const Captures& caps) { UnreadableDates(ctx, caps, false); });
}

}  // namespace standin
