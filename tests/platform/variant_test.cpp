#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "error_number.h"
#include "platform/error.h"

namespace platform {
namespace {

using testsupport::ErrorNumber;

Variant ArrayOf(int lower_bound, std::vector<Variant> items) {
  return VariantArray{lower_bound, std::move(items)};
}

TEST(Variant, KindCodesAndNames) {
  struct Case {
    Variant value;
    VarType type;
    int code;
    const char* name;
  } cases[] = {
      {Variant(), VarType::kEmpty, 0, "Empty"},
      {Variant::Null(), VarType::kNull, 1, "Null"},
      {Variant(std::int16_t{1}), VarType::kInteger, 2, "Integer"},
      {Variant(1), VarType::kLong, 3, "Long"},
      {Variant(1.0f), VarType::kSingle, 4, "Single"},
      {Variant(1.0), VarType::kDouble, 5, "Double"},
      {Variant(Currency::FromTicks(1)), VarType::kCurrency, 6, "Currency"},
      {Variant(Date(1.0)), VarType::kDate, 7, "Date"},
      {Variant("x"), VarType::kString, 8, "String"},
      {Variant(ErrorValue{5}), VarType::kError, 10, "Error"},
      {Variant(true), VarType::kBoolean, 11, "Boolean"},
      {Variant(Decimal{1, 0}), VarType::kDecimal, 14, "Decimal"},
      {Variant(std::uint8_t{1}), VarType::kByte, 17, "Byte"},
      {ArrayOf(0, {1, 2}), VarType::kArray, 8204, "Variant()"},
      {Variant(Bytes{1, 2}), VarType::kByteArray, 8209, "Byte()"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.Type(), c.type) << c.name;
    EXPECT_EQ(c.value.VarTypeCode(), c.code) << c.name;
    EXPECT_EQ(c.value.TypeName(), c.name);
  }
  EXPECT_EQ(ArrayOf(1, {"a", "b"}).Array()->UpperBound(), 2);
  EXPECT_EQ(Variant(Bytes{7}).ByteArray()->at(0), 7);
  EXPECT_EQ(Variant(1).Array(), nullptr);
}

TEST(Variant, FormatDoubleAsTheRuntimeWritesIt) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "0"},
      {1.0, "1"},
      {-1234.5, "-1234.5"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3, "0.333333333333333"},
      {2.0 / 3, "0.666666666666667"},
      {0.0001, "0.0001"},
      {0.00001, "1E-05"},
      {1.5e-7, "1.5E-07"},
      {999999999999999.0, "999999999999999"},
      {1e15, "1E+15"},
      {1e20, "1E+20"},
      {123456789012345678.0, "1.23456789012346E+17"},
      {1e100, "1E+100"},
      {-2.5e-300, "-2.5E-300"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDouble(c.value), c.text);
  }
}

TEST(Variant, ToStringOfEachKind) {
  struct Case {
    Variant value;
    const char* text;
  } cases[] = {
      {Variant(), ""},
      {Variant(std::int16_t{-7}), "-7"},
      {Variant(123456), "123456"},
      {Variant(0.1f), "0.1"},  // a Single shows 7 digits, not its binary expansion
      {Variant(1234567.0f), "1234567"},
      {Variant(12345678.0f), "1.234568E+07"},
      {Variant(2.5), "2.5"},
      {Variant(Currency::FromTicks(12345000)), "1234.5"},
      {Variant(Date(36526.5)), "2000-01-01 12:00:00"},
      {Variant("text"), "text"},
      {Variant(true), "True"},
      {Variant(false), "False"},
      {Variant(std::uint8_t{255}), "255"},
      {Variant(Decimal{-12340, 3}), "-12.340"},
      {Variant(Decimal{5, 3}), "0.005"},
      {Variant(ErrorValue{2042}), "Error 2042"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.ToString(), c.text);
  }
}

