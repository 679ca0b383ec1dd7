// Rounding of money amounts and other numbers.
//
// The digit-based steps (truncate, round up, tens/hundreds/thousands, integer part)
// work on the magnitude and keep the sign, so a negative amount gives the mirror image
// of the positive one. The steps that round the value itself keep their own rule for
// negatives: ArredondaVal's half up adds one ten-thousandth before rounding ties to
// even, so a negative tie moves toward zero, as amounts stored by earlier versions were
// rounded.
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "digit_text.h"
#include "platform/error.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

using platform::Currency;
using platform::Variant;
using util_internal::DigitText;
using util_internal::TenStep;

namespace {

constexpr std::int64_t kTicksPerUnit = Currency::kScale;

int FractionCount(const DigitText& value) {
  return static_cast<int>(value.fraction.size());
}

// ArredondaVal's round half up to `d` places: one ten-thousandth is added when the last
// fraction digit is 5 and fewer than four places are asked for, which moves only ties
// (upward), then the value is rounded with ties to even. Fails (nothing) for negative
// places and when the addition leaves the currency range.
std::optional<DigitText> HalfUpPlaces(std::int64_t ticks, const DigitText& value, int d) {
  if (d < 0) return std::nullopt;
  if (d < 4 && !value.fraction.empty() && value.fraction.back() == '5') {
    if (ticks == std::numeric_limits<std::int64_t>::max()) return std::nullopt;
    return util_internal::RoundHalfEven(util_internal::FromTicks(ticks + 1), d);
  }
  return util_internal::RoundHalfEven(value, d);
}

// The result of a failure-ignoring operation: each step that succeeds replaces it, a
// step that fails (no value, or one outside the currency range) is skipped, and a
// result never formed is zero. The tens step works on the value reached, so it is
// skipped too when no value was reached.
class StepResult {
 public:
  void Set(const std::optional<DigitText>& value) {
    if (!value) return;
    if (const auto ticks = util_internal::ToTicks(*value)) {
      ticks_ = *ticks;
      formed_ = true;
    }
  }
  void Tens(int places, TenStep step) {
    if (formed_) Set(util_internal::RoundTens(util_internal::FromTicks(ticks_), places, step));
  }
  [[nodiscard]] Currency Value() const { return Currency::FromTicks(ticks_); }

