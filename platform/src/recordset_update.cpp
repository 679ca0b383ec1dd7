// Recordset::Update: writing the changed fields of the current row back to the
// table its single-table query read, with a parameterized UPDATE.
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "platform/text.h"
#include "session_state.h"

namespace platform {
namespace {

[[noreturn]] void NotUpdatable() {
  throw Error(kErrUpdateNotSupported,
              "Current Recordset does not support updating. This may be a limitation of the provider, or of "
              "the selected locktype.");
}

// The table and the condition of "select <list> from <table> [where <condition>]
// [order by ...]", read at the top level of the text (strings, bracketed names and
// parentheses skipped). Anything else (joins, several tables, an alias, grouping,
// unions) is not a query whose rows can be written back.
struct SingleTableQuery {
  std::string table;
  std::string condition;
};

struct Token {
  std::string_view text;
  std::size_t begin = 0;
  bool word = false;  // a plain word or a bracketed / quoted name
};

std::vector<Token> TopLevelTokens(std::string_view sql) {
  std::vector<Token> tokens;
  int depth = 0;
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const std::size_t begin = i;
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      ++i;
      while (i < sql.size()) {
        if (sql[i] == close) {
          if (i + 1 < sql.size() && sql[i + 1] == close) {
            i += 2;
            continue;
          }
          break;
        }
        ++i;
      }
      if (i >= sql.size()) NotUpdatable();
      ++i;
      if (depth == 0) tokens.push_back({sql.substr(begin, i - begin), begin, c != '\''});
      continue;
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '#' || c == '@' ||
        static_cast<unsigned char>(c) >= 0x80) {
      while (i < sql.size() &&
             (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_' || sql[i] == '#' ||
              sql[i] == '@' || sql[i] == '$' || static_cast<unsigned char>(sql[i]) >= 0x80)) {
        ++i;
      }
      if (depth == 0) tokens.push_back({sql.substr(begin, i - begin), begin, true});
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    ++i;
    if (depth == 0 && c != ')') tokens.push_back({sql.substr(begin, 1), begin, false});
  }
  return tokens;
}

bool IsKeyword(const Token& token, std::string_view keyword) {
  return token.word && EqualsIgnoringCase(token.text, keyword);
}

SingleTableQuery ParseSingleTableQuery(const std::string& sql) {
  const std::vector<Token> tokens = TopLevelTokens(sql);
  if (tokens.empty() || !IsKeyword(tokens[0], "select")) NotUpdatable();
  std::size_t i = 1;
  while (i < tokens.size() && !IsKeyword(tokens[i], "from")) ++i;
  if (++i >= tokens.size()) NotUpdatable();

  // The table: name parts joined by ".".
  const std::size_t table_begin = tokens[i].begin;
  std::size_t table_end = table_begin;
  for (;;) {
    if (i >= tokens.size() || !tokens[i].word) NotUpdatable();
    table_end = tokens[i].begin + tokens[i].text.size();
    ++i;
    if (i < tokens.size() && tokens[i].text == ".") {
      ++i;
      continue;
    }
    break;
  }
  SingleTableQuery query;
  query.table = sql.substr(table_begin, table_end - table_begin);
  if (i == tokens.size()) return query;
  if (IsKeyword(tokens[i], "order")) return query;
  if (!IsKeyword(tokens[i], "where")) NotUpdatable();
  const std::size_t condition_begin = tokens[i].begin + tokens[i].text.size();
  std::size_t condition_end = sql.size();
  for (std::size_t j = i + 1; j < tokens.size(); ++j) {
    if (IsKeyword(tokens[j], "group") || IsKeyword(tokens[j], "union") || IsKeyword(tokens[j], "having")) {
      NotUpdatable();
    }
    if (IsKeyword(tokens[j], "order")) {
      condition_end = tokens[j].begin;
      break;
    }
  }
  query.condition = sql.substr(condition_begin, condition_end - condition_begin);
  while (!query.condition.empty() && std::isspace(static_cast<unsigned char>(query.condition.back()))) {
    query.condition.pop_back();
  }
  while (!query.condition.empty() && query.condition.back() == ';') query.condition.pop_back();
  const std::size_t first = query.condition.find_first_not_of(" \t\r\n");
  query.condition.erase(0, first == std::string::npos ? query.condition.size() : first);
  return query;
}

std::string Bracketed(const std::string& name) {
  std::string quoted = "[";
  for (const char c : name) {
    quoted += c;
    if (c == ']') quoted += ']';
  }
  return quoted + "]";
}

// Texts and binary values that SQL Server cannot compare with "=" (text, ntext,
// image) or that are not worth comparing (binary) do not identify the row.
bool Comparable(DataType type) {
  switch (type) {
    case DataType::kBinary:
    case DataType::kVarBinary:
    case DataType::kLongVarBinary:
    case DataType::kLongVarChar:
    case DataType::kLongVarWChar:
      return false;
    default:
      return true;
  }
}

ParameterBinding BindingFor(const Variant& value, DataType column_type) {
  ParameterBinding binding;
  binding.value = value;
  binding.type = column_type;
  switch (value.Type()) {
    case VarType::kInteger:
      binding.type = DataType::kSmallInt;
      break;
    case VarType::kLong:
      binding.type = DataType::kInteger;
      break;
    case VarType::kByte:
      binding.type = DataType::kUnsignedTinyInt;
      break;
    case VarType::kSingle:
      binding.type = DataType::kSingle;
      break;
    case VarType::kDouble:
      binding.type = DataType::kDouble;
      break;
    case VarType::kCurrency:
      binding.type = DataType::kCurrency;
      break;
    case VarType::kDecimal:
      binding.type = DataType::kNumeric;
      break;
    case VarType::kDate:
      binding.type = DataType::kDBTimeStamp;
      break;
    case VarType::kBoolean:
      binding.type = DataType::kBoolean;
      break;
    case VarType::kString:
      binding.type = column_type == DataType::kLongVarWChar || column_type == DataType::kLongVarChar
                         ? DataType::kLongVarWChar
                         : DataType::kVarWChar;
      binding.size = static_cast<int>(value.Get<std::string>()->size());
      break;
    case VarType::kByteArray:
      binding.type = DataType::kLongVarBinary;
      binding.size = static_cast<int>(value.ByteArray()->size());
      break;
    default:
      break;
  }
  return binding;
}

[[noreturn]] void ThrowNotExactlyOneRow(std::int64_t changed) {
  // No count at all (a session with NOCOUNT on) cannot confirm the row either; the
  // classic provider reported that as a row it could not locate.
  if (changed <= 0) {
    throw Error(
        kErrRowNotLocated,
        "Row cannot be located for updating. Some values may have been changed since it was last read.");
  }
  throw Error(kErrUnspecified,
              "Key column information is insufficient or incorrect. Too many rows were affected by update.");
}

// Runs `update` and keeps its change only when it changed exactly one row. The
// statement and the check are one atomic step: inside a transaction of its own, or,
// when the caller has one open, behind a savepoint in it, so that a mismatch undoes
// this update alone and leaves the caller's earlier work in place.
void UpdateExactlyOneRow(ConnectionState& connection, const std::string& update,
                         std::vector<ParameterBinding>& bindings, int timeout) {
  static const std::string kSavepoint = "tavinor_row_update";
  DriverSession& session = connection.Session();
  const bool own_transaction = !connection.in_transaction;
  if (own_transaction) {
    session.BeginTrans();
  } else {
    session.Execute("SAVE TRANSACTION " + kSavepoint, timeout);
  }
  auto undo = [&] {
    if (own_transaction) {
      session.RollbackTrans();
    } else {
      session.Execute("ROLLBACK TRANSACTION " + kSavepoint, timeout);
    }
  };
  try {
    const BatchReply reply = session.ExecuteCommand(update, CommandType::kText, bindings, timeout);
    if (reply.trailing_error) throw *reply.trailing_error;
    if (reply.rows_affected != 1) ThrowNotExactlyOneRow(reply.rows_affected);
    if (own_transaction) session.CommitTrans();
  } catch (...) {
    try {
      undo();
    } catch (const Error&) {
      // The server may already have ended the transaction; the first failure is
      // the one to report.
    }
    throw;
  }
}

}  // namespace

