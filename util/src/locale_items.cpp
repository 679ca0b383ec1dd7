// Regional settings: the classic locale items read from the POSIX locale data.
// glibc has no localeconv_l, but its nl_langinfo_l answers the same numeric and
// money items for a given locale object, so one call serves every item.
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "util/ediv.h"

namespace {

using platform::Variant;

// The locale the environment chooses (LC_ALL, then LC_<category>, then LANG),
// read afresh at each call; the C locale when it names one that is not
// installed, as the C library itself stays in C then.
class UserLocale {
 public:
  UserLocale() : handle_(newlocale(LC_ALL_MASK, "", nullptr)) {
    if (handle_ == nullptr) handle_ = newlocale(LC_ALL_MASK, "C", nullptr);
  }
  ~UserLocale() {
    if (handle_ != nullptr) freelocale(handle_);
  }
  UserLocale(const UserLocale&) = delete;
  UserLocale& operator=(const UserLocale&) = delete;

  [[nodiscard]] bool Valid() const { return handle_ != nullptr; }

  // A text item, in UTF-8 whatever the locale's character set.
  [[nodiscard]] std::string Text(nl_item item) const { return ToUtf8(nl_langinfo_l(item, handle_)); }
  // A one-byte number item; nullopt where the locale leaves it undefined
  // (CHAR_MAX, which glibc stores as -1).
  [[nodiscard]] std::optional<int> Number(nl_item item) const {
    const char value = *nl_langinfo_l(item, handle_);
    if (value < 0 || value == CHAR_MAX) return std::nullopt;
    return static_cast<int>(value);
  }
  // A 32-bit number item. glibc keeps it in a union with the text pointer it hands
  // back, and only those 32 bits are set: the rest of the pointer is whatever the
  // locale's loader left there, so it must not be read as part of the number.
  [[nodiscard]] long Word(nl_item item) const {
    const char* const raw = nl_langinfo_l(item, handle_);
    std::uint32_t word = 0;
    std::memcpy(&word, &raw, sizeof word);
    return static_cast<long>(word);
  }
  [[nodiscard]] const char* Raw(nl_item item) const { return nl_langinfo_l(item, handle_); }

 private:
  [[nodiscard]] std::string ToUtf8(const char* text) const {
    std::string raw = text;
    const std::string codeset = nl_langinfo_l(CODESET, handle_);
    if (codeset == "UTF-8" || codeset == "ANSI_X3.4-1968") return raw;
    iconv_t convert = iconv_open("UTF-8", codeset.c_str());
    if (convert == reinterpret_cast<iconv_t>(-1)) return raw;
    std::string out(raw.size() * 4, '\0');
    char* in_ptr = raw.data();
    std::size_t in_left = raw.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    const std::size_t done = iconv(convert, &in_ptr, &in_left, &out_ptr, &out_left);
    iconv_close(convert);
    if (done == static_cast<std::size_t>(-1)) return raw;
    out.resize(out.size() - out_left);
    return out;
  }

  locale_t handle_;
};

// ---- Patterns ----
//
// A POSIX pattern (strftime) is read into conversions and literal text, the
// composite conversions expanded, and written in the classic pattern letters.

struct Piece {
  char conversion;  // 0 for literal text
  std::string text;
};

void Tokenise(const std::string& pattern, const UserLocale& locale, std::vector<Piece>& pieces,
              int depth = 0) {
  auto literal = [&pieces](const std::string& text) {
    if (!pieces.empty() && pieces.back().conversion == 0) {
      pieces.back().text += text;
    } else {
      pieces.push_back({0, text});
    }
  };
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 1 == pattern.size()) {
      literal(std::string(1, pattern[i]));
      continue;
    }
    char c = pattern[++i];
    // Flags, widths and the E and O modifiers change nothing here.
    while ((c == '_' || c == '-' || c == '0' || c == '^' || c == '#' || c == 'E' || c == 'O' ||
            (c >= '1' && c <= '9')) &&
           i + 1 < pattern.size()) {
      c = pattern[++i];
    }
    const char* composite = nullptr;
    switch (c) {
      case 'D':
        composite = "%m/%d/%y";
        break;
      case 'F':
        composite = "%Y-%m-%d";
        break;
      case 'T':
        composite = "%H:%M:%S";
        break;
      case 'R':
        composite = "%H:%M";
        break;
      case 'r':
        composite = locale.Raw(T_FMT_AMPM);
        break;
      case 'x':
        composite = locale.Raw(D_FMT);
        break;
      case 'X':
        composite = locale.Raw(T_FMT);
        break;
      case 'c':
        composite = locale.Raw(D_T_FMT);
        break;
      case 'n':
      case 't':
        literal(" ");
        continue;
      case '%':
        literal("%");
        continue;
      default:
        pieces.push_back({c, {}});
        continue;
    }
    // A locale's own pattern cannot name itself, but a depth limit keeps a
    // broken one from looping.
    if (depth < 4 && composite != nullptr) Tokenise(composite, locale, pieces, depth + 1);
  }
}

