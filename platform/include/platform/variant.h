// Variant: the value type of field values, optional arguments and several results.
// It holds nothing (Empty), Null, a number of one of the classic kinds, a text,
// a date, a boolean, an array of variants or a byte array, and reports the
// classic kind codes (2 Integer, 3 Long, 5 Double, 8 String, 11 Boolean, ...).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "platform/currency.h"
#include "platform/date.h"
#include "platform/error_numbers.h"

namespace platform {

enum class VarType : int {
  kEmpty = 0,
  kNull = 1,
  kInteger = 2,  // 16-bit signed
  kLong = 3,     // 32-bit signed
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kString = 8,
  kError = 10,
  kBoolean = 11,
  kDecimal = 14,
  kByte = 17,
  kArray = 8192,           // array of variants (8192 + 12 as the runtime reports it)
  kByteArray = 8192 + 17,  // binary column values
};

__extension__ using Int128 = __int128;

// An exact decimal number: value / 10^scale, up to 28 significant digits as the
// classic Decimal subtype allows; SQL Server's decimal and numeric columns map here.
struct Decimal {
  Int128 value = 0;
  int scale = 0;

  [[nodiscard]] double ToDouble() const;
  // "-12.340" keeps the scale's digits, "." as separator.
  [[nodiscard]] std::string ToString() const;
  bool operator==(const Decimal&) const = default;
};

// An error value held in a variant (the runtime's CVErr), not a thrown failure.
struct ErrorValue {
  std::int32_t number = 0;
  bool operator==(const ErrorValue&) const = default;
};

class Variant;

// A one-dimensional array with its lower bound (the runtime's LBound).
struct VariantArray {
  int lower_bound = 0;
  std::vector<Variant> items;

  [[nodiscard]] int UpperBound() const;
};

using Bytes = std::vector<std::uint8_t>;

class Variant {
 public:
  Variant() = default;  // Empty
  static Variant Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
  }
  Variant(std::int16_t v) : value_(v) {}
  Variant(std::int32_t v) : value_(v) {}
  Variant(float v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(Currency v) : value_(v) {}
  Variant(Date v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(bool v) : value_(v) {}
  Variant(std::uint8_t v) : value_(v) {}
  Variant(Decimal v) : value_(v) {}
  Variant(ErrorValue v) : value_(v) {}
  Variant(VariantArray v) : value_(std::make_shared<const VariantArray>(std::move(v))) {}
  Variant(Bytes v) : value_(std::make_shared<const Bytes>(std::move(v))) {}

  [[nodiscard]] VarType Type() const;
  // The classic VarType code as an integer (2, 3, 5, 8, 11, 8204 for arrays ...).
  [[nodiscard]] int VarTypeCode() const;
  // The classic TypeName: "Integer", "Long", "String", "Null", "Empty", ...
  [[nodiscard]] std::string TypeName() const;

  [[nodiscard]] bool IsEmpty() const { return std::holds_alternative<std::monostate>(value_); }
  [[nodiscard]] bool IsNull() const { return std::holds_alternative<NullTag>(value_); }
  // True for the number kinds and for booleans (as the classic IsNumeric), and for
  // texts that parse as a number ("." as separator, no grouping). Empty is numeric
  // too, as the classic runtime answers; Null, dates, error values and arrays are not.
  [[nodiscard]] bool IsNumeric() const;
  [[nodiscard]] bool IsArray() const { return Type() == VarType::kArray; }

  // The held value of exactly this kind, or nullptr.
  template <typename T>
  [[nodiscard]] const T* Get() const {
    return std::get_if<T>(&value_);
  }
  [[nodiscard]] const VariantArray* Array() const;
  [[nodiscard]] const Bytes* ByteArray() const;

  // Conversions with the classic rules; each throws Error: 94 "Invalid use of Null"
  // for Null, kErrTypeMismatch for a kind or text that does not convert,
  // kErrOverflow when the value does not fit. Empty converts to 0, "" or false.
  [[nodiscard]] std::string ToString() const;  // numbers with "." and up to 15 significant digits
  [[nodiscard]] double ToDouble() const;
  [[nodiscard]] std::int32_t ToLong() const;     // rounds half to even
  [[nodiscard]] std::int16_t ToInteger() const;  // rounds half to even
  [[nodiscard]] bool ToBool() const;
  [[nodiscard]] Currency ToCurrency() const;
  [[nodiscard]] Date ToDate() const;
  [[nodiscard]] Decimal ToDecimal() const;

  // Same kind and same value (arrays compared element by element).
  bool operator==(const Variant& other) const;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, std::int16_t, std::int32_t, float, double, Currency, Date,
               std::string, bool, std::uint8_t, Decimal, ErrorValue, std::shared_ptr<const VariantArray>,
               std::shared_ptr<const Bytes>>
      value_;
};

// Defined once Variant is complete: the size of a vector of an incomplete type is
// not something every compiler takes on trust.
inline int VariantArray::UpperBound() const {
  return lower_bound + static_cast<int>(items.size()) - 1;
}

// Formats a double as the runtime's CStr does: up to 15 significant digits, no
// trailing zeros, exponent form "1E+20" / "1.5E-07" outside 1e-4..1e15.
std::string FormatDouble(double value);

}  // namespace platform