TEST(Variant, WholeNumberConversionsRoundHalfToEven) {
  struct Case {
    Variant value;
    std::int32_t expected;
  } cases[] = {
      {Variant(0.5), 0},
      {Variant(1.5), 2},
      {Variant(2.5), 2},
      {Variant(3.5), 4},
      {Variant(-2.5), -2},
      {Variant(-3.5), -4},
      {Variant(2.5000001), 3},
      {Variant(2.5f), 2},
      {Variant("2.5"), 2},
      {Variant(" 3.5 "), 4},
      {Variant("-0.5"), 0},
      {Variant("1E3"), 1000},
      {Variant(Currency::FromTicks(25000)), 2},
      {Variant(Currency::FromTicks(-35000)), -4},
      {Variant(Currency::FromTicks(25001)), 3},
      {Variant(Decimal{25, 1}), 2},
      {Variant(Decimal{-35, 1}), -4},
      {Variant(Decimal{3, -1}), 30},
      {Variant(Date(2.5)), 2},
      {Variant(true), -1},
      {Variant(), 0},
      {Variant(std::uint8_t{200}), 200},
  };
  for (const Case& c : cases) {
    const std::string what = c.value.TypeName() + " " + c.value.ToString();
    EXPECT_EQ(c.value.ToLong(), c.expected) << what;
    EXPECT_EQ(c.value.ToInteger(), c.expected) << what;
  }
}

TEST(Variant, WholeNumberOutOfRangeIsOverflow) {
  EXPECT_EQ(Variant(32766.5).ToInteger(), 32766);
  EXPECT_EQ(Variant(-32768.5).ToInteger(), -32768);
  EXPECT_EQ(Variant(2147483646.5).ToLong(), 2147483646);
  EXPECT_EQ(Variant(-2147483648.0).ToLong(), std::numeric_limits<std::int32_t>::min());

  const Variant for_integer[] = {Variant(32767.5), Variant(-32769), Variant("40000"), Variant(1e10)};
  for (const Variant& v : for_integer) {
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToInteger(); }), kErrOverflow) << v.ToString();
  }
  const Variant for_long[] = {Variant(2147483647.5),
                              Variant(-2147483649.0),
                              Variant("1E10"),
                              Variant("99999999999999999999999999"),
                              Variant(std::nan("")),
                              Variant(Currency::FromTicks(std::numeric_limits<std::int64_t>::max())),
                              Variant(Decimal{Int128{1} << 80, 0})};
  for (const Variant& v : for_long) {
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToLong(); }), kErrOverflow) << v.TypeName();
  }
}

TEST(Variant, NullIsInvalidUseOfNullAndOddKindsAreTypeMismatch) {
  const std::function<void(const Variant&)> conversions[] = {
      [](const Variant& v) { (void)v.ToString(); }, [](const Variant& v) { (void)v.ToDouble(); },
      [](const Variant& v) { (void)v.ToLong(); },   [](const Variant& v) { (void)v.ToInteger(); },
      [](const Variant& v) { (void)v.ToBool(); },   [](const Variant& v) { (void)v.ToCurrency(); },
      [](const Variant& v) { (void)v.ToDate(); },   [](const Variant& v) { (void)v.ToDecimal(); },
  };
  for (const auto& convert : conversions) {
    EXPECT_EQ(ErrorNumber([&] { convert(Variant::Null()); }), kErrInvalidUseOfNull) << "Null";
    EXPECT_EQ(ErrorNumber([&] { convert(ArrayOf(0, {1})); }), kErrTypeMismatch) << "array";
    EXPECT_EQ(ErrorNumber([&] { convert(Variant(Bytes{1})); }), kErrTypeMismatch) << "byte array";
  }
  // Texts that are not numbers, and error values, do not convert to numbers.
  for (const Variant& v :
       {Variant("abc"), Variant(""), Variant("1,5"), Variant("12abc"), Variant(ErrorValue{5})}) {
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToDouble(); }), kErrTypeMismatch) << v.ToString();
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToLong(); }), kErrTypeMismatch) << v.ToString();
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToCurrency(); }), kErrTypeMismatch) << v.ToString();
    EXPECT_EQ(ErrorNumber([&] { (void)v.ToDecimal(); }), kErrTypeMismatch) << v.ToString();
  }
}

