// Text and number helpers: splitting, line-break stripping, counting, command-line
// arguments, zero padding, binary-digit texts, sorting and boolean conversion.
//
// Texts are UTF-8. Where a position or length matters it is counted in characters;
// the splitting scans compare bytes, which finds the same places in valid UTF-8 since
// a character's encoding never starts inside another's.
#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "text_rules.h"
#include "util/ediv.h"

using platform::DecodeUtf8;
using platform::EncodeUtf8;
using platform::RaiseError;
using platform::Trim;
using platform::Variant;
using platform::VariantArray;
using util_internal::RequireShortText;

namespace {

// The arguments after the program name, joined by single spaces.
std::string& ProgramCommandLine() {
  static std::string text;
  return text;
}

void RequireSeparator(const std::string& separator) {
  // An empty separator would be found at every position without the scan moving on.
  if (separator.empty()) RaiseError(platform::kErrInvalidProcedureCall);
}

enum class Kind { kEmpty, kNull, kNumber, kText, kOther };

Kind KindOf(const Variant& v) {
  if (v.IsEmpty()) return Kind::kEmpty;
  if (v.IsNull()) return Kind::kNull;
  if (v.Get<std::string>()) return Kind::kText;
  if (v.Get<std::int16_t>() || v.Get<std::int32_t>() || v.Get<float>() || v.Get<double>() ||
      v.Get<platform::Currency>() || v.Get<platform::Date>() || v.Get<bool>() || v.Get<std::uint8_t>() ||
      v.Get<platform::Decimal>()) {
    return Kind::kNumber;
  }
  return Kind::kOther;
}

long double NumberOf(const Variant& v) {
  if (const auto* x = v.Get<std::int16_t>()) return *x;
  if (const auto* x = v.Get<std::int32_t>()) return *x;
  if (const auto* x = v.Get<float>()) return *x;
  if (const auto* x = v.Get<double>()) return *x;
  if (const auto* x = v.Get<platform::Currency>()) return static_cast<long double>(x->Ticks()) / 10000.0L;
  if (const auto* x = v.Get<platform::Date>()) return x->Serial();
  if (const auto* x = v.Get<bool>()) return *x ? -1 : 0;
  if (const auto* x = v.Get<std::uint8_t>()) return *x;
  if (const auto* x = v.Get<platform::Decimal>()) {
    long double value = static_cast<long double>(x->value);
    for (int i = 0; i < x->scale; ++i) value /= 10;
    return value;
  }
  return 0;
}

template <typename T>
int Order(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// How two variants order under the runtime's comparison rules: numbers (booleans,
// dates and currency included) numerically, texts by character code, Empty as 0
// against a number and as "" against a text. A number orders before any text. Nothing
// when either side is Null, as a comparison with Null is never true. Arrays and error
// values do not compare: Error 13 (type mismatch).
std::optional<int> CompareVariants(const Variant& a, const Variant& b) {
  Kind ka = KindOf(a);
  Kind kb = KindOf(b);
  if (ka == Kind::kOther || kb == Kind::kOther) RaiseError(platform::kErrTypeMismatch);
  if (ka == Kind::kNull || kb == Kind::kNull) return std::nullopt;
  if (ka == Kind::kEmpty && kb == Kind::kEmpty) return 0;
  if (ka == Kind::kEmpty) ka = kb;
  if (kb == Kind::kEmpty) kb = ka;
  if (ka != kb) return ka == Kind::kNumber ? -1 : 1;
  if (ka == Kind::kText) {
    const auto* sa = a.Get<std::string>();
    const auto* sb = b.Get<std::string>();
    // Byte order of UTF-8 is code point order.
    return Order(sa ? *sa : std::string(), sb ? *sb : std::string());
  }
  const auto* ca = a.Get<platform::Currency>();
  const auto* cb = b.Get<platform::Currency>();
  if (ca && cb) return Order(ca->Ticks(), cb->Ticks());
  return Order(NumberOf(a), NumberOf(b));
}

}  // namespace

bool EDiv::StripString(const std::string& SString, const std::string& sChar, VariantArray& ARR) const {
  RequireSeparator(sChar);
  ARR = VariantArray{};
  // Occurrences are taken left to right and do not overlap; a text without one is a
  // single piece.
  std::size_t start = 0;
  std::size_t pos = 0;
  while (pos < SString.size()) {
    if (SString.compare(pos, sChar.size(), sChar) == 0) {
      ARR.items.emplace_back(Trim(std::string_view(SString).substr(start, pos - start)));
      pos += sChar.size();
      start = pos;
    } else {
      ++pos;
    }
  }
  ARR.items.emplace_back(Trim(std::string_view(SString).substr(start)));
  return true;
}

bool EDiv::FastStripString(const std::string& StringToStrip, const std::string& Character,
                           VariantArray& aReturn) const {
  RequireSeparator(Character);
  aReturn = VariantArray{};
  aReturn.items.emplace_back();
  if (Trim(StringToStrip).empty()) return false;
  // An empty piece is overwritten by the next one, so empty pieces disappear.
  const auto store = [&aReturn](std::string piece) {
    const auto* last = aReturn.items.back().Get<std::string>();
    if (last && !last->empty()) aReturn.items.emplace_back();
    aReturn.items.back() = Variant(std::move(piece));
  };
  std::size_t pos = 0;
  while (pos < StringToStrip.size()) {
    const auto found = StringToStrip.find(Character, pos);
    if (found == std::string::npos) {
      store(StringToStrip.substr(pos));
      break;
    }
    store(StringToStrip.substr(pos, found - pos));
    pos = found + Character.size();
  }
  // A text ending in doubled separators would leave its last, empty piece in place;
  // callers rely on getting no empty pieces.
  const auto* last = aReturn.items.back().Get<std::string>();
  if (aReturn.items.size() > 1 && last && last->empty()) aReturn.items.pop_back();
  return true;
}

std::string EDiv::StripVBCRLFString(const std::string& xString, const std::string& ReplaceChar) const {
  if (ReplaceChar.empty()) return Trim(xString);
  const std::u32string replacement = DecodeUtf8(ReplaceChar);
  std::string out;
  out.reserve(xString.size());
  for (char c : xString) {
    if (c == '\r' || c == '\n') {
      platform::AppendUtf8(out, replacement[0]);
    } else {
      out.push_back(c);
    }
  }
  return Trim(out);
}

std::int16_t EDiv::ContaCHR(const std::string& strString, const std::string& strCHR) const {
  const std::u32string text = DecodeUtf8(strString);
  RequireShortText(text);
  const std::u32string wanted = DecodeUtf8(strCHR);
  if (wanted.size() != 1) return 0;
  const char32_t upper = util_internal::UpperChar(wanted[0]);
  std::int16_t count = 0;
  for (char32_t c : text) {
    if (util_internal::UpperChar(c) == upper) ++count;
  }
  return count;
}

void EDiv::SetCommandLine(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    text += argv[i];
  }
  ProgramCommandLine() = std::move(text);
}

