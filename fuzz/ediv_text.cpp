// EDiv's text operations on any bytes: no crash, only the documented errors (5
// for an empty separator, 6 for a text past 32767 characters), and on valid UTF-8:
// the pieces of StripString and FastStripString join back to the input, GetArg's
// arguments join back to a command with single spaces, Zerar pads to exactly the
// length asked, StripVBCRLFString leaves no line break, Decrypt(Encrypt(x)) == x.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/variant.h"
#include "util/ediv.h"

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& text) {
  std::cerr << what << ": [" << text << "]\n";
  std::abort();
}

// Whether `text` is UTF-8 that EDiv reads without replacing anything.
bool IsUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t n = c < 0x80                ? 0
                          : c >= 0xC2 && c < 0xE0 ? 1
                          : c >= 0xE0 && c < 0xF0 ? 2
                          : c >= 0xF0 && c < 0xF5 ? 3
                                                  : 4;
    if (n == 4) return false;
    std::uint32_t code = n == 0 ? c : c & (0x3F >> n);
    for (std::size_t k = 1; k <= n; ++k) {
      if (i + k >= text.size()) return false;
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      code = (code << 6) | (d & 0x3F);
    }
    const std::uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (code < least[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

std::size_t Characters(const std::string& text) {
  std::size_t n = 0;
  for (const char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::string TrimSpaces(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Runs `operation`; false when it failed with one of the documented errors.
bool Runs(const std::function<void()>& operation, const std::string& text) {
  try {
    operation();
    return true;
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrInvalidProcedureCall && error.Number() != platform::kErrOverflow) {
      Fail("undocumented error " + std::to_string(error.Number()), text);
    }
    return false;
  }
}

std::string Joined(const platform::VariantArray& pieces, const std::string& separator) {
  std::string joined;
  for (std::size_t i = 0; i < pieces.items.size(); ++i) {
    if (i > 0) joined += separator;
    if (const std::string* piece = pieces.items[i].Get<std::string>()) joined += *piece;
  }
  return joined;
}

void Splits(const EDiv& e, const std::string& text, const std::string& separator, bool utf8) {
  platform::VariantArray pieces;
  if (Runs([&] { e.StripString(text, separator, pieces); }, text) && utf8) {
    for (const platform::Variant& piece : pieces.items) {
      const std::string* s = piece.Get<std::string>();
      if (s == nullptr || *s != TrimSpaces(*s)) Fail("StripString: a piece is not trimmed", text);
    }
    // Without spaces nothing is trimmed, and the pieces join back to the text.
    if (text.find(' ') == std::string::npos && separator.find(' ') == std::string::npos &&
        Joined(pieces, separator) != text) {
      Fail("StripString: the pieces do not join back", text);
    }
  }
  platform::VariantArray parts;
  bool any = false;
  if (Runs([&] { any = e.FastStripString(text, separator, parts); }, text) && utf8) {
    if (!any) {
      if (!TrimSpaces(text).empty()) Fail("FastStripString: false for a text that is not blank", text);
      return;
    }
    std::string rest = text;
    for (const platform::Variant& part : parts.items) {
      const std::string* s = part.Get<std::string>();
      // A text of separators alone leaves its one, empty piece.
      if (s == nullptr || (s->empty() && parts.items.size() > 1))
        Fail("FastStripString: an empty piece", text);
      // Each piece is the next text after any separators.
      while (rest.rfind(separator, 0) == 0) rest.erase(0, separator.size());
      if (rest.rfind(*s, 0) != 0) Fail("FastStripString: pieces out of order", text);
      rest.erase(0, s->size());
    }
    while (rest.rfind(separator, 0) == 0) rest.erase(0, separator.size());
    if (!rest.empty()) Fail("FastStripString: text lost", text);
  }
}

void CutsArguments(const EDiv& e, const std::string& command, bool utf8) {
  std::vector<std::string> argv;
  std::int16_t argc = -1;
  e.GetArg(command, argv, argc);
  if (argc < 1 || argv.size() < static_cast<std::size_t>(argc) + 1) Fail("GetArg: bad count", command);
  // A command whose words stand one space apart joins back from its arguments.
  if (utf8 && command.find(' ') != std::string::npos && command.find("  ") == std::string::npos &&
      command.front() != ' ' && command.back() != ' ' && Characters(command) <= 32767) {
    std::string joined = argv[1];
    for (int i = 2; i <= argc; ++i) joined += " " + argv[static_cast<std::size_t>(i)];
    if (joined != command) Fail("GetArg: the arguments do not join back", command);
  }
}

void Pads(const EDiv& e, const std::string& text, std::int16_t width, const std::string& pad, bool utf8) {
  std::string padded;
  if (!Runs([&] { padded = e.Zerar(text, width, pad); }, text) || !utf8 || !IsUtf8(pad)) return;
  const std::string trimmed = TrimSpaces(text);
  const std::size_t length = Characters(trimmed);
  if (width <= 0 || length >= static_cast<std::size_t>(width)) {
    if (padded != trimmed) Fail("Zerar: a long text is not left trimmed", text);
  } else if (Characters(padded) != static_cast<std::size_t>(width) ||
             padded.compare(padded.size() - trimmed.size(), trimmed.size(), trimmed) != 0) {
    Fail("Zerar: not padded to the width", text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static EDiv& e = SharedEDiv();
  FuzzedDataProvider in(data, size);
  const std::string separator = in.ConsumeRandomLengthString(4);
  const std::string pad = in.ConsumeRandomLengthString(4);
  const auto width = in.ConsumeIntegral<std::int16_t>() % 200;
  const std::string text = in.ConsumeRemainingBytesAsString();
  const bool utf8 = IsUtf8(text) && IsUtf8(separator);

  Splits(e, text, separator, utf8);
  CutsArguments(e, text, utf8);
  Pads(e, text, static_cast<std::int16_t>(width), pad, utf8);

  std::string flat;
  if (Runs([&] { flat = e.StripVBCRLFString(text, pad); }, text) && utf8 && IsUtf8(pad) &&
      (pad.empty() || (pad[0] != '\r' && pad[0] != '\n')) &&
      flat.find_first_of("\r\n") != std::string::npos && !pad.empty()) {
    Fail("StripVBCRLFString: a line break is left", text);
  }

  std::string scrambled;
  if (Runs([&] { scrambled = e.Encrypt(text); }, text) && utf8) {
    if (Characters(scrambled) != Characters(text)) Fail("Encrypt: the length changed", text);
    if (e.Decrypt(scrambled) != text) Fail("Decrypt(Encrypt(x)) is not x", text);
  }
  return 0;
}
