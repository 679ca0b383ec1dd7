#include "catalog/value.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

struct DateCase {
  const char* text;
  const char* expected;  // formatted datetime, or nullptr when an error is expected
  int error;
  DateOrder order = DateOrder::kMdy;
};

TEST(ParseDateTime, ReadsTheFormatsUnderEachDateOrderAndRejectsTheRest) {
  const DateCase cases[] = {
      {"2024-03-01 10:15:00", "2024-03-01 10:15:00.000", 0},
      {"2024-03-01T10:15:30.5", "2024-03-01 10:15:30.500", 0},
      {"20240302", "2024-03-02 00:00:00.000", 0},
      {"03/04/2024 16:20", "2024-03-04 16:20:00.000", 0},  // month first under us_english
      {"3/4/24", "2024-03-04 00:00:00.000", 0},
      {"2024-04-30", "2024-04-30 00:00:00.000", 0},
      {"12/31/1999 11:59 PM", "1999-12-31 23:59:00.000", 0},
      {"  2024-01-05  ", "2024-01-05 00:00:00.000", 0},
      {"", "1900-01-01 00:00:00.000", 0},  // the empty string is day zero
      {"10:30", "1900-01-01 10:30:00.000", 0},
      {"2024-01-05 10:00:00.003", "2024-01-05 10:00:00.003", 0},
      {"ontem", nullptr, 241},
      {"2024-13-01", nullptr, 242},
      {"2024-02-30", nullptr, 242},
      {"2023-02-29", nullptr, 242},
      {"1752-12-31", nullptr, 242},
      {"25/12/2024", nullptr, 242},  // day first is out of range under mdy
      {"2024-01-05 25:00", nullptr, 242},
      {"2024/01", nullptr, 241},
      {"01-02-03-04", nullptr, 241},
      // Day first (dmy, the order of Português): yyyy-mm-dd is read year, day, month; ISO 8601 and yyyymmdd
      // read the same under every order.
      {"03/04/2024", "2024-04-03 00:00:00.000", 0, DateOrder::kDmy},
      {"13/04/2024 08:00", "2024-04-13 08:00:00.000", 0, DateOrder::kDmy},
      {"04/13/2024", nullptr, 242, DateOrder::kDmy},
      {"2024-03-04 10:15:00", "2024-04-03 10:15:00.000", 0, DateOrder::kDmy},
      {"2024-03-25 10:15:00", nullptr, 242, DateOrder::kDmy},
      {"2024-03-04T10:15:00", "2024-03-04 10:15:00.000", 0, DateOrder::kDmy},
      {"20240304 10:15:00", "2024-03-04 10:15:00.000", 0, DateOrder::kDmy},
      {"24/03/04", "2024-04-03 00:00:00.000", 0, DateOrder::kYdm},
      {"24/03/04", "2024-03-04 00:00:00.000", 0, DateOrder::kYmd},
      {"2024-03-04", "2024-03-04 00:00:00.000", 0, DateOrder::kYmd},
  };
  for (const auto& c : cases) {
    SqlError error;
    auto parsed = ParseDateTime(c.text, &error, c.order);
    if (c.expected) {
      ASSERT_TRUE(parsed.has_value()) << c.text;
      EXPECT_EQ(FormatDateTime(*parsed), c.expected) << c.text;
    } else {
      EXPECT_FALSE(parsed.has_value()) << c.text;
      EXPECT_EQ(error.number, c.error) << c.text;
    }
  }
}

struct ConversionCase {
  Value value;
  const char* from;
  const char* to;
  const char* expected;  // ToText of the result, or nullptr
  int error;
};

