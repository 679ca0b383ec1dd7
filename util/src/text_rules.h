// Text rules of the utility operations beyond platform/text.h: lengths counted in
// 16 bits, and upper case beyond ASCII.
#pragma once

#include <string_view>

namespace util_internal {

// Throws Error 6 (overflow) when `text` has more characters than a 16-bit signed
// length can count (32767): the operations that count in 16 bits refuse such texts.
void RequireShortText(std::u32string_view text);

// The upper-case form of one character: simple one-to-one mappings of Latin (Basic,
// Latin-1, Extended-A), Greek and Cyrillic letters; other characters are unchanged.
char32_t UpperChar(char32_t c);

}  // namespace util_internal
