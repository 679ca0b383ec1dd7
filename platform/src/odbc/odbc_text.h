// Text helpers of the ODBC driver that do not need the ODBC headers: UTF-8 to
// UTF-16 and back (unixODBC's SQLWCHAR is a 16-bit UTF-16 unit).
#pragma once

#include <string>

#include "platform/variant.h"

namespace platform::odbc {

// A decimal number as the driver writes decimal and money values as text
// ("-123.4500", ".5"); characters other than digits, "-" and "." are passed over.
Decimal DecimalFromText(const std::string& text);
// Money with four decimals; more decimals are cut, fewer are filled with zeros.
Currency CurrencyFromDecimal(const Decimal& value);

// Invalid UTF-8 sequences become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace platform::odbc
