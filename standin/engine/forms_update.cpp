// UPDATE table SET column = literal [, ...] [WHERE condition [AND ...]], with the conditions SELECT reads.
#include "engine/create_support.h"
#include "engine/locks.h"
#include "engine/select_statement.h"
#include "engine/token_cursor.h"

namespace standin {

namespace {

void Update(ExecContext& ctx, const Captures& caps) {
  Database* db = ctx.CurrentDb();
  TableDef* table = db->FindTable(caps.Text("table"));
  if (!table) {
    ctx.Error(208, 16, 1, "Invalid object name '" + JoinTokens(caps["table"].tokens) + "'.");
    return;
  }
  TokenCursor cur(caps["body"].tokens);
  std::vector<std::pair<int, Value>> assignments;
  do {
    std::vector<std::string> parts;
    Value v;
    if (!cur.Name(parts) || !cur.AcceptPunct("=")) return SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
    if (!cur.Literal(v)) {
      if (cur.AtEnd() || cur.Peek()->kind == TokenKind::kPunct)
        return SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
      return NotModelled(ctx, cur.tokens());  // an expression, a column, a subquery
    }
    const int col = table->ColumnIndex(parts.back());
    if (col < 0) {
      ctx.Error(207, 16, 1, "Invalid column name '" + parts.back() + "'.");
      return;
    }
    if (table->columns[static_cast<size_t>(col)].identity) {
      ctx.Error(8102, 16, 1,
                "Cannot update identity column '" + table->columns[static_cast<size_t>(col)].name + "'.");
      return;
    }
    assignments.push_back({col, std::move(v)});
  } while (cur.AcceptPunct(","));

  // The WHERE clause is read as SELECT reads it, over the same table.
  std::vector<Condition> conditions;
  if (!cur.AtEnd()) {
    if (!cur.PeekWord("where")) {
      if (cur.PeekWord("from")) return NotModelled(ctx, cur.tokens());
      return SyntaxErrorNear(ctx, cur.tokens(), cur.pos());
    }
    std::vector<Token> select = Lex("select * from t").tokens;
    const size_t where = select.size();
    select.insert(select.end(), cur.tokens().begin() + static_cast<std::ptrdiff_t>(cur.pos()),
                  cur.tokens().end());
    // Clients write a row's update as "WHERE (<their condition>) AND <column> = ?": the conditions are all
    // ANDed, so parentheses around the first one change nothing.
    if (where + 1 < select.size() && select[where + 1].kind == TokenKind::kPunct &&
        select[where + 1].text == "(") {
      int depth = 0;
      for (size_t k = where + 1; k < select.size(); ++k) {
        if (select[k].kind != TokenKind::kPunct) continue;
        depth += select[k].text == "(" ? 1 : select[k].text == ")" ? -1 : 0;
        if (depth == 0) {
          select.erase(select.begin() + static_cast<std::ptrdiff_t>(k));
          select.erase(select.begin() + static_cast<std::ptrdiff_t>(where + 1));
          break;
        }
      }
    }
    auto parsed = ParseSelect(ctx, select);
    if (!parsed) {
      ctx.abort_batch = true;
      return;
    }
    conditions = parsed->conditions;
  }
  std::vector<ResultColumn> columns;
  for (const auto& c : table->columns) columns.push_back({c.name, c.type, c.nullable});
  std::vector<int> condition_columns;
  for (const auto& c : conditions) {
    const int k = ColumnIndex(ctx, columns, c.column);
    if (k < 0) return;
    condition_columns.push_back(k);
  }

  auto rows = table->rows;
  int64_t count = 0;
  std::vector<size_t> matched;
  for (size_t r = 0; r < rows.size(); ++r) {
    auto& row = rows[r];
    bool matches = true;
    for (size_t k = 0; k < conditions.size() && matches; ++k)
      matches = Keeps(row, columns, condition_columns[k], conditions[k], ctx.session.date_order);
    if (!matches) continue;
    for (const auto& [col, literal] : assignments) {
      const ColumnDef& column = table->columns[static_cast<size_t>(col)];
      auto converted = ConvertValue(literal, LiteralType(literal), column.type);
      if (converted.error) {
        ctx.Error(*converted.error);
        return ctx.Terminated();
      }
      if (converted.value.IsNull() && !column.nullable) {
        ctx.Error(515, 16, 2,
                  "Cannot insert the value NULL into column '" + column.name + "', table '" + db->name + "." +
                      table->owner + "." + table->name + "'; column does not allow nulls. UPDATE fails.");
        return ctx.Terminated();
      }
      row[static_cast<size_t>(col)] = converted.value;
    }
    matched.push_back(r);
    ++count;
  }
  // A changed row may not take a key another row holds.
  for (size_t r = 0; r < rows.size(); ++r) {
    if (rows[r] == table->rows[r]) continue;
    std::vector<std::vector<Value>> others = rows;
    others.erase(others.begin() + static_cast<std::ptrdiff_t>(r));
    if (!KeysAreFree(ctx, *table, others, rows[r])) return;
  }
  // The rows it changes are held until the transaction ends; another session's lock on one makes it wait.
  if (!TakeLocks(ctx, RowLocks(*db, *table, matched, LockMode::kX, &rows))) return;
  ctx.BeforeChange(*db);
  db->FindTable(caps.Text("table"))->rows = std::move(rows);
  ctx.row_count = count;
}

}  // namespace

void RegisterUpdateForms(StatementRegistry& r) {
  r.AddForm("update", "update {table:name} set {body:rest}", Update);
}

}  // namespace standin
