// Dates and times: the datetime representation, text formats, and reading text dates as SQL Server reads
// them under the session's DATEFORMAT.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

#include "catalog/value_support.h"

namespace standin {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const int64_t kEpoch1900 = DaysFromCivil(1900, 1, 1);

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return 29;
  return kDays[m - 1];
}

std::string DateTimeStyle0(const DateTime& dt) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, d;
  CivilFromDays(kEpoch1900 + dt.days, y, m, d);
  int minutes = static_cast<int>(dt.ticks / 300 / 60);
  int hour = minutes / 60;
  int minute = minutes % 60;
  int h12 = hour % 12 == 0 ? 12 : hour % 12;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %2d %d %2d:%02d%s", kMonths[m - 1], d, y, h12, minute,
                hour < 12 ? "AM" : "PM");
  return buf;
}

DateTime DateTimeFromParts(int year, int month, int day, int hour, int minute, int second, int millis) {
  DateTime dt;
  dt.days = static_cast<int32_t>(DaysFromCivil(year, month, day) - kEpoch1900);
  // datetime keeps 1/300 s; SQL Server rounds milliseconds to .000, .003 or .007.
  dt.ticks = static_cast<uint32_t>((hour * 3600 + minute * 60 + second) * 300 + (millis * 3 + 5) / 10);
  return dt;
}

DateTime RoundToMinute(const DateTime& dt) {
  DateTime out = dt;
  uint32_t minute_ticks = 60 * 300;
  // 29.998 seconds or less round down, 29.999 and more round up; datetime stores the latter as 30.000.
  out.ticks = (dt.ticks + minute_ticks / 2) / minute_ticks * minute_ticks;
  if (out.ticks >= 24u * 3600 * 300) {
    out.ticks = 0;
    ++out.days;
  }
  return out;
}

std::string FormatDateTime(const DateTime& dt, bool small) {
  int y, m, d;
  CivilFromDays(kEpoch1900 + dt.days, y, m, d);
  uint32_t secs = dt.ticks / 300;
  int millis = static_cast<int>(((dt.ticks % 300) * 10 + 1) / 3);
  char buf[48];
  if (small) {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:00", y, m, d, secs / 3600, secs / 60 % 60);
  } else {
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02u:%02u:%02u.%03d", y, m, d, secs / 3600, secs / 60 % 60,
                  secs % 60, millis);
  }
  return buf;
}

std::optional<DateOrder> ParseDateOrder(std::string_view text) {
  static const std::pair<const char*, DateOrder> kOrders[] = {
      {"mdy", DateOrder::kMdy}, {"dmy", DateOrder::kDmy}, {"ymd", DateOrder::kYmd},
      {"ydm", DateOrder::kYdm}, {"myd", DateOrder::kMyd}, {"dym", DateOrder::kDym}};
  for (const auto& [name, order] : kOrders) {
    if (NamesEqual(text, name)) return order;
  }
  return std::nullopt;
}

std::string DateOrderName(DateOrder order) {
  static const char* kNames[] = {"mdy", "dmy", "ymd", "ydm", "myd", "dym"};
  return kNames[static_cast<int>(order)];
}

