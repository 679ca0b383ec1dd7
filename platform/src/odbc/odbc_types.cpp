#include "odbc/odbc_types.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "odbc/odbc_text.h"
#include "platform/text.h"

namespace platform::odbc {
namespace {

template <typename T>
void Store(const T& value, unsigned char* buffer) {
  std::memcpy(buffer, &value, sizeof(T));
}

template <typename T>
T Load(const unsigned char* buffer) {
  T value{};
  std::memcpy(&value, buffer, sizeof(T));
  return value;
}

std::int64_t ToInt64(const Variant& value) {
  const Decimal d = value.ToDecimal();
  Int128 whole = d.value;
  for (int s = 0; s < d.scale; ++s) whole /= 10;
  if (whole > INT64_MAX || whole < INT64_MIN) RaiseError(kErrOverflow);
  return static_cast<std::int64_t>(whole);
}

SQL_TIMESTAMP_STRUCT TimestampOf(const Date& date) {
  const DateParts parts = date.Parts();
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(parts.year);
  ts.month = static_cast<SQLUSMALLINT>(parts.month);
  ts.day = static_cast<SQLUSMALLINT>(parts.day);
  ts.hour = static_cast<SQLUSMALLINT>(parts.hour);
  ts.minute = static_cast<SQLUSMALLINT>(parts.minute);
  ts.second = static_cast<SQLUSMALLINT>(parts.second);
  ts.fraction = static_cast<SQLUINTEGER>(parts.millisecond) * 1000000u;
  return ts;
}

// The driver gives fractions in nanoseconds; dates keep milliseconds.
Date DateOf(const SQL_TIMESTAMP_STRUCT& ts) {
  return Date::FromParts({ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                          std::min(999, static_cast<int>((ts.fraction + 500000) / 1000000))});
}

void EncodeBit(const Variant& v, unsigned char* b) {
  Store<unsigned char>(v.ToBool() ? 1 : 0, b);
}
Variant DecodeBit(const unsigned char* b) {
  return Variant(Load<unsigned char>(b) != 0);
}
void EncodeByte(const Variant& v, unsigned char* b) {
  Store(static_cast<unsigned char>(v.ToInteger()), b);
}
Variant DecodeByte(const unsigned char* b) {
  return Variant(static_cast<std::uint8_t>(Load<unsigned char>(b)));
}
void EncodeSmallInt(const Variant& v, unsigned char* b) {
  Store<SQLSMALLINT>(v.ToInteger(), b);
}
Variant DecodeSmallInt(const unsigned char* b) {
  return Variant(static_cast<std::int16_t>(Load<SQLSMALLINT>(b)));
}
void EncodeLong(const Variant& v, unsigned char* b) {
  Store<SQLINTEGER>(v.ToLong(), b);
}
Variant DecodeLong(const unsigned char* b) {
  return Variant(static_cast<std::int32_t>(Load<SQLINTEGER>(b)));
}
void EncodeBigInt(const Variant& v, unsigned char* b) {
  Store<SQLBIGINT>(ToInt64(v), b);
}
// The classic Variant has no 64-bit integer; Decimal holds every bigint exactly.
Variant DecodeBigInt(const unsigned char* b) {
  return Variant(Decimal{static_cast<Int128>(Load<SQLBIGINT>(b)), 0});
}
void EncodeSingle(const Variant& v, unsigned char* b) {
  Store(static_cast<SQLREAL>(v.ToDouble()), b);
}
Variant DecodeSingle(const unsigned char* b) {
  return Variant(static_cast<float>(Load<SQLREAL>(b)));
}
void EncodeDouble(const Variant& v, unsigned char* b) {
  Store<SQLDOUBLE>(v.ToDouble(), b);
}
Variant DecodeDouble(const unsigned char* b) {
  return Variant(static_cast<double>(Load<SQLDOUBLE>(b)));
}
void EncodeTimestamp(const Variant& v, unsigned char* b) {
  Store(TimestampOf(v.ToDate()), b);
}
Variant DecodeTimestamp(const unsigned char* b) {
  return Variant(DateOf(Load<SQL_TIMESTAMP_STRUCT>(b)));
}

template <typename T>
constexpr OdbcType Fixed(DataType type, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                         void (*encode)(const Variant&, unsigned char*),
                         Variant (*decode)(const unsigned char*), SQLULEN column_size = 0,
                         SQLSMALLINT digits = 0) {
  return {type, Transfer::kFixed, c_type, sql_type, column_size, digits, sizeof(T), encode, decode};
}

constexpr OdbcType Variable(DataType type, Transfer transfer, SQLSMALLINT c_type, SQLSMALLINT sql_type,
                            SQLULEN column_size = 0) {
  return {type, transfer, c_type, sql_type, column_size, 0, 0, nullptr, nullptr};
}

// A date and a timestamp both travel as SQL_TYPE_TIMESTAMP; the timestamp comes
// first so that columns read as DBTimeStamp.
const std::array kTypes = {
    Fixed<unsigned char>(DataType::kBoolean, SQL_C_BIT, SQL_BIT, EncodeBit, DecodeBit),
    Fixed<unsigned char>(DataType::kUnsignedTinyInt, SQL_C_UTINYINT, SQL_TINYINT, EncodeByte, DecodeByte),
    Fixed<SQLSMALLINT>(DataType::kSmallInt, SQL_C_SSHORT, SQL_SMALLINT, EncodeSmallInt, DecodeSmallInt),
    Fixed<SQLINTEGER>(DataType::kInteger, SQL_C_SLONG, SQL_INTEGER, EncodeLong, DecodeLong),
    Fixed<SQLBIGINT>(DataType::kBigInt, SQL_C_SBIGINT, SQL_BIGINT, EncodeBigInt, DecodeBigInt),
    Fixed<SQLREAL>(DataType::kSingle, SQL_C_FLOAT, SQL_REAL, EncodeSingle, DecodeSingle),
    Fixed<SQLDOUBLE>(DataType::kDouble, SQL_C_DOUBLE, SQL_DOUBLE, EncodeDouble, DecodeDouble),
    Fixed<SQL_TIMESTAMP_STRUCT>(DataType::kDBTimeStamp, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,
                                EncodeTimestamp, DecodeTimestamp, 23, 3),
    Fixed<SQL_TIMESTAMP_STRUCT>(DataType::kDate, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, EncodeTimestamp,
                                DecodeTimestamp, 23, 3),
    Variable(DataType::kCurrency, Transfer::kDecimalText, SQL_C_CHAR, SQL_DECIMAL, 19),
    Variable(DataType::kNumeric, Transfer::kDecimalText, SQL_C_CHAR, SQL_NUMERIC, 38),
    Variable(DataType::kGuid, Transfer::kGuid, SQL_C_WCHAR, SQL_GUID),
    Variable(DataType::kBinary, Transfer::kBinary, SQL_C_BINARY, SQL_BINARY),
    Variable(DataType::kVarBinary, Transfer::kBinary, SQL_C_BINARY, SQL_VARBINARY),
    Variable(DataType::kLongVarBinary, Transfer::kBinary, SQL_C_BINARY, SQL_LONGVARBINARY),
    Variable(DataType::kChar, Transfer::kWideText, SQL_C_WCHAR, SQL_CHAR),
    Variable(DataType::kVarChar, Transfer::kWideText, SQL_C_WCHAR, SQL_VARCHAR),
    Variable(DataType::kLongVarChar, Transfer::kWideText, SQL_C_WCHAR, SQL_LONGVARCHAR),
    Variable(DataType::kWChar, Transfer::kWideText, SQL_C_WCHAR, SQL_WCHAR),
    Variable(DataType::kVarWChar, Transfer::kWideText, SQL_C_WCHAR, SQL_WVARCHAR),
    Variable(DataType::kLongVarWChar, Transfer::kWideText, SQL_C_WCHAR, SQL_WLONGVARCHAR),
};

}  // namespace

const OdbcType& TypeOf(DataType type) {
  const auto found =
      std::find_if(kTypes.begin(), kTypes.end(), [&](const OdbcType& entry) { return entry.type == type; });
  return found != kTypes.end() ? *found : TypeOf(DataType::kVarWChar);
}

DataType ColumnTypeOf(SQLSMALLINT sql_type, const std::function<std::string()>& type_name) {
  switch (sql_type) {
    case SQL_FLOAT:
      return DataType::kDouble;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Lower(type_name()).find("money") != std::string::npos ? DataType::kCurrency : DataType::kNumeric;
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      return DataType::kDBTimeStamp;
    default:
      break;
  }
  const auto found = std::find_if(kTypes.begin(), kTypes.end(),
                                  [&](const OdbcType& entry) { return entry.sql_type == sql_type; });
  return found != kTypes.end() ? found->type : DataType::kVarWChar;
}

Variant FromDecimalText(const std::string& text, DataType type) {
  const Decimal d = DecimalFromText(text);
  return type == DataType::kCurrency ? Variant(CurrencyFromDecimal(d)) : Variant(d);
}

std::string FromWideUnits(const unsigned char* bytes, std::size_t units) {
  std::u16string utf16(units, u'\0');
  for (std::size_t i = 0; i < units; ++i) {
    SQLWCHAR unit = 0;
    std::memcpy(&unit, bytes + i * sizeof(SQLWCHAR), sizeof unit);
    utf16[i] = static_cast<char16_t>(unit);
  }
  return Utf16ToUtf8(utf16);
}

}  // namespace platform::odbc