bool IsTimeConversion(char c) {
  switch (c) {
    case 'H':
    case 'k':
    case 'I':
    case 'l':
    case 'M':
    case 'S':
    case 'p':
    case 'P':
    case 'Z':
    case 'z':
    case 's':
      return true;
    default:
      return false;
  }
}

// Drops the time of day from a date and time pattern, with the literal text
// that joined it to the date: a gap between two kept conversions keeps only
// its first piece of text, a gap at either end none.
std::vector<Piece> WithoutTime(const std::vector<Piece>& pieces) {
  std::vector<Piece> kept;
  std::vector<Piece> gap;
  bool gap_had_time = false;
  for (const Piece& piece : pieces) {
    if (piece.conversion == 0) {
      gap.push_back(piece);
    } else if (IsTimeConversion(piece.conversion)) {
      gap_had_time = true;
    } else {
      const bool at_start = kept.empty();
      if (!gap_had_time) {
        kept.insert(kept.end(), gap.begin(), gap.end());
      } else if (!at_start && !gap.empty()) {
        kept.push_back(gap.front());
      }
      gap.clear();
      gap_had_time = false;
      kept.push_back(piece);
    }
  }
  if (!gap_had_time) kept.insert(kept.end(), gap.begin(), gap.end());
  return kept;
}

// The classic letters of one conversion; conversions without one (time zone,
// week numbers, day of the year) are left out.
const char* ClassicLetters(char c) {
  switch (c) {
    case 'a':
      return "ddd";
    case 'A':
      return "dddd";
    case 'b':
    case 'h':
      return "MMM";
    case 'B':
      return "MMMM";
    case 'd':
      return "dd";
    case 'e':
      return "d";
    case 'm':
      return "MM";
    case 'y':
      return "yy";
    case 'Y':
    case 'G':
      return "yyyy";
    case 'H':
      return "HH";
    case 'k':
      return "H";
    case 'I':
      return "hh";
    case 'l':
      return "h";
    case 'M':
      return "mm";
    case 'S':
      return "ss";
    case 'p':
    case 'P':
      return "tt";
    default:
      return "";
  }
}

// Literal text: letters (and any character outside ASCII) between
// apostrophes, an apostrophe doubled, punctuation and spaces as they are.
std::string ClassicLiteral(const std::string& text) {
  std::string out;
  bool quoted = false;
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    const bool letter = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || byte >= 0x80;
    if (letter != quoted) {
      out += '\'';
      quoted = letter;
    }
    if (ch == '\'') out += '\'';
    out += ch;
  }
  if (quoted) out += '\'';
  return out;
}

std::string ClassicPattern(const std::vector<Piece>& pieces) {
  std::string out;
  for (const Piece& piece : pieces)
    out += piece.conversion == 0 ? ClassicLiteral(piece.text) : ClassicLetters(piece.conversion);
  return out;
}

std::vector<Piece> Pieces(nl_item item, const UserLocale& locale) {
  std::vector<Piece> pieces;
  Tokenise(locale.Raw(item), locale, pieces);
  return pieces;
}

// The text between the first two conversions: the date or time separator.
Variant Separator(const std::vector<Piece>& pieces) {
  for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
    if (pieces[i].conversion == 0 && pieces[i - 1].conversion != 0) return Variant(pieces[i].text);
  }
  return Variant(std::string());
}

