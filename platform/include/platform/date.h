// Date and time as the classic runtime holds it: days since 30 December 1899 in the
// whole part, the time of day as a fraction of a day.
#pragma once

#include <compare>
#include <string>

namespace platform {

struct DateParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class Date {
 public:
  constexpr Date() = default;
  constexpr explicit Date(double serial) : serial_(serial) {}

  // Throws Error(kErrInvalidProcedureCall) for a month outside 1..12 or a day
  // that the month does not have, a year outside the runtime's 100..9999, or a time
  // part out of its range (hour 0..23, minute and second 0..59, millisecond 0..999).
  static Date FromParts(const DateParts& parts);
  static Date FromYmd(int year, int month, int day) { return FromParts({year, month, day}); }
  // The current local date and time.
  static Date Now();

  [[nodiscard]] constexpr double Serial() const { return serial_; }
  // Parts, Weekday and ToString throw Error(kErrOverflow) for a serial that has no
  // calendar date (NaN, infinite, or hundreds of thousands of years away).
  [[nodiscard]] DateParts Parts() const;
  // 1 = Sunday ... 7 = Saturday.
  [[nodiscard]] int Weekday() const;
  // "yyyy-mm-dd hh:mm:ss" (time left out when it is midnight).
  [[nodiscard]] std::string ToString() const;

  constexpr auto operator<=>(const Date&) const = default;

 private:
  double serial_ = 0.0;
};

}  // namespace platform
