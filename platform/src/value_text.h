// Helpers shared by the value types (variant, currency, date): the grammar of
// numeric text and exact decimal rounding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/variant.h"

namespace platform::detail {

__extension__ using UInt128 = unsigned __int128;

// A number read from text: the value is (negative ? -1 : 1) * digits * 10^exponent.
struct NumberText {
  bool negative = false;
  std::string digits;  // decimal digits without leading zeros; empty for zero
  int exponent = 0;
};

// Reads the runtime's numeric text: surrounding spaces, an optional sign, digits with
// at most one ".", and an optional exponent introduced by E or D ("1.5E-07", "2D3").
// The decimal separator is always "."; grouping separators are not accepted.
// Gives nothing when the text is not a number.
std::optional<NumberText> ParseNumberText(std::string_view text);

// The number rounded to `scale` decimal places, ties to even, as an integer count of
// 10^-scale units; nothing when its magnitude exceeds `limit`.
std::optional<Int128> RoundToScale(const NumberText& number, int scale, UInt128 limit);

// v / divisor rounded to the nearest integer, ties to even; divisor > 0.
Int128 DivRoundHalfEven(Int128 v, Int128 divisor);

// Decimal text of an unsigned 128-bit integer.
std::string UInt128ToString(UInt128 v);

}  // namespace platform::detail