void UpdateCurrentRow(RecordsetState& state) {
  if (state.lock == LockType::kReadOnly || !state.connection) NotUpdatable();
  std::vector<std::size_t> changed;
  for (std::size_t column = 0; column < state.columns.size(); ++column) {
    if (state.edits[column] || state.chunk_started[column]) changed.push_back(column);
  }
  if (changed.empty()) return;
  const SingleTableQuery query = ParseSingleTableQuery(state.source);
  const std::vector<Variant>& original = state.rows[state.position];

  // The row is told apart by the query's own condition and the original values of
  // its key columns, or of every comparable column when no key is known.
  bool any_key = false;
  for (const ColumnInfo& column : state.columns) any_key = any_key || column.key;
  std::string where = query.condition.empty() ? std::string() : "(" + query.condition + ")";
  std::vector<ParameterBinding> where_bindings;
  for (std::size_t column = 0; column < state.columns.size(); ++column) {
    const ColumnInfo& info = state.columns[column];
    if (any_key ? !info.key : !Comparable(info.type)) continue;
    if (!where.empty()) where += " AND ";
    if (original[column].IsNull()) {
      where += Bracketed(info.name) + " IS NULL";
    } else {
      where += Bracketed(info.name) + " = ?";
      where_bindings.push_back(BindingFor(original[column], info.type));
    }
  }
  const std::string where_clause = where.empty() ? std::string() : " WHERE " + where;
  const int timeout = state.connection->command_timeout;

  std::string update = "UPDATE " + query.table + " SET ";
  std::vector<ParameterBinding> bindings;
  std::vector<Variant> new_values;
  for (std::size_t i = 0; i < changed.size(); ++i) {
    const std::size_t column = changed[i];
    const Variant value = state.CurrentValue(static_cast<int>(column));
    if (i > 0) update += ", ";
    update += Bracketed(state.columns[column].name) + " = ?";
    ParameterBinding binding = BindingFor(value, state.columns[column].type);
    if (value.IsNull()) binding.type = state.columns[column].type;
    bindings.push_back(std::move(binding));
    new_values.push_back(value);
  }
  update += where_clause;
  bindings.insert(bindings.end(), where_bindings.begin(), where_bindings.end());
  // A query whose values match several rows (or none, after someone else changed
  // the row) writes nothing instead of the wrong rows.
  UpdateExactlyOneRow(*state.connection, update, bindings, timeout);

  std::vector<Variant>& row = state.rows[state.position];
  for (std::size_t i = 0; i < changed.size(); ++i) row[changed[i]] = std::move(new_values[i]);
  state.ResetRowEdits();
}

}  // namespace platform
