#include "catalog/value.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

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

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpoch1900 = DaysFromCivil(1900, 1, 1);

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

std::string TypeWord(const SqlType& t) {
  return Info(t.base).name;
}

SqlError ConversionError(int number, std::string text) {
  return SqlError{number, 16, 1, std::move(text)};
}

std::string DateTimeStyle0(const DateTime& dt) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, d;
  CivilFromDays(kEpoch1900 + dt.days, y, m, d);
  int minutes = static_cast<int>(dt.ticks / 300 / 60);
  int hour = minutes / 60;
  int minute = minutes % 60;
  int h12 = hour % 12 == 0 ? 12 : hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d%s", kMonths[m - 1], d, y, h12, minute,
                hour < 12 ? "AM" : "PM");
  return buf;
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

}  // namespace

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

DateTime DateTimeFromParts(int year, int month, int day, int hour, int minute, int second, int millis) {
  DateTime dt;
  dt.days = static_cast<int32_t>(DaysFromCivil(year, month, day) - kEpoch1900);
  // datetime keeps 1/300 s; SQL Server rounds milliseconds to .000, .003 or .007.
  dt.ticks = static_cast<uint32_t>((hour * 3600 + minute * 60 + second) * 300 + (millis * 3 + 5) / 10);
  return dt;
}

DateTime RoundToMinute(const DateTime& dt) {
  DateTime out = dt;
  uint32_t minute_ticks = 60 * 300;
  // 29.998 seconds or less round down, 29.999 and more round up; datetime stores the latter as 30.000.
  out.ticks = (dt.ticks + minute_ticks / 2) / minute_ticks * minute_ticks;
  if (out.ticks >= 24u * 3600 * 300) {
    out.ticks = 0;
    ++out.days;
  }
  return out;
}

std::string FormatDateTime(const DateTime& dt, bool small) {
  int y, m, d;
  CivilFromDays(kEpoch1900 + dt.days, y, m, d);
  uint32_t secs = dt.ticks / 300;
  int millis = static_cast<int>(((dt.ticks % 300) * 10 + 1) / 3);
  char buf[48];
  if (small) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:00", y, m, d, secs / 3600, secs / 60 % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u.%03d", y, m, d, secs / 3600, secs / 60 % 60,
                  secs % 60, millis);
  }
  return buf;
}