 private:
  std::int64_t ticks_ = 0;
  bool formed_ = false;
};

// ArredondaVal with one or more decimal places in force.
Currency ArredondaValPlaces(std::int64_t ticks, const DigitText& value, int d, std::int32_t tipo) {
  using namespace util_internal;
  StepResult result;
  const bool dropped = FractionCount(value) > d;
  if (tipo < 0 || tipo == 1) {
    result.Set(HalfUpPlaces(ticks, value, d));
  } else if (tipo <= 4) {
    // Half up on the magnitude: the same as mode 1 for a positive value, mirrored for
    // a negative one like the tens step that follows.
    result.Set(RoundHalfAway(value, d));
    result.Tens(tipo - 1, TenStep::kHalfUp);
  } else if (tipo == 5 || tipo >= 16) {
    result.Set(Truncate(value, d));
  } else if (tipo <= 8) {
    result.Set(Truncate(value, d));
    result.Tens(tipo - 5, TenStep::kDown);
  } else if (tipo == 9) {
    result.Set(RoundUp(value, d, dropped));
  } else if (tipo <= 12) {
    result.Set(RoundUp(value, d, dropped));
    result.Tens(tipo - 9, TenStep::kUp);
  } else if (tipo == 13) {
    result.Set(HalfUpPlaces(ticks, value, 0));
  } else if (tipo == 14) {
    result.Set(Truncate(value, 0));
  } else {  // 15: the value has a fraction here
    result.Set(RoundUp(value, 0, true));
  }
  return result.Value();
}

// ArredondaVal with no decimal places in force (asked for none, or a whole value); a
// negative number of places makes the half-up rounding fail.
Currency ArredondaValWhole(const DigitText& value, int d, std::int32_t tipo) {
  using namespace util_internal;
  StepResult result;
  const bool has_fraction = !value.fraction.empty();
  const auto half_up = [&]() -> std::optional<DigitText> {
    if (d < 0) return std::nullopt;
    return RoundWholeHundredthUp(value);
  };
  if (tipo < 0 || tipo == 1 || tipo == 13) {
    result.Set(half_up());
  } else if (tipo <= 4) {
    if (d == 0) result.Set(RoundHalfAway(value, 0));
    result.Tens(tipo - 1, TenStep::kHalfUp);
  } else if (tipo == 5 || tipo == 14 || tipo >= 16) {
    result.Set(Truncate(value, 0));
  } else if (tipo <= 8) {
    result.Set(Truncate(value, 0));
    result.Tens(tipo - 5, TenStep::kDown);
  } else if (tipo == 9 || tipo == 15) {
    result.Set(RoundUp(value, 0, has_fraction));
  } else {  // 10 to 12
    result.Set(RoundUp(value, 0, has_fraction));
    result.Tens(tipo - 9, TenStep::kUp);
  }
  return result.Value();
}

// The digits of a numeric variant, and the kind its rounding keeps.
struct NumberDigits {
  DigitText digits;
  enum class Kind { kDouble, kSingle, kCurrency, kDecimal } kind = Kind::kDouble;
};

// Currency and decimal values have exact fraction digits; a single shows the 7 and
// every other number (a double, a numeric text, a date, a boolean) the 15 significant
// digits of its text. Throws the conversion's error for a value that is not a number.
std::optional<NumberDigits> DigitsOf(const Variant& value) {
  using Kind = NumberDigits::Kind;
  if (const auto* c = value.Get<Currency>())
    return NumberDigits{util_internal::FromTicks(c->Ticks()), Kind::kCurrency};
  if (const auto* d = value.Get<platform::Decimal>())
    return NumberDigits{util_internal::FromDecimal(*d), Kind::kDecimal};
  if (const auto* f = value.Get<float>()) {
    const auto digits = util_internal::FromFloating(*f, 7);
    if (!digits) return std::nullopt;
    return NumberDigits{*digits, Kind::kSingle};
  }
  const auto digits = util_internal::FromFloating(value.ToDouble(), 15);
  if (!digits) return std::nullopt;
  return NumberDigits{*digits, Kind::kDouble};
}

// The rounded value in the kind of the value it came from.
Variant InKind(const DigitText& digits, NumberDigits::Kind kind) {
  using Kind = NumberDigits::Kind;
  switch (kind) {
    case Kind::kCurrency:
      if (const auto ticks = util_internal::ToTicks(digits)) return Variant(Currency::FromTicks(*ticks));
      return Variant();
    case Kind::kDecimal:
      if (const auto decimal = util_internal::ToDecimal(digits)) return Variant(*decimal);
      return Variant();
    case Kind::kSingle:
      return Variant(static_cast<float>(util_internal::ToDouble(digits)));
    case Kind::kDouble:
      break;
  }
  return Variant(util_internal::ToDouble(digits));
}

}  // namespace

Currency EDiv::Arredonda(const Currency& Num, std::int16_t NumCasas) const {
  std::int16_t comp = 0;
  return Arredonda(Num, NumCasas, comp);
}

Currency EDiv::Arredonda(const Currency& Num, std::int16_t NumCasas, std::int16_t& Comp) const {
  if (Comp == 0) Comp = 12;
  // The width is a count of "#" in a number pattern; the pattern never cuts integer
  // digits off, so only a negative width (which cannot build a pattern) matters.
  if (Comp < 0) platform::RaiseError(platform::kErrInvalidProcedureCall);
  if (NumCasas < 0 || NumCasas > 4) {
    platform::MsgBox("O Número de casas Decimais tem que ser  entre (0 e 4)", platform::kMsgBoxPlain);
    return Currency();
  }
  // Half away from zero at the last decimal place, in exact decimal arithmetic (the
  // same result as formatting and reading back with "." as the decimal separator).
  std::int64_t unit = 1;
  for (int i = NumCasas; i < 4; ++i) unit *= 10;
  const std::int64_t ticks = Num.Ticks();
  std::int64_t quotient = ticks / unit;
  const std::int64_t remainder = ticks % unit;
  if (remainder != 0 && (remainder > 0 ? remainder : -remainder) * 2 >= unit) quotient += ticks > 0 ? 1 : -1;
  std::int64_t result = 0;
  if (__builtin_mul_overflow(quotient, unit, &result)) platform::RaiseError(platform::kErrOverflow);
  return Currency::FromTicks(result);
}

