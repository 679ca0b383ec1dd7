// Parameter binding for commands: Variant values to ODBC buffers and back.
#include "odbc/odbc_parameters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/odbc_text.h"
#include "platform/error.h"
#include "platform/text.h"

namespace platform::odbc {
namespace {

// nvarchar columns up to 4000 characters and varbinary up to 8000 bytes; longer
// values go as the (max) types.
constexpr std::size_t kMaxWideChars = 4000;
constexpr std::size_t kMaxBinaryBytes = 8000;

bool IsReturnValue(const ParameterBinding& p) {
  return p.direction == ParameterDirection::kReturnValue;
}

template <typename T>
std::vector<unsigned char> BytesOf(const T& value) {
  std::vector<unsigned char> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

template <typename T>
T ValueOf(const std::vector<unsigned char>& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof(T)));
  return value;
}

std::int64_t ToInt64(const Variant& value) {
  const Decimal d = value.ToDecimal();
  Int128 whole = d.value;
  for (int s = 0; s < d.scale; ++s) whole /= 10;
  if (whole > INT64_MAX || whole < INT64_MIN) throw Error(kErrOverflow, "Overflow");
  return static_cast<std::int64_t>(whole);
}

}  // namespace

std::string BoundParameters::CallText(const std::string& text, CommandType type,
                                      const std::vector<ParameterBinding>& parameters) {
  if (type != CommandType::kStoredProcedure) return text;
  const bool has_return = std::any_of(parameters.begin(), parameters.end(), IsReturnValue);
  std::string call = has_return ? "{? = call " : "{call ";
  call += text;
  const std::size_t markers = parameters.size() - (has_return ? 1 : 0);
  if (markers > 0) {
    call += "(";
    for (std::size_t i = 0; i < markers; ++i) call += i == 0 ? "?" : ",?";
    call += ")";
  }
  return call + "}";
}