TEST(Variant, ToDoubleReadsNumericText) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"1.5E-07", 1.5e-7}, {" -2 ", -2.0},
      {"+.5", 0.5},        {"5.", 5.0},
      {"1D3", 1000.0},     {"1e-400", 0.0},
      {"0.1", 0.1},        {"-0", 0.0},
      {"00012", 12.0},     {"1.7976931348623157E308", 1.7976931348623157e308},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Variant(c.text).ToDouble(), c.value) << c.text;
  }
  EXPECT_EQ(ErrorNumber([] { (void)Variant("1e400").ToDouble(); }), kErrOverflow) << "1e400";
  EXPECT_EQ(Variant(true).ToDouble(), -1.0);
  EXPECT_EQ(Variant(Date(36526.25)).ToDouble(), 36526.25);
  EXPECT_EQ(Variant(Decimal{-125, 2}).ToDouble(), -1.25);
}

TEST(Variant, ToBoolOfTextAndNumbers) {
  struct Case {
    Variant value;
    bool expected;
  } cases[] = {
      {Variant("True"), true},
      {Variant("false"), false},
      {Variant(" TRUE "), true},
      {Variant("0"), false},
      {Variant("-1"), true},
      {Variant("0.5"), true},
      {Variant("0.000"), false},
      {Variant(0.0), false},
      {Variant(0.25), true},
      {Variant(), false},
      {Variant(std::int16_t{2}), true},
      {Variant(Currency{}), false},
      {Variant(Currency::FromTicks(1)), true},
      {Variant(Decimal{0, 3}), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.ToBool(), c.expected) << c.value.TypeName() << " " << c.value.ToString();
  }
  for (const char* text : {"yes", "", "Truee", "1,0"}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Variant(text).ToBool(); }), kErrTypeMismatch) << text;
  }
}

TEST(Variant, IsNumericAsTheRuntimeAnswers) {
  struct Case {
    Variant value;
    bool numeric;
  } cases[] = {
      {Variant(), true},  // Empty reads as 0
      {Variant::Null(), false},
      {Variant(std::int16_t{1}), true},
      {Variant(1), true},
      {Variant(1.5f), true},
      {Variant(1.5), true},
      {Variant(Currency{}), true},
      {Variant(Date(1.0)), false},
      {Variant(true), true},
      {Variant(Decimal{}), true},
      {Variant(std::uint8_t{1}), true},
      {Variant(ErrorValue{5}), false},
      {Variant(" 12.5 "), true},
      {Variant("-1E+3"), true},
      {Variant(""), false},
      {Variant("12a"), false},
      {Variant("1,5"), false},
      {Variant("2000-01-01"), false},
      {ArrayOf(0, {1}), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.IsNumeric(), c.numeric) << c.value.TypeName();
  }
}

TEST(Variant, ToCurrencyRoundsToTenThousandths) {
  struct Case {
    Variant value;
    std::int64_t ticks;
  } cases[] = {
      {Variant("1.23456"), 12346},
      {Variant("1.23455"), 12346},  // exact tie from text: to even
      {Variant("1.23445"), 12344},
      {Variant(1.5), 15000},
      {Variant(5), 50000},
      {Variant(true), -10000},
      {Variant(Decimal{123455, 5}), 12346},
      {Variant(Decimal{-123445, 5}), -12344},
      {Variant(Decimal{7, 0}), 70000},
      {Variant(Date(2.5)), 25000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.ToCurrency().Ticks(), c.ticks) << c.value.TypeName() << " " << c.value.ToString();
  }
  EXPECT_EQ(ErrorNumber([] { (void)Variant(1e16).ToCurrency(); }), kErrOverflow) << "1e16";
  EXPECT_EQ(ErrorNumber([] {
              (void)Variant(Decimal{Int128{1} << 90, 0}).ToCurrency();
            }),
            kErrOverflow)
      << "decimal";
}

