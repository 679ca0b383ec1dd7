// The digit view of a number that the rounding operations work on: the integer part
// toward zero written in decimal digits, and the fraction digits of the number's
// standard text form (no trailing zeros). Truncating, rounding up and rounding to tens
// are done on these digits and the result is rebuilt from them, so a value comes back
// with exactly the digits that were kept ("3" and "05" give 3.05).
//
// The sign is held apart from the digits: every operation here works on the magnitude
// and keeps the sign, so a negative value gives the mirror image of the positive one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/variant.h"

namespace util_internal {

struct DigitText {
  bool negative = false;
  std::string integer = "0";  // magnitude of the integer part, no leading zeros
  std::string fraction;       // fraction digits, no trailing zeros; empty for a whole value
};

// A currency amount (ten-thousandths): at most four fraction digits.
DigitText FromTicks(std::int64_t ticks);
// A floating-point value: the fraction digits are those of the fraction's own text with
// `significant` significant digits (15 for a double, 7 for a single), written out in
// full even where the runtime's text would use an exponent (0.00005 gives "00005").
// Nothing for NaN and infinities.
std::optional<DigitText> FromFloating(double value, int significant);
DigitText FromDecimal(const platform::Decimal& value);

// The first `d` fraction digits (none when d <= 0).
std::string KeptDigits(const DigitText& value, int d);

// The value cut to `d` places.
DigitText Truncate(const DigitText& value, int d);
// The value cut to `d` places; when `dropped` is set (digits were cut off) one unit is
// added in the last kept place, carrying into the higher digits and the integer part
// (2.19 gives 2.20, 2.99 gives 3.00).
DigitText RoundUp(const DigitText& value, int d, bool dropped);
// The value rounded to `d` places (d >= 0), ties to even.
DigitText RoundHalfEven(const DigitText& value, int d);
// The value rounded to `d` places (d >= 0), ties away from zero: for a positive value
// the same as rounding half up, for a negative one its mirror image.
DigitText RoundHalfAway(const DigitText& value, int d);
// Rounds to a whole number, ties to even, after adding one hundredth to a value whose
// fraction is exactly one half: a positive half goes up, a negative half toward zero.
DigitText RoundWholeHundredthUp(const DigitText& value);

enum class TenStep { kHalfUp, kDown, kUp };
// Tens (places 1), hundreds (2) or thousands (3) on the integer part W, whose fraction
// is dropped; L is W's last `places` digits. kHalfUp adds 10^places - L when L is at
// least half of 10^places and otherwise subtracts L; kDown subtracts L; kUp always adds
// 10^places - L, so a whole ten moves on to the next.
DigitText RoundTens(const DigitText& value, int places, TenStep step);

// The rebuilt value as currency ticks; nothing outside the currency range.
std::optional<std::int64_t> ToTicks(const DigitText& value);
double ToDouble(const DigitText& value);
// An exact decimal with the kept digits as its scale; nothing beyond 28 digits.
std::optional<platform::Decimal> ToDecimal(const DigitText& value);

}  // namespace util_internal
