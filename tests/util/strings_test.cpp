#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui_services.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::Variant;
using platform::VariantArray;

std::vector<std::string> Texts(const VariantArray& array) {
  std::vector<std::string> texts;
  for (const Variant& v : array.items) texts.push_back(v.IsEmpty() ? "<empty>" : *v.Get<std::string>());
  return texts;
}

// The text of one character given by its code in code page 1252.
std::string Cp1252(unsigned code) {
  static const char32_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                     0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                     0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};
  const char32_t c = code >= 0x80 && code <= 0x9F ? kHigh[code - 0x80] : code;
  std::string out;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return out;
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(Strings, StripStringKeepsEmptyPiecesAndTrims) {
  struct Case {
    std::string text, separator;
    std::vector<std::string> pieces;
  } cases[] = {
      {"a, b,,c", ",", {"a", "b", "", "c"}},
      {"  no separator  ", ",", {"no separator"}},
      {"", ",", {""}},
      {",a,", ",", {"", "a", ""}},
      // Occurrences do not overlap: "---" holds one "--" and a dash.
      {"a---b", "--", {"a", "-b"}},
      {"x\r\nGO\r\ny", "\r\nGO\r\n", {"x", "y"}},
      {"çaçb", "ç", {"", "a", "b"}},
  };
  EDiv e;
  for (const Case& c : cases) {
    VariantArray pieces{5, {Variant("stale")}};
    EXPECT_TRUE(e.StripString(c.text, c.separator, pieces));
    EXPECT_EQ(pieces.lower_bound, 0);
    EXPECT_EQ(Texts(pieces), c.pieces) << c.text;
  }
}

TEST(Strings, FastStripStringDropsEmptyPiecesAndKeepsSpaces) {
  struct Case {
    std::string text, separator;
    bool result;
    std::vector<std::string> pieces;
  } cases[] = {
      {"a, b,,c", ",", true, {"a", " b", "c"}},
      {"   ", ",", false, {"<empty>"}},
      {"", ",", false, {"<empty>"}},
      {",a,,b,", ",", true, {"a", "b"}},
      // Doubled separators at the end leave no empty piece behind.
      {"a,,", ",", true, {"a"}},
      {"create x\r\nGO\r\ncreate y\r\nGO\r\n", "\r\nGO\r\n", true, {"create x", "create y"}},
      {"no separator", ",", true, {"no separator"}},
  };
  EDiv e;
  for (const Case& c : cases) {
    VariantArray pieces{3, {Variant("stale"), Variant("stale")}};
    EXPECT_EQ(e.FastStripString(c.text, c.separator, pieces), c.result) << c.text;
    EXPECT_EQ(pieces.lower_bound, 0);
    EXPECT_EQ(Texts(pieces), c.pieces) << c.text;
  }
}

TEST(Strings, SplittingRefusesAnEmptySeparator) {
  EDiv e;
  VariantArray pieces;
  EXPECT_EQ(ErrorNumber([&] { e.StripString("abc", "", pieces); }), platform::kErrInvalidProcedureCall);
  EXPECT_EQ(ErrorNumber([&] { e.FastStripString("abc", "", pieces); }), platform::kErrInvalidProcedureCall);
}

TEST(Strings, StripVBCRLFStringReplacesLineBreaksOneForOne) {
  EDiv e;
  EXPECT_EQ(e.StripVBCRLFString("a\r\nb ", "|"), "a||b");
  EXPECT_EQ(e.StripVBCRLFString(" a\rb\n"), "a b");
  EXPECT_EQ(e.StripVBCRLFString("\ta\r\n ", ""), "\ta\r\n");
  EXPECT_EQ(e.StripVBCRLFString("x\ny", "çé"), "xçy");
}

TEST(Strings, ContaCHRMatchesCaseInsensitively) {
  struct Case {
    std::string text, wanted;
    int count;
  } cases[] = {
      {"banana", "A", 3},  {"banana", "an", 0}, {"banana", "", 0},
      {"Ação ÃO", "ã", 2}, {"Ωω", "ω", 2},      {Repeat("a", 32767), "a", 32767},
  };
  EDiv e;
  for (const Case& c : cases) EXPECT_EQ(e.ContaCHR(c.text, c.wanted), c.count) << c.text.substr(0, 20);
  // Counted in characters: 32767 two-byte characters are within the limit, one more is not.
  EXPECT_EQ(e.ContaCHR(Repeat("é", 32767), "É"), 32767);
  EXPECT_EQ(ErrorNumber([&] { (void)e.ContaCHR(Repeat("a", 32768), "a"); }), platform::kErrOverflow);
}