std::optional<DateTime> ParseDateTime(std::string_view input, SqlError* error) {
  auto fail = [&](int number) -> std::optional<DateTime> {
    if (error) {
      *error = number == 241
                   ? ConversionError(
                         241, "Conversion failed when converting date and/or time from character string.")
                   : ConversionError(242,
                                     "The conversion of a nvarchar data type to a datetime data type "
                                     "resulted in an out-of-range value.");
    }
    return std::nullopt;
  };
  std::string s = Trim(input);
  if (s.empty()) return DateTime{};  // '' converts to 1900-01-01
  // Split into a date part and a time part.
  std::string date_part = s, time_part;
  auto sep = s.find_first_of(" T");
  if (sep != std::string::npos) {
    date_part = s.substr(0, sep);
    time_part = Trim(s.substr(sep + 1));
  } else if (s.find(':') != std::string::npos) {
    date_part.clear();
    time_part = s;
  }
  int year = 1900, month = 1, day = 1;
  auto all_digits = [](const std::string& x) {
    return !x.empty() && std::all_of(x.begin(), x.end(),
                                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
  };
  if (!date_part.empty()) {
    if (all_digits(date_part) && (date_part.size() == 8 || date_part.size() == 6)) {
      bool four = date_part.size() == 8;
      year = std::stoi(date_part.substr(0, four ? 4 : 2));
      month = std::stoi(date_part.substr(four ? 4 : 2, 2));
      day = std::stoi(date_part.substr(four ? 6 : 4, 2));
      if (!four) year += year < 50 ? 2000 : 1900;
    } else {
      char delim = 0;
      for (char c : date_part) {
        if (c == '-' || c == '/' || c == '.') {
          delim = c;
          break;
        }
      }
      if (!delim) return fail(241);
      std::vector<std::string> parts;
      size_t start = 0;
      for (size_t i = 0; i <= date_part.size(); ++i) {
        if (i == date_part.size() || date_part[i] == delim) {
          parts.push_back(date_part.substr(start, i - start));
          start = i + 1;
        }
      }
      if (parts.size() != 3) return fail(241);
      for (const auto& p : parts) {
        if (!all_digits(p) || p.size() > 4) return fail(241);
      }
      if (parts[0].size() == 4) {  // y-m-d
        year = std::stoi(parts[0]);
        month = std::stoi(parts[1]);
        day = std::stoi(parts[2]);
      } else {  // m/d/y under us_english
        month = std::stoi(parts[0]);
        day = std::stoi(parts[1]);
        year = std::stoi(parts[2]);
        if (parts[2].size() <= 2)
          year += year < 50 ? 2000 : 1900;
        else if (parts[2].size() != 4)
          return fail(241);
      }
    }
  }
  int hour = 0, minute = 0, second = 0, millis = 0;
  if (!time_part.empty()) {
    std::string t = time_part;
    bool pm = false, am = false;
    std::string lower = Lower(t);
    if (lower.size() > 2 && (lower.ends_with("pm") || lower.ends_with("am"))) {
      pm = lower.ends_with("pm");
      am = !pm;
      t = Trim(t.substr(0, t.size() - 2));
    }
    std::vector<std::string> parts;
    std::string frac;
    auto dot = t.find('.');
    if (dot != std::string::npos) {
      frac = t.substr(dot + 1);
      t = t.substr(0, dot);
    }
    size_t start = 0;
    for (size_t i = 0; i <= t.size(); ++i) {
      if (i == t.size() || t[i] == ':') {
        parts.push_back(t.substr(start, i - start));
        start = i + 1;
      }
    }
    if (parts.size() < 2 || parts.size() > 3) return fail(241);
    for (const auto& p : parts) {
      if (!all_digits(p) || p.size() > 2) return fail(241);
    }
    if (!frac.empty() && (!all_digits(frac) || frac.size() > 7)) return fail(241);
    hour = std::stoi(parts[0]);
    minute = std::stoi(parts[1]);
    second = parts.size() == 3 ? std::stoi(parts[2]) : 0;
    if (!frac.empty()) millis = static_cast<int>(std::lround(std::stod("0." + frac) * 1000));
    if (pm && hour < 12) hour += 12;
    if (am && hour == 12) hour = 0;
    if (hour > 23 || minute > 59 || second > 59) return fail(242);
    if ((am || pm) && std::stoi(parts[0]) > 12) return fail(241);
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return fail(242);
  if (year < 1753 || year > 9999) return fail(242);
  DateTime dt = DateTimeFromParts(year, month, day, hour, minute, second, 0);
  dt.ticks += static_cast<uint32_t>((millis * 3 + 5) / 10);
  if (dt.ticks >= 24u * 3600 * 300) {
    dt.ticks -= 24u * 3600 * 300;
    ++dt.days;
  }
  return dt;
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

Converted ConvertValue(const Value& value, const SqlType& from, const SqlType& to) {
  if (value.IsNull()) return {Value{}, std::nullopt};
  const std::string from_name = TypeWord(from), to_name = TypeWord(to);
  auto err = [](int number, std::string text) {
    return Converted{Value{}, ConversionError(number, std::move(text))};
  };
  auto not_allowed = [&] {
    return err(257, "Implicit conversion from data type " + from_name + " to " + to_name +
                        " is not allowed. Use the CONVERT function to run this query.");
  };

  if (to.IsCharacter()) {
    if (from.IsBinary()) return not_allowed();
    std::string text;
    if (auto* dt = std::get_if<DateTime>(&value.v)) {
      text = DateTimeStyle0(*dt);
    } else {
      text = value.ToText();
    }
    if (to.length >= 0 && static_cast<int>(Utf8ToUtf16(text).size()) > to.length) {
      return err(8152, "String or binary data would be truncated.");
    }
    if ((to.base == BaseType::kChar || to.base == BaseType::kNChar) && to.length > 0) {
      text.append(to.length - Utf8ToUtf16(text).size(), ' ');
    }
    return {Value(text), std::nullopt};
  }

  if (to.base == BaseType::kUniqueIdentifier) {
    auto* s = std::get_if<std::string>(&value.v);
    if (!s) return not_allowed();
    auto guid = ParseGuid(*s);
    if (!guid)
      return err(8169, "Conversion failed when converting from a character string to uniqueidentifier.");
    return {Value(*guid), std::nullopt};
  }
  if (from.base == BaseType::kUniqueIdentifier) return not_allowed();

  if (to.IsBinary()) {
    auto* b = std::get_if<Bytes>(&value.v);
    if (!b) return not_allowed();
    if (to.length >= 0 && static_cast<int>(b->size()) > to.length) {
      return err(8152, "String or binary data would be truncated.");
    }
    return {value, std::nullopt};
  }

  if (to.IsDateTime()) {
    DateTime dt;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      SqlError e;
      auto parsed = ParseDateTime(*s, &e);
      if (!parsed) {
        if (e.number == 242) {
          e.text = "The conversion of a " + from_name + " data type to a " + to_name +
                   " data type resulted in an out-of-range value.";
        }
        return {Value{}, e};
      }
      dt = *parsed;
    } else if (auto* d = std::get_if<DateTime>(&value.v)) {
      dt = *d;
    } else if (from.IsInteger() || from.IsExactNumeric() || from.base == BaseType::kFloat ||
               from.base == BaseType::kReal) {
      double days = ToDouble(value);
      dt.days = static_cast<int32_t>(std::floor(days));
      dt.ticks = static_cast<uint32_t>(std::lround((days - std::floor(days)) * 24 * 3600 * 300));
    } else {
      return err(206, "Operand type clash: " + from_name + " is incompatible with " + to_name);
    }
    if (to.base == BaseType::kSmallDateTime) {
      dt = RoundToMinute(dt);
      int64_t max_days = DaysFromCivil(2079, 6, 6) - kEpoch1900;
      if (dt.days < 0 || dt.days > max_days) {
        if (from.base == BaseType::kDateTime) {
          return err(
              298,
              "The conversion from datetime data type to smalldatetime data type resulted in a smalldatetime "
              "overflow error.");
        }
        return err(242, "The conversion of a " + from_name +
                            " data type to a smalldatetime data type resulted in an "
                            "out-of-range value.");
      }
    } else if (dt.days < DaysFromCivil(1753, 1, 1) - kEpoch1900) {
      return err(242, "The conversion of a " + from_name +
                          " data type to a datetime data type resulted in an "
                          "out-of-range value.");
    }
    return {Value(dt), std::nullopt};
  }

  if (to.IsInteger() || to.base == BaseType::kBit) {
    int64_t i = 0;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      std::string t = Lower(Trim(*s));
      if (to.base == BaseType::kBit && (t == "true" || t == "false")) {
        i = t == "true";
      } else if (!ParseInt64(t, i)) {
        return err(245, "Conversion failed when converting the " + from_name + " value '" + *s +
                            "' to data type " + to_name + ".");
      }
    } else if (auto* n = std::get_if<int64_t>(&value.v)) {
      i = *n;
    } else if (std::holds_alternative<double>(value.v) || std::holds_alternative<Decimal>(value.v)) {
      i = static_cast<int64_t>(std::trunc(ToDouble(value)));
    } else {
      return not_allowed();
    }
    if (to.base == BaseType::kBit) return {Value(static_cast<int64_t>(i != 0)), std::nullopt};
    int64_t lo = 0, hi = 0;
    switch (to.base) {
      case BaseType::kTinyInt:
        lo = 0, hi = 255;
        break;
      case BaseType::kSmallInt:
        lo = -32768, hi = 32767;
        break;
      case BaseType::kInt:
        lo = INT32_MIN, hi = INT32_MAX;
        break;
      default:
        lo = INT64_MIN, hi = INT64_MAX;
    }
    if (i < lo || i > hi) {
      if (to.base == BaseType::kTinyInt || to.base == BaseType::kSmallInt) {
        return err(220, "Arithmetic overflow error for data type " + to_name +
                            ", value = " + std::to_string(i) + ".");
      }
      return err(8115, "Arithmetic overflow error converting expression to data type " + to_name + ".");
    }
    return {Value(i), std::nullopt};
  }

  if (to.base == BaseType::kFloat || to.base == BaseType::kReal) {
    if (auto* s = std::get_if<std::string>(&value.v)) {
      std::string t = Trim(*s);
      char* end = nullptr;
      double d = std::strtod(t.c_str(), &end);
      if (t.empty() || *end != '\0')
        return err(8114, "Error converting data type " + from_name + " to float.");
      return {Value(d), std::nullopt};
    }
    if (std::holds_alternative<int64_t>(value.v) || std::holds_alternative<double>(value.v) ||
        std::holds_alternative<Decimal>(value.v)) {
      return {Value(ToDouble(value)), std::nullopt};
    }
    return not_allowed();
  }

  if (to.IsExactNumeric()) {
    Decimal d;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      if (!ParseDecimalText(*s, d))
        return err(8114, "Error converting data type " + from_name + " to numeric.");
    } else if (auto* n = std::get_if<int64_t>(&value.v)) {
      d = Decimal{*n, 0};
    } else if (auto* f = std::get_if<double>(&value.v)) {
      d = Decimal{static_cast<int64_t>(std::llround(*f * Pow10(to.scale))), to.scale};
    } else if (auto* dd = std::get_if<Decimal>(&value.v)) {
      d = *dd;
    } else {
      return not_allowed();
    }
    int64_t unscaled = 0;
    int precision = to.precision > 18 ? 18 : to.precision;
    if (!Rescale(d, to.scale, unscaled) || std::llabs(unscaled) >= Pow10(precision)) {
      return err(8115, "Arithmetic overflow error converting " + from_name + " to data type numeric.");
    }
    return {Value(Decimal{unscaled, to.scale}), std::nullopt};
  }
  return err(206, "Operand type clash: " + from_name + " is incompatible with " + to_name);
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

namespace {
bool LikeAt(const std::u16string& t, size_t ti, const std::u16string& p, size_t pi) {
  auto fold = [](char16_t c) -> char16_t { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  while (pi < p.size()) {
    char16_t pc = p[pi];
    if (pc == '%') {
      while (pi < p.size() && p[pi] == '%') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ti; k <= t.size(); ++k) {
        if (LikeAt(t, k, p, pi)) return true;
      }
      return false;
    }
    if (ti >= t.size()) return false;
    if (pc == '_') {
      ++ti, ++pi;
      continue;
    }
    if (pc == '[') {
      size_t close = p.find(']', pi + 1);
      if (close != std::u16string::npos) {
        size_t k = pi + 1;
        bool negate = k < close && p[k] == '^';
        if (negate) ++k;
        bool hit = false;
        for (; k < close; ++k) {
          if (k + 2 < close && p[k + 1] == '-') {
            if (fold(t[ti]) >= fold(p[k]) && fold(t[ti]) <= fold(p[k + 2])) hit = true;
            k += 2;
          } else if (fold(p[k]) == fold(t[ti])) {
            hit = true;
          }
        }
        if (hit == negate) return false;
        ++ti;
        pi = close + 1;
        continue;
      }
    }
    if (fold(pc) != fold(t[ti])) return false;
    ++ti, ++pi;
  }
  return ti == t.size();
}
}  // namespace

bool LikeMatch(std::string_view text, std::string_view pattern) {
  return LikeAt(Utf8ToUtf16(text), 0, Utf8ToUtf16(pattern), 0);
}

}  // namespace standin
