#include "digit_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace util_internal {
namespace {

using platform::Int128;
__extension__ using UInt128 = unsigned __int128;

std::string StripTrailingZeros(std::string digits) {
  const auto last = digits.find_last_not_of('0');
  digits.erase(last == std::string::npos ? 0 : last + 1);
  return digits;
}

std::string StripLeadingZeros(std::string digits) {
  const auto first = digits.find_first_not_of('0');
  if (first == std::string::npos) return "0";
  return digits.substr(first);
}

std::string UnsignedText(UInt128 v) {
  if (v == 0) return "0";
  std::string text;
  while (v != 0) {
    text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return text;
}

UInt128 Pow10(int n) {
  UInt128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// Adds one to a digit text, growing it by a digit when the carry runs off the front.
std::string Increment(std::string digits) {
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it != '9') {
      ++*it;
      return digits;
    }
    *it = '0';
  }
  return "1" + digits;
}

// Builds a normalised value: no leading zeros, no trailing fraction zeros, and zero is
// never negative.
DigitText Make(bool negative, std::string integer, std::string fraction) {
  DigitText v;
  v.integer = StripLeadingZeros(std::move(integer));
  v.fraction = StripTrailingZeros(std::move(fraction));
  v.negative = negative && (v.integer != "0" || !v.fraction.empty());
  return v;
}

// integer "." kept, plus one unit in the last kept place.
DigitText AddUnit(bool negative, const std::string& integer, const std::string& kept) {
  const std::string sum = Increment(integer + kept);
  const auto split = sum.size() - kept.size();
  return Make(negative, sum.substr(0, split), sum.substr(split));
}

}  // namespace

