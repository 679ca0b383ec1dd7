// Parameter binding for commands: Variant values to ODBC buffers and back, by the
// type table of odbc_types.h.
#include "odbc/odbc_parameters.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "odbc/odbc_types.h"
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
    const OdbcType& odbc = TypeOf(IsReturnValue(p) ? DataType::kInteger : p.type);
    slot.odbc = &odbc;
    SQLSMALLINT sql_type = odbc.sql_type;
    SQLULEN column_size = odbc.column_size;
    SQLSMALLINT digits = odbc.digits;

    switch (odbc.transfer) {
      case Transfer::kFixed:
        slot.buffer.assign(odbc.fixed_size, 0);
        if (send_value) odbc.encode(p.value, slot.buffer.data());
        break;
      case Transfer::kDecimalText: {
        const bool money = odbc.type == DataType::kCurrency;
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
        digits = static_cast<SQLSMALLINT>(scale);
        slot.buffer.assign(text.begin(), text.end());
        slot.buffer.resize(std::max<std::size_t>(slot.buffer.size() + 1, 64), 0);
        slot.indicator = static_cast<SQLLEN>(text.size());
        break;
      }
      case Transfer::kBinary: {
        const Bytes* held = send_value ? p.value.ByteArray() : nullptr;
        if (send_value && held == nullptr) RaiseError(kErrTypeMismatch);
        const std::size_t length = held != nullptr ? held->size() : 0;
        const std::size_t capacity = std::max<std::size_t>(
            {length, static_cast<std::size_t>(p.size), slot.output ? kMaxBinaryBytes : std::size_t{1}});
        sql_type = odbc.type == DataType::kLongVarBinary || capacity > kMaxBinaryBytes ? SQL_LONGVARBINARY
                                                                                       : SQL_VARBINARY;
        column_size = std::max<std::size_t>(capacity, 1);
        slot.indicator = static_cast<SQLLEN>(length);
        if (!slot.output && length > 0) {
          // The driver only reads an input value: it takes the bytes where they
          // are, and a picture of many megabytes is not copied once more here.
          slot.in_place = p.value;
          break;
        }
        if (held != nullptr) slot.buffer.assign(held->begin(), held->end());
        slot.buffer.resize(capacity, 0);
        break;
      }
      case Transfer::kWideText:
      case Transfer::kGuid: {
        std::u16string text = send_value ? Utf8ToUtf16(p.value.ToString()) : std::u16string();
        const std::size_t declared = static_cast<std::size_t>(std::max(p.size, 0));
        const std::size_t chars =
            std::max({text.size(), declared, slot.output && declared == 0 ? kMaxWideChars : 1});
        sql_type = odbc.type == DataType::kLongVarWChar || odbc.type == DataType::kLongVarChar ||
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
    if (odbc.transfer == Transfer::kFixed && send_value) slot.indicator = 0;
    ++number;
    const Bytes* in_place = slot.in_place.ByteArray();
    // SQLBindParameter takes a non-const pointer for every direction; an input
    // value is never written through it.
    const auto data = in_place != nullptr ? const_cast<std::uint8_t*>(in_place->data()) : slot.buffer.data();
    const std::size_t data_size = in_place != nullptr ? in_place->size() : slot.buffer.size();
    Check(SQLBindParameter(stmt, number, io, odbc.c_type, sql_type, column_size, digits, data,
                           static_cast<SQLLEN>(data_size), &slot.indicator),
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
    const std::size_t n = std::min(length, slot.buffer.size());
    switch (slot.odbc->transfer) {
      case Transfer::kFixed:
        p.value = slot.odbc->decode(slot.buffer.data());
        break;
      case Transfer::kDecimalText:
        p.value = FromDecimalText(
            std::string(slot.buffer.begin(), slot.buffer.begin() + static_cast<std::ptrdiff_t>(n)), p.type);
        break;
      case Transfer::kBinary:
        p.value = Variant(Bytes(slot.buffer.begin(), slot.buffer.begin() + static_cast<std::ptrdiff_t>(n)));
        break;
      case Transfer::kWideText:
      case Transfer::kGuid: {
        // A value longer than the buffer comes back cut to the parameter's size.
        const std::size_t units = std::min(length, slot.buffer.size() - sizeof(SQLWCHAR)) / sizeof(SQLWCHAR);
        p.value = Variant(FromWideUnits(slot.buffer.data(), units));
        break;
      }
    }
  }
}

}  // namespace platform::odbc
