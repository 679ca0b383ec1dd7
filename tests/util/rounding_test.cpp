#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

#include "platform/ui_services.h"
#include "util/ediv.h"
#include "util_test_support.h"

namespace {

using platform::Currency;
using platform::Variant;

Currency C(const std::string& text) {
  return Currency::Parse(text);
}

const Currency kMax = Currency::FromTicks(std::numeric_limits<std::int64_t>::max());
const Currency kMin = Currency::FromTicks(std::numeric_limits<std::int64_t>::min());

enum class Op { kArredonda, kDezUp, kDezDown, kVal, kOld };

struct RoundCase {
  Op op;
  Currency value;
  int places;
  int mode;
  Currency expected;
};

Currency Apply(const EDiv& e, const RoundCase& c) {
  switch (c.op) {
    case Op::kArredonda:
      return e.Arredonda(c.value, static_cast<std::int16_t>(c.places));
    case Op::kDezUp:
      return *e.ArredondaDez(c.value, 1).Get<Currency>();
    case Op::kDezDown:
      return *e.ArredondaDez(c.value, 0).Get<Currency>();
    case Op::kVal:
      return e.ArredondaVal(c.value, c.places, c.mode);
    case Op::kOld:
      return e.OldArredondaVal(c.value, c.places, c.mode);
  }
  return {};
}

TEST(Rounding, WorkedExamplesAndBoundaries) {
  const RoundCase cases[] = {
      // Half away from zero, exact decimal arithmetic.
      {Op::kArredonda, C("0.125"), 2, 0, C("0.13")},
      {Op::kArredonda, C("2.5"), 0, 0, C("3")},
      {Op::kArredonda, C("-2.5"), 0, 0, C("-3")},
      {Op::kArredonda, C("2.345"), 2, 0, C("2.35")},
      {Op::kArredonda, C("-2.345"), 2, 0, C("-2.35")},
      {Op::kArredonda, C("2.3449"), 2, 0, C("2.34")},
      {Op::kArredonda, C("-0.005"), 2, 0, C("-0.01")},
      {Op::kArredonda, C("1.2345"), 4, 0, C("1.2345")},
      {Op::kArredonda, kMax, 2, 0, C("922337203685477.58")},
      // Whole tens; a whole ten moves on when rounding up.
      {Op::kDezUp, C("1295"), 0, 0, C("1300")},
      {Op::kDezUp, C("1230"), 0, 0, C("1240")},
      {Op::kDezUp, C("1231"), 0, 0, C("1240")},
      {Op::kDezUp, C("0"), 0, 0, C("10")},
      {Op::kDezUp, C("-123"), 0, 0, C("-130")},
      {Op::kDezDown, C("1234.5"), 0, 0, C("1230")},
      {Op::kDezDown, C("1236"), 0, 0, C("1230")},
      {Op::kDezDown, C("-1236"), 0, 0, C("-1230")},
      // ArredondaVal with decimal places in force.
      {Op::kVal, C("2.125"), 2, 1, C("2.13")},
      {Op::kVal, C("2.125"), 2, -3, C("2.13")},
      {Op::kVal, C("2.125"), 2, 0, C("2.125")},
      {Op::kVal, C("3.0512"), 2, 5, C("3.05")},
      {Op::kVal, C("3.0512"), 2, 9, C("3.06")},
      {Op::kVal, C("3.0512"), 2, 16, C("3.05")},
      {Op::kVal, C("2.195"), 2, 9, C("2.20")},
      {Op::kVal, C("2.995"), 2, 9, C("3.00")},
      {Op::kVal, C("1234.56"), 2, 2, C("1230")},
      {Op::kVal, C("1234.56"), 2, 3, C("1200")},
      {Op::kVal, C("1234.56"), 2, 4, C("1000")},
      {Op::kVal, C("1235.56"), 2, 2, C("1240")},
      {Op::kVal, C("1234.56"), 2, 6, C("1230")},
      {Op::kVal, C("1234.56"), 2, 7, C("1200")},
      {Op::kVal, C("1234.56"), 2, 10, C("1240")},
      {Op::kVal, C("1234.56"), 2, 11, C("1300")},
      {Op::kVal, C("1234.56"), 2, 12, C("2000")},
      {Op::kVal, C("1234.56"), 2, 13, C("1235")},
      {Op::kVal, C("1234.5"), 2, 13, C("1235")},
      {Op::kVal, C("1234.56"), 2, 14, C("1234")},
      {Op::kVal, C("1234.56"), 2, 15, C("1235")},
      {Op::kVal, C("2.5"), 3, 5, C("2.5")},
      {Op::kVal, C("2.1225"), 3, 1, C("2.123")},
      // No places in force: asked for none, or a whole value.
      {Op::kVal, C("1234"), 2, 2, C("1230")},
      {Op::kVal, C("1230"), 2, 10, C("1240")},
      {Op::kVal, C("2.5"), 0, 1, C("3")},
      {Op::kVal, C("2.5"), 0, 13, C("3")},
      {Op::kVal, C("2.75"), 0, 1, C("3")},
      {Op::kVal, C("2.45"), 0, 1, C("2")},
      {Op::kVal, C("2.01"), 0, 9, C("3")},
      {Op::kVal, C("2.01"), 0, 15, C("3")},
      {Op::kVal, C("7.9"), 0, 5, C("7")},
      {Op::kVal, C("1235.5"), 0, 2, C("1240")},
      {Op::kVal, C("1234.9"), 0, 8, C("1000")},
      {Op::kVal, C("1230.1"), 0, 10, C("1240")},
      // Negative amounts: a half-up tie moves toward zero, digit modes mirror.
      {Op::kVal, C("-2.125"), 2, 1, C("-2.12")},
      {Op::kVal, C("-2.126"), 2, 1, C("-2.13")},
      {Op::kVal, C("-2.5"), 0, 1, C("-2")},
      {Op::kVal, C("-2.191"), 2, 9, C("-2.20")},
      {Op::kVal, C("-3.0512"), 2, 5, C("-3.05")},
      {Op::kVal, C("-1234.56"), 2, 2, C("-1230")},
      {Op::kVal, C("-1234.56"), 2, 10, C("-1240")},
      {Op::kVal, C("-1234.56"), 2, 15, C("-1235")},
      {Op::kVal, C("-0.3"), 0, 9, C("-1")},
      {Op::kVal, C("-1234.995"), 2, 2, C("-1240")},
      {Op::kVal, C("-1234.5"), 0, 2, C("-1240")},
      {Op::kVal, C("-1234.4"), 0, 2, C("-1230")},
      // A negative number of places: half up fails (never formed, 0), the other modes
      // work from the integer part.
      {Op::kVal, C("2.5"), -1, 1, C("0")},
      {Op::kVal, C("2.5"), -1, 3, C("0")},
      {Op::kVal, C("2.5"), -1, 5, C("2")},
      {Op::kVal, C("2.5"), -1, 9, C("3")},
      // Currency limits: a result outside the range is never formed.
      {Op::kVal, kMax, 2, 1, C("922337203685477.58")},
      {Op::kVal, kMax, 4, 9, kMax},
      {Op::kVal, kMax, 0, 1, C("0")},
      {Op::kVal, kMax, 3, 9, C("0")},
      {Op::kVal, kMax, 3, 10, C("0")},
      {Op::kVal, C("922337203685477"), 0, 10, C("922337203685477")},
      {Op::kVal, kMin, 2, 5, C("-922337203685477.58")},
      {Op::kVal, kMin, 0, 14, C("-922337203685477")},
      // The earlier numbering: ties to even, whole values and short fractions unchanged.
      {Op::kOld, C("2.125"), 2, 1, C("2.12")},
      {Op::kOld, C("2.135"), 2, -1, C("2.14")},
      {Op::kOld, C("2.125"), 2, 0, C("2.125")},
      {Op::kOld, C("1234"), 2, 2, C("1234")},
      {Op::kOld, C("2.5"), 1, 2, C("2.5")},
      {Op::kOld, C("1234.56"), 1, 2, C("1230")},
      {Op::kOld, C("1234.56"), 1, 3, C("1200")},
      {Op::kOld, C("2.199"), 2, 5, C("2.19")},
      {Op::kOld, C("2.191"), 2, 8, C("2.20")},
      {Op::kOld, C("2.191"), 2, 13, C("2.19")},
      {Op::kOld, C("2.5"), 0, 1, C("3")},
      {Op::kOld, C("3.5"), 0, 1, C("4")},
      {Op::kOld, C("2.5"), 0, 2, C("2")},
      {Op::kOld, C("2.4"), 0, 3, C("3")},
      {Op::kOld, C("2.4"), 0, 7, C("2")},
      {Op::kOld, C("2.5"), -1, 1, C("0")},
      {Op::kOld, C("-2.191"), 2, 8, C("-2.20")},
      {Op::kOld, C("-2.4"), 0, 3, C("-3")},
  };
  EDiv e;
  for (const RoundCase& c : cases) {
    EXPECT_EQ(Apply(e, c), c.expected)
        << "op " << static_cast<int>(c.op) << " value " << c.value.ToString() << " places " << c.places
        << " mode " << c.mode << " gave " << Apply(e, c).ToString();
  }
}

TEST(Rounding, ModeOneIsTheDefault) {
  EDiv e;
  EXPECT_EQ(e.ArredondaVal(C("2.125"), 2), C("2.13"));
  EXPECT_EQ(e.OldArredondaVal(C("2.125"), 2), C("2.12"));
  EXPECT_EQ(e.ArredondaValDecimal(Variant(2.125), 2), Variant(2.12));
}

TEST(Rounding, ResultsOutsideTheCurrencyRangeReachTheCallerAsOverflow) {
  EDiv e;
  EXPECT_EQ(ErrorNumber([&] { (void)e.Arredonda(kMax, 0); }), platform::kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)e.Arredonda(kMin, 1); }), platform::kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)e.ArredondaDez(C("922337203685471"), 1); }), platform::kErrOverflow);
}