DigitText FromTicks(std::int64_t ticks) {
  const bool negative = ticks < 0;
  // The magnitude of the lowest value does not fit in a signed 64-bit integer.
  const UInt128 magnitude = negative ? static_cast<UInt128>(-static_cast<Int128>(ticks)) : ticks;
  std::string fraction = UnsignedText(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  return Make(negative, UnsignedText(magnitude / 10000), fraction);
}

std::optional<DigitText> FromFloating(double value, int significant) {
  if (!std::isfinite(value)) return std::nullopt;
  const double magnitude = std::fabs(value);
  const double whole = std::trunc(magnitude);
  const double fraction = magnitude - whole;  // exact: both lie on the same binary grid
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.0f", whole);
  std::string integer = buffer;
  std::string fraction_digits;
  if (fraction != 0) {
    std::snprintf(buffer, sizeof buffer, "%.*e", significant - 1, fraction);
    // buffer holds "d.ddd...e-XX": the mantissa digits and a decimal exponent.
    const std::string text = buffer;
    const auto e_pos = text.find('e');
    std::string mantissa = text.substr(0, 1) + text.substr(2, e_pos - 2);
    const int exponent = std::atoi(text.c_str() + e_pos + 1);
    // A fraction whose text rounds to 1 shows no fraction digits, as its text has no
    // decimal separator.
    if (exponent < 0) fraction_digits = std::string(static_cast<std::size_t>(-exponent - 1), '0') + mantissa;
  }
  return Make(std::signbit(value), integer, fraction_digits);
}

DigitText FromDecimal(const platform::Decimal& value) {
  const bool negative = value.value < 0;
  const UInt128 magnitude = negative ? static_cast<UInt128>(-value.value) : static_cast<UInt128>(value.value);
  const int scale = value.scale < 0 ? 0 : value.scale;
  const UInt128 unit = Pow10(scale);
  std::string fraction = scale == 0 ? std::string() : UnsignedText(magnitude % unit);
  fraction.insert(0, static_cast<std::size_t>(scale) - fraction.size(), '0');
  return Make(negative, UnsignedText(magnitude / unit), fraction);
}

std::string KeptDigits(const DigitText& value, int d) {
  if (d <= 0) return {};
  return value.fraction.substr(0, static_cast<std::size_t>(d));
}

DigitText Truncate(const DigitText& value, int d) {
  return Make(value.negative, value.integer, KeptDigits(value, d));
}

DigitText RoundUp(const DigitText& value, int d, bool dropped) {
  const std::string kept = KeptDigits(value, d);
  if (!dropped) return Make(value.negative, value.integer, kept);
  return AddUnit(value.negative, value.integer, kept);
}

DigitText RoundHalfEven(const DigitText& value, int d) {
  const std::string kept = KeptDigits(value, d);
  const std::string rest = value.fraction.substr(kept.size());
  if (rest.empty() || rest[0] < '5') return Make(value.negative, value.integer, kept);
  const bool above_half = rest[0] > '5' || rest.find_first_not_of('0', 1) != std::string::npos;
  const char last = kept.empty() ? value.integer.back() : kept.back();
  if (above_half || (last - '0') % 2 == 1) return AddUnit(value.negative, value.integer, kept);
  return Make(value.negative, value.integer, kept);
}

DigitText RoundHalfAway(const DigitText& value, int d) {
  const std::string kept = KeptDigits(value, d);
  if (value.fraction.size() > kept.size() && value.fraction[kept.size()] >= '5') {
    return AddUnit(value.negative, value.integer, kept);
  }
  return Make(value.negative, value.integer, kept);
}

DigitText RoundWholeHundredthUp(const DigitText& value) {
  if (value.fraction == "5") {
    // v + 0.01 is then x.51 above zero (rounds up) and -x.49 below it (rounds toward zero).
    return value.negative ? Make(true, value.integer, "") : AddUnit(false, value.integer, "");
  }
  return RoundHalfEven(value, 0);
}

DigitText RoundTens(const DigitText& value, int places, TenStep step) {
  const std::string& w = value.integer;
  const auto count = static_cast<std::size_t>(places);
  const std::string last_digits = w.size() > count ? w.substr(w.size() - count) : w;
  const std::string base = w.size() > count ? w.substr(0, w.size() - count) : std::string("0");
  bool add = step == TenStep::kUp;
  if (step == TenStep::kHalfUp) {
    // L is at least half of 10^places when its leading digit (padded to `places`
    // digits) is 5 or more.
    const std::string padded = std::string(count - last_digits.size(), '0') + last_digits;
    add = padded[0] >= '5';
  }
  const std::string high = add ? Increment(base) : base;
  return Make(value.negative, high + std::string(count, '0'), "");
}

std::optional<std::int64_t> ToTicks(const DigitText& value) {
  if (value.integer.size() > 16 || value.fraction.size() > 4) return std::nullopt;
  std::string fraction = value.fraction;
  fraction.append(4 - fraction.size(), '0');
  const std::string digits = value.integer + fraction;
  UInt128 magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  const UInt128 limit =
      static_cast<UInt128>(std::numeric_limits<std::int64_t>::max()) + (value.negative ? 1 : 0);
  if (magnitude > limit) return std::nullopt;
  const Int128 signed_value =
      value.negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  return static_cast<std::int64_t>(signed_value);
}

double ToDouble(const DigitText& value) {
  std::string text = value.negative ? "-" : "";
  text += value.integer;
  if (!value.fraction.empty()) text += "." + value.fraction;
  return std::strtod(text.c_str(), nullptr);
}

std::optional<platform::Decimal> ToDecimal(const DigitText& value) {
  const std::string digits = StripLeadingZeros(value.integer + value.fraction);
  if (digits.size() > 29) return std::nullopt;
  UInt128 magnitude = 0;
  for (char c : digits) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
  // The largest magnitude the runtime's decimal holds: 2^96 - 1.
  const UInt128 limit = (static_cast<UInt128>(1) << 96) - 1;
  if (magnitude > limit || value.fraction.size() > 28) return std::nullopt;
  platform::Decimal result;
  result.value = value.negative ? -static_cast<Int128>(magnitude) : static_cast<Int128>(magnitude);
  result.scale = static_cast<int>(value.fraction.size());
  return result;
}

}  // namespace util_internal
