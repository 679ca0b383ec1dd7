// The one table of how each kind of value travels through ODBC: the C type of its
// buffer, the SQL type a column of it reports and a parameter of it is bound as,
// and how a fixed-size buffer becomes a Variant and back. Reading result columns,
// binding parameters and reading output parameters all go through it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "odbc/odbc_api.h"
#include "platform/driver.h"

namespace platform::odbc {

// How a value's bytes travel.
enum class Transfer {
  kFixed,        // a buffer of fixed size, converted by encode and decode
  kDecimalText,  // decimal and money: as text, so that no digit is lost
  kWideText,     // every text kind, as UTF-16 (whatever the server's code page)
  kGuid,         // as text; the classic component gave GUIDs as "{XXXXXXXX-...}"
  kBinary,
};

struct OdbcType {
  DataType type;
  Transfer transfer;
  SQLSMALLINT c_type;
  SQLSMALLINT sql_type;
  SQLULEN column_size;  // declared size of a parameter, when fixed by the type
  SQLSMALLINT digits;   // declared decimals of a parameter, when fixed by the type
  std::size_t fixed_size;
  // kFixed only: writes a non-null `value` into a buffer of fixed_size bytes, and
  // reads it back.
  void (*encode)(const Variant& value, unsigned char* buffer);
  Variant (*decode)(const unsigned char* buffer);
};

// The entry for `type`; a type without one of its own travels as text.
const OdbcType& TypeOf(DataType type);

// The type of a result column the driver describes with `sql_type`. money and
// smallmoney come as DECIMAL(19,4) and (10,4): only their type name (asked of
// `type_name` for decimal columns alone) tells them from decimal columns. Types
// without an entry (nvarchar, time, sql_variant, xml and the like) read as text.
DataType ColumnTypeOf(SQLSMALLINT sql_type, const std::function<std::string()>& type_name);

// A value written as decimal text ("-123.4500") as a Currency for kCurrency, a
// Decimal otherwise.
Variant FromDecimalText(const std::string& text, DataType type);

// `units` UTF-16 code units stored at `bytes` (unaligned), as UTF-8.
std::string FromWideUnits(const unsigned char* bytes, std::size_t units);

}  // namespace platform::odbc
