// Reading results through ODBC: column descriptions, values (by the type table of
// odbc_types.h), long values read in pieces, and the walk over results.
#include "odbc/odbc_reply.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "odbc/odbc_types.h"
#include "platform/error.h"
#include "platform/variant.h"

namespace platform::odbc {
namespace {

struct Column {
  ColumnInfo info;
  const OdbcType* odbc = nullptr;
};

constexpr std::size_t kPieceBytes = 8192;

std::string ColumnText(SQLHSTMT stmt, SQLUSMALLINT index, SQLUSMALLINT field) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT bytes = 0;
  const SQLRETURN rc = SQLColAttributeW(stmt, index, field, buffer, sizeof buffer, &bytes, nullptr);
  if (!SQL_SUCCEEDED(rc)) return {};
  const auto chars =
      std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(bytes, 0)) / 2, 255);
  return Narrow(buffer, chars);
}

Column Describe(SQLHSTMT stmt, SQLUSMALLINT index) {
  SQLWCHAR name[512] = {};
  SQLSMALLINT name_length = 0;
  SQLSMALLINT sql_type = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
  Check(SQLDescribeColW(stmt, index, name, 512, &name_length, &sql_type, &size, &digits, &nullable),
        SQL_HANDLE_STMT, stmt);
  Column column;
  column.info.name = Narrow(
      name, std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(name_length, 0)), 511));
  column.info.base_table = ColumnText(stmt, index, SQL_DESC_BASE_TABLE_NAME);
  column.info.type = ColumnTypeOf(sql_type, [&] { return ColumnText(stmt, index, SQL_DESC_TYPE_NAME); });
  column.odbc = &TypeOf(column.info.type);
  return column;
}

// Reads a text or binary value in pieces; nullopt for SQL NULL.
std::optional<std::vector<unsigned char>> ReadPieces(SQLHSTMT stmt, SQLUSMALLINT index, SQLSMALLINT c_type) {
  const std::size_t terminator = c_type == SQL_C_WCHAR ? sizeof(SQLWCHAR) : 0;
  std::vector<unsigned char> value;
  std::vector<unsigned char> piece(kPieceBytes);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        Check(SQLGetData(stmt, index, c_type, piece.data(), static_cast<SQLLEN>(piece.size()), &indicator),
              SQL_HANDLE_STMT, stmt);
    if (rc == SQL_NO_DATA) break;
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const bool truncated =
        rc == SQL_SUCCESS_WITH_INFO &&
        (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) + terminator > piece.size());
    const std::size_t bytes = truncated ? piece.size() - terminator : static_cast<std::size_t>(indicator);
    // The first piece of a long value comes with the length of all of it: the
    // value is sized once instead of growing (and copying itself) piece by piece.
    if (value.empty() && truncated && indicator != SQL_NO_TOTAL) {
      value.reserve(static_cast<std::size_t>(indicator));
    }
    value.insert(value.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(bytes));
    if (!truncated) break;
  }
  return value;
}

std::string TextOf(const std::vector<unsigned char>& bytes) {
  return FromWideUnits(bytes.data(), bytes.size() / sizeof(SQLWCHAR));
}

Variant ReadValue(SQLHSTMT stmt, SQLUSMALLINT index, const OdbcType& odbc) {
  switch (odbc.transfer) {
    case Transfer::kFixed: {
      std::vector<unsigned char> buffer(odbc.fixed_size);
      SQLLEN indicator = 0;
      Check(
          SQLGetData(stmt, index, odbc.c_type, buffer.data(), static_cast<SQLLEN>(buffer.size()), &indicator),
          SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return odbc.decode(buffer.data());
    }
    case Transfer::kDecimalText: {
      char text[96] = {};
      SQLLEN indicator = 0;
      Check(SQLGetData(stmt, index, SQL_C_CHAR, text, sizeof text, &indicator), SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      return FromDecimalText(text, odbc.type);
    }
    case Transfer::kGuid: {
      const auto bytes = ReadPieces(stmt, index, SQL_C_WCHAR);
      if (!bytes) return Variant::Null();
      return Variant("{" + TextOf(*bytes) + "}");
    }
    case Transfer::kBinary: {
      auto bytes = ReadPieces(stmt, index, SQL_C_BINARY);
      if (!bytes) return Variant::Null();
      return Variant(std::move(*bytes));
    }
    case Transfer::kWideText:
      break;
  }
  const auto bytes = ReadPieces(stmt, index, SQL_C_WCHAR);
  if (!bytes) return Variant::Null();
  return Variant(TextOf(*bytes));
}

// Reads every row of the current result. A failure while fetching (an error the
// server raised in the middle of the rows) ends the result and is returned.
std::optional<Error> ReadRows(SQLHSTMT stmt, const std::vector<Column>& columns, ResultTable& table) {
  try {
    for (;;) {
      const SQLRETURN rc = Check(SQLFetch(stmt), SQL_HANDLE_STMT, stmt, &table.messages);
      if (rc == SQL_NO_DATA) return std::nullopt;
      std::vector<Variant> row;
      row.reserve(columns.size());
      for (std::size_t i = 0; i < columns.size(); ++i) {
        row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(i + 1), *columns[i].odbc));
      }
      table.rows.push_back(std::move(row));
    }
  } catch (const Error& error) {
    return error;
  }
}

}  // namespace

BatchReply ReadReply(SQLHSTMT stmt, SQLRETURN exec_rc, std::vector<std::string> messages) {
  BatchReply reply;
  reply.messages = std::move(messages);
  // Under ODBC 3 the driver answers a statement that gives no count, no columns
  // and no messages (DDL) with SQL_NO_DATA: a success with nothing to read.
  if (exec_rc == SQL_NO_DATA) return reply;

  for (;;) {
    SQLSMALLINT column_count = 0;
    Check(SQLNumResultCols(stmt, &column_count), SQL_HANDLE_STMT, stmt);
    if (column_count > 0) {
      std::vector<Column> columns;
      ResultTable table;
      for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(column_count); ++i) {
        columns.push_back(Describe(stmt, i));
        table.columns.push_back(columns.back().info);
      }
      std::optional<Error> failure = ReadRows(stmt, columns, table);
      reply.results.push_back(std::move(table));
      if (failure) {
        reply.trailing_error = std::move(failure);
        return reply;
      }
    } else {
      // A statement that changed rows is a result of its own (a closed result set
      // for the caller), as it was with the classic provider; statements without
      // a count (SET, PRINT, USE) are not.
      SQLLEN count = -1;
      if (SQL_SUCCEEDED(SQLRowCount(stmt, &count)) && count >= 0) {
        ResultTable table;
        table.rows_affected = count;
        reply.rows_affected = count;
        reply.results.push_back(std::move(table));
      }
    }
    std::vector<std::string>& next_sink =
        reply.results.empty() ? reply.messages : reply.results.back().messages;
    try {
      const SQLRETURN rc = Check(SQLMoreResults(stmt), SQL_HANDLE_STMT, stmt, &next_sink);
      if (rc == SQL_NO_DATA) return reply;
    } catch (const Error& error) {
      if (reply.results.empty()) throw;
      reply.trailing_error = error;
      return reply;
    }
  }
}

}  // namespace platform::odbc
