// Helpers shared by the value sources (value.cpp, dates.cpp, conversion.cpp); not part of the stand-in's
// interface.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalog/value.h"

namespace standin {

std::string TypeWord(const SqlType& t);  // the base type's name, never an alias
SqlError ConversionError(int number, std::string text);
bool ParseInt64(std::string_view s, int64_t& out);
bool ParseDecimalText(std::string_view s, Decimal& out);
int64_t Pow10(int n);
// Rescales with rounding half away from zero; false on overflow.
bool Rescale(Decimal d, int scale, int64_t& out);
double ToDouble(const Value& v);

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d);
void CivilFromDays(int64_t z, int& y, int& m, int& d);
extern const int64_t kEpoch1900;
int DaysInMonth(int y, int m);
// CONVERT(varchar, datetime) style 0, as implicit conversion to text gives it: "Jan  5 2024  9:30AM".
std::string DateTimeStyle0(const DateTime& dt);

}  // namespace standin
