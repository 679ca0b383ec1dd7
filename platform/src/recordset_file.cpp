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
// [0] stands for Empty.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

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

Decimal ParseDecimal(const std::string& text) {
  Decimal d;
  bool negative = false;
  bool point = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) throw std::invalid_argument("decimal");
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      d.value = d.value * 10 + (c - '0');
      if (point) ++d.scale;
    } else {
      throw std::invalid_argument("decimal");
    }
  }
  if (negative) d.value = -d.value;
  return d;
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
      return Json::array({kind, *value.Get<float>()});
    case VarType::kDouble:
      return Json::array({kind, *value.Get<double>()});
    case VarType::kBoolean:
      return Json::array({kind, *value.Get<bool>()});
    case VarType::kCurrency:
      return Json::array({kind, value.Get<Currency>()->Ticks()});
    case VarType::kDate:
      return Json::array({kind, value.Get<Date>()->Serial()});
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
  const auto kind = static_cast<VarType>(cell.at(0).get<int>());
  if (kind == VarType::kEmpty) return Variant();
  const Json& v = cell.at(1);
  switch (kind) {
    case VarType::kInteger:
      return Variant(v.get<std::int16_t>());
    case VarType::kLong:
      return Variant(v.get<std::int32_t>());
    case VarType::kByte:
      return Variant(v.get<std::uint8_t>());
    case VarType::kSingle:
      return Variant(v.get<float>());
    case VarType::kDouble:
      return Variant(v.get<double>());
    case VarType::kBoolean:
      return Variant(v.get<bool>());
    case VarType::kCurrency:
      return Variant(Currency::FromTicks(v.get<std::int64_t>()));
    case VarType::kDate:
      return Variant(Date(v.get<double>()));
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

  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw Error(kErrInvalidUse, "The file \"" + path + "\" cannot be written.");
  file << document.dump();
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
    if (document.at("version").get<int>() > kVersion) BadFile(path, "written by a newer version");
    state.columns.clear();
    for (const Json& column : document.at("columns")) {
      state.columns.push_back({column.at("name").get<std::string>(),
                               static_cast<DataType>(column.at("type").get<int>()),
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
