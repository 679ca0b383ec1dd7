#include "platform/currency.h"

#include <cmath>
#include <limits>

#include "value_text.h"

namespace platform {

namespace {

constexpr double kTwoPow63 = 9223372036854775808.0;

}  // namespace

Currency Currency::FromDouble(double value) {
  // Scale first, then round the scaled double, as the runtime does: where the product
  // is inexact the result then matches the runtime's rather than the decimal ideal.
  double scaled = value * static_cast<double>(kScale);
  if (std::isnan(scaled)) RaiseError(kErrOverflow);
  double whole = std::floor(scaled);
  double fraction = scaled - whole;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole >= kTwoPow63 || whole < -kTwoPow63) RaiseError(kErrOverflow);
  return FromTicks(static_cast<std::int64_t>(whole));
}

Currency Currency::Parse(const std::string& text) {
  auto number = detail::ParseNumberText(text);
  if (!number) RaiseError(kErrTypeMismatch);
  constexpr detail::UInt128 kMaxPositive = std::numeric_limits<std::int64_t>::max();
  auto ticks = detail::RoundToScale(*number, 4, number->negative ? kMaxPositive + 1 : kMaxPositive);
  if (!ticks) RaiseError(kErrOverflow);
  return FromTicks(static_cast<std::int64_t>(*ticks));
}

std::string Currency::ToString() const {
  // The magnitude as unsigned, so the most negative amount has one too.
  std::uint64_t magnitude =
      ticks_ < 0 ? 0 - static_cast<std::uint64_t>(ticks_) : static_cast<std::uint64_t>(ticks_);
  std::string text = ticks_ < 0 ? "-" : "";
  text += std::to_string(magnitude / kScale);
  std::uint64_t fraction = magnitude % kScale;
  if (fraction != 0) {
    std::string digits = std::to_string(fraction + kScale).substr(1);  // four digits, leading zeros kept
    digits.erase(digits.find_last_not_of('0') + 1);
    text += "." + digits;
  }
  return text;
}

Currency Currency::operator+(Currency other) const {
  std::int64_t result = 0;
  if (__builtin_add_overflow(ticks_, other.ticks_, &result)) RaiseError(kErrOverflow);
  return FromTicks(result);
}

Currency Currency::operator-(Currency other) const {
  std::int64_t result = 0;
  if (__builtin_sub_overflow(ticks_, other.ticks_, &result)) RaiseError(kErrOverflow);
  return FromTicks(result);
}

Currency Currency::operator-() const {
  if (ticks_ == std::numeric_limits<std::int64_t>::min()) RaiseError(kErrOverflow);
  return FromTicks(-ticks_);
}

Currency Currency::operator*(std::int64_t factor) const {
  std::int64_t result = 0;
  if (__builtin_mul_overflow(ticks_, factor, &result)) RaiseError(kErrOverflow);
  return FromTicks(result);
}

}  // namespace platform
