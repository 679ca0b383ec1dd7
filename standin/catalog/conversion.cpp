// Implicit conversion between the stand-in's types, with SQL Server's error numbers and texts.
#include <cmath>

#include "catalog/value_support.h"

namespace standin {

namespace {

struct Conversion {
  const Value& value;
  const SqlType& from;
  const SqlType& to;
  DateOrder order;
  std::string from_name = TypeWord(from), to_name = TypeWord(to);

  Converted Ok(Value v) const { return {std::move(v), std::nullopt}; }
  Converted Err(int number, std::string text) const {
    return {Value{}, ConversionError(number, std::move(text))};
  }
  Converted NotAllowed() const {
    return Err(257, "Implicit conversion from data type " + from_name + " to " + to_name +
                        " is not allowed. Use the CONVERT function to run this query.");
  }
  Converted Clash() const {
    return Err(206, "Operand type clash: " + from_name + " is incompatible with " + to_name);
  }

  Converted ToCharacter() const {
    if (from.IsBinary()) return NotAllowed();
    auto* dt = std::get_if<DateTime>(&value.v);
    std::string text = dt ? DateTimeStyle0(*dt) : value.ToText();
    if (to.length >= 0 && static_cast<int>(Utf8ToUtf16(text).size()) > to.length) {
      return Err(8152, "String or binary data would be truncated.");
    }
    if ((to.base == BaseType::kChar || to.base == BaseType::kNChar) && to.length > 0) {
      text.append(to.length - Utf8ToUtf16(text).size(), ' ');
    }
    return Ok(Value(text));
  }

  Converted ToBinary() const {
    auto* b = std::get_if<Bytes>(&value.v);
    if (!b) return NotAllowed();
    if (to.length >= 0 && static_cast<int>(b->size()) > to.length) {
      return Err(8152, "String or binary data would be truncated.");
    }
    return Ok(value);
  }

  Converted ToDateTime() const {
    DateTime dt;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      SqlError e;
      auto parsed = ParseDateTime(*s, &e, order);
      if (!parsed) {
        if (e.number == 242) {
          e.text = "The conversion of a " + from_name + " data type to a " + to_name +
                   " data type resulted in an out-of-range value.";
        }
        return {Value{}, e};
      }
      dt = *parsed;
    } else if (auto* d = std::get_if<DateTime>(&value.v)) {
      dt = *d;
    } else if (from.IsInteger() || from.IsExactNumeric() || from.base == BaseType::kFloat ||
               from.base == BaseType::kReal) {
      double days = ToDouble(value);
      dt.days = static_cast<int32_t>(std::floor(days));
      dt.ticks = static_cast<uint32_t>(std::lround((days - std::floor(days)) * 24 * 3600 * 300));
    } else {
      return Clash();
    }
    if (to.base == BaseType::kSmallDateTime) {
      dt = RoundToMinute(dt);
      int64_t max_days = DaysFromCivil(2079, 6, 6) - kEpoch1900;
      if (dt.days < 0 || dt.days > max_days) {
        if (from.base == BaseType::kDateTime) {
          return Err(298,
                     "The conversion from datetime data type to smalldatetime data type resulted in a "
                     "smalldatetime overflow error.");
        }
        return Err(242, "The conversion of a " + from_name +
                            " data type to a smalldatetime data type resulted in an out-of-range value.");
      }
    } else if (dt.days < DaysFromCivil(1753, 1, 1) - kEpoch1900) {
      return Err(242, "The conversion of a " + from_name +
                          " data type to a datetime data type resulted in an out-of-range value.");
    }
    return Ok(Value(dt));
  }

