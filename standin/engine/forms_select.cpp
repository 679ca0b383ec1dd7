// SELECT statements: the catalogue join that reads a column's type names, and the modelled single-table
// SELECT (see select_statement.h) over user tables and the compatibility views, or without FROM.
#include <algorithm>

#include "engine/select_statement.h"
#include "engine/statement_registry.h"
#include "engine/system_tables.h"

namespace standin {

namespace {

// Joining syscolumns to systypes on xtype gives one row per type sharing the column's physical type, built-in
// and alias types alike: an nvarchar column yields "nvarchar" and "sysname", a datetime column "datetime" and
// every alias type on datetime. The rows come in type name order, as observed: nvarchar before sysname, and
// an alias such as DataHora before datetime.
void ColumnTypeNames(ExecContext& ctx, const Captures& caps) {
  ResultSet rs;
  rs.columns = {{"name", *ParseSqlType("sysname"), false}};
  Value id = ObjectId(ctx, caps.Text("table"));
  Database* db = ctx.CurrentDb();
  if (!id.IsNull() && db) {
    for (const auto& table : db->tables) {
      if (table.object_id != std::get<int64_t>(id.v)) continue;
      const ColumnDef* column = table.FindColumn(caps.Text("column"));
      if (!column) continue;
      std::vector<std::string> names;
      for (const auto& t : SystemTypes()) {
        if (t.xtype == column->type.XType()) names.push_back(t.name);
      }
      for (const auto& a : db->types) {
        if (a.base.XType() == column->type.XType()) names.push_back(a.name);
      }
      std::stable_sort(names.begin(), names.end(),
                       [](const std::string& x, const std::string& y) { return Lower(x) < Lower(y); });
      for (auto& n : names) rs.rows.push_back({Value(std::move(n))});
    }
  }
  ctx.Rows(std::move(rs));
}

// Compares a stored value with a literal under the column's type; NULL compares unknown (false).
int Compare(const Value& stored, const SqlType& type, const Value& literal, bool& comparable,
            DateOrder order = DateOrder::kMdy) {
  comparable = !stored.IsNull() && !literal.IsNull();
  if (!comparable) return 0;
  if (type.IsCharacter()) {
    std::string a = Lower(stored.ToText()), b = Lower(literal.ToText());
    while (!a.empty() && a.back() == ' ') a.pop_back();  // trailing spaces do not count in = comparisons
    while (!b.empty() && b.back() == ' ') b.pop_back();
    return a < b ? -1 : a > b ? 1 : 0;
  }
  auto lit = ConvertValue(literal,
                          literal.ToText().empty()                         ? VarCharType(1)
                          : std::holds_alternative<std::string>(literal.v) ? VarCharType(8000)
                          : std::holds_alternative<int64_t>(literal.v)     ? *ParseSqlType("bigint")
                                                                           : *ParseSqlType("float"),
                          type, order);
  if (lit.error) {
    comparable = false;
    return 0;
  }
  const Value& l = lit.value;
  if (auto* a = std::get_if<DateTime>(&stored.v)) {
    auto& b = std::get<DateTime>(l.v);
    return a->days != b.days ? (a->days < b.days ? -1 : 1) : a->ticks < b.ticks ? -1 : a->ticks > b.ticks;
  }
  double a = std::stod(stored.ToText()), b = std::stod(l.ToText());
  return a < b ? -1 : a > b ? 1 : 0;
}

// The rows of the FROM table or view, or nothing after 208.
std::optional<ResultSet> Source(ExecContext& ctx, const SelectStatement& s) {
  const auto& parts = *s.from;
  Database* db =
      parts.size() >= 3 && !parts[0].empty() ? ctx.server.catalog.FindDatabase(parts[0]) : ctx.CurrentDb();
  if (TableDef* table = db ? db->FindTable(parts.back()) : nullptr) {
    ResultSet source;
    for (const auto& c : table->columns) source.columns.push_back({c.name, c.type, c.nullable});
    source.rows = table->rows;
    return source;
  }
  if (auto sys = db ? SystemTable(ctx, *db, parts.back()) : std::nullopt) return sys;
  ctx.Error(208, 16, 1, "Invalid object name '" + s.from_written + "'.");
  return std::nullopt;
}

}  // namespace

bool Keeps(const std::vector<Value>& row, const std::vector<ResultColumn>& columns, int k, const Condition& c,
           DateOrder order) {
  const Value& v = row[static_cast<size_t>(k)];
  const SqlType& type = columns[static_cast<size_t>(k)].type;
  bool comparable = false;
  if (c.op == "isnull") return v.IsNull();
  if (c.op == "notnull") return !v.IsNull();
  if (c.op == "like" || c.op == "notlike") {
    return !v.IsNull() && !c.values[0].IsNull() &&
           LikeMatch(v.ToText(), c.values[0].ToText()) == (c.op == "like");
  }
  if (c.op == "in" || c.op == "notin") {
    bool hit = false;
    for (const auto& lit : c.values)
      hit = hit || (Compare(v, type, lit, comparable, order) == 0 && comparable);
    return !v.IsNull() && hit == (c.op == "in");
  }
  int cmp = Compare(v, type, c.values[0], comparable, order);
  return comparable && ((c.op == "=" && cmp == 0) || (c.op == "<>" && cmp != 0) || (c.op == "<" && cmp < 0) ||
                        (c.op == ">" && cmp > 0) || (c.op == "<=" && cmp <= 0) || (c.op == ">=" && cmp >= 0));
}

namespace {

// WHERE, ORDER BY and TOP over the source rows; false after 207.
bool FilterAndSort(ExecContext& ctx, const SelectStatement& s, const ResultSet& source,
                   std::vector<std::vector<Value>>& rows) {
  std::vector<std::pair<int, const Condition*>> resolved;
  for (const auto& c : s.conditions) {
    int k = ColumnIndex(ctx, source.columns, c.column);
    if (k < 0) return false;
    resolved.push_back({k, &c});
  }
  for (const auto& row : source.rows) {
    if (std::all_of(resolved.begin(), resolved.end(), [&](const auto& rc) {
          return Keeps(row, source.columns, rc.first, *rc.second, ctx.session.date_order);
        })) {
      rows.push_back(row);
    }
  }
  std::vector<std::pair<int, bool>> order;
  for (const auto& [column, desc] : s.order) {
    int k = ColumnIndex(ctx, source.columns, column);
    if (k < 0) return false;
    order.push_back({k, desc});
  }
  std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
    for (const auto& [k, desc] : order) {
      bool comparable = false;
      int cmp = a[k].IsNull()   ? (b[k].IsNull() ? 0 : -1)
                : b[k].IsNull() ? 1
                                : Compare(a[k], source.columns[k].type, b[k], comparable);
      if (cmp != 0) return desc ? cmp > 0 : cmp < 0;
    }
    return false;
  });
  if (s.top >= 0 && static_cast<int64_t>(rows.size()) > s.top) rows.resize(static_cast<size_t>(s.top));
  return true;
}

