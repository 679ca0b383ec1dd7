// Statement builders, single-statement execution, single-value queries and the
// empty/null tests.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/session.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

using platform::Trim;
using platform::Variant;
using platform::VariantArray;
using platform::VarType;

namespace {

// How a value stands in a statement: a number bare, a text or date between
// apostrophes. The builders add their own separators around it.
struct Rendered {
  std::string text;
  bool quoted = false;
};

// yyyymmdd hh:mm:ss is read the same under every language and DATEFORMAT setting
// of the session; the machine's short date format is not (day and month swap
// under a Portuguese login).
std::string NeutralDateText(const platform::Date& date) {
  const platform::DateParts parts = date.Parts();
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d %02d:%02d:%02d", parts.year, parts.month, parts.day,
                parts.hour, parts.minute, parts.second);
  return text;
}

std::string HexLiteral(const platform::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text = "0x";
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  return text;
}

// Renders `value`, first turning a boolean into the 16-bit -1 or 0 in place (the
// caller's array keeps the change). Numbers are written with "." whatever the
// locale, so a decimal comma can never split one value into two. A value that has
// no literal form (Null, Empty, an error value, a nested array, a date without a
// calendar day) is written NULL, so every column keeps its own value.
Rendered Render(Variant& value) {
  try {
    switch (value.Type()) {
      case VarType::kBoolean:
        value = Variant(static_cast<std::int16_t>(*value.Get<bool>() ? -1 : 0));
        return {Trim(value.ToString())};
      case VarType::kInteger:
      case VarType::kLong:
      case VarType::kSingle:
      case VarType::kDouble:
      case VarType::kCurrency:
      case VarType::kDecimal:
      case VarType::kByte:
        return {Trim(value.ToString())};
      case VarType::kDate:
        return {NeutralDateText(*value.Get<platform::Date>()), true};
      case VarType::kString:
        // Apostrophes go in as they are: escaping them is the caller's duty.
        return {*value.Get<std::string>(), true};
      case VarType::kByteArray:
        return {HexLiteral(*value.ByteArray())};
      default:
        break;
    }
  } catch (const platform::Error&) {
    // A date outside the calendar: written NULL below.
  }
  return {"NULL"};
}

// Element i of `array` by the classic index, or nothing outside its bounds.
Variant* At(VariantArray& array, int i) {
  if (i < array.lower_bound || i > array.UpperBound()) return nullptr;
  return &array.items[static_cast<std::size_t>(i - array.lower_bound)];
}

// The text of a column name; a name that has no text (Null, an array) is skipped,
// as a failed step of the builder is.
std::optional<std::string> NameText(const VariantArray& names, int i) {
  try {
    return names.items.at(static_cast<std::size_t>(i - names.lower_bound)).ToString();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Removes the last `count` bytes; a text too short keeps what it has, as the
// builders' failed step is skipped.
void DropLast(std::string& text, std::size_t count) {
  if (text.size() >= count) text.resize(text.size() - count);
}

}  // namespace

std::string EDiv::InsertSQL(const std::string& Tabela, const VariantArray& aCampos,
                            VariantArray& aValores) const {
  std::string columns;
  for (int i = 1; i <= aCampos.UpperBound(); ++i) {
    if (i < aCampos.lower_bound) continue;
    if (auto name = NameText(aCampos, i)) columns += *name + ",";
  }
  DropLast(columns, 1);
  std::string values;
  for (int i = 1; i <= aValores.UpperBound(); ++i) {
    Variant* value = At(aValores, i);
    if (!value) continue;
    const Rendered rendered = Render(*value);
    values += rendered.quoted ? "'" + rendered.text + "' , " : rendered.text + " , ";
  }
  DropLast(values, 2);
  return "INSERT INTO " + Trim(Tabela) + " (" + columns + ") VALUES (" + values + ")";
}

std::string EDiv::UpdateSQL(const std::string& Tabela, const VariantArray& aCampos, Variant& aValores,
                            const std::string& sWhere) const {
  std::string assignments;
  if (const VariantArray* held = aValores.Array()) {
    VariantArray values = *held;
    // Only as many assignments as there are both names and values.
    const int last = std::min(aCampos.UpperBound(), values.UpperBound());
    for (int i = 1; i <= last; ++i) {
      Variant* value = At(values, i);
      auto name = i >= aCampos.lower_bound ? NameText(aCampos, i) : std::nullopt;
      if (!value || !name) continue;
      const Rendered rendered = Render(*value);
      assignments += *name + "=" + (rendered.quoted ? "'" + rendered.text + "'" : rendered.text) + ",";
    }
    aValores = Variant(std::move(values));  // booleans now -1 or 0
  }
  DropLast(assignments, 1);
  return "UPDATE " + Tabela + " SET " + assignments + " " + sWhere;
}

bool EDiv::RunSQL(const platform::Connection& conn, const std::string& strSQL) const {
  try {
    platform::Command command;
    command.SetActiveConnection(conn);
    command.SetCommandText(strSQL);
    command.SetCommandType(platform::CommandType::kText);
    command.Execute(platform::kExecuteNoRecords);
    return true;
  } catch (const std::exception&) {
    // The caller learns only that the statement did not run.
    return false;
  }
}

Variant EDiv::GetFieldValue(const platform::Connection& connTemp, const std::string& strSQL,
                            const std::string& strField) const {
  platform::Ui().DoEvents();
  try {
    platform::Recordset rst;
    rst.Open(strSQL, connTemp, platform::CursorType::kDynamic, platform::LockType::kOptimistic,
             platform::kOptionUnspecified);
    Variant result;
    if (!IsVazio(rst)) result = rst.Value(strField);
    rst.Close();
    return result;
  } catch (const std::exception&) {
    return Variant::Null();
  }
}

bool EDiv::IsVazio(const platform::Recordset& rstRecordset) const {
  try {
    return rstRecordset.Bof() && rstRecordset.Eof();
  } catch (const std::exception&) {
    // A closed result set cannot be asked; callers that test existence check
    // State() first, since this answers "not empty".
    return false;
  }
}

Variant EDiv::IsNulo(const Variant& VAR, const Variant& Default) const {
  return VAR.IsNull() ? Default : VAR;
}
