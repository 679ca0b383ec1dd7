// Money amounts: a signed 64-bit count of ten-thousandths (four fixed decimal places).
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace platform {

class Currency {
 public:
  static constexpr std::int64_t kScale = 10000;

  constexpr Currency() = default;
  // Builds from a raw count of ten-thousandths.
  static constexpr Currency FromTicks(std::int64_t ticks) {
    Currency c;
    c.ticks_ = ticks;
    return c;
  }
  // Rounds to the nearest ten-thousandth, ties to even; throws Error(kErrOverflow)
  // outside the representable range or for NaN.
  static Currency FromDouble(double value);
  // Parses "123.4567", "-0.5" (a "." as decimal separator, at most four decimals
  // after rounding ties to even). Throws Error(kErrTypeMismatch) on bad text.
  static Currency Parse(const std::string& text);

  [[nodiscard]] constexpr std::int64_t Ticks() const { return ticks_; }
  [[nodiscard]] double ToDouble() const { return static_cast<double>(ticks_) / kScale; }
  // Shortest text: "1234.5", "-0.0001", "0"; "." as separator, no grouping.
  [[nodiscard]] std::string ToString() const;

  // Arithmetic throws Error(kErrOverflow) when the result leaves the range.
  Currency operator+(Currency other) const;
  Currency operator-(Currency other) const;
  Currency operator-() const;
  // Multiplies by a whole number.
  Currency operator*(std::int64_t factor) const;

  constexpr auto operator<=>(const Currency&) const = default;

 private:
  std::int64_t ticks_ = 0;
};

}  // namespace platform