TEST(Strings, GetArgCutsAtSingleSpaces) {
  struct Case {
    std::string command;
    int argc;
    std::vector<std::string> args;  // Argv(1) to Argv(Argc)
  } cases[] = {
      {"a bc d", 3, {"a", "bc", "d"}},
      {"a  b", 3, {"a", " b", ""}},
      {"", 1, {""}},
      {"abc", 1, {""}},
      {"a ", 2, {"a", ""}},
      {"ção é", 2, {"ção", "é"}},
      {Repeat("a ", 16384), 1, {""}},
      // 32767 spaces would count 32768 arguments, beyond the 16-bit count.
      {std::string(32767, ' '), 1, {""}},
      {std::string(32766, ' '), 32767,
       [] {
         // Every other space separates; the last argument keeps its space.
         std::vector<std::string> args(32767);
         args[16383] = " ";
         return args;
       }()},
  };
  EDiv e;
  for (const Case& c : cases) {
    std::vector<std::string> argv{"stale"};
    std::int16_t argc = -1;
    e.GetArg(c.command, argv, argc);
    EXPECT_EQ(argc, c.argc) << c.command.substr(0, 20);
    ASSERT_EQ(argv.size(), static_cast<std::size_t>(c.argc) + 1);
    EXPECT_EQ(std::vector<std::string>(argv.begin() + 1, argv.end()), c.args);
  }
}

TEST(Strings, GetArgReadsTheRecordedCommandLine) {
  const char* argv_in[] = {"/usr/bin/tavinor", "-S", "server1"};
  EDiv::SetCommandLine(3, argv_in);
  EXPECT_EQ(EDiv::CommandLine(), "-S server1");
  EDiv e;
  std::vector<std::string> argv;
  std::int16_t argc = 0;
  e.GetArg(argv, argc);
  EXPECT_EQ(argc, 2);
  EXPECT_EQ(argv[1], "-S");
  EXPECT_EQ(argv[2], "server1");
  EDiv::SetCommandLine(1, argv_in);
  EXPECT_EQ(EDiv::CommandLine(), "");
}

TEST(Strings, ZerarPadsOnTheLeft) {
  struct Case {
    std::string text;
    std::int16_t width;
    std::string fill, result;
  } cases[] = {
      {"12", 5, "", "00012"}, {" 12 ", 5, "*", "***12"}, {"123456", 3, "", "123456"},
      {"7", 3, "xy", "xx7"},  {"ção", 5, "ã", "ããção"},  {"5", -2, "", "5"},
  };
  EDiv e;
  for (const Case& c : cases) EXPECT_EQ(e.Zerar(c.text, c.width, c.fill), c.result) << c.text;
}

TEST(Strings, BinaryDigitTexts) {
  EDiv e;
  const struct {
    std::string digits;
    int value;
  } to_dec[] = {{"11111111", 255}, {"0111111111111111", 32767}, {"1x1", 5},
                {"", 0},           {std::string(17, '0'), 0},   {"1" + std::string(14, '0'), 16384}};
  for (const auto& c : to_dec) EXPECT_EQ(e.BinToDec(c.digits), c.value) << c.digits;
  EXPECT_EQ(ErrorNumber([&] { (void)e.BinToDec("1" + std::string(15, '0')); }), platform::kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)e.BinToDec(std::string(32768, '0')); }), platform::kErrOverflow);

  const struct {
    std::int16_t value;
    std::string digits;
  } to_bin[] = {{255, "11111111"}, {0, "00000000"},    {-5, "00000000"},
                {5, "00000101"},   {300, "100101100"}, {32767, "111111111111111"}};
  for (const auto& c : to_bin) EXPECT_EQ(e.DecToBin(c.value), c.digits) << c.value;

  const struct {
    std::string in, out;
  } invert[] = {{"11111111", "00000000"},
                {"01000001", "11101011"},
                {"101", "010"},
                // Characters other than 0 and 1 are kept as they are.
                {"0a10b001", "b1101a01"}};
  for (const auto& c : invert) EXPECT_EQ(e.InverteBin(c.in), c.out) << c.in;
  EXPECT_EQ(ErrorNumber([&] { (void)e.InverteBin(std::string(32768, '0')); }), platform::kErrOverflow);
}

