// Values from text: any text through every conversion of Variant and through
// Currency::Parse gives a value or the documented error (13 type mismatch, 6
// overflow); and numbers, money, dates and decimals made from the input's first
// bytes format to text that parses back to the same value.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>

#include "platform/currency.h"
#include "platform/date.h"
#include "platform/error.h"
#include "platform/variant.h"

namespace {

using platform::Variant;

[[noreturn]] void Fail(const std::string& what, const std::string& text) {
  std::cerr << what << ": [" << text << "]\n";
  std::abort();
}

// A decimal text without the zeros that do not change its value: "-0.500" gives
// "-0.5", "0.000" gives "0".
std::string Normalized(std::string text) {
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  return text == "-0" ? "0" : text;
}

// Runs `convert`; 0 when it gave a value, else the number of its documented failure.
int Converts(const std::function<void()>& convert, const std::string& text) {
  try {
    convert();
    return 0;
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrTypeMismatch && error.Number() != platform::kErrOverflow) {
      Fail("undocumented error " + std::to_string(error.Number()), text);
    }
    return error.Number();
  }
}

void AnyText(const std::string& text) {
  const Variant v(text);
  // A number too large for a double is numeric all the same, and overflows.
  const bool number = Converts([&] { (void)v.ToDouble(); }, text) != platform::kErrTypeMismatch;
  if (number != v.IsNumeric()) Fail("IsNumeric disagrees with ToDouble", text);
  Converts([&] { (void)v.ToLong(); }, text);
  Converts([&] { (void)v.ToInteger(); }, text);
  Converts([&] { (void)v.ToBool(); }, text);
  Converts([&] { (void)v.ToCurrency(); }, text);
  Converts([&] { (void)v.ToDecimal(); }, text);
  Converts([&] { (void)v.ToDate().ToString(); }, text);
  Converts([&] { (void)platform::Currency::Parse(text); }, text);
}

void RoundTrips(FuzzedDataProvider& in) {
  const auto bits = in.ConsumeIntegral<std::uint64_t>();
  const auto small = in.ConsumeIntegral<std::int32_t>();

  const auto money = platform::Currency::FromTicks(static_cast<std::int64_t>(bits));
  const std::string money_text = Variant(money).ToString();
  if (platform::Currency::Parse(money_text) != money) Fail("Currency::Parse does not read back", money_text);
  if (Variant(money_text).ToCurrency() != money) Fail("Currency text does not read back", money_text);

  if (Variant(small).ToString() != std::to_string(small) ||
      Variant(std::to_string(small)).ToLong() != small) {
    Fail("Long text does not read back", std::to_string(small));
  }

  double real;
  std::memcpy(&real, &bits, sizeof real);
  if (std::isfinite(real)) {
    // Fifteen significant digits: the text read back formats to the same text. Near
    // the largest double the rounded text lies beyond it and reads as overflow, as
    // the runtime's own does.
    const std::string text = Variant(real).ToString();
    try {
      if (Variant(Variant(text).ToDouble()).ToString() != text) Fail("Double text does not read back", text);
    } catch (const platform::Error& error) {
      if (error.Number() != platform::kErrOverflow || std::fabs(real) < 1.7976931348623e308) {
        Fail("Double text does not read back", text);
      }
    }
  }

  // A date with whole seconds in the runtime's years 100 to 9999.
  const double serial = -657434.0 + static_cast<double>(bits % (2958466ULL + 657434ULL)) +
                        static_cast<double>(static_cast<std::uint32_t>(small) % 86400U) / 86400.0;
  const std::string date_text = Variant(platform::Date(serial)).ToString();
  const std::string again = Variant(Variant(date_text).ToDate()).ToString();
  if (again != date_text) Fail("Date text does not read back as " + again, date_text);

  platform::Decimal decimal;
  decimal.value = static_cast<std::int64_t>(bits);
  decimal.scale = static_cast<int>(static_cast<std::uint32_t>(small) % 29U);
  const std::string decimal_text = Variant(decimal).ToString();
  if (Normalized(Variant(decimal_text).ToDecimal().ToString()) != Normalized(decimal_text)) {
    Fail("Decimal text does not read back", decimal_text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  RoundTrips(in);
  AnyText(in.ConsumeRemainingBytesAsString());
  return 0;
}