TEST(Variant, ToDecimalKeepsExactDigits) {
  struct Case {
    Variant value;
    Decimal expected;
  } cases[] = {
      {Variant("1.50"), {150, 2}},  // the written scale stays
      {Variant(" -0.001 "), {-1, 3}},
      {Variant(0.1), {1, 1}},  // through the 15-digit text, not the binary expansion
      {Variant(1.0 / 3), {333333333333333, 15}},
      {Variant(1e20), {Int128{100000000000} * 1000000000, 0}},
      {Variant(Currency::FromTicks(15000)), {15, 1}},
      {Variant(Currency::FromTicks(-12345)), {-12345, 4}},
      {Variant(42), {42, 0}},
      {Variant("1E2"), {100, 0}},
      // More decimals than the kind holds: rounded to 28 places.
      {Variant("0.12345678901234567890123456785"), {Int128{1234567890123456789} * 1000000000 + 12345678, 28}},
  };
  for (const Case& c : cases) {
    const Decimal d = c.value.ToDecimal();
    EXPECT_EQ(d, c.expected) << c.value.ToString() << " gave " << d.ToString();
  }
  EXPECT_EQ(ErrorNumber([] { (void)Variant(1e30).ToDecimal(); }), kErrOverflow) << "1e30";
  EXPECT_EQ(ErrorNumber([] { (void)Variant("79228162514264337593543950336").ToDecimal(); }), kErrOverflow)
      << "2^96";
  EXPECT_EQ(Variant("79228162514264337593543950335").ToDecimal().ToString(), "79228162514264337593543950335");
}

TEST(Variant, ToDateFromNumbersAndText) {
  struct Case {
    Variant value;
    double serial;
  } cases[] = {
      {Variant(36526.5), 36526.5},
      {Variant(), 0.0},
      {Variant(true), -1.0},
      {Variant("2000-01-01"), 36526.0},
      {Variant("2000-01-01 12:00"), 36526.5},
      {Variant("2000-01-01T18:00:00"), 36526.75},
      {Variant("06:00:00"), 0.25},
      {Variant("6:00"), 0.25},
      {Variant("2000-01-01 6:00:00"), 36526.25},
      {Variant(Currency::FromTicks(15000)), 1.5},
      {Variant(-657434.0), -657434.0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.ToDate().Serial(), c.serial) << c.value.ToString();
  }
  for (const char* text :
       {"2021-02-30", "2000-13-01", "yesterday", "2000-01-01 25:00", "45000", "6:0", "123:00", ":00", "6:"}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Variant(text).ToDate(); }), kErrTypeMismatch) << text;
  }
  for (double serial : {2958466.0, -657435.0, 1e300}) {
    EXPECT_EQ(ErrorNumber([&] { (void)Variant(serial).ToDate(); }), kErrOverflow) << FormatDouble(serial);
  }
}

TEST(Variant, EqualityNeedsTheSameKindAndValue) {
  EXPECT_EQ(Variant(), Variant());
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  EXPECT_EQ(Variant(1), Variant(1));
  EXPECT_NE(Variant(1), Variant(std::int16_t{1}));
  EXPECT_NE(Variant(1), Variant(1.0));
  EXPECT_NE(Variant("1"), Variant(1));
  EXPECT_EQ(Variant("a"), Variant(std::string("a")));
  EXPECT_NE(Variant(Decimal{15, 1}), Variant(Decimal{150, 2}));
  EXPECT_EQ(ArrayOf(1, {1, "a", ArrayOf(0, {true})}), ArrayOf(1, {1, "a", ArrayOf(0, {true})}));
  EXPECT_NE(ArrayOf(1, {1, "a"}), ArrayOf(0, {1, "a"}));
  EXPECT_NE(ArrayOf(0, {1, "a"}), ArrayOf(0, {1, "b"}));
  EXPECT_EQ(Variant(Bytes{1, 2}), Variant(Bytes{1, 2}));
  EXPECT_NE(Variant(Bytes{1, 2}), Variant(Bytes{1}));
  EXPECT_NE(Variant(Bytes{1}), ArrayOf(0, {std::uint8_t{1}}));
}

}  // namespace
}  // namespace platform
