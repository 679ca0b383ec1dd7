// Names and patterns as the server's default case-insensitive collation compares them: NamesEqual, Lower,
// Trim and LIKE.
#include <algorithm>
#include <cctype>

#include "catalog/value.h"

namespace standin {

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

namespace {
bool LikeAt(const std::u16string& t, size_t ti, const std::u16string& p, size_t pi) {
  auto fold = [](char16_t c) -> char16_t { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
  while (pi < p.size()) {
    char16_t pc = p[pi];
    if (pc == '%') {
      while (pi < p.size() && p[pi] == '%') ++pi;
      if (pi == p.size()) return true;
      for (size_t k = ti; k <= t.size(); ++k) {
        if (LikeAt(t, k, p, pi)) return true;
      }
      return false;
    }
    if (ti >= t.size()) return false;
    if (pc == '_') {
      ++ti, ++pi;
      continue;
    }
    if (pc == '[') {
      size_t close = p.find(']', pi + 1);
      if (close != std::u16string::npos) {
        size_t k = pi + 1;
        bool negate = k < close && p[k] == '^';
        if (negate) ++k;
        bool hit = false;
        for (; k < close; ++k) {
          if (k + 2 < close && p[k + 1] == '-') {
            if (fold(t[ti]) >= fold(p[k]) && fold(t[ti]) <= fold(p[k + 2])) hit = true;
            k += 2;
          } else if (fold(p[k]) == fold(t[ti])) {
            hit = true;
          }
        }
        if (hit == negate) return false;
        ++ti;
        pi = close + 1;
        continue;
      }
    }
    if (fold(pc) != fold(t[ti])) return false;
    ++ti, ++pi;
  }
  return ti == t.size();
}
}  // namespace

bool LikeMatch(std::string_view text, std::string_view pattern) {
  return LikeAt(Utf8ToUtf16(text), 0, Utf8ToUtf16(pattern), 0);
}

}  // namespace standin