  Converted ToInteger() const {
    int64_t i = 0;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      std::string t = Lower(Trim(*s));
      if (to.base == BaseType::kBit && (t == "true" || t == "false")) {
        i = t == "true";
      } else if (!ParseInt64(t, i)) {
        return Err(245, "Conversion failed when converting the " + from_name + " value '" + *s +
                            "' to data type " + to_name + ".");
      }
    } else if (auto* n = std::get_if<int64_t>(&value.v)) {
      i = *n;
    } else if (std::holds_alternative<double>(value.v) || std::holds_alternative<Decimal>(value.v)) {
      i = static_cast<int64_t>(std::trunc(ToDouble(value)));
    } else {
      return NotAllowed();
    }
    if (to.base == BaseType::kBit) return Ok(Value(static_cast<int64_t>(i != 0)));
    int64_t lo = INT64_MIN, hi = INT64_MAX;
    if (to.base == BaseType::kTinyInt) lo = 0, hi = 255;
    if (to.base == BaseType::kSmallInt) lo = -32768, hi = 32767;
    if (to.base == BaseType::kInt) lo = INT32_MIN, hi = INT32_MAX;
    if (i >= lo && i <= hi) return Ok(Value(i));
    if (to.base == BaseType::kTinyInt || to.base == BaseType::kSmallInt) {
      return Err(
          220, "Arithmetic overflow error for data type " + to_name + ", value = " + std::to_string(i) + ".");
    }
    return Err(8115, "Arithmetic overflow error converting expression to data type " + to_name + ".");
  }

  Converted ToFloat() const {
    if (auto* s = std::get_if<std::string>(&value.v)) {
      std::string t = Trim(*s);
      char* end = nullptr;
      double d = std::strtod(t.c_str(), &end);
      if (t.empty() || *end != '\0')
        return Err(8114, "Error converting data type " + from_name + " to float.");
      return Ok(Value(d));
    }
    if (std::holds_alternative<int64_t>(value.v) || std::holds_alternative<double>(value.v) ||
        std::holds_alternative<Decimal>(value.v)) {
      return Ok(Value(ToDouble(value)));
    }
    return NotAllowed();
  }

  Converted ToExact() const {
    Decimal d;
    if (auto* s = std::get_if<std::string>(&value.v)) {
      if (!ParseDecimalText(*s, d))
        return Err(8114, "Error converting data type " + from_name + " to numeric.");
    } else if (auto* n = std::get_if<int64_t>(&value.v)) {
      d = Decimal{*n, 0};
    } else if (auto* f = std::get_if<double>(&value.v)) {
      d = Decimal{static_cast<int64_t>(std::llround(*f * Pow10(to.scale))), to.scale};
    } else if (auto* dd = std::get_if<Decimal>(&value.v)) {
      d = *dd;
    } else {
      return NotAllowed();
    }
    int64_t unscaled = 0;
    int precision = to.precision > 18 ? 18 : to.precision;
    if (!Rescale(d, to.scale, unscaled) || std::llabs(unscaled) >= Pow10(precision)) {
      return Err(8115, "Arithmetic overflow error converting " + from_name + " to data type numeric.");
    }
    return Ok(Value(Decimal{unscaled, to.scale}));
  }

  Converted ToUniqueIdentifier() const {
    auto* text = std::get_if<std::string>(&value.v);
    if (!text) return NotAllowed();
    auto guid = ParseGuid(*text);
    if (!guid)
      return Err(8169, "Conversion failed when converting from a character string to uniqueidentifier.");
    return Ok(Value(*guid));
  }
};

}  // namespace

Converted ConvertValue(const Value& value, const SqlType& from, const SqlType& to, DateOrder order) {
  if (value.IsNull()) return {Value{}, std::nullopt};
  const Conversion c{value, from, to, order};
  if (to.IsCharacter()) return c.ToCharacter();
  if (to.base == BaseType::kUniqueIdentifier) return c.ToUniqueIdentifier();
  if (from.base == BaseType::kUniqueIdentifier) return c.NotAllowed();
  if (to.IsBinary()) return c.ToBinary();
  if (to.IsDateTime()) return c.ToDateTime();
  if (to.IsInteger() || to.base == BaseType::kBit) return c.ToInteger();
  if (to.base == BaseType::kFloat || to.base == BaseType::kReal) return c.ToFloat();
  if (to.IsExactNumeric()) return c.ToExact();
  return c.Clash();
}

}  // namespace standin