TEST(Strings, SortArrayIsAStableBubbleSort) {
  using I = std::int16_t;
  struct Case {
    std::vector<Variant> items;
    int order;
    std::vector<Variant> sorted;
  } cases[] = {
      {{I{3}, I{1}, I{2}}, 1, {I{1}, I{2}, I{3}}},
      {{I{3}, I{1}, I{2}}, 0, {I{3}, I{2}, I{1}}},
      {{I{3}, I{1}, I{2}}, 7, {I{3}, I{2}, I{1}}},
      // Equal values never change places, whatever their kind.
      {{I{1}, 1.0, std::int32_t{0}}, 1, {std::int32_t{0}, I{1}, 1.0}},
      {{I{1}, std::int32_t{2}, 1.0}, 0, {std::int32_t{2}, I{1}, 1.0}},
      // Numbers order before texts; texts by character code; Empty as 0.
      {{"b", I{2}, "a", 1.5}, 1, {1.5, I{2}, "a", "b"}},
      {{"á", "b", "B"}, 1, {"B", "b", "á"}},
      {{I{1}, Variant(), I{-1}}, 1, {I{-1}, Variant(), I{1}}},
      {{"10", "9"}, 1, {"10", "9"}},
      {{platform::Currency::FromTicks(25000), 2.4, true},
       1,
       {true, 2.4, platform::Currency::FromTicks(25000)}},
      // A comparison with Null is never true: Null holds its place.
      {{I{3}, Variant::Null(), I{1}}, 1, {I{3}, Variant::Null(), I{1}}},
  };
  EDiv e;
  int row = 0;
  for (const Case& c : cases) {
    VariantArray array{-2, c.items};
    e.SortArray(array, c.order);
    EXPECT_EQ(array.lower_bound, -2);
    EXPECT_TRUE(array.items == c.sorted) << "row " << row;
    ++row;
  }
}

TEST(Strings, SortArrayFailures) {
  EDiv e;
  VariantArray empty;
  EXPECT_EQ(ErrorNumber([&] { e.SortArray(empty, 1); }), platform::kErrSubscriptOutOfRange);
  VariantArray high{32767, {Variant(std::int16_t{2}), Variant(std::int16_t{1})}};
  EXPECT_EQ(ErrorNumber([&] { e.SortArray(high, 1); }), platform::kErrOverflow);
  VariantArray nested{0, {Variant(std::int16_t{2}), Variant(VariantArray{0, {Variant(1.0)}})}};
  EXPECT_EQ(ErrorNumber([&] { e.SortArray(nested, 1); }), platform::kErrTypeMismatch);
}

TEST(Strings, EncryptUsesCodePage1252AndIsItsOwnInverse) {
  EDiv e;
  const std::string abc = Cp1252(233) + Cp1252(217) + Cp1252(201);
  EXPECT_EQ(e.Encrypt("abc"), abc);
  EXPECT_EQ(e.Decrypt(abc), "abc");
  EXPECT_EQ(e.Encrypt(std::string(1, '\0')), Cp1252(255));
  EXPECT_EQ(e.Encrypt(Cp1252(255)), std::string(1, '\0'));
  EXPECT_EQ(e.Encrypt("€"), "÷");  // 0x80: complement 0x7F, halves exchanged 0xF7

  std::string all;
  for (unsigned code = 0; code < 256; ++code) {
    const std::string one = Cp1252(code);
    const unsigned complement = 255 - code;
    EXPECT_EQ(e.Encrypt(one), Cp1252(((complement & 0x0F) << 4) | (complement >> 4))) << code;
    EXPECT_EQ(e.Decrypt(e.Encrypt(one)), one) << code;
    all += one;
  }
  EXPECT_EQ(e.Decrypt(e.Encrypt(all)), all);
  EXPECT_EQ(e.Encrypt(e.Decrypt(all)), all);
}

TEST(Strings, EncryptPassesOtherCharactersAndCountsCharacters) {
  EDiv e;
  EXPECT_EQ(e.Encrypt("aΩb"), Cp1252(233) + "Ω" + Cp1252(217));
  EXPECT_EQ(e.Decrypt(e.Encrypt("Ω日本")), "Ω日本");
  const std::string longest = Repeat("é", 32767);
  EXPECT_EQ(e.Decrypt(e.Encrypt(longest)), longest);
  EXPECT_EQ(ErrorNumber([&] { (void)e.Encrypt(Repeat("é", 32768)); }), platform::kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)e.Decrypt(Repeat("a", 32768)); }), platform::kErrOverflow);
}

using StringsBox = RecordingUiTest;

TEST_F(StringsBox, IntToBoolAcceptsOnlyOneAndZero) {
  EDiv e;
  EXPECT_EQ(e.BoolToInt(true), 1);
  EXPECT_EQ(e.BoolToInt(false), 0);
  EXPECT_TRUE(e.IntToBool(1));
  EXPECT_FALSE(e.IntToBool(0));
  EXPECT_TRUE(ui_->boxes.empty());
  EXPECT_FALSE(e.IntToBool(2));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "Esta Função só deve ser utilizada com valores de 1 e 0");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxPlain);
  EXPECT_EQ(ui_->boxes[0].title, "Tavinor");
}

}  // namespace
