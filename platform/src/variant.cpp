#include "platform/variant.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>
#include <system_error>

#include "platform/error.h"
#include "platform/text.h"
#include "value_text.h"

namespace platform {

namespace {

using detail::NumberText;
using detail::UInt128;

// The kinds in the order of the alternatives of Variant's storage.
constexpr std::array<VarType, 15> kKindByIndex = {
    VarType::kEmpty,  VarType::kNull,     VarType::kInteger, VarType::kLong,   VarType::kSingle,
    VarType::kDouble, VarType::kCurrency, VarType::kDate,    VarType::kString, VarType::kBoolean,
    VarType::kByte,   VarType::kDecimal,  VarType::kError,   VarType::kArray,  VarType::kByteArray,
};

// The largest magnitude the classic Decimal holds: a 96-bit integer.
constexpr UInt128 kDecimalLimit = (UInt128{1} << 96) - 1;
constexpr int kDecimalMaxScale = 28;

// The runtime's date range: 1 January 100 to 31 December 9999.
constexpr double kMinDateSerial = -657435.0;  // exclusive
constexpr double kMaxDateSerial = 2958466.0;  // exclusive

// printf's "%.<n>G" without the locale: the runtime always writes "." here.
template <typename Number>
std::string FormatGeneral(Number value, int significant_digits) {
  if (value == 0) return "0";  // never "-0"
  std::array<char, 64> buffer{};
  auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general,
                              significant_digits);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  return text;
}

// The runtime shows a Single with up to 7 significant digits.
std::string FormatSingle(float value) {
  return FormatGeneral(value, 7);
}

NumberText ParseOrMismatch(const std::string& text) {
  auto number = detail::ParseNumberText(text);
  if (!number) RaiseError(kErrTypeMismatch);
  return *number;
}

double NumberTextToDouble(const NumberText& number) {
  if (number.digits.empty()) return 0.0;
  const std::string text = number.digits + "e" + std::to_string(number.exponent);
  double value = 0.0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too small to hold gives zero; too large is the runtime's overflow.
    if (static_cast<long long>(number.digits.size()) + number.exponent > 0) RaiseError(kErrOverflow);
    value = 0.0;
  }
  return number.negative ? -value : value;
}

// The exact value with as many of its written decimals as the Decimal kind holds.
Decimal NumberTextToDecimal(const NumberText& number) {
  int scale = number.exponent < 0 ? std::min(-number.exponent, kDecimalMaxScale) : 0;
  for (;; --scale) {
    if (auto value = detail::RoundToScale(number, scale, kDecimalLimit)) return Decimal{*value, scale};
    if (scale == 0) RaiseError(kErrOverflow);
  }
}

NumberText DecimalToNumberText(const Decimal& d) {
  const UInt128 magnitude =
      d.value < 0 ? UInt128{0} - static_cast<UInt128>(d.value) : static_cast<UInt128>(d.value);
  return NumberText{d.value < 0, d.value == 0 ? "" : detail::UInt128ToString(magnitude), -d.scale};
}

double RoundHalfEven(double value) {
  double whole = std::floor(value);
  double fraction = value - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  return whole;
}

// Reads a fixed-width run of digits at `pos`; -1 when any is missing.
int ReadDigits(std::string_view s, std::size_t pos, std::size_t count) {
  if (pos + count > s.size()) return -1;
  int value = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return -1;
    value = value * 10 + (s[i] - '0');
  }
  return value;
}

// "hh:mm" or "hh:mm:ss" at `pos` to the end of the text; the hour may have one
// digit ("9:05"), as people write it and the runtime reads it.
bool ParseTime(std::string_view s, std::size_t pos, DateParts& parts) {
  if (pos >= s.size()) return false;
  const std::size_t hour_digits = pos + 1 < s.size() && s[pos + 1] == ':' ? 1 : 2;
  if (s.size() - pos < hour_digits) return false;
  const std::size_t rest = s.size() - pos - hour_digits;  // ":mm" or ":mm:ss"
  if (rest != 3 && rest != 6) return false;
  parts.hour = ReadDigits(s, pos, hour_digits);
  pos += hour_digits;
  parts.minute = ReadDigits(s, pos + 1, 2);
  parts.second = rest == 6 ? ReadDigits(s, pos + 4, 2) : 0;
  return s[pos] == ':' && (rest == 3 || s[pos + 3] == ':') && parts.hour >= 0 && parts.minute >= 0 &&
         parts.second >= 0;
}

