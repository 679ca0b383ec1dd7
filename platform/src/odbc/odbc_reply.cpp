// Reading results through ODBC: column descriptions, the mapping of SQL Server
// types to Variant kinds, long values read in pieces, and the walk over results.
#include "odbc/odbc_reply.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "odbc/odbc_text.h"
#include "platform/error.h"
#include "platform/text.h"
#include "platform/variant.h"

namespace platform::odbc {
namespace {

// How a column is fetched and what Variant kind it gives.
enum class Fetch {
  kBit,
  kByte,
  kSmallInt,
  kLong,
  kBigInt,
  kSingle,
  kDouble,
  kCurrency,
  kDecimal,
  kDate,
  kText,
  kGuid,
  kBinary
};

struct Column {
  ColumnInfo info;
  Fetch fetch = Fetch::kText;
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
  switch (sql_type) {
    case SQL_BIT:
      column.info.type = DataType::kBoolean;
      column.fetch = Fetch::kBit;
      break;
    case SQL_TINYINT:
      column.info.type = DataType::kUnsignedTinyInt;
      column.fetch = Fetch::kByte;
      break;
    case SQL_SMALLINT:
      column.info.type = DataType::kSmallInt;
      column.fetch = Fetch::kSmallInt;
      break;
    case SQL_INTEGER:
      column.info.type = DataType::kInteger;
      column.fetch = Fetch::kLong;
      break;
    case SQL_BIGINT:
      column.info.type = DataType::kBigInt;
      column.fetch = Fetch::kBigInt;
      break;
    case SQL_REAL:
      column.info.type = DataType::kSingle;
      column.fetch = Fetch::kSingle;
      break;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      column.info.type = DataType::kDouble;
      column.fetch = Fetch::kDouble;
      break;
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
      // money and smallmoney come as DECIMAL(19,4) and (10,4); only the type name
      // tells them from decimal columns.
      const std::string type_name = Lower(ColumnText(stmt, index, SQL_DESC_TYPE_NAME));
      const bool money = type_name.find("money") != std::string::npos;
      column.info.type = money ? DataType::kCurrency : DataType::kNumeric;
      column.fetch = money ? Fetch::kCurrency : Fetch::kDecimal;
      break;
    }
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      column.info.type = DataType::kDBTimeStamp;
      column.fetch = Fetch::kDate;
      break;
    case SQL_CHAR:
      column.info.type = DataType::kChar;
      break;
    case SQL_VARCHAR:
      column.info.type = DataType::kVarChar;
      break;
    case SQL_LONGVARCHAR:
      column.info.type = DataType::kLongVarChar;
      break;
    case SQL_WCHAR:
      column.info.type = DataType::kWChar;
      break;
    case SQL_WLONGVARCHAR:
      column.info.type = DataType::kLongVarWChar;
      break;
    case SQL_GUID:
      column.info.type = DataType::kGuid;
      column.fetch = Fetch::kGuid;
      break;
    case SQL_BINARY:
      column.info.type = DataType::kBinary;
      column.fetch = Fetch::kBinary;
      break;
    case SQL_VARBINARY:
      column.info.type = DataType::kVarBinary;
      column.fetch = Fetch::kBinary;
      break;
    case SQL_LONGVARBINARY:
      column.info.type = DataType::kLongVarBinary;
      column.fetch = Fetch::kBinary;
      break;
    default:
      // nvarchar, time, sql_variant, xml and whatever else: read as text.
      column.info.type = DataType::kVarWChar;
      break;
  }
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
    value.insert(value.end(), piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(bytes));
    if (!truncated) break;
  }
  return value;
}

std::string TextOf(const std::vector<unsigned char>& bytes) {
  std::u16string utf16(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    SQLWCHAR unit = 0;
    std::copy_n(bytes.data() + 2 * i, 2, reinterpret_cast<unsigned char*>(&unit));
    utf16[i] = static_cast<char16_t>(unit);
  }
  return Utf16ToUtf8(utf16);
}