void RunSelect(ExecContext& ctx, const SelectStatement& s) {
  ResultSet source;
  if (s.from) {
    auto found = Source(ctx, s);
    if (!found) return;
    source = std::move(*found);
  }
  std::vector<std::vector<Value>> rows;
  if (s.from && !FilterAndSort(ctx, s, source, rows)) return;

  // Columns: * expands to the source's; other items are typed once.
  ResultSet out;
  std::vector<const SelectItem*> per_column;
  for (const auto& item : s.items) {
    if (item.expr.kind == SelectExpr::kStar) {
      if (!s.from) return ctx.Error(263, 16, 1, "Must specify table to select from.");
      for (const auto& c : source.columns) {
        out.columns.push_back(c);
        per_column.push_back(&item);
      }
      continue;
    }
    auto type = ExprType(ctx, item.expr, source.columns);
    if (!type) return;
    bool nullable = true;
    if (item.expr.kind == SelectExpr::kColumn)
      nullable = source.columns[ColumnIndex(ctx, source.columns, item.expr.column)].nullable;
    out.columns.push_back({item.alias, *type, nullable});
    per_column.push_back(&item);
  }
  bool aggregate = std::any_of(s.items.begin(), s.items.end(),
                               [](const SelectItem& i) { return i.expr.kind == SelectExpr::kCountStar; });
  auto make_row = [&](const std::vector<Value>* row, std::vector<Value>& r) {
    size_t star = 0;
    for (size_t n = 0; n < per_column.size(); ++n) {
      const SelectExpr& e = per_column[n]->expr;
      if (e.kind == SelectExpr::kStar) {
        star = n > 0 && per_column[n - 1] == per_column[n] ? star + 1 : 0;
        r.push_back(row ? (*row)[star] : Value{});
      } else if (e.kind == SelectExpr::kCountStar) {
        r.emplace_back(static_cast<int64_t>(rows.size()));
      } else {
        auto v = Evaluate(ctx, e, RowScope{source.columns, row});
        if (!v) return false;
        r.push_back(std::move(*v));
      }
    }
    return true;
  };
  if (!s.from || aggregate) {
    std::vector<Value> r;
    if (!make_row(rows.empty() ? nullptr : &rows.front(), r)) return;
    out.rows.push_back(std::move(r));
  } else {
    for (const auto& row : rows) {
      std::vector<Value> r;
      if (!make_row(&row, r)) return;
      out.rows.push_back(std::move(r));
    }
  }
  ctx.Rows(std::move(out));
}

}  // namespace

void RegisterSelectForms(StatementRegistry& r) {
  r.AddForm(
      "column type names",
      "select systypes . name from syscolumns inner join systypes on systypes . xtype = syscolumns . xtype "
      "where syscolumns . id = object_id ( {table:str} ) and syscolumns . name = {column:str}",
      ColumnTypeNames);
  // Last among the SELECT forms: it takes every other SELECT and reports what it cannot answer.
  r.AddForm("select", "select {body:rest}", [](ExecContext& ctx, const Captures& caps) {
    std::vector<Token> tokens = caps["body"].tokens;
    tokens.insert(tokens.begin(), Token{TokenKind::kWord, "select", "select", false, Value{}, false});
    if (auto statement = ParseSelect(ctx, tokens)) RunSelect(ctx, *statement);
  });
}

}  // namespace standin