void BoundParameters::Bind(SQLHSTMT stmt, CommandType type, const std::vector<ParameterBinding>& parameters) {
  std::vector<std::size_t> order;
  if (type == CommandType::kStoredProcedure) {
    for (std::size_t i = 0; i < parameters.size(); ++i) {
      if (IsReturnValue(parameters[i])) order.push_back(i);
    }
  }
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    if (type != CommandType::kStoredProcedure || !IsReturnValue(parameters[i])) order.push_back(i);
  }

  SQLUSMALLINT number = 0;
  for (const std::size_t index : order) {
    const ParameterBinding& p = parameters[index];
    Slot& slot = slots_.emplace_back();
    slot.parameter = index;
    SQLSMALLINT io = SQL_PARAM_INPUT;
    switch (p.direction) {
      case ParameterDirection::kInput:
        break;
      case ParameterDirection::kOutput:
      case ParameterDirection::kReturnValue:
        io = SQL_PARAM_OUTPUT;
        break;
      case ParameterDirection::kInputOutput:
        io = SQL_PARAM_INPUT_OUTPUT;
        break;
    }
    slot.output = io != SQL_PARAM_INPUT;
    const bool send_value = io != SQL_PARAM_OUTPUT && !p.value.IsNull() && !p.value.IsEmpty();
    SQLSMALLINT sql_type = 0;
    SQLULEN column_size = 0;
    SQLSMALLINT digits = 0;
    const DataType data_type = IsReturnValue(p) ? DataType::kInteger : p.type;

    switch (data_type) {
      case DataType::kBoolean:
        slot.c_type = SQL_C_BIT;
        sql_type = SQL_BIT;
        slot.buffer = BytesOf<unsigned char>(send_value && p.value.ToBool() ? 1 : 0);
        break;
      case DataType::kUnsignedTinyInt:
        slot.c_type = SQL_C_UTINYINT;
        sql_type = SQL_TINYINT;
        slot.buffer =
            BytesOf<unsigned char>(send_value ? static_cast<unsigned char>(p.value.ToInteger()) : 0);
        break;
      case DataType::kInteger:
        slot.c_type = SQL_C_SLONG;
        sql_type = SQL_INTEGER;
        slot.buffer = BytesOf<SQLINTEGER>(send_value ? p.value.ToLong() : 0);
        break;
      case DataType::kSmallInt:
        slot.c_type = SQL_C_SSHORT;
        sql_type = SQL_SMALLINT;
        slot.buffer = BytesOf<SQLSMALLINT>(send_value ? p.value.ToInteger() : 0);
        break;
      case DataType::kBigInt:
        slot.c_type = SQL_C_SBIGINT;
        sql_type = SQL_BIGINT;
        slot.buffer = BytesOf<SQLBIGINT>(send_value ? ToInt64(p.value) : 0);
        break;
      case DataType::kSingle:
        slot.c_type = SQL_C_FLOAT;
        sql_type = SQL_REAL;
        slot.buffer = BytesOf<SQLREAL>(send_value ? static_cast<SQLREAL>(p.value.ToDouble()) : 0);
        break;
      case DataType::kDouble:
        slot.c_type = SQL_C_DOUBLE;
        sql_type = SQL_DOUBLE;
        slot.buffer = BytesOf<SQLDOUBLE>(send_value ? p.value.ToDouble() : 0);
        break;
      case DataType::kCurrency:
      case DataType::kNumeric: {
        // Sent as text so that no digit is lost on the way.
        const bool money = data_type == DataType::kCurrency;
        std::string text;
        int scale = money ? 4 : 0;
        if (send_value) {
          if (money) {
            text = p.value.ToCurrency().ToString();
          } else {
            const Decimal d = p.value.ToDecimal();
            text = d.ToString();
            scale = d.scale;
          }
        }
        slot.c_type = SQL_C_CHAR;
        sql_type = money ? SQL_DECIMAL : SQL_NUMERIC;
        column_size = money ? 19 : 38;
        digits = static_cast<SQLSMALLINT>(scale);
        slot.buffer.assign(text.begin(), text.end());
        slot.buffer.resize(std::max<std::size_t>(slot.buffer.size() + 1, 64), 0);
        slot.indicator = static_cast<SQLLEN>(text.size());
        break;
      }
      case DataType::kDate:
      case DataType::kDBTimeStamp: {
        SQL_TIMESTAMP_STRUCT ts{};
        if (send_value) {
          const DateParts parts = p.value.ToDate().Parts();
          ts.year = static_cast<SQLSMALLINT>(parts.year);
          ts.month = static_cast<SQLUSMALLINT>(parts.month);
          ts.day = static_cast<SQLUSMALLINT>(parts.day);
          ts.hour = static_cast<SQLUSMALLINT>(parts.hour);
          ts.minute = static_cast<SQLUSMALLINT>(parts.minute);
          ts.second = static_cast<SQLUSMALLINT>(parts.second);
          ts.fraction = static_cast<SQLUINTEGER>(parts.millisecond) * 1000000u;
        }
        slot.c_type = SQL_C_TYPE_TIMESTAMP;
        sql_type = SQL_TYPE_TIMESTAMP;
        column_size = 23;
        digits = 3;
        slot.buffer = BytesOf(ts);
        break;
      }
      case DataType::kBinary:
      case DataType::kVarBinary:
      case DataType::kLongVarBinary: {
        Bytes bytes;
        if (send_value) {
          const Bytes* held = p.value.ByteArray();
          if (held == nullptr) throw Error(kErrTypeMismatch, "Type mismatch");
          bytes = *held;
        }
        const std::size_t length = bytes.size();
        const std::size_t capacity = std::max<std::size_t>(
            {length, static_cast<std::size_t>(p.size), slot.output ? kMaxBinaryBytes : std::size_t{1}});
        slot.c_type = SQL_C_BINARY;
        sql_type = data_type == DataType::kLongVarBinary || capacity > kMaxBinaryBytes ? SQL_LONGVARBINARY
                                                                                       : SQL_VARBINARY;
        column_size = std::max<std::size_t>(capacity, 1);
        slot.buffer.assign(bytes.begin(), bytes.end());
        slot.buffer.resize(capacity, 0);
        slot.indicator = static_cast<SQLLEN>(length);
        break;
      }
      default: {
        // Every text kind, and anything else, goes as Unicode text, so that
        // Portuguese texts survive whatever the server's code page is.
        std::u16string text = send_value ? Utf8ToUtf16(p.value.ToString()) : std::u16string();
        const std::size_t declared = static_cast<std::size_t>(std::max(p.size, 0));
        const std::size_t chars =
            std::max({text.size(), declared, slot.output && declared == 0 ? kMaxWideChars : 1});
        slot.c_type = SQL_C_WCHAR;
        sql_type = data_type == DataType::kLongVarWChar || data_type == DataType::kLongVarChar ||
                           chars > kMaxWideChars
                       ? SQL_WLONGVARCHAR
                       : SQL_WVARCHAR;
        column_size = chars;
        slot.buffer.assign((chars + 1) * sizeof(SQLWCHAR), 0);
        for (std::size_t i = 0; i < text.size(); ++i) {
          const auto unit = static_cast<SQLWCHAR>(text[i]);
          std::memcpy(slot.buffer.data() + i * sizeof(SQLWCHAR), &unit, sizeof unit);
        }
        slot.indicator = static_cast<SQLLEN>(text.size() * sizeof(SQLWCHAR));
        break;
      }
    }
    if (!send_value && io != SQL_PARAM_OUTPUT) slot.indicator = SQL_NULL_DATA;
    if (slot.c_type != SQL_C_WCHAR && slot.c_type != SQL_C_BINARY && slot.c_type != SQL_C_CHAR &&
        send_value) {
      slot.indicator = 0;
    }
    ++number;
    Check(SQLBindParameter(stmt, number, io, slot.c_type, sql_type, column_size, digits, slot.buffer.data(),
                           static_cast<SQLLEN>(slot.buffer.size()), &slot.indicator),
          SQL_HANDLE_STMT, stmt);
  }
}