template <typename T>
std::optional<T> ReadFixed(SQLHSTMT stmt, SQLUSMALLINT index, SQLSMALLINT c_type) {
  T value{};
  SQLLEN indicator = 0;
  Check(SQLGetData(stmt, index, c_type, &value, sizeof value, &indicator), SQL_HANDLE_STMT, stmt);
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

Variant ReadValue(SQLHSTMT stmt, SQLUSMALLINT index, Fetch fetch) {
  switch (fetch) {
    case Fetch::kBit: {
      const auto v = ReadFixed<unsigned char>(stmt, index, SQL_C_BIT);
      return v ? Variant(*v != 0) : Variant::Null();
    }
    case Fetch::kByte: {
      const auto v = ReadFixed<unsigned char>(stmt, index, SQL_C_UTINYINT);
      return v ? Variant(static_cast<std::uint8_t>(*v)) : Variant::Null();
    }
    case Fetch::kSmallInt: {
      const auto v = ReadFixed<SQLSMALLINT>(stmt, index, SQL_C_SSHORT);
      return v ? Variant(static_cast<std::int16_t>(*v)) : Variant::Null();
    }
    case Fetch::kLong: {
      const auto v = ReadFixed<SQLINTEGER>(stmt, index, SQL_C_SLONG);
      return v ? Variant(static_cast<std::int32_t>(*v)) : Variant::Null();
    }
    case Fetch::kBigInt: {
      // The classic Variant has no 64-bit integer; Decimal holds every bigint exactly.
      const auto v = ReadFixed<SQLBIGINT>(stmt, index, SQL_C_SBIGINT);
      return v ? Variant(Decimal{static_cast<Int128>(*v), 0}) : Variant::Null();
    }
    case Fetch::kSingle: {
      const auto v = ReadFixed<SQLREAL>(stmt, index, SQL_C_FLOAT);
      return v ? Variant(static_cast<float>(*v)) : Variant::Null();
    }
    case Fetch::kDouble: {
      const auto v = ReadFixed<SQLDOUBLE>(stmt, index, SQL_C_DOUBLE);
      return v ? Variant(static_cast<double>(*v)) : Variant::Null();
    }
    case Fetch::kCurrency:
    case Fetch::kDecimal: {
      char text[96] = {};
      SQLLEN indicator = 0;
      Check(SQLGetData(stmt, index, SQL_C_CHAR, text, sizeof text, &indicator), SQL_HANDLE_STMT, stmt);
      if (indicator == SQL_NULL_DATA) return Variant::Null();
      const Decimal d = DecimalFromText(text);
      return fetch == Fetch::kDecimal ? Variant(d) : Variant(CurrencyFromDecimal(d));
    }
    case Fetch::kDate: {
      const auto v = ReadFixed<SQL_TIMESTAMP_STRUCT>(stmt, index, SQL_C_TYPE_TIMESTAMP);
      if (!v) return Variant::Null();
      DateParts parts;
      parts.year = v->year;
      parts.month = v->month;
      parts.day = v->day;
      parts.hour = v->hour;
      parts.minute = v->minute;
      parts.second = v->second;
      parts.millisecond = std::min(999, static_cast<int>((v->fraction + 500000) / 1000000));
      return Variant(Date::FromParts(parts));
    }
    case Fetch::kGuid: {
      const auto bytes = ReadPieces(stmt, index, SQL_C_WCHAR);
      if (!bytes) return Variant::Null();
      // The classic component gave GUIDs as "{XXXXXXXX-...}".
      return Variant("{" + TextOf(*bytes) + "}");
    }
    case Fetch::kBinary: {
      auto bytes = ReadPieces(stmt, index, SQL_C_BINARY);
      if (!bytes) return Variant::Null();
      return Variant(Bytes(bytes->begin(), bytes->end()));
    }
    case Fetch::kText:
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
        row.push_back(ReadValue(stmt, static_cast<SQLUSMALLINT>(i + 1), columns[i].fetch));
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
