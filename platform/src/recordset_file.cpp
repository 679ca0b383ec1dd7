// Saved result files. Recordset::Save writes, and Recordset::OpenFile reads, a
// small JSON document of our own:
//
//   {"format": "tavinor-recordset", "version": 1,
//    "columns": [{"name": "Empresa", "type": 202}, ...],
//    "rows": [[cell, cell, ...], ...]}
//
// "type" is the column's DataType code. A cell is null for SQL NULL, otherwise a
// pair [kind, value] where kind is the Variant's VarType code and value is: the
// number for the integer kinds, Single and Double; true/false for Boolean; the
// count of ten-thousandths for Currency; the serial day number for Date; the text
// ("-12.340") for Decimal; the UTF-8 text for String; lower-case hex for bytes.
// [0] stands for Empty. JSON has no numbers for NaN and the infinities, so a Single,
// Double or Date holding one is written as "NaN", "Infinity" or "-Infinity".
//
// A number that does not fit its kind (70000 for an Integer, 1.5 for a Long, a
// Decimal of more than 38 digits) makes the file unreadable, never a value cut
// down to fit.
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/session.h"
#include "session_state.h"

namespace platform {
namespace {

using Json = nlohmann::json;

constexpr const char* kFormat = "tavinor-recordset";
constexpr int kVersion = 1;

[[noreturn]] void BadFile(const std::string& path, const std::string& why) {
  throw Error(kErrInvalidUse, "The file \"" + path + "\" is not a saved result: " + why + ".");
}

std::string ToHex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 0x0f];
  }
  return text;
}

Bytes FromHex(const std::string& text) {
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw std::invalid_argument("hex");
  };
  if (text.size() % 2 != 0) throw std::invalid_argument("hex");
  Bytes bytes(text.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(nibble(text[2 * i]) * 16 + nibble(text[2 * i + 1]));
  }
  return bytes;
}

// Up to 38 digits and 38 places, as SQL Server's decimal holds them; beyond that
// the 128-bit value would overflow.
Decimal ParseDecimal(const std::string& text) {
  constexpr int kMaxDigits = 38;
  Decimal d;
  bool negative = false;
  bool point = false;
  int digits = 0;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      if ((d.value != 0 || c != '0') && ++digits > kMaxDigits) throw std::out_of_range("decimal");
      d.value = d.value * 10 + (c - '0');
      if (point && ++d.scale > kMaxDigits) throw std::out_of_range("decimal");
    } else {
      throw std::invalid_argument("decimal");
    }
  }
  if (digits == 0 && text.find('0') == std::string::npos) throw std::invalid_argument("decimal");
  if (negative) d.value = -d.value;
  return d;
}

// A whole number that type T holds exactly: a fraction or a number out of T's
// range is refused.
template <typename T>
T Whole(const Json& v) {
  if (v.is_number_unsigned()) {
    const auto n = v.get<std::uint64_t>();
    if (!std::in_range<T>(n)) throw std::out_of_range("number out of range");
    return static_cast<T>(n);
  }
  if (!v.is_number_integer()) throw std::invalid_argument("not a whole number");
  const auto n = v.get<std::int64_t>();
  if (!std::in_range<T>(n)) throw std::out_of_range("number out of range");
  return static_cast<T>(n);
}

Json RealToJson(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return value;
}

double RealFromJson(const Json& v) {
  if (v.is_string()) {
    const auto& text = v.get_ref<const std::string&>();
    if (text == "NaN") return std::nan("");
    if (text == "Infinity") return HUGE_VAL;
    if (text == "-Infinity") return -HUGE_VAL;
  }
  if (!v.is_number()) throw std::invalid_argument("not a number");
  return v.get<double>();
}

float SingleFromJson(const Json& v) {
  const double value = RealFromJson(v);
  if (std::isfinite(value) && std::fabs(value) > FLT_MAX) throw std::out_of_range("number out of range");
  return static_cast<float>(value);
}