void BoundParameters::ReadOutputs(std::vector<ParameterBinding>& parameters) const {
  for (const Slot& slot : slots_) {
    if (!slot.output) continue;
    ParameterBinding& p = parameters[slot.parameter];
    if (slot.indicator == SQL_NULL_DATA) {
      p.value = Variant::Null();
      continue;
    }
    const auto length = static_cast<std::size_t>(std::max<SQLLEN>(slot.indicator, 0));
    switch (slot.c_type) {
      case SQL_C_BIT:
        p.value = Variant(ValueOf<unsigned char>(slot.buffer) != 0);
        break;
      case SQL_C_UTINYINT:
        p.value = Variant(static_cast<std::uint8_t>(ValueOf<unsigned char>(slot.buffer)));
        break;
      case SQL_C_SSHORT:
        p.value = Variant(static_cast<std::int16_t>(ValueOf<SQLSMALLINT>(slot.buffer)));
        break;
      case SQL_C_SLONG:
        p.value = Variant(static_cast<std::int32_t>(ValueOf<SQLINTEGER>(slot.buffer)));
        break;
      case SQL_C_SBIGINT:
        p.value = Variant(Decimal{ValueOf<SQLBIGINT>(slot.buffer), 0});
        break;
      case SQL_C_FLOAT:
        p.value = Variant(static_cast<float>(ValueOf<SQLREAL>(slot.buffer)));
        break;
      case SQL_C_DOUBLE:
        p.value = Variant(static_cast<double>(ValueOf<SQLDOUBLE>(slot.buffer)));
        break;
      case SQL_C_CHAR: {
        const std::size_t n = std::min(length, slot.buffer.size());
        const std::string text(slot.buffer.begin(), slot.buffer.begin() + static_cast<std::ptrdiff_t>(n));
        const Decimal d = DecimalFromText(text);
        p.value = p.type == DataType::kCurrency ? Variant(CurrencyFromDecimal(d)) : Variant(d);
        break;
      }
      case SQL_C_TYPE_TIMESTAMP: {
        const auto ts = ValueOf<SQL_TIMESTAMP_STRUCT>(slot.buffer);
        p.value =
            Variant(Date::FromParts({ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                                     std::min(999, static_cast<int>((ts.fraction + 500000) / 1000000))}));
        break;
      }
      case SQL_C_BINARY: {
        const std::size_t n = std::min(length, slot.buffer.size());
        p.value = Variant(Bytes(slot.buffer.begin(), slot.buffer.begin() + static_cast<std::ptrdiff_t>(n)));
        break;
      }
      case SQL_C_WCHAR: {
        // A value longer than the buffer comes back cut to the parameter's size.
        const std::size_t units = std::min(length, slot.buffer.size() - sizeof(SQLWCHAR)) / sizeof(SQLWCHAR);
        std::u16string text(units, u'\0');
        for (std::size_t i = 0; i < units; ++i) {
          SQLWCHAR unit = 0;
          std::memcpy(&unit, slot.buffer.data() + i * sizeof(SQLWCHAR), sizeof unit);
          text[i] = static_cast<char16_t>(unit);
        }
        p.value = Variant(Utf16ToUtf8(text));
        break;
      }
      default:
        break;
    }
  }
}

}  // namespace platform::odbc