Variant EDiv::ArredondaDez(const Currency& Numero, std::int16_t UpDown) const {
  const std::int64_t whole = Arredonda(Numero, 0).Ticks() / kTicksPerUnit;
  std::int64_t tens = whole - whole % 10;
  if (UpDown >= 1) tens += whole < 0 ? -10 : 10;
  std::int64_t ticks = 0;
  if (__builtin_mul_overflow(tens, kTicksPerUnit, &ticks)) platform::RaiseError(platform::kErrOverflow);
  return Variant(Currency::FromTicks(ticks));
}

Currency EDiv::ArredondaVal(Currency curVal, std::int32_t lngCasasDec, std::int32_t lngTipo) const {
  if (lngTipo == 0) return curVal;
  const DigitText value = util_internal::FromTicks(curVal.Ticks());
  const int d = std::min(lngCasasDec, FractionCount(value));
  if (d >= 1) return ArredondaValPlaces(curVal.Ticks(), value, d, lngTipo);
  return ArredondaValWhole(value, d, lngTipo);
}

Currency EDiv::OldArredondaVal(Currency curVal, std::int32_t lngCasasDec, std::int32_t lngTipo) const {
  using namespace util_internal;
  if (lngTipo == 0) return curVal;
  const DigitText value = FromTicks(curVal.Ticks());
  const int n = value.fraction.empty() ? -1 : FractionCount(value);
  const int d = std::min(lngCasasDec, n);
  if (n == d) return curVal;
  StepResult result;
  if (d >= 1) {
    if (lngTipo == 2 || lngTipo == 3) {
      result.Set(RoundHalfEven(value, d));
      result.Tens(lngTipo - 1, TenStep::kHalfUp);
    } else if (lngTipo == 1 || lngTipo < 0) {
      result.Set(RoundHalfEven(value, d));
    } else if (lngTipo >= 8 && lngTipo <= 12) {
      result.Set(RoundUp(value, d, true));
    } else {  // 4 to 7, 13 and above
      result.Set(Truncate(value, d));
    }
  } else if (lngTipo == 1) {
    if (d == 0) result.Set(RoundWholeHundredthUp(value));
  } else if (lngTipo == 3) {
    result.Set(RoundUp(value, 0, !value.fraction.empty()));
  } else {
    result.Set(Truncate(value, 0));
  }
  return result.Value();
}

Variant EDiv::ArredondaValDecimal(const Variant& varVal, std::int32_t lngCasasDec,
                                  std::int32_t lngTipo) const {
  using namespace util_internal;
  if (lngTipo == 4) return varVal;
  std::optional<NumberDigits> number;
  try {
    number = DigitsOf(varVal);
  } catch (const platform::Error&) {
    // Not a number: the result is never formed.
  }
  if (!number) return Variant();
  const DigitText& value = number->digits;
  const int n = value.fraction.empty() ? -1 : FractionCount(value);
  const int d = std::min(lngCasasDec, n);
  if (n == d) return varVal;
  // The digit-built results read at most six fraction digits; digits were dropped
  // whenever the value has more than d.
  DigitText six = value;
  if (six.fraction.size() > 6) six.fraction.resize(6);
  const bool dropped = n > d;
  if (d >= 1) {
    if (lngTipo == 1) return InKind(RoundHalfEven(value, d), number->kind);
    if (lngTipo == 3) return Variant(ToDouble(RoundUp(six, d, dropped)));
    return Variant(ToDouble(Truncate(six, d)));
  }
  if (lngTipo == 1) {
    if (d < 0) return Variant();
    return InKind(RoundWholeHundredthUp(value), number->kind);
  }
  if (lngTipo == 3) return Variant(ToDouble(RoundUp(six, 0, n > 0)));
  return Variant(ToDouble(Truncate(six, 0)));
}
