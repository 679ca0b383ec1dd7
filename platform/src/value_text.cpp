#include "value_text.h"

#include <algorithm>
#include <cctype>

#include "platform/text.h"

namespace platform::detail {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Appends one digit to `v`, failing when the result would exceed `limit`.
bool AppendDigit(UInt128& v, int digit, UInt128 limit) {
  if (v > (limit - static_cast<UInt128>(digit)) / 10) return false;
  v = v * 10 + static_cast<UInt128>(digit);
  return true;
}

}  // namespace

std::optional<NumberText> ParseNumberText(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return std::nullopt;
  const std::string_view s = trimmed;

  NumberText out;
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') {
    out.negative = s[i] == '-';
    ++i;
  }
  std::string all_digits;  // every mantissa digit as written
  int fraction_digits = 0;
  bool seen_point = false;
  for (; i < s.size(); ++i) {
    if (IsDigit(s[i])) {
      all_digits.push_back(s[i]);
      if (seen_point) ++fraction_digits;
    } else if (s[i] == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (all_digits.empty()) return std::nullopt;

  long long exponent = 0;
  if (i < s.size()) {
    char marker = static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    if (marker != 'E' && marker != 'D') return std::nullopt;
    ++i;
    bool exponent_negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      exponent_negative = s[i] == '-';
      ++i;
    }
    if (i == s.size()) return std::nullopt;
    for (; i < s.size(); ++i) {
      if (!IsDigit(s[i])) return std::nullopt;
      // Far beyond any representable magnitude; clamping keeps the arithmetic in range.
      exponent = std::min<long long>(exponent * 10 + (s[i] - '0'), 100000);
    }
    if (exponent_negative) exponent = -exponent;
  }

  std::size_t first_nonzero = all_digits.find_first_not_of('0');
  if (first_nonzero == std::string::npos) {
    out.negative = false;
    return out;
  }
  out.digits = all_digits.substr(first_nonzero);
  out.exponent = static_cast<int>(exponent - fraction_digits);
  return out;
}

std::optional<Int128> RoundToScale(const NumberText& number, int scale, UInt128 limit) {
  if (number.digits.empty()) return Int128{0};
  const long long length = static_cast<long long>(number.digits.size());
  const long long shift = static_cast<long long>(number.exponent) + scale;
  UInt128 magnitude = 0;
  if (shift >= 0) {
    if (length + shift > 40) return std::nullopt;
    for (char c : number.digits) {
      if (!AppendDigit(magnitude, c - '0', limit)) return std::nullopt;
    }
    for (long long k = 0; k < shift; ++k) {
      if (!AppendDigit(magnitude, 0, limit)) return std::nullopt;
    }
  } else {
    const long long kept = length + shift;  // digits left of the rounding point
    if (kept > 40) return std::nullopt;
    for (long long k = 0; k < kept; ++k) {
      if (!AppendDigit(magnitude, number.digits[static_cast<std::size_t>(k)] - '0', limit)) {
        return std::nullopt;
      }
    }
    if (kept >= 0) {
      const char first_dropped = number.digits[static_cast<std::size_t>(kept)];
      bool round_up = first_dropped > '5';
      if (first_dropped == '5') {
        bool more =
            number.digits.find_first_not_of('0', static_cast<std::size_t>(kept) + 1) != std::string::npos;
        round_up = more || (magnitude % 2 == 1);
      }
      if (round_up) {
        if (magnitude >= limit) return std::nullopt;
        ++magnitude;
      }
    }
  }
  // Callers' limits stay far below 2^127, so the magnitude fits the signed type.
  const auto value = static_cast<Int128>(magnitude);
  return number.negative ? -value : value;
}

Int128 DivRoundHalfEven(Int128 v, Int128 divisor) {
  Int128 q = v / divisor;
  Int128 r = v % divisor;  // same sign as v
  Int128 twice = (r < 0 ? -r : r) * 2;
  if (twice > divisor || (twice == divisor && q % 2 != 0)) q += (v < 0) ? -1 : 1;
  return q;
}

std::string UInt128ToString(UInt128 v) {
  if (v == 0) return "0";
  std::string s;
  while (v != 0) {
    s.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  std::reverse(s.begin(), s.end());
  return s;
}

}  // namespace platform::detail