// 0 month-day-year, 1 day-month-year, 2 year-month-day.
Variant DateOrder(const std::vector<Piece>& pieces) {
  int day = -1;
  int month = -1;
  int year = -1;
  for (int i = 0; i < static_cast<int>(pieces.size()); ++i) {
    const char c = pieces[static_cast<std::size_t>(i)].conversion;
    if ((c == 'd' || c == 'e') && day < 0) day = i;
    if ((c == 'm' || c == 'b' || c == 'B' || c == 'h') && month < 0) month = i;
    if ((c == 'y' || c == 'Y' || c == 'G') && year < 0) year = i;
  }
  if (day < 0 || month < 0 || year < 0) return Variant();
  if (year < day && year < month) return Variant(std::string("2"));
  return Variant(std::string(month < day ? "0" : "1"));
}

Variant TwentyFourHours(const std::vector<Piece>& pieces) {
  for (const Piece& piece : pieces) {
    if (piece.conversion == 'H' || piece.conversion == 'k') return Variant(std::string("1"));
    if (piece.conversion == 'I' || piece.conversion == 'l') return Variant(std::string("0"));
  }
  return Variant();
}

// ---- Numbers ----

Variant NumberText(std::optional<int> value) {
  return value ? Variant(std::to_string(*value)) : Variant();
}

// POSIX grouping (sizes from the right; 0 or the end repeats the last size,
// CHAR_MAX ends grouping) in the classic form ("3;0" threes, "3" one group of
// three, "0" none).
std::string ClassicGrouping(const char* grouping) {
  std::vector<int> sizes;
  bool repeat = false;
  for (const char* g = grouping; *g != 0; ++g) {
    if (*g < 0 || *g == CHAR_MAX) break;
    sizes.push_back(*g);
    if (g[1] == 0) repeat = true;
  }
  if (sizes.empty()) return "0";
  // A repeated last size need not be written twice: {3, 3} is "3;0".
  if (repeat) {
    while (sizes.size() >= 2 && sizes[sizes.size() - 1] == sizes[sizes.size() - 2]) sizes.pop_back();
  }
  std::string out;
  for (const int size : sizes) out += (out.empty() ? "" : ";") + std::to_string(size);
  return repeat ? out + ";0" : out;
}

// 0 "¤1", 1 "1¤", 2 "¤ 1", 3 "1 ¤" from the placement of the currency symbol.
Variant CurrencyPlacement(const UserLocale& locale) {
  const auto precedes = locale.Number(__P_CS_PRECEDES);
  const auto separated = locale.Number(__P_SEP_BY_SPACE);
  if (!precedes || !separated) return Variant();
  const int mode = (*precedes != 0 ? 0 : 1) + (*separated == 1 ? 2 : 0);
  return Variant(std::to_string(mode));
}

// 0 Monday to 6 Sunday. glibc gives a reference date that falls on the first
// day of its week and the 1-based position of the first working day there.
Variant FirstDayOfWeek(const UserLocale& locale) {
  const long reference = locale.Word(_NL_TIME_WEEK_1STDAY);
  const auto first = locale.Number(_NL_TIME_FIRST_WEEKDAY);
  if (reference <= 0 || !first || *first < 1) return Variant();
  const std::chrono::year_month_day date{std::chrono::year(static_cast<int>(reference / 10000)),
                                         std::chrono::month(static_cast<unsigned>(reference / 100 % 100)),
                                         std::chrono::day(static_cast<unsigned>(reference % 100))};
  if (!date.ok()) return Variant();
  const unsigned sunday_based =
      (std::chrono::weekday(std::chrono::sys_days(date)).c_encoding() + static_cast<unsigned>(*first) - 1) %
      7;
  return Variant(std::to_string((sunday_based + 6) % 7));
}

