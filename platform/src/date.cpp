#include "platform/date.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "value_text.h"

namespace platform {

namespace {

constexpr long long kMillisecondsPerDay = 86'400'000;
// Days from 1970-01-01 back to the serial origin 1899-12-30.
constexpr long long kSerialOriginFromUnix = -25'569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(long long z, DateParts& parts) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp < 10 ? mp + 3 : mp - 9;
  parts.year = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
  parts.month = static_cast<int>(m);
  parts.day = static_cast<int>(d);
}

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

struct DayAndTime {
  long long day = 0;           // serial day number
  long long time_in_unit = 0;  // time of day in multiples of the unit
};

// Splits a serial into its day and its time of day, counted in `unit_ms` steps and
// rounded to the nearest step. The runtime keeps the time of day as the fraction's
// size even for negative serials: -1.25 is 29 December 1899, 06:00.
DayAndTime Split(double serial, long long unit_ms) {
  // Far outside the runtime's years 100 to 9999; no calendar date to give.
  if (!(std::fabs(serial) < 1e8)) RaiseError(kErrOverflow);
  double whole = std::trunc(serial);
  double fraction = std::fabs(serial - whole);
  const long long units_per_day = kMillisecondsPerDay / unit_ms;
  DayAndTime out{static_cast<long long>(whole), std::llround(fraction * static_cast<double>(units_per_day))};
  if (out.time_in_unit >= units_per_day) {  // rounded up to the next midnight
    out.time_in_unit = 0;
    out.day += 1;
  }
  return out;
}

}  // namespace

Date Date::FromParts(const DateParts& p) {
  if (p.year < 100 || p.year > 9999 || p.month < 1 || p.month > 12 || p.day < 1 ||
      p.day > DaysInMonth(p.year, p.month) || p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 ||
      p.second < 0 || p.second > 59 || p.millisecond < 0 || p.millisecond > 999) {
    RaiseError(kErrInvalidProcedureCall);
  }
  const long long day = DaysFromCivil(p.year, p.month, p.day) - kSerialOriginFromUnix;
  const long long ms = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
  const double time = static_cast<double>(ms) / static_cast<double>(kMillisecondsPerDay);
  // Before the origin the time of day is subtracted: the fraction still reads as time.
  return Date(day < 0 ? static_cast<double>(day) - time : static_cast<double>(day) + time);
}

Date Date::Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  return FromParts({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                    local.tm_sec, static_cast<int>(ms < 0 ? ms + 1000 : ms)});
}

DateParts Date::Parts() const {
  const DayAndTime split = Split(serial_, 1);
  DateParts parts;
  CivilFromDays(split.day + kSerialOriginFromUnix, parts);
  long long ms = split.time_in_unit;
  parts.millisecond = static_cast<int>(ms % 1000);
  ms /= 1000;
  parts.second = static_cast<int>(ms % 60);
  ms /= 60;
  parts.minute = static_cast<int>(ms % 60);
  parts.hour = static_cast<int>(ms / 60);
  return parts;
}

int Date::Weekday() const {
  // Serial day 0, 30 December 1899, was a Saturday (7).
  const long long day = Split(serial_, 1).day;
  return static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;
}

std::string Date::ToString() const {
  // Shown to the second, rounded as the runtime shows times.
  const DayAndTime split = Split(serial_, 1000);
  DateParts parts;
  CivilFromDays(split.day + kSerialOriginFromUnix, parts);
  const long long s = split.time_in_unit;
  char buffer[48];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parts.year, parts.month, parts.day);
  if (s != 0) {
    std::snprintf(buffer + n, sizeof buffer - static_cast<std::size_t>(n), " %02lld:%02lld:%02lld", s / 3600,
                  s / 60 % 60, s % 60);
  }
  return buffer;
}

}  // namespace platform
