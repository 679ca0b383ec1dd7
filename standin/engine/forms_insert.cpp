// INSERT [INTO] table [(columns)] VALUES (values) [, (values)]...
#include <algorithm>

#include "engine/create_support.h"
#include "engine/locks.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

// The column list, or every column but the identity; false after 207, 544 or a syntax error.
bool TargetColumns(ExecContext& ctx, const TableDef& table, TokenCursor& cur, std::vector<int>& targets) {
  if (!cur.AcceptPunct("(")) {
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if (!table.columns[c].identity) targets.push_back(static_cast<int>(c));
    }
    return true;
  }
  do {
    std::string name;
    if (!cur.Ident(name)) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos()), false;
    int col = table.ColumnIndex(name);
    if (col < 0) {
      ctx.Error(207, 16, 1, "Invalid column name '" + name + "'.");
      return false;
    }
    if (table.columns[static_cast<size_t>(col)].identity) {
      ctx.Error(544, 16, 1,
                "Cannot insert explicit value for identity column in table '" + table.name +
                    "' when IDENTITY_INSERT is set to OFF.");
      return false;
    }
    targets.push_back(col);
  } while (cur.AcceptPunct(","));
  if (!cur.AcceptPunct(")")) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos()), false;
  return true;
}

// VALUES (...), (...): the literal rows; false after a syntax error or T-SQL outside the model.
bool ValueRows(ExecContext& ctx, TokenCursor& cur, std::vector<std::vector<Value>>& rows) {
  if (!cur.AcceptWord("values")) {
    // INSERT ... SELECT, INSERT ... EXEC and DEFAULT VALUES are T-SQL the stand-in does not model.
    if (cur.PeekWord("select") || cur.PeekWord("exec") || cur.PeekWord("execute") ||
        cur.PeekWord("default")) {
      NotModelled(ctx, cur.tokens());
    } else {
      SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
    }
    return false;
  }
  do {
    if (!cur.AcceptPunct("(")) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos()), false;
    std::vector<Value> values;
    do {
      Value v;
      if (!cur.Literal(v)) {
        if (cur.AtEnd() || cur.Peek()->kind == TokenKind::kPunct) {
          SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
        } else {
          NotModelled(ctx, cur.tokens());  // an expression, a function call, a variable
        }
        return false;
      }
      values.push_back(std::move(v));
    } while (cur.AcceptPunct(","));
    if (!cur.AcceptPunct(")")) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos()), false;
    rows.push_back(std::move(values));
  } while (cur.AcceptPunct(","));
  if (!cur.AtEnd()) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos()), false;
  return true;
}

// The stored row for one VALUES list: identity values, converted values, NULL checks (515).
bool BuildRow(ExecContext& ctx, const Database& db, const TableDef& table, const std::vector<int>& targets,
              const std::vector<std::vector<Value>>& existing, const std::vector<Value>& values,
              std::vector<Value>& row) {
  row.assign(table.columns.size(), Value{});
  for (size_t c = 0; c < table.columns.size(); ++c) {
    const ColumnDef& col = table.columns[c];
    if (!col.identity) continue;
    int64_t next = col.seed;
    for (const auto& r : existing) {
      if (auto* n = std::get_if<int64_t>(&r[c].v)) next = std::max(next, *n + col.increment);
      if (auto* d = std::get_if<Decimal>(&r[c].v); d && d->scale == 0)
        next = std::max(next, d->unscaled + col.increment);
    }
    row[c] = ConvertValue(Value(next), *ParseSqlType("bigint"), col.type).value;
  }
  // Columns not named take their DEFAULT.
  for (const auto& con : table.constraints) {
    if (con.kind != ConstraintKind::kDefault) continue;
    const int c = table.ColumnIndex(con.columns.at(0).column);
    if (c >= 0 && std::find(targets.begin(), targets.end(), c) == targets.end())
      row[static_cast<size_t>(c)] = DefaultValue(con, table.columns[static_cast<size_t>(c)].type);
  }
  for (size_t k = 0; k < targets.size(); ++k) {
    const ColumnDef& col = table.columns[static_cast<size_t>(targets[k])];
    auto converted = ConvertValue(values[k], LiteralType(values[k]), col.type, ctx.session.date_order);
    if (converted.error) {
      ctx.Error(*converted.error);
      ctx.Terminated();
      return false;
    }
    row[static_cast<size_t>(targets[k])] = converted.value;
  }
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (row[c].IsNull() && !table.columns[c].nullable) {
      ctx.Error(515, 16, 2,
                "Cannot insert the value NULL into column '" + table.columns[c].name + "', table '" +
                    db.name + "." + table.owner + "." + table.name +
                    "'; column does not allow nulls. INSERT fails.");
      ctx.Terminated();
      return false;
    }
  }
  return true;
}

}  // namespace

