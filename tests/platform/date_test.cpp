#include "platform/date.h"

#include <gtest/gtest.h>

#include "error_number.h"
#include "platform/error.h"

namespace platform {
namespace {

using testsupport::ErrorNumber;

struct SerialCase {
  DateParts parts;
  double serial;
};

// Serials as the runtime numbers them; before the origin the whole part counts days
// back and the fraction still reads as the time of day.
const SerialCase kSerials[] = {
    {{1899, 12, 30}, 0.0},    {{1899, 12, 31}, 1.0},       {{1900, 1, 1}, 2.0},
    {{1900, 3, 1}, 61.0},  // 1900 is no leap year here
    {{2000, 1, 1}, 36526.0},  {{2000, 1, 1, 12}, 36526.5}, {{2000, 1, 1, 18}, 36526.75},
    {{1899, 12, 29}, -1.0},   {{1899, 12, 29, 6}, -1.25},  {{1899, 12, 28, 18}, -2.75},
    {{100, 1, 1}, -657434.0}, {{9999, 12, 31}, 2958465.0},
};

TEST(Date, FromPartsGivesTheRuntimeSerial) {
  for (const SerialCase& c : kSerials) {
    EXPECT_DOUBLE_EQ(Date::FromParts(c.parts).Serial(), c.serial) << c.serial;
  }
}

TEST(Date, PartsOfASerial) {
  for (const SerialCase& c : kSerials) {
    const DateParts p = Date(c.serial).Parts();
    EXPECT_EQ(p.year, c.parts.year) << c.serial;
    EXPECT_EQ(p.month, c.parts.month) << c.serial;
    EXPECT_EQ(p.day, c.parts.day) << c.serial;
    EXPECT_EQ(p.hour, c.parts.hour) << c.serial;
    EXPECT_EQ(p.minute, 0) << c.serial;
  }
  // Half a day before the origin keeps day 0: the whole part is cut toward zero.
  EXPECT_EQ(Date(-0.5).Parts().day, 30);
  EXPECT_EQ(Date(-0.5).Parts().hour, 12);

  const DateParts p = Date::FromParts({2024, 2, 29, 23, 59, 58, 250}).Parts();
  EXPECT_EQ(p.month, 2);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 23);
  EXPECT_EQ(p.minute, 59);
  EXPECT_EQ(p.second, 58);
  EXPECT_EQ(p.millisecond, 250);
}

TEST(Date, WholeDaysRoundTripAcrossTheRange) {
  for (double serial = -657434; serial <= 2958465; serial += 997) {
    EXPECT_EQ(Date::FromParts(Date(serial).Parts()).Serial(), serial);
  }
}

TEST(Date, InvalidPartsAreInvalidProcedureCall) {
  const DateParts bad[] = {
      {2023, 13, 1},       {2023, 0, 1},           {2023, 2, 29},
      {1900, 2, 29},       {2023, 4, 31},          {2023, 1, 0},
      {99, 1, 1},          {10000, 1, 1},          {2023, 1, 1, 24},
      {2023, 1, 1, 0, 60}, {2023, 1, 1, 0, 0, 60}, {2023, 1, 1, 0, 0, 0, 1000},
      {2023, 1, 1, -1},
  };
  for (const DateParts& p : bad) {
    EXPECT_EQ(ErrorNumber([&] { (void)Date::FromParts(p); }), kErrInvalidProcedureCall)
        << p.year << "-" << p.month << "-" << p.day;
  }
  EXPECT_EQ(Date::FromYmd(2024, 2, 29).Parts().day, 29);
}

TEST(Date, WeekdayCountsFromSunday) {
  struct Case {
    double serial;
    int weekday;
  } cases[] = {
      {0, 7}, {1, 1}, {36526, 7}, {36526.9, 7}, {-6, 1}, {-1.5, 6}, {-7, 7}, {45351, 5},  // 2024-02-29
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Date(c.serial).Weekday(), c.weekday) << c.serial;
  }
}

TEST(Date, ToStringLeavesOutMidnight) {
  struct Case {
    double serial;
    const char* text;
  } cases[] = {
      {36526, "2000-01-01"},
      {36526.5, "2000-01-01 12:00:00"},
      {-1.25, "1899-12-29 06:00:00"},
      {0.6 / 86400, "1899-12-30 00:00:01"},  // to the nearest second
      {0.99999999, "1899-12-31"},            // rounds to the next midnight
      {2958465.99998843, "9999-12-31 23:59:59"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Date(c.serial).ToString(), c.text) << c.serial;
  }
}

TEST(Date, SerialWithoutACalendarDateIsOverflow) {
  EXPECT_EQ(ErrorNumber([] { (void)Date(1e300).ToString(); }), kErrOverflow);
}

}  // namespace
}  // namespace platform
