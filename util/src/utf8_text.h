// UTF-8 text as the utility operations see it: positions, lengths and counts are
// counted in characters (code points), never in bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace util_internal {

// The characters of `text`. A byte that does not start a valid UTF-8 sequence is read
// as U+FFFD, so malformed input cannot shift the positions of the characters after it.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t c);

// The number of characters (code points) in `text`.
std::size_t CharCount(std::string_view text);

// Throws Error 6 (overflow) when `text` has more characters than a 16-bit signed
// length can count (32767): the operations that count in 16 bits refuse such texts.
void RequireShortText(std::u32string_view text);

// `text` without leading and trailing spaces (U+0020 only; tabs and line breaks stay).
std::string TrimSpaces(std::string_view text);

// The upper-case form of one character: simple one-to-one mappings of Latin (Basic,
// Latin-1, Extended-A), Greek and Cyrillic letters; other characters are unchanged.
char32_t UpperChar(char32_t c);

}  // namespace util_internal