TEST(ConvertValue, FollowsTheServersImplicitConversions) {
  const ConversionCase cases[] = {
      {Value("2024-03-01 10:15"), "nvarchar(20)", "datetime", "2024-03-01 10:15:00.000", 0},
      {Value("ontem"), "nvarchar(20)", "datetime", nullptr, 241},
      {Value("2024-02-30"), "varchar(20)", "datetime", nullptr, 242},
      {Value("2080-01-01"), "nvarchar(20)", "smalldatetime", nullptr, 242},
      {Value(DateTimeFromParts(2024, 1, 5, 9, 30, 29, 0)), "datetime", "smalldatetime",
       "2024-01-05 09:30:00.000", 0},
      {Value(DateTimeFromParts(2024, 1, 5, 9, 30, 30, 0)), "datetime", "smalldatetime",
       "2024-01-05 09:31:00.000", 0},
      {Value(DateTimeFromParts(2024, 1, 5, 14, 5, 0, 0)), "smalldatetime", "nvarchar(30)",
       "Jan  5 2024  2:05PM", 0},
      {Value(DateTimeFromParts(2024, 1, 5, 14, 5, 0, 0)), "smalldatetime", "nvarchar(10)", nullptr, 8152},
      {Value("abc"), "nvarchar(10)", "int", nullptr, 245},
      {Value(" 42 "), "nvarchar(10)", "int", "42", 0},
      {Value(300), "int", "tinyint", nullptr, 220},
      {Value(int64_t{5000000000}), "bigint", "int", nullptr, 8115},
      {Value("12.345"), "varchar(10)", "decimal(5,2)", "12.35", 0},
      {Value("1e"), "varchar(10)", "decimal(5,2)", nullptr, 8114},
      {Value("12345.6"), "varchar(10)", "decimal(5,2)", nullptr, 8115},
      {Value(Bytes{1, 2}), "varbinary(10)", "datetime", nullptr, 206},
      {Value(Bytes{1, 2}), "varbinary(10)", "nvarchar(10)", nullptr, 257},
      {Value{}, "nvarchar(10)", "datetime", "NULL", 0},
  };
  for (const auto& c : cases) {
    auto r = ConvertValue(c.value, *ParseSqlType(c.from), *ParseSqlType(c.to));
    std::string label = c.value.ToText() + " " + c.from + "->" + c.to;
    if (c.expected) {
      EXPECT_FALSE(r.error.has_value()) << label << ": " << (r.error ? r.error->text : "");
      EXPECT_EQ(r.value.ToText(), c.expected) << label;
    } else {
      ASSERT_TRUE(r.error.has_value()) << label;
      EXPECT_EQ(r.error->number, c.error) << label;
    }
  }
}

TEST(ParseSqlType, ReadsTypesAsDdlWritesThem) {
  struct Case {
    const char* text;
    const char* decl;  // nullptr: rejected
  } cases[] = {
      {"datetime", "datetime"},           {"nvarchar (10)", "nvarchar(10)"},
      {"NVARCHAR(MAX)", "nvarchar(max)"}, {"decimal(10, 2)", "decimal(10,2)"},
      {"varchar", "varchar(1)"},          {"sysname", "sysname"},
      {"nvarchar(4001)", nullptr},        {"char(max)", nullptr},
      {"datetime(3)", nullptr},           {"notatype", nullptr},
      {"decimal(40,2)", nullptr},
  };
  for (const auto& c : cases) {
    auto t = ParseSqlType(c.text);
    if (c.decl) {
      ASSERT_TRUE(t.has_value()) << c.text;
      EXPECT_EQ(t->DeclText(), c.decl);
    } else {
      EXPECT_FALSE(t.has_value()) << c.text;
    }
  }
}

TEST(LikeMatch, IsCaseInsensitiveWithTheServersWildcards) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"Parvimar01", "Parvimar%", true},
      {"PARVIMAR01", "parvimar%", true},
      {"XParvimar", "Parvimar%", false},
      {"Parvimar", "Parvimar%", true},
      {"Parvimar01", "Parvimar_1", true},
      {"Parvimar001", "Parvimar_1", false},
      {"Parvimar01", "Parvimar[0-9]%", true},
      {"ParvimarX", "Parvimar[^X]%", false},
      {"abc", "%B%", true},
      {"abc", "a%c%", true},
      {"ab", "a_c", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(LikeMatch(c.text, c.pattern), c.match) << c.text << " LIKE " << c.pattern;
}

}  // namespace
}  // namespace standin