// Date text in the fixed forms this system writes and the server returns:
// "yyyy-mm-dd", "yyyy-mm-dd hh:mm[:ss]" (or with "T"), and a time alone "hh:mm[:ss]".
Date ParseDateText(const std::string& text) {
  const std::string trimmed = Trim(text);
  std::string_view s = trimmed;
  DateParts parts;
  bool ok = false;
  if (s.size() >= 10 && (s[4] == '-' || s[4] == '/') && s[7] == s[4]) {
    parts.year = ReadDigits(s, 0, 4);
    parts.month = ReadDigits(s, 5, 2);
    parts.day = ReadDigits(s, 8, 2);
    ok = parts.year >= 0 && parts.month >= 0 && parts.day >= 0;
    if (ok && s.size() > 10) ok = (s[10] == ' ' || s[10] == 'T') && ParseTime(s, 11, parts);
  } else if (!s.empty()) {
    ok = ParseTime(s, 0, parts);
  }
  if (!ok) RaiseError(kErrTypeMismatch);
  try {
    return Date::FromParts(parts);
  } catch (const Error&) {
    RaiseError(kErrTypeMismatch);  // "2021-02-30" is not a date the runtime reads
  }
}

Date CheckedDate(double serial) {
  if (!(serial > kMinDateSerial && serial < kMaxDateSerial)) RaiseError(kErrOverflow);
  return Date(serial);
}

// Rounds to a whole number (ties to even) and checks it against [min, max].
std::int64_t CheckedWhole(Int128 value, std::int64_t min, std::int64_t max) {
  if (value < min || value > max) RaiseError(kErrOverflow);
  return static_cast<std::int64_t>(value);
}

std::int64_t CheckedWhole(double value, std::int64_t min, std::int64_t max) {
  double rounded = RoundHalfEven(value);
  if (std::isnan(rounded) || rounded < static_cast<double>(min) || rounded > static_cast<double>(max)) {
    RaiseError(kErrOverflow);
  }
  return static_cast<std::int64_t>(rounded);
}

}  // namespace

double Decimal::ToDouble() const {
  const std::string text = ToString();
  double result = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), result);
  return result;
}

std::string Decimal::ToString() const {
  UInt128 magnitude = value < 0 ? UInt128{0} - static_cast<UInt128>(value) : static_cast<UInt128>(value);
  std::string digits = detail::UInt128ToString(magnitude);
  if (scale > 0) {
    const auto width = static_cast<std::size_t>(scale) + 1;
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  } else if (scale < 0 && magnitude != 0) {
    digits.append(static_cast<std::size_t>(-scale), '0');
  }
  return value < 0 ? "-" + digits : digits;
}

std::string FormatDouble(double value) {
  return FormatGeneral(value, 15);
}

VarType Variant::Type() const {
  return kKindByIndex[value_.index()];
}

int Variant::VarTypeCode() const {
  // An array of variants reports its element kind (Variant, 12) added to 8192.
  return Type() == VarType::kArray ? 8192 + 12 : static_cast<int>(Type());
}

std::string Variant::TypeName() const {
  switch (Type()) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kNull:
      return "Null";
    case VarType::kInteger:
      return "Integer";
    case VarType::kLong:
      return "Long";
    case VarType::kSingle:
      return "Single";
    case VarType::kDouble:
      return "Double";
    case VarType::kCurrency:
      return "Currency";
    case VarType::kDate:
      return "Date";
    case VarType::kString:
      return "String";
    case VarType::kError:
      return "Error";
    case VarType::kBoolean:
      return "Boolean";
    case VarType::kDecimal:
      return "Decimal";
    case VarType::kByte:
      return "Byte";
    case VarType::kArray:
      return "Variant()";
    case VarType::kByteArray:
      return "Byte()";
  }
  return "Unknown";
}

