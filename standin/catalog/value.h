// SQL Server column types and values as the stand-in models them: the declared type of a column or parameter,
// a value, the implicit conversions that ALTER COLUMN and parameter binding perform, and their error numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "catalog/bytes.h"

namespace standin {

enum class BaseType {
  kTinyInt,
  kSmallInt,
  kInt,
  kBigInt,
  kBit,
  kReal,
  kFloat,
  kDecimal,
  kNumeric,
  kMoney,
  kSmallMoney,
  kDateTime,
  kSmallDateTime,
  kChar,
  kVarChar,
  kNChar,
  kNVarChar,
  kText,
  kNText,
  kBinary,
  kVarBinary,
  kImage,
  kUniqueIdentifier,  // held as its canonical text, upper case
};

struct SqlType {
  BaseType base = BaseType::kInt;
  int length = 0;  // characters for character types, bytes for binary; -1 means (max)
  int precision = 0;
  int scale = 0;
  std::string alias;  // "sysname" for the one built-in alias type

  std::string Name() const;      // "nvarchar", or the alias
  std::string DeclText() const;  // "nvarchar(10)", "decimal(10,2)", "datetime"
  int XType() const;             // systypes.xtype / sys.types.system_type_id
  int ByteLength() const;        // syscolumns.length
  bool IsCharacter() const;
  bool IsUnicode() const;
  bool IsBinary() const;
  bool IsInteger() const;
  bool IsExactNumeric() const;  // decimal, numeric, money, smallmoney
  bool IsDateTime() const;
  bool operator==(const SqlType& o) const {
    return base == o.base && length == o.length && precision == o.precision && scale == o.scale;
  }
};

// Parses a type as written in DDL or a parameter declaration: "int", "nvarchar (10)", "varchar(max)",
// "decimal(10, 2)", "sysname". Returns nothing for an unknown type name.
std::optional<SqlType> ParseSqlType(std::string_view text);
SqlType NVarCharType(int length);
SqlType VarCharType(int length);
SqlType IntType();

struct DateTime {
  int32_t days = 0;    // since 1900-01-01
  uint32_t ticks = 0;  // 1/300 s since midnight
  bool operator==(const DateTime&) const = default;
};

struct Decimal {
  int64_t unscaled = 0;
  int scale = 0;
  bool operator==(const Decimal&) const = default;
};

// A value; NULL is the empty state. Character data is UTF-8.
struct Value {
  std::variant<std::monostate, int64_t, double, std::string, Bytes, DateTime, Decimal> v;

  Value() = default;
  Value(int64_t i) : v(i) {}  // NOLINT(google-explicit-constructor)
  Value(int i) : v(static_cast<int64_t>(i)) {}
  Value(double d) : v(d) {}
  Value(std::string s) : v(std::move(s)) {}
  Value(const char* s) : v(std::string(s)) {}
  Value(Bytes b) : v(std::move(b)) {}
  Value(DateTime d) : v(d) {}
  Value(Decimal d) : v(d) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(v); }
  // Text form, as CONVERT(nvarchar, value) gives it ("2024-01-31 10:00:00.000" for a datetime); "NULL" for
  // NULL.
  std::string ToText() const;
  bool operator==(const Value&) const = default;
};

// A server error: number, severity, state and the rendered text.
struct SqlError {
  int32_t number = 0;
  uint8_t severity = 16;
  uint8_t state = 1;
  std::string text;
};

struct Converted {
  Value value;
  std::optional<SqlError> error;
};

// The order of day, month and year in text dates: SET DATEFORMAT, or the default of the session's language
// (us_english mdy, Português dmy, ...).
enum class DateOrder { kMdy, kDmy, kYmd, kYdm, kMyd, kDym };
std::optional<DateOrder> ParseDateOrder(std::string_view text);  // "dmy" -> kDmy; nothing for another word
std::string DateOrderName(DateOrder order);

// Implicit conversion of a stored value of type `from` into type `to`, as ALTER COLUMN and assignment perform
// it: 241 for text that is no date, 242 for a date out of range, 245 for text that is no number, 8115/220 for
// overflow, 8152 for truncated text, 206 for incompatible types.
// Text becomes a date as `order` says.
Converted ConvertValue(const Value& value, const SqlType& from, const SqlType& to,
                       DateOrder order = DateOrder::kMdy);

// The canonical form of a uniqueidentifier written as text (with or without braces), or nothing.
std::optional<std::string> ParseGuid(std::string_view text);

// Parses a date/time literal the way SQL Server does for datetime under DATEFORMAT `order`: ISO 8601
// ("yyyy-mm-ddThh:mm:ss") and "yyyymmdd[ time]" under every order; "yyyy-mm-dd[ time]" as y-m-d, but as y-d-m
// when the order puts the day first (dmy); "a/b/c[ time]" (also with "-" or ".") in the order's sequence.
// 241 when the text is not a date, 242 when a part is out of range.
std::optional<DateTime> ParseDateTime(std::string_view text, SqlError* error,
                                      DateOrder order = DateOrder::kMdy);
std::string FormatDateTime(const DateTime& dt, bool small = false);
DateTime DateTimeFromParts(int year, int month, int day, int hour, int minute, int second, int millis);
// Rounds a datetime to the minute, as a smalldatetime stores it.
DateTime RoundToMinute(const DateTime& dt);

bool NamesEqual(std::string_view a, std::string_view b);
std::string Lower(std::string_view s);
std::string Trim(std::string_view s);

// LIKE with SQL Server's wildcards (%, _, [set], [^set], [a-z]), case-insensitive as under a CI collation.
bool LikeMatch(std::string_view text, std::string_view pattern);

}  // namespace standin
