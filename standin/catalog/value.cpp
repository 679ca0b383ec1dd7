#include "catalog/value.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "catalog/value_support.h"

namespace standin {

namespace {

struct TypeInfo {
  const char* name;
  BaseType base;
  int xtype;
};

constexpr std::array<TypeInfo, 23> kTypes = {{
    {"tinyint", BaseType::kTinyInt, 48},
    {"smallint", BaseType::kSmallInt, 52},
    {"int", BaseType::kInt, 56},
    {"bigint", BaseType::kBigInt, 127},
    {"bit", BaseType::kBit, 104},
    {"real", BaseType::kReal, 59},
    {"float", BaseType::kFloat, 62},
    {"decimal", BaseType::kDecimal, 106},
    {"numeric", BaseType::kNumeric, 108},
    {"money", BaseType::kMoney, 60},
    {"smallmoney", BaseType::kSmallMoney, 122},
    {"datetime", BaseType::kDateTime, 61},
    {"smalldatetime", BaseType::kSmallDateTime, 58},
    {"char", BaseType::kChar, 175},
    {"varchar", BaseType::kVarChar, 167},
    {"nchar", BaseType::kNChar, 239},
    {"nvarchar", BaseType::kNVarChar, 231},
    {"text", BaseType::kText, 35},
    {"ntext", BaseType::kNText, 99},
    {"binary", BaseType::kBinary, 173},
    {"varbinary", BaseType::kVarBinary, 165},
    {"image", BaseType::kImage, 34},
    {"uniqueidentifier", BaseType::kUniqueIdentifier, 36},
}};

const TypeInfo& Info(BaseType base) {
  for (const auto& t : kTypes) {
    if (t.base == base) return t;
  }
  return kTypes[2];
}

}  // namespace

std::string TypeWord(const SqlType& t) {
  return Info(t.base).name;
}

SqlError ConversionError(int number, std::string text) {
  return SqlError{number, 16, 1, std::move(text)};
}

bool ParseInt64(std::string_view s, int64_t& out) {
  std::string t = Trim(s);
  if (!t.empty() && t[0] == '+') t.erase(0, 1);
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
  return !t.empty() && ec == std::errc() && p == t.data() + t.size();
}

bool ParseDecimalText(std::string_view s, Decimal& out) {
  std::string t = Trim(s);
  if (t.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (t[0] == '-' || t[0] == '+') {
    neg = t[0] == '-';
    i = 1;
  }
  int64_t unscaled = 0;
  int scale = 0;
  bool digits = false, dot = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.' && !dot) {
      dot = true;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      if (unscaled > (INT64_MAX - 9) / 10) return false;
      unscaled = unscaled * 10 + (c - '0');
      digits = true;
      if (dot) ++scale;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  out = Decimal{neg ? -unscaled : unscaled, scale};
  return true;
}

int64_t Pow10(int n) {
  int64_t p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// Rescales with rounding half away from zero; false on overflow.
bool Rescale(Decimal d, int scale, int64_t& out) {
  if (scale >= d.scale) {
    int64_t f = Pow10(scale - d.scale);
    if (d.unscaled != 0 && std::llabs(d.unscaled) > INT64_MAX / f) return false;
    out = d.unscaled * f;
    return true;
  }
  int64_t f = Pow10(d.scale - scale);
  int64_t q = d.unscaled / f, r = d.unscaled % f;
  if (std::llabs(r) * 2 >= f) q += d.unscaled < 0 ? -1 : 1;
  out = q;
  return true;
}

double ToDouble(const Value& v) {
  if (auto* i = std::get_if<int64_t>(&v.v)) return static_cast<double>(*i);
  if (auto* d = std::get_if<double>(&v.v)) return *d;
  if (auto* dec = std::get_if<Decimal>(&v.v))
    return static_cast<double>(dec->unscaled) / static_cast<double>(Pow10(dec->scale));
  return 0;
}

std::string SqlType::Name() const {
  return alias.empty() ? TypeWord(*this) : alias;
}

std::string SqlType::DeclText() const {
  std::string n = Name();
  if (!alias.empty()) return n;
  switch (base) {
    case BaseType::kChar:
    case BaseType::kVarChar:
    case BaseType::kNChar:
    case BaseType::kNVarChar:
    case BaseType::kBinary:
    case BaseType::kVarBinary:
      return n + "(" + (length < 0 ? std::string("max") : std::to_string(length)) + ")";
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      return n + "(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    default:
      return n;
  }
}

int SqlType::XType() const {
  return Info(base).xtype;
}

int SqlType::ByteLength() const {
  switch (base) {
    case BaseType::kTinyInt:
    case BaseType::kBit:
      return 1;
    case BaseType::kSmallInt:
      return 2;
    case BaseType::kInt:
    case BaseType::kReal:
    case BaseType::kSmallMoney:
    case BaseType::kSmallDateTime:
      return 4;
    case BaseType::kBigInt:
    case BaseType::kFloat:
    case BaseType::kMoney:
    case BaseType::kDateTime:
      return 8;
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      return precision <= 9 ? 5 : precision <= 19 ? 9 : precision <= 28 ? 13 : 17;
    case BaseType::kNChar:
    case BaseType::kNVarChar:
      return length < 0 ? -1 : length * 2;
    case BaseType::kText:
    case BaseType::kNText:
    case BaseType::kImage:
    case BaseType::kUniqueIdentifier:
      return 16;
    default:
      return length;
  }
}

bool SqlType::IsCharacter() const {
  return base == BaseType::kChar || base == BaseType::kVarChar || base == BaseType::kNChar ||
         base == BaseType::kNVarChar || base == BaseType::kText || base == BaseType::kNText;
}
bool SqlType::IsUnicode() const {
  return base == BaseType::kNChar || base == BaseType::kNVarChar || base == BaseType::kNText;
}
bool SqlType::IsBinary() const {
  return base == BaseType::kBinary || base == BaseType::kVarBinary || base == BaseType::kImage;
}
bool SqlType::IsInteger() const {
  return base == BaseType::kTinyInt || base == BaseType::kSmallInt || base == BaseType::kInt ||
         base == BaseType::kBigInt;
}
bool SqlType::IsExactNumeric() const {
  return base == BaseType::kDecimal || base == BaseType::kNumeric || base == BaseType::kMoney ||
         base == BaseType::kSmallMoney;
}
bool SqlType::IsDateTime() const {
  return base == BaseType::kDateTime || base == BaseType::kSmallDateTime;
}

std::optional<SqlType> ParseSqlType(std::string_view text) {
  std::string t = Lower(Trim(text));
  std::string name, args;
  auto paren = t.find('(');
  if (paren == std::string::npos) {
    name = Trim(t);
  } else {
    auto close = t.find(')', paren);
    if (close == std::string::npos || !Trim(t.substr(close + 1)).empty()) return std::nullopt;
    name = Trim(t.substr(0, paren));
    args = t.substr(paren + 1, close - paren - 1);
  }
  if (name == "sysname") {
    SqlType s = NVarCharType(128);
    s.alias = "sysname";
    return args.empty() ? std::optional(s) : std::nullopt;
  }
  if (name == "integer") name = "int";
  if (name == "dec") name = "decimal";
  const TypeInfo* info = nullptr;
  for (const auto& ti : kTypes) {
    if (name == ti.name) info = &ti;
  }
  if (!info) return std::nullopt;
  SqlType type;
  type.base = info->base;
  std::string a1 = Trim(args.substr(0, args.find(','))), a2;
  if (args.find(',') != std::string::npos) a2 = Trim(args.substr(args.find(',') + 1));
  auto number = [](const std::string& s, int& out) {
    int64_t v;
    if (!ParseInt64(s, v) || v < 0 || v > 8000) return false;
    out = static_cast<int>(v);
    return true;
  };
  switch (type.base) {
    case BaseType::kChar:
    case BaseType::kVarChar:
    case BaseType::kNChar:
    case BaseType::kNVarChar:
    case BaseType::kBinary:
    case BaseType::kVarBinary:
      if (!a2.empty()) return std::nullopt;
      if (args.empty()) {
        type.length = 1;
      } else if (a1 == "max" && type.base != BaseType::kChar && type.base != BaseType::kNChar &&
                 type.base != BaseType::kBinary) {
        type.length = -1;
      } else if (!number(a1, type.length) || type.length == 0 ||
                 type.length > (type.IsUnicode() ? 4000 : 8000)) {
        return std::nullopt;
      }
      break;
    case BaseType::kDecimal:
    case BaseType::kNumeric:
      type.precision = 18;
      if (!a1.empty() && (!number(a1, type.precision) || type.precision < 1 || type.precision > 38)) {
        return std::nullopt;
      }
      if (!a2.empty() && (!number(a2, type.scale) || type.scale > type.precision)) return std::nullopt;
      break;
    case BaseType::kFloat:
    case BaseType::kMoney:
    case BaseType::kSmallMoney:
      if (type.base == BaseType::kMoney) type.scale = 4, type.precision = 19;
      if (type.base == BaseType::kSmallMoney) type.scale = 4, type.precision = 10;
      break;
    case BaseType::kText:
    case BaseType::kNText:
    case BaseType::kImage:
      type.length = -1;
      if (!args.empty()) return std::nullopt;
      break;
    default:
      if (!args.empty()) return std::nullopt;
  }
  return type;
}

SqlType NVarCharType(int length) {
  SqlType t;
  t.base = BaseType::kNVarChar;
  t.length = length;
  return t;
}
SqlType VarCharType(int length) {
  SqlType t;
  t.base = BaseType::kVarChar;
  t.length = length;
  return t;
}
SqlType IntType() {
  return SqlType{};
}

std::string Value::ToText() const {
  struct Visitor {
    std::string operator()(std::monostate) const { return "NULL"; }
    std::string operator()(int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.15g", d);
      return buf;
    }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const Bytes& b) const {
      static const char* kHex = "0123456789ABCDEF";
      std::string out = "0x";
      for (uint8_t c : b) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
      }
      return out;
    }
    std::string operator()(const DateTime& dt) const { return FormatDateTime(dt); }
    std::string operator()(const Decimal& d) const {
      std::string digits = std::to_string(std::llabs(d.unscaled));
      if (d.scale > 0) {
        if (static_cast<int>(digits.size()) <= d.scale) digits.insert(0, d.scale - digits.size() + 1, '0');
        digits.insert(digits.size() - d.scale, ".");
      }
      return (d.unscaled < 0 ? "-" : "") + digits;
    }
  };
  return std::visit(Visitor{}, v);
}

std::optional<std::string> ParseGuid(std::string_view text) {
  std::string t = Trim(text);
  if (t.size() == 38 && t.front() == '{' && t.back() == '}') t = t.substr(1, 36);
  if (t.size() != 36) return std::nullopt;
  for (size_t i = 0; i < t.size(); ++i) {
    const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
    if (dash ? t[i] != '-' : !std::isxdigit(static_cast<unsigned char>(t[i]))) return std::nullopt;
    t[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(t[i])));
  }
  return t;
}

}  // namespace standin