Json CellToJson(const Variant& value) {
  if (value.IsNull()) return nullptr;
  const int kind = static_cast<int>(value.Type());
  switch (value.Type()) {
    case VarType::kEmpty:
      return Json::array({0});
    case VarType::kInteger:
      return Json::array({kind, *value.Get<std::int16_t>()});
    case VarType::kLong:
      return Json::array({kind, *value.Get<std::int32_t>()});
    case VarType::kByte:
      return Json::array({kind, *value.Get<std::uint8_t>()});
    case VarType::kSingle:
      return Json::array({kind, RealToJson(*value.Get<float>())});
    case VarType::kDouble:
      return Json::array({kind, RealToJson(*value.Get<double>())});
    case VarType::kBoolean:
      return Json::array({kind, *value.Get<bool>()});
    case VarType::kCurrency:
      return Json::array({kind, value.Get<Currency>()->Ticks()});
    case VarType::kDate:
      return Json::array({kind, RealToJson(value.Get<Date>()->Serial())});
    case VarType::kDecimal:
      return Json::array({kind, value.Get<Decimal>()->ToString()});
    case VarType::kString:
      return Json::array({kind, *value.Get<std::string>()});
    case VarType::kByteArray:
      return Json::array({kind, ToHex(*value.ByteArray())});
    default:
      throw Error(kErrTypeMismatch,
                  "A value of kind " + value.TypeName() + " cannot be saved in a result file.");
  }
}

Variant CellFromJson(const Json& cell) {
  if (cell.is_null()) return Variant::Null();
  const auto kind = static_cast<VarType>(Whole<int>(cell.at(0)));
  if (kind == VarType::kEmpty) return Variant();
  const Json& v = cell.at(1);
  switch (kind) {
    case VarType::kInteger:
      return Variant(Whole<std::int16_t>(v));
    case VarType::kLong:
      return Variant(Whole<std::int32_t>(v));
    case VarType::kByte:
      return Variant(Whole<std::uint8_t>(v));
    case VarType::kSingle:
      return Variant(SingleFromJson(v));
    case VarType::kDouble:
      return Variant(RealFromJson(v));
    case VarType::kBoolean:
      return Variant(v.get<bool>());
    case VarType::kCurrency:
      return Variant(Currency::FromTicks(Whole<std::int64_t>(v)));
    case VarType::kDate:
      return Variant(Date(RealFromJson(v)));
    case VarType::kDecimal:
      return Variant(ParseDecimal(v.get<std::string>()));
    case VarType::kString:
      return Variant(v.get<std::string>());
    case VarType::kByteArray:
      return Variant(FromHex(v.get<std::string>()));
    default:
      throw std::invalid_argument("kind");
  }
}

}  // namespace

void SaveRecordsetFile(const RecordsetState& state, const std::string& path) {
  Json document;
  document["format"] = kFormat;
  document["version"] = kVersion;
  Json columns = Json::array();
  for (const ColumnInfo& column : state.columns) {
    columns.push_back({{"name", column.name}, {"type", static_cast<int>(column.type)}});
  }
  document["columns"] = std::move(columns);
  Json rows = Json::array();
  for (const auto& row : state.rows) {
    Json cells = Json::array();
    for (const Variant& value : row) cells.push_back(CellToJson(value));
    rows.push_back(std::move(cells));
  }
  document["rows"] = std::move(rows);

  std::string text;
  try {
    text = document.dump();
  } catch (const Json::type_error&) {
    // JSON carries text as UTF-8 only.
    throw Error(kErrTypeMismatch, "A text that is not valid UTF-8 cannot be saved in a result file.");
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw Error(kErrInvalidUse, "The file \"" + path + "\" cannot be written.");
  file << text;
  file.close();
  if (!file) throw Error(kErrInvalidUse, "The file \"" + path + "\" cannot be written.");
}

void LoadRecordsetFile(RecordsetState& state, const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Error(kErrInvalidUse, "The file \"" + path + "\" cannot be opened.");
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  try {
    const Json document = Json::parse(text);
    if (document.at("format") != kFormat) BadFile(path, "unknown format");
    if (Whole<int>(document.at("version")) > kVersion) BadFile(path, "written by a newer version");
    state.columns.clear();
    for (const Json& column : document.at("columns")) {
      state.columns.push_back({column.at("name").get<std::string>(),
                               static_cast<DataType>(Whole<int>(column.at("type"))),
                               {},
                               false});
    }
    state.rows.clear();
    for (const Json& cells : document.at("rows")) {
      if (cells.size() != state.columns.size()) BadFile(path, "a row has the wrong number of values");
      std::vector<Variant> row;
      row.reserve(cells.size());
      for (const Json& cell : cells) row.push_back(CellFromJson(cell));
      state.rows.push_back(std::move(row));
    }
  } catch (const Error&) {
    throw;
  } catch (const std::exception& error) {
    BadFile(path, error.what());
  }
  state.position = 0;
  state.lock = LockType::kReadOnly;
}

}  // namespace platform
