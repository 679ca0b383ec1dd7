// Encrypt and Decrypt: a keyless scrambling of texts, kept because texts stored by
// earlier versions were scrambled with it. Each character is taken by its code c in the
// Western European single-byte code page 1252 and replaced by the character whose code
// is the complement 255 - c with its high and low four bits exchanged (the eight binary
// digits of c, inverted, halves swapped). Applying it twice gives back the original.
#include <array>
#include <string>

#include "platform/text.h"
#include "text_rules.h"
#include "util/ediv.h"

namespace {

// The characters of codes 0x80 to 0x9F in code page 1252. The five codes the page
// leaves undefined stand for the control characters of the same number, as the
// system's conversion maps them, so every code from 0 to 255 has a character.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CharOfCode(unsigned code) {
  if (code >= 0x80 && code <= 0x9F) return kHighControls[code - 0x80];
  return code;
}

// The code of `c` in code page 1252, or -1 when the page does not have it.
int CodeOfChar(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (unsigned i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == c) return static_cast<int>(0x80 + i);
  }
  return -1;
}

std::string Scramble(const std::string& text) {
  std::u32string chars = platform::DecodeUtf8(text);
  util_internal::RequireShortText(chars);
  for (char32_t& c : chars) {
    const int code = CodeOfChar(c);
    // Characters the code page does not have pass through unchanged: the result stays
    // its own inverse and nothing is lost.
    if (code < 0) continue;
    const unsigned complement = 255u - static_cast<unsigned>(code);
    c = CharOfCode(((complement & 0x0Fu) << 4) | (complement >> 4));
  }
  return platform::EncodeUtf8(chars);
}

}  // namespace

std::string EDiv::Encrypt(const std::string& Frase) const {
  return Scramble(Frase);
}

std::string EDiv::Decrypt(const std::string& Frase) const {
  return Scramble(Frase);
}