bool Variant::IsNumeric() const {
  switch (Type()) {
    case VarType::kEmpty:  // the runtime's IsNumeric(Empty) is True: Empty reads as 0
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kSingle:
    case VarType::kDouble:
    case VarType::kCurrency:
    case VarType::kBoolean:
    case VarType::kDecimal:
    case VarType::kByte:
      return true;
    case VarType::kString:
      return detail::ParseNumberText(*Get<std::string>()).has_value();
    default:
      return false;  // Null, Date, Error and arrays
  }
}

const VariantArray* Variant::Array() const {
  auto* p = std::get_if<std::shared_ptr<const VariantArray>>(&value_);
  return p ? p->get() : nullptr;
}

const Bytes* Variant::ByteArray() const {
  auto* p = std::get_if<std::shared_ptr<const Bytes>>(&value_);
  return p ? p->get() : nullptr;
}

std::string Variant::ToString() const {
  switch (Type()) {
    case VarType::kEmpty:
      return "";
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kInteger:
      return std::to_string(*Get<std::int16_t>());
    case VarType::kLong:
      return std::to_string(*Get<std::int32_t>());
    case VarType::kSingle:
      return FormatSingle(*Get<float>());
    case VarType::kDouble:
      return FormatDouble(*Get<double>());
    case VarType::kCurrency:
      return Get<Currency>()->ToString();
    case VarType::kDate:
      return Get<Date>()->ToString();
    case VarType::kString:
      return *Get<std::string>();
    case VarType::kBoolean:
      return *Get<bool>() ? "True" : "False";
    case VarType::kByte:
      return std::to_string(*Get<std::uint8_t>());
    case VarType::kDecimal:
      return Get<Decimal>()->ToString();
    case VarType::kError:
      return "Error " + std::to_string(Get<ErrorValue>()->number);
    default:
      RaiseError(kErrTypeMismatch);
  }
}

double Variant::ToDouble() const {
  switch (Type()) {
    case VarType::kEmpty:
      return 0.0;
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kInteger:
      return *Get<std::int16_t>();
    case VarType::kLong:
      return *Get<std::int32_t>();
    case VarType::kSingle:
      return *Get<float>();
    case VarType::kDouble:
      return *Get<double>();
    case VarType::kCurrency:
      return Get<Currency>()->ToDouble();
    case VarType::kDate:
      return Get<Date>()->Serial();
    case VarType::kString:
      return NumberTextToDouble(ParseOrMismatch(*Get<std::string>()));
    case VarType::kBoolean:
      return *Get<bool>() ? -1.0 : 0.0;
    case VarType::kByte:
      return *Get<std::uint8_t>();
    case VarType::kDecimal:
      return Get<Decimal>()->ToDouble();
    default:
      RaiseError(kErrTypeMismatch);
  }
}

namespace {

// The shared road of CLng and CInt: round to a whole number, ties to even, and
// check the range.
std::int64_t ToWhole(const Variant& v, std::int64_t min, std::int64_t max) {
  switch (v.Type()) {
    case VarType::kCurrency:
      return CheckedWhole(detail::DivRoundHalfEven(v.Get<Currency>()->Ticks(), Currency::kScale), min, max);
    case VarType::kDecimal: {
      auto whole = detail::RoundToScale(DecimalToNumberText(*v.Get<Decimal>()), 0, UInt128{1} << 64);
      if (!whole) RaiseError(kErrOverflow);
      return CheckedWhole(*whole, min, max);
    }
    case VarType::kString: {
      // Exact decimal rounding, so "2.5" goes to 2 however the double would fall.
      auto whole = detail::RoundToScale(ParseOrMismatch(*v.Get<std::string>()), 0, UInt128{1} << 64);
      if (!whole) RaiseError(kErrOverflow);
      return CheckedWhole(*whole, min, max);
    }
    default:
      return CheckedWhole(v.ToDouble(), min, max);
  }
}

}  // namespace