// A unique index that already holds the row's key: 2627 for a constraint's index, 2601 for a plain one.
bool KeysAreFree(ExecContext& ctx, const TableDef& table, const std::vector<std::vector<Value>>& existing,
                 const std::vector<Value>& row) {
  for (const auto& index : table.indexes) {
    if (!index.unique) continue;
    for (const auto& other : existing) {
      bool same = true;
      std::string shown;
      for (const auto& k : index.keys) {
        auto c = static_cast<size_t>(table.ColumnIndex(k.column));
        same = same && SameKey(other[c], row[c], table.columns[c].type);
        shown += (shown.empty() ? "" : ", ") + row[c].ToText();
      }
      if (!same) continue;
      std::string object = table.owner + "." + table.name;
      if (index.primary_key || index.unique_constraint) {
        ctx.Error(2627, 14, 1,
                  "Violation of " + std::string(index.primary_key ? "PRIMARY KEY" : "UNIQUE KEY") +
                      " constraint '" + index.name + "'. Cannot insert duplicate key in object '" + object +
                      "'. The duplicate key value is (" + shown + ").");
      } else {
        ctx.Error(2601, 14, 1,
                  "Cannot insert duplicate key row in object '" + object + "' with unique index '" +
                      index.name + "'. The duplicate key value is (" + shown + ").");
      }
      ctx.Terminated();
      return false;
    }
  }
  return true;
}

void Insert(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(caps.Text("table"));
  if (!table) {
    ctx.Error(208, 16, 1, "Invalid object name '" + JoinTokens(caps["table"].tokens) + "'.");
    return;
  }
  TokenCursor cur(caps["body"].tokens);
  std::vector<int> targets;
  std::vector<std::vector<Value>> lists;
  if (!TargetColumns(ctx, *table, cur, targets) || !ValueRows(ctx, cur, lists)) return;
  // The table's intent lock first: a session changing its schema makes the insert wait.
  if (!TakeLocks(ctx, {TableLock(*db, *table, LockMode::kIX)})) return;
  auto rows = table->rows;
  for (const auto& values : lists) {
    if (values.size() != targets.size()) {
      ctx.Error(213, 16, 1, "Column name or number of supplied values does not match table definition.");
      return;
    }
    std::vector<Value> row;
    if (!BuildRow(ctx, *db, *table, targets, rows, values, row) || !KeysAreFree(ctx, *table, rows, row))
      return;
    rows.push_back(std::move(row));
  }
  // The new rows are this transaction's until it ends.
  const std::vector<std::vector<Value>> added(rows.begin() + static_cast<std::ptrdiff_t>(table->rows.size()),
                                              rows.end());
  if (!TakeLocks(ctx, RowLocks(*db, *table, added, LockMode::kX))) return;
  ctx.BeforeChange(*db);
  table = db->FindTable(caps.Text("table"));
  table->rows = std::move(rows);
  ctx.row_count = static_cast<int64_t>(lists.size());
}

}  // namespace standin
