// Text helpers of the ODBC driver that do not need the ODBC headers: the decimal
// texts the driver writes for decimal and money values.
#pragma once

#include <string>

#include "platform/variant.h"

namespace platform::odbc {

// A decimal number as the driver writes decimal and money values as text
// ("-123.4500", ".5"); characters other than digits, "-" and "." are passed over.
Decimal DecimalFromText(const std::string& text);
// Money with four decimals; more decimals are cut, fewer are filled with zeros.
Currency CurrencyFromDecimal(const Decimal& value);

}  // namespace platform::odbc