Variant Item(std::uint32_t code, const UserLocale& locale) {
  // Day names: the classic items start on Monday, POSIX's on Sunday.
  if (code >= 0x2A && code <= 0x30)
    return Variant(locale.Text(DAY_1 + static_cast<int>((code - 0x2A + 1) % 7)));
  if (code >= 0x31 && code <= 0x37)
    return Variant(locale.Text(ABDAY_1 + static_cast<int>((code - 0x31 + 1) % 7)));
  // Month names in the form used on their own (not inside a date).
  if (code >= 0x38 && code <= 0x43) return Variant(locale.Text(ALTMON_1 + static_cast<int>(code - 0x38)));
  if (code >= 0x44 && code <= 0x4F)
    return Variant(locale.Text(_NL_ABALTMON_1 + static_cast<int>(code - 0x44)));
  switch (code) {
    case 0x04:
      return Variant(locale.Text(_NL_ADDRESS_LANG_NAME));
    case 0x05:
      return Variant(locale.Text(_NL_TELEPHONE_INT_PREFIX));
    case 0x08:
      return Variant(locale.Text(_NL_ADDRESS_COUNTRY_NAME));
    case 0x0D: {
      const auto measure = locale.Number(_NL_MEASUREMENT_MEASUREMENT);
      if (measure != 1 && measure != 2) return Variant();
      return Variant(std::string(*measure == 1 ? "0" : "1"));
    }
    case 0x0E:
      return Variant(locale.Text(RADIXCHAR));
    case 0x0F:
      return Variant(locale.Text(THOUSEP));
    case 0x10:
      return Variant(ClassicGrouping(locale.Raw(__GROUPING)));
    case 0x14:
      return Variant(locale.Text(__CURRENCY_SYMBOL));
    case 0x15:
      // POSIX adds the separator that follows the code ("EUR ").
      return Variant(locale.Text(__INT_CURR_SYMBOL).substr(0, 3));
    case 0x16:
      return Variant(locale.Text(__MON_DECIMAL_POINT));
    case 0x17:
      return Variant(locale.Text(__MON_THOUSANDS_SEP));
    case 0x18:
      return Variant(ClassicGrouping(locale.Raw(__MON_GROUPING)));
    case 0x19:
      return NumberText(locale.Number(__FRAC_DIGITS));
    case 0x1A:
      return NumberText(locale.Number(__INT_FRAC_DIGITS));
    case 0x1B:
      return CurrencyPlacement(locale);
    case 0x1D:
      return Separator(Pieces(D_FMT, locale));
    case 0x1E:
      return Separator(Pieces(T_FMT, locale));
    case 0x1F:
      return Variant(ClassicPattern(Pieces(D_FMT, locale)));
    case 0x20:
      return Variant(ClassicPattern(WithoutTime(Pieces(D_T_FMT, locale))));
    case 0x1003:
      return Variant(ClassicPattern(Pieces(T_FMT, locale)));
    case 0x21:
      return DateOrder(Pieces(D_FMT, locale));
    case 0x22:
      return DateOrder(Pieces(D_T_FMT, locale));
    case 0x23:
      return TwentyFourHours(Pieces(T_FMT, locale));
    case 0x28:
      return Variant(locale.Text(AM_STR));
    case 0x29:
      return Variant(locale.Text(PM_STR));
    case 0x50:
      return Variant(locale.Text(__POSITIVE_SIGN));
    case 0x51:
      return Variant(locale.Text(__NEGATIVE_SIGN));
    case 0x52:
      return NumberText(locale.Number(__P_SIGN_POSN));
    case 0x53:
      return NumberText(locale.Number(__N_SIGN_POSN));
    case 0x54:
      return NumberText(locale.Number(__P_CS_PRECEDES));
    case 0x55:
      return NumberText(locale.Number(__P_SEP_BY_SPACE));
    case 0x56:
      return NumberText(locale.Number(__N_CS_PRECEDES));
    case 0x57:
      return NumberText(locale.Number(__N_SEP_BY_SPACE));
    case 0x59:
      return Variant(locale.Text(_NL_ADDRESS_LANG_AB));
    case 0x5A:
      return Variant(locale.Text(_NL_ADDRESS_COUNTRY_AB2));
    case 0x1001:
      return Variant(locale.Text(_NL_IDENTIFICATION_LANGUAGE));
    case 0x1002:
      return Variant(locale.Text(_NL_IDENTIFICATION_TERRITORY));
    case 0x100C:
      return FirstDayOfWeek(locale);
    default:
      return Variant();
  }
}

// The classic flags that may be added to an item code: "no user override" and
// "use the ANSI code page". Neither changes anything here.
constexpr std::uint32_t kItemFlags = 0xC0000000U;

}  // namespace

platform::Variant EDiv::Get_locale(std::int32_t LocalSetting) const {
  const UserLocale locale;
  if (!locale.Valid()) return Variant();
  return Item(static_cast<std::uint32_t>(LocalSetting) & ~kItemFlags, locale);
}

bool EDiv::Set_locale(std::int32_t /*Setting*/, const std::string& /*Symbol*/) const {
  return false;
}