std::int32_t Variant::ToLong() const {
  return static_cast<std::int32_t>(
      ToWhole(*this, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::int16_t Variant::ToInteger() const {
  return static_cast<std::int16_t>(
      ToWhole(*this, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

bool Variant::ToBool() const {
  switch (Type()) {
    case VarType::kEmpty:
      return false;
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kBoolean:
      return *Get<bool>();
    case VarType::kCurrency:
      return Get<Currency>()->Ticks() != 0;
    case VarType::kDecimal:
      return Get<Decimal>()->value != 0;
    case VarType::kString: {
      const std::string text = Trim(*Get<std::string>());
      if (EqualsIgnoringCase(text, "True")) return true;
      if (EqualsIgnoringCase(text, "False")) return false;
      return !ParseOrMismatch(*Get<std::string>()).digits.empty();
    }
    default:
      return ToDouble() != 0.0;
  }
}

Currency Variant::ToCurrency() const {
  switch (Type()) {
    case VarType::kEmpty:
      return Currency{};
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kByte:
    case VarType::kBoolean:
      return Currency::FromTicks(static_cast<std::int64_t>(ToLong()) * Currency::kScale);
    case VarType::kCurrency:
      return *Get<Currency>();
    case VarType::kString:
      return Currency::Parse(*Get<std::string>());
    case VarType::kDecimal: {
      const NumberText number = DecimalToNumberText(*Get<Decimal>());
      constexpr UInt128 kMax = std::numeric_limits<std::int64_t>::max();
      auto ticks = detail::RoundToScale(number, 4, number.negative ? kMax + 1 : kMax);
      if (!ticks) RaiseError(kErrOverflow);
      return Currency::FromTicks(static_cast<std::int64_t>(*ticks));
    }
    default:
      return Currency::FromDouble(ToDouble());
  }
}

Date Variant::ToDate() const {
  switch (Type()) {
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kDate:
      return *Get<Date>();
    case VarType::kString:
      return ParseDateText(*Get<std::string>());
    default:
      return CheckedDate(ToDouble());
  }
}

Decimal Variant::ToDecimal() const {
  switch (Type()) {
    case VarType::kEmpty:
      return Decimal{};
    case VarType::kNull:
      RaiseError(kErrInvalidUseOfNull);
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kByte:
    case VarType::kBoolean:
      return Decimal{ToLong(), 0};
    case VarType::kCurrency: {
      // Trailing zeros of the four fixed places are not kept: 1.5 is (15, 1).
      Decimal d{Get<Currency>()->Ticks(), 4};
      while (d.scale > 0 && d.value % 10 == 0) {
        d.value /= 10;
        --d.scale;
      }
      return d;
    }
    case VarType::kDecimal:
      return *Get<Decimal>();
    case VarType::kString:
      return NumberTextToDecimal(ParseOrMismatch(*Get<std::string>()));
    case VarType::kSingle:
      return NumberTextToDecimal(*detail::ParseNumberText(FormatSingle(*Get<float>())));
    default: {
      // A double converts through its 15-digit text, as the runtime does: 0.1 is
      // exactly 0.1, not the binary value's long expansion.
      const double value = ToDouble();
      if (!std::isfinite(value)) RaiseError(kErrOverflow);
      return NumberTextToDecimal(*detail::ParseNumberText(FormatDouble(value)));
    }
  }
}

bool Variant::operator==(const Variant& other) const {
  if (value_.index() != other.value_.index()) return false;
  if (const VariantArray* a = Array()) {
    const VariantArray* b = other.Array();
    return a->lower_bound == b->lower_bound && a->items == b->items;
  }
  if (const Bytes* a = ByteArray()) return *a == *other.ByteArray();
  return value_ == other.value_;
}

}  // namespace platform