std::string EDiv::CommandLine() {
  return ProgramCommandLine();
}

void EDiv::GetArg(std::vector<std::string>& Argv, std::int16_t& Argc) const {
  GetArg(CommandLine(), Argv, Argc);
}

void EDiv::GetArg(const std::string& MCommand, std::vector<std::string>& Argv, std::int16_t& Argc) const {
  const std::u32string command = DecodeUtf8(MCommand);
  const std::size_t spaces = std::count(command.begin(), command.end(), U' ');
  // A command too long for a 16-bit length, one whose argument count would not fit
  // in 16 bits (32767 spaces), or one without spaces yields one empty argument (the
  // command itself is not copied).
  if (command.size() > 32767 || spaces >= 32767 || spaces == 0) {
    Argv.assign(2, std::string());
    Argc = 1;
    return;
  }
  Argv.assign(spaces + 2, std::string());
  Argc = static_cast<std::int16_t>(spaces + 1);
  std::size_t k = 1;
  std::size_t start = 0;
  // The character after a separating space is never itself taken as a separator, so a
  // doubled space leaves a space at the start of the next argument.
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command[i] == U' ') {
      Argv[k++] = Trim(EncodeUtf8(command.substr(start, i - start)));
      ++i;
      start = i;
    }
  }
  Argv[k] = EncodeUtf8(command.substr(std::min(start, command.size())));
}

std::string EDiv::Zerar(const std::string& Texto, std::int16_t Nchar, const std::string& Caracter) const {
  const std::string text = Trim(Texto);
  const std::size_t length = platform::CharCount(text);
  const char32_t fill = Caracter.empty() ? U'0' : DecodeUtf8(Caracter)[0];
  std::string out;
  for (std::size_t i = length; Nchar > 0 && i < static_cast<std::size_t>(Nchar); ++i) {
    platform::AppendUtf8(out, fill);
  }
  return out + text;
}

std::int16_t EDiv::BinToDec(const std::string& Binario) const {
  const std::u32string digits = DecodeUtf8(Binario);
  RequireShortText(digits);
  std::int64_t sum = 0;
  std::int64_t weight = 1;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    if (*it == U'1') {
      sum += weight;
      if (sum > 32767) RaiseError(platform::kErrOverflow);
    }
    // Past 2^15 any further "1" overflows anyway; the weight stops growing there.
    if (weight <= 32767) weight *= 2;
  }
  return static_cast<std::int16_t>(sum);
}

std::string EDiv::DecToBin(std::int16_t Num) const {
  std::string digits;
  for (int value = Num; value > 0; value /= 2)
    digits.insert(digits.begin(), static_cast<char>('0' + value % 2));
  return Zerar(digits, 8);
}

std::string EDiv::InverteBin(const std::string& Bin) const {
  std::u32string digits = DecodeUtf8(Bin);
  RequireShortText(digits);
  for (char32_t& c : digits) {
    if (c == U'0') {
      c = U'1';
    } else if (c == U'1') {
      c = U'0';
    }
  }
  // Characters 5 to 8 followed by characters 1 to 4: an 8-digit text has its halves
  // exchanged; positions past the end contribute nothing.
  const std::u32string high = digits.substr(0, std::min<std::size_t>(4, digits.size()));
  const std::u32string low = digits.size() > 4 ? digits.substr(4, 4) : std::u32string();
  return EncodeUtf8(low + high);
}

void EDiv::SortArray(VariantArray& aArray, std::int32_t ordType) const {
  if (aArray.items.empty()) RaiseError(platform::kErrSubscriptOutOfRange);
  // The positions are 16-bit.
  if (aArray.lower_bound < -32768 || aArray.UpperBound() > 32767) RaiseError(platform::kErrOverflow);
  auto& items = aArray.items;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (std::size_t i = 0; i + 1 < items.size(); ++i) {
      const auto order = CompareVariants(items[i], items[i + 1]);
      if (!order) continue;
      if ((ordType == 1 && *order > 0) || (ordType != 1 && *order < 0)) {
        std::swap(items[i], items[i + 1]);
        swapped = true;
      }
    }
  }
}

std::int16_t EDiv::BoolToInt(bool MValor) const {
  return MValor ? 1 : 0;
}

bool EDiv::IntToBool(std::int16_t MValor) const {
  if (MValor == 0) return false;
  if (MValor == 1) return true;
  platform::MsgBox("Esta Função só deve ser utilizada com valores de 1 e 0", platform::kMsgBoxPlain);
  return false;
}
