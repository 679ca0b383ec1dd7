// Text helpers shared by every client-side library: ASCII case, trimming, and the
// UTF-8 codec behind UTF-16 (what ODBC's wide calls take) and code-point counting
// (how the utility operations count positions and lengths).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// `text` with the ASCII letters A-Z lower-cased; every other byte is unchanged.
std::string Lower(std::string_view text);

// True when `a` and `b` are equal once ASCII letters are compared without case.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// `text` without leading and trailing characters from `characters`. The default
// trims spaces only (U+0020), as the classic runtime's Trim does: tabs and line
// breaks stay.
std::string Trim(std::string_view text, std::string_view characters = " ");

// The code points of `text`. A byte that does not start a valid UTF-8 sequence
// (a stray continuation byte, a truncated, overlong or surrogate sequence, a value
// above U+10FFFF) is read as U+FFFD and only that byte is consumed, so malformed
// input cannot shift the positions of the characters after it.
std::u32string DecodeUtf8(std::string_view text);
// `text` in UTF-8; surrogates and values above U+10FFFF are written as U+FFFD.
std::string EncodeUtf8(std::u32string_view text);
void AppendUtf8(std::string& out, char32_t c);
// The number of code points in `text`, counted as DecodeUtf8 counts them.
std::size_t CharCount(std::string_view text);

// UTF-8 to UTF-16 (malformed input as DecodeUtf8 reads it) and back (unpaired
// surrogates become U+FFFD).
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace platform
