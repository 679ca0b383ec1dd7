// SELECT as the stand-in models it: a select list of expressions (arithmetic over literals, columns,
// built-in functions and @@variables), one table or compatibility view, WHERE with AND-ed comparisons, LIKE,
// IS NULL and IN, ORDER BY and TOP. Parsing and expression evaluation; forms_select.cpp runs the statement.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/exec_context.h"
#include "engine/sql_lexer.h"

namespace standin {

struct SelectExpr {
  enum Kind { kLiteral, kColumn, kStar, kCountStar, kBinary, kNegate } kind = kLiteral;
  Value value;  // kLiteral: functions and @@variables are evaluated while parsing
  SqlType type;
  std::string column;
  char op = 0;  // kBinary: + - * / %
  std::vector<SelectExpr> operands;
};

struct SelectItem {
  SelectExpr expr;
  std::string alias;
};

struct Condition {
  std::string column;
  std::string op;  // = <> < > <= >= like notlike isnull notnull in notin
  std::vector<Value> values;
};

struct SelectStatement {
  int64_t top = -1;
  std::vector<SelectItem> items;
  std::optional<std::vector<std::string>> from;  // name parts
  std::string from_written;
  std::vector<Condition> conditions;
  std::vector<std::pair<std::string, bool>> order;  // column, descending
};

// Parses "select ..." (all tokens of the statement). Reports a syntax error or, for valid T-SQL outside the
// model (joins, GROUP BY, subqueries, CASE, ...), the not-modelled error, and returns nothing.
std::optional<SelectStatement> ParseSelect(ExecContext& ctx, const std::vector<Token>& tokens);

// A row's columns as a SELECT expression sees them.
struct RowScope {
  const std::vector<ResultColumn>& columns;
  const std::vector<Value>* row;  // null: no row (types only)
};

// The column index of `name` in `columns`, or -1 after reporting 207.
int ColumnIndex(ExecContext& ctx, const std::vector<ResultColumn>& columns, const std::string& name);

// Whether `row` passes the WHERE condition `c` on its column `k` (NULL compares unknown).
bool Keeps(const std::vector<Value>& row, const std::vector<ResultColumn>& columns, int k, const Condition& c,
           DateOrder order);

// The type of an expression's result, or nothing after reporting an error (207, 8117).
std::optional<SqlType> ExprType(ExecContext& ctx, const SelectExpr& e,
                                const std::vector<ResultColumn>& columns);
// The value of an expression for one row; nothing after reporting an error (8134, 8115, 245, ...).
std::optional<Value> Evaluate(ExecContext& ctx, const SelectExpr& e, const RowScope& scope);

}  // namespace standin
