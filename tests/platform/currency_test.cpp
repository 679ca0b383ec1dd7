#include "platform/currency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "error_number.h"
#include "platform/error.h"

namespace platform {
namespace {

constexpr std::int64_t kMaxTicks = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMinTicks = std::numeric_limits<std::int64_t>::min();

using testsupport::ErrorNumber;

TEST(Currency, FromDoubleRoundsToTenThousandthsTiesToEven) {
  struct Case {
    double value;
    std::int64_t ticks;
  } cases[] = {
      {0.0, 0},
      {1.5, 15000},
      {-0.0001, -1},
      {1.23456, 12346},
      {1.23454, 12345},
      // n/32 scales to an exact half: the ties go to the even neighbour.
      {1.0 / 32, 312},
      {3.0 / 32, 938},
      {-1.0 / 32, -312},
      {-3.0 / 32, -938},
      {2.125, 21250},
      {1e14, 1000000000000000000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::FromDouble(c.value).Ticks(), c.ticks) << c.value;
  }
}

TEST(Currency, FromDoubleOutsideRangeIsOverflow) {
  for (double value : {922337203685477.6, -922337203685478.0, 1e300, std::nan(""),
                       std::numeric_limits<double>::infinity()}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Currency::FromDouble(value); }), kErrOverflow);
  }
}

TEST(Currency, ParseReadsPlainDecimalTextExactly) {
  struct Case {
    const char* text;
    std::int64_t ticks;
  } cases[] = {
      {"123.4567", 1234567},
      {"-0.5", -5000},
      {" 7 ", 70000},
      {"+.25", 2500},
      {"1.00005", 10000},  // tie, the even neighbour
      {"1.00015", 10002},
      {"1.000050001", 10001},  // just above the tie
      {"-1.00015", -10002},
      {"1E3", 10000000},
      {"922337203685477.5807", kMaxTicks},
      {"-922337203685477.5808", kMinTicks},
      {"0.00004", 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::Parse(c.text).Ticks(), c.ticks) << c.text;
  }
}

TEST(Currency, ParseRejectsTextThatIsNoNumber) {
  for (const char* text : {"", " ", "abc", "1,5", "1.2.3", "12a", "-", ".", "1E", "1 000"}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Currency::Parse(text); }), kErrTypeMismatch);
  }
  for (const char* text : {"922337203685477.5808", "-922337203685477.5809", "1E20"}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Currency::Parse(text); }), kErrOverflow);
  }
}

TEST(Currency, ToStringIsShortestWithPointSeparator) {
  struct Case {
    std::int64_t ticks;
    const char* text;
  } cases[] = {
      {0, "0"},
      {12345000, "1234.5"},
      {-1, "-0.0001"},
      {10000, "1"},
      {-5000, "-0.5"},
      {1230, "0.123"},
      {kMaxTicks, "922337203685477.5807"},
      {kMinTicks, "-922337203685477.5808"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Currency::FromTicks(c.ticks).ToString(), c.text);
  }
}

TEST(Currency, ArithmeticChecksTheRange) {
  const Currency a = Currency::FromTicks(15000);
  EXPECT_EQ((a + Currency::FromTicks(1)).Ticks(), 15001);
  EXPECT_EQ((a - Currency::FromTicks(20000)).Ticks(), -5000);
  EXPECT_EQ((-a).Ticks(), -15000);
  EXPECT_EQ((a * -3).Ticks(), -45000);

  const Currency max = Currency::FromTicks(kMaxTicks);
  const Currency min = Currency::FromTicks(kMinTicks);
  EXPECT_EQ(ErrorNumber([&] { (void)(max + Currency::FromTicks(1)); }), kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)(min - Currency::FromTicks(1)); }), kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)(-min); }), kErrOverflow);
  EXPECT_EQ(ErrorNumber([&] { (void)(max * 2); }), kErrOverflow);
  EXPECT_LT(min, max);
}

}  // namespace
}  // namespace platform