namespace {

bool AllDigits(const std::string& x) {
  return !x.empty() &&
         std::all_of(x.begin(), x.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::vector<std::string> SplitAt(const std::string& text, char delim) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == delim) {
      parts.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// A two-digit year: 00-49 are 2000-2049, 50-99 are 1950-1999 (the server's two-digit year cutoff).
int FullYear(const std::string& text) {
  int year = std::stoi(text);
  return text.size() <= 2 ? year + (year < 50 ? 2000 : 1900) : year;
}

// The date part: 241 for a malformed one. Year-first text is read y-m-d, except that for datetime and
// smalldatetime SQL Server reads "yyyy-mm-dd" as y-d-m when DATEFORMAT puts the day before the month (dmy);
// only ISO 8601 ("yyyy-mm-ddThh:mm:ss") and unseparated "yyyymmdd" read the same under every setting.
int ParseDatePart(const std::string& date_part, DateOrder order, bool iso, int& year, int& month, int& day) {
  if (AllDigits(date_part) && (date_part.size() == 8 || date_part.size() == 6)) {
    bool four = date_part.size() == 8;
    year = FullYear(date_part.substr(0, four ? 4 : 2));
    month = std::stoi(date_part.substr(four ? 4 : 2, 2));
    day = std::stoi(date_part.substr(four ? 6 : 4, 2));
    return 0;
  }
  auto delim = date_part.find_first_of("-/.");
  if (delim == std::string::npos) return 241;
  auto parts = SplitAt(date_part, date_part[delim]);
  if (parts.size() != 3) return 241;
  for (const auto& p : parts) {
    if (!AllDigits(p) || p.size() > 4) return 241;
  }
  std::string fields = DateOrderName(order);
  const bool day_first = fields.find('d') < fields.find('m');
  if (parts[0].size() == 4) {
    fields = !iso && day_first ? "ydm" : "ymd";
  } else if (parts[2].size() == 4 && fields[2] != 'y') {
    fields = day_first ? "dmy" : "mdy";  // a four-digit year written last is read as the year
  }
  for (size_t k = 0; k < 3; ++k) {
    if (fields[k] == 'y') {
      if (parts[k].size() == 3) return 241;
      year = FullYear(parts[k]);
    } else {
      if (parts[k].size() > 2) return 241;
      (fields[k] == 'm' ? month : day) = std::stoi(parts[k]);
    }
  }
  return 0;
}

// The time part "hh:mm[:ss[.fff]][AM|PM]": 241 when malformed, 242 when out of range.
int ParseTimePart(std::string t, int& hour, int& minute, int& second, int& millis) {
  bool pm = false, am = false;
  std::string lower = Lower(t);
  if (lower.size() > 2 && (lower.ends_with("pm") || lower.ends_with("am"))) {
    pm = lower.ends_with("pm");
    am = !pm;
    t = Trim(t.substr(0, t.size() - 2));
  }
  std::string frac;
  auto dot = t.find('.');
  if (dot != std::string::npos) {
    frac = t.substr(dot + 1);
    t = t.substr(0, dot);
  }
  auto parts = SplitAt(t, ':');
  if (parts.size() < 2 || parts.size() > 3) return 241;
  for (const auto& p : parts) {
    if (!AllDigits(p) || p.size() > 2) return 241;
  }
  if (!frac.empty() && (!AllDigits(frac) || frac.size() > 7)) return 241;
  hour = std::stoi(parts[0]);
  minute = std::stoi(parts[1]);
  second = parts.size() == 3 ? std::stoi(parts[2]) : 0;
  if (!frac.empty()) millis = static_cast<int>(std::lround(std::stod("0." + frac) * 1000));
  if ((am || pm) && hour > 12) return 241;
  if (pm && hour < 12) hour += 12;
  if (am && hour == 12) hour = 0;
  if (hour > 23 || minute > 59 || second > 59) return 242;
  return 0;
}

}  // namespace

std::optional<DateTime> ParseDateTime(std::string_view input, SqlError* error, DateOrder order) {
  auto fail = [&](int number) -> std::optional<DateTime> {
    if (error) {
      *error = number == 241
                   ? ConversionError(
                         241, "Conversion failed when converting date and/or time from character string.")
                   : ConversionError(242,
                                     "The conversion of a nvarchar data type to a datetime data type "
                                     "resulted in an out-of-range value.");
    }
    return std::nullopt;
  };
  std::string s = Trim(input);
  if (s.empty()) return DateTime{};  // '' converts to 1900-01-01
  std::string date_part = s, time_part;
  auto sep = s.find_first_of(" T");
  const bool iso = sep != std::string::npos && s[sep] == 'T';
  if (sep != std::string::npos) {
    date_part = s.substr(0, sep);
    time_part = Trim(s.substr(sep + 1));
  } else if (s.find(':') != std::string::npos) {
    date_part.clear();
    time_part = s;
  }
  int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0, millis = 0;
  if (!date_part.empty()) {
    if (int e = ParseDatePart(date_part, order, iso, year, month, day)) return fail(e);
  }
  if (!time_part.empty()) {
    if (int e = ParseTimePart(time_part, hour, minute, second, millis)) return fail(e);
  }
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return fail(242);
  if (year < 1753 || year > 9999) return fail(242);
  DateTime dt = DateTimeFromParts(year, month, day, hour, minute, second, 0);
  dt.ticks += static_cast<uint32_t>((millis * 3 + 5) / 10);
  if (dt.ticks >= 24u * 3600 * 300) {
    dt.ticks -= 24u * 3600 * 300;
    ++dt.days;
  }
  return dt;
}

}  // namespace standin
