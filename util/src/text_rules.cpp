#include "text_rules.h"

#include "platform/error.h"

namespace util_internal {
namespace {

constexpr std::size_t kMaxShortLength = 32767;

}  // namespace

void RequireShortText(std::u32string_view text) {
  if (text.size() > kMaxShortLength) platform::RaiseError(platform::kErrOverflow);
}

char32_t UpperChar(char32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0xB5) return c;
  if (c == 0xB5) return 0x39C;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x131) return 'I';
    if (c == 0x17F) return 'S';
    if (c == 0x138 || c == 0x149 || c == 0x178) return c;
    // Upper and lower case alternate in pairs; in the two runs that start on an odd
    // code the upper-case letter comes first at the odd position.
    const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool is_lower = odd_upper ? (c % 2 == 0) : (c % 2 == 1);
    return is_lower ? c - 1 : c;
  }
  if (c == 0x3C2) return 0x3A3;  // final sigma
  if (c >= 0x3B1 && c <= 0x3CB) return c - 0x20;
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

}  // namespace util_internal