using RoundingBox = RecordingUiTest;

TEST_F(RoundingBox, ArredondaRefusesPlacesOutsideZeroToFour) {
  EDiv e;
  for (std::int16_t places : {std::int16_t{5}, std::int16_t{-1}}) {
    EXPECT_EQ(e.Arredonda(C("2.5"), places), Currency());
  }
  ASSERT_EQ(ui_->boxes.size(), 2u);
  EXPECT_EQ(ui_->boxes[0].text, "O Número de casas Decimais tem que ser  entre (0 e 4)");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxPlain);
  EXPECT_EQ(ui_->boxes[0].title, "Tavinor");
}

TEST_F(RoundingBox, ArredondaSetsAZeroWidthToTwelveForTheCaller) {
  EDiv e;
  std::int16_t comp = 0;
  EXPECT_EQ(e.Arredonda(C("1.005"), 2, comp), C("1.01"));
  EXPECT_EQ(comp, 12);
  std::int16_t narrow = 3;
  EXPECT_EQ(e.Arredonda(C("123456.7"), 0, narrow), C("123457"));
  EXPECT_EQ(narrow, 3);
  std::int16_t bad = -1;
  EXPECT_EQ(ErrorNumber([&] { (void)e.Arredonda(C("1"), 2, bad); }), platform::kErrInvalidProcedureCall);
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST(Rounding, ArredondaValDecimalReadsTheDigitsOfEachKind) {
  struct Case {
    Variant value;
    int places;
    int mode;
    Variant expected;
  } cases[] = {
      // 1234.56 as a double has the fraction digits 5599999...: truncation keeps 55.
      {Variant(1234.56), 2, 2, Variant(1234.55)},
      {Variant(1234.56), 2, 0, Variant(1234.55)},
      {Variant(1234.56), 2, 7, Variant(1234.55)},
      {Variant(1234.56), 2, 1, Variant(1234.56)},
      {Variant(1234.56), 2, 3, Variant(1234.56)},
      {Variant(1234.56), 2, 4, Variant(1234.56)},
      {Variant(2.125), 2, 1, Variant(2.12)},
      {Variant(2.135), 2, 1, Variant(2.14)},
      {Variant(2.191), 2, 3, Variant(2.2)},
      // Mode 1 keeps the kind; the digit-built modes give doubles.
      {Variant(C("2.125")), 2, 1, Variant(C("2.12"))},
      {Variant(C("2.125")), 2, 2, Variant(2.12)},
      {Variant(platform::Decimal{12551, 4}), 2, 1, Variant(platform::Decimal{126, 2})},
      {Variant(2.5f), 0, 1, Variant(3.0f)},
      {Variant("2.55"), 1, 2, Variant(2.5)},
      // Whole values and short fractions come back as they were.
      {Variant(std::int32_t{5}), 2, 2, Variant(std::int32_t{5})},
      {Variant(2.5), 3, 2, Variant(2.5)},
      {Variant(2.5), 1, 2, Variant(2.5)},
      // No places in force.
      {Variant(2.5), 0, 1, Variant(3.0)},
      {Variant(-2.5), 0, 1, Variant(-2.0)},
      {Variant(2.5), 0, 3, Variant(3.0)},
      {Variant(2.5), 0, 2, Variant(2.0)},
      {Variant(-2.5), 0, 3, Variant(-3.0)},
      {Variant(2.5), -2, 1, Variant()},
      {Variant(2.5), -2, 2, Variant(2.0)},
      // 15 significant digits: the fraction's own text carries the binary noise.
      {Variant(123456789.123456), 4, 2, Variant(123456789.1234)},
      {Variant(123456789.123456), 4, 3, Variant(123456789.1235)},
      {Variant(123456789.123456), 6, 2, Variant(123456789.123456)},
      {Variant(1e15 + 0.5), 0, 1, Variant(1e15 + 1)},
      {Variant(1e15 + 0.5), 0, 2, Variant(1e15)},
      // Only six fraction digits are read; a digit beyond them still rounds up.
      {Variant(1.0000001), 6, 2, Variant(1.0)},
      {Variant(1.0000001), 2, 3, Variant(1.01)},
      // Fractions below 0.0001 (written with an exponent by the runtime) keep their digits.
      {Variant(0.00005), 5, 2, Variant(0.00005)},
      {Variant(1.00005), 4, 2, Variant(1.0)},
      {Variant(1.00005), 4, 3, Variant(1.0001)},
      // Negative values mirror the positive result in the digit modes.
      {Variant(-2.191), 2, 3, Variant(-2.2)},
      {Variant(-1234.56), 2, 2, Variant(-1234.55)},
      // Not a number: the result is never formed.
      {Variant("abc"), 2, 1, Variant()},
      {Variant::Null(), 2, 2, Variant()},
  };
  EDiv e;
  for (const Case& c : cases) {
    const Variant got = e.ArredondaValDecimal(c.value, c.places, c.mode);
    EXPECT_TRUE(got == c.expected) << "value " << c.value.ToString() << " places " << c.places << " mode "
                                   << c.mode << " gave " << got.TypeName() << " "
                                   << (got.IsEmpty() ? "" : got.ToString());
  }
}

}  // namespace
