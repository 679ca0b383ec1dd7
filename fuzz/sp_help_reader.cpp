// The table-script builder's reader of sp_help's result sets, fed sets in any order
// and shape through a scripted session. Properties:
//  - it returns a script or raises one of the session layer's documented errors
//    (a missing field or column listing, a value of the wrong type, a null where a
//    number belongs, a number out of range), nothing else;
//  - a script is statements the server reads as written: one CREATE TABLE and one
//    ALTER TABLE per key column, and every column name of the listing comes back
//    as one identifier token holding exactly that name, in the listing's order,
//    whatever characters the name holds.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "engine/sql_lexer.h"
#include "platform/error.h"
#include "platform/error_numbers.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::ResultTable;
using platform::Variant;
using testsupport::Table;

[[noreturn]] void Fail(const std::string& what, const std::string& detail) {
  std::cerr << what << ": [" << detail << "]\n";
  std::abort();
}

// Names from an alphabet that holds the characters quoting must handle, plus a
// two-byte letter, so every name is valid UTF-8 as the server sends it. The server
// has no empty names.
std::string Name(FuzzedDataProvider& in) {
  static const std::vector<std::string> kPieces = {"a", "Z", "_", "1", " ", "]",  "[",  "'",  "\"", "-",
                                                   ";", ".", "#", "@", "é", "\r", "go", "/*", "*/"};
  std::string name;
  const std::size_t length = in.ConsumeIntegralInRange<std::size_t>(1, 12);
  for (std::size_t i = 0; i < length; ++i)
    name += kPieces[in.ConsumeIntegralInRange<std::size_t>(0, kPieces.size() - 1)];
  return name;
}

// Numbers come as the server sends them, or as text, or null.
Variant Number(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return Variant(in.ConsumeIntegral<std::int32_t>());
    case 1:
      return Variant(in.ConsumeRandomLengthString(8));
    case 2:
      return Variant::Null();
    default:
      return Variant(static_cast<std::int32_t>(in.ConsumeIntegralInRange(-1, 8000)));
  }
}

Variant PrecisionText(FuzzedDataProvider& in) {
  static const std::vector<std::string> kTexts = {"18   ", "     ", "0    ", "10   ", "99999", "7x   ", ""};
  if (in.ConsumeBool()) return Variant(kTexts[in.ConsumeIntegralInRange<std::size_t>(0, kTexts.size() - 1)]);
  return Number(in);
}

ResultTable ColumnListing(FuzzedDataProvider& in, std::vector<std::string>& names) {
  static const std::vector<std::string> kTypes = {"int",     "nvarchar", "varchar",          "numeric",
                                                  "decimal", "datetime", "uniqueidentifier", "varbinary"};
  std::vector<std::vector<Variant>> rows;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 6);
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = Name(in);
    const std::string type =
        in.ConsumeBool() ? kTypes[in.ConsumeIntegralInRange<std::size_t>(0, kTypes.size() - 1)] : Name(in);
    const std::string nullable = in.ConsumeBool() ? "yes" : "no";
    rows.push_back({Variant(name), Variant(type), Variant("no"), Number(in), PrecisionText(in),
                    PrecisionText(in), Variant(nullable)});
    names.push_back(std::move(name));
  }
  return Table({"Column_name", "Type", "Computed", "Length", "Prec", "Scale", "Nullable"}, std::move(rows));
}

// A name of the listing, or another one.
std::string ColumnOrOther(FuzzedDataProvider& in, const std::vector<std::string>& names) {
  if (!names.empty() && in.ConsumeBool())
    return names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
  return Name(in);
}

ResultTable Constraints(FuzzedDataProvider& in, const std::vector<std::string>& names) {
  // Default expressions are the server's own text and go into the script as they
  // stand; these are the shapes it stores.
  static const std::vector<std::string> kDefaults = {"('')", "((0))", "(getdate())", "(N'a''b')"};
  std::vector<std::vector<Variant>> rows;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::string type;
    std::string keys;
    if (in.ConsumeBool()) {
      type = "DEFAULT on column " + ColumnOrOther(in, names);
      keys = kDefaults[in.ConsumeIntegralInRange<std::size_t>(0, kDefaults.size() - 1)];
    } else {
      type = in.ConsumeBool() ? "PRIMARY KEY (non-clustered)" : "UNIQUE (clustered)";
      keys = ColumnOrOther(in, names);
    }
    rows.push_back({Variant(type), Variant("name"), Variant("(n/a)"), Variant("(n/a)"), Variant("(n/a)"),
                    Variant("(n/a)"), Variant(keys)});
  }
  return Table({"constraint_type", "constraint_name", "delete_action", "update_action", "status_enabled",
                "status_for_replication", "constraint_keys"},
               std::move(rows));
}

bool Documented(std::int32_t number) {
  return number == platform::kErrItemNotFound || number == platform::kErrTypeMismatch ||
         number == platform::kErrInvalidUseOfNull || number == platform::kErrOverflow;
}

void CheckScript(const std::string& script, const std::vector<std::string>& names) {
  const standin::LexResult lexed = standin::Lex(script);
  if (lexed.error) Fail("the server cannot read the script", script);
  const auto statements = standin::SplitStatements(lexed.tokens);
  if (statements.empty() || statements.front().empty() || statements.front().front().text != "Create") {
    Fail("the script does not begin with CREATE TABLE", script);
  }
  for (std::size_t i = 1; i < statements.size(); ++i) {
    if (statements[i].empty() || statements[i].front().text != "ALTER")
      Fail("a statement that is no ALTER", script);
  }
  // The column definitions follow the table's "(" and start after each ",": the
  // first token of each is the column's name.
  const auto& create = statements.front();
  std::vector<std::string> found;
  int depth = 0;
  bool expect_name = false;
  for (const standin::Token& token : create) {
    if (token.kind == standin::TokenKind::kPunct && token.text == "(") {
      if (++depth == 1) expect_name = true;
      continue;
    }
    if (token.kind == standin::TokenKind::kPunct && token.text == ")") {
      --depth;
      expect_name = false;  // a table without columns: "()"
      continue;
    }
    if (depth == 1 && token.kind == standin::TokenKind::kPunct && token.text == ",") {
      expect_name = true;
      continue;
    }
    if (expect_name) {
      if (token.kind != standin::TokenKind::kQuotedIdent) Fail("a column name is not bracketed", script);
      found.push_back(token.text);
      expect_name = false;
    }
  }
  if (found != names) Fail("the column names read back differ", script);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    platform::SetUi(std::make_shared<platform::RecordingUi>());
    return true;
  }();
  (void)ready;
  FuzzedDataProvider in(data, size);
  testsupport::ScopedScriptedDriver driver;

  // The first listing with Column_name is the one the script is built from.
  std::vector<std::string> names;
  bool listed = false;
  std::vector<ResultTable> sets;
  const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 7);
  for (std::size_t i = 0; i < count; ++i) {
    switch (in.ConsumeIntegralInRange(0, 5)) {
      case 0: {
        std::vector<std::string> listing;
        sets.push_back(ColumnListing(in, listing));
        if (!listed) names = std::move(listing);
        listed = true;
        break;
      }
      case 1:
        sets.push_back(Table({"Identity", "Seed", "Increment", "Not For Replication"},
                             {{Variant(ColumnOrOther(in, names)), Number(in), Number(in), Variant::Null()}}));
        break;
      case 2:
        sets.push_back(Table({"RowGuidCol"}, {{Variant(ColumnOrOther(in, names))}}));
        break;
      case 3:
        sets.push_back(Constraints(in, names));
        break;
      case 4: {
        ResultTable rows_only;
        rows_only.rows_affected = 1;
        sets.push_back(rows_only);
        break;
      }
      default:
        sets.push_back(Table({"Data_located_on_filegroup"}, {{Variant("PRIMARY")}}));
        break;
    }
  }
  driver->OnExecute("db", "sp_help 'T'", testsupport::Reply(std::move(sets)));
  const std::string destination = in.ConsumeBool() ? "Copia" : "#Copia";
  try {
    const std::string script = SharedCSql().DuplicateStructure("srv", "sa", "pw", "db", "T", destination);
    if (!listed) Fail("a script without a column listing", script);
    CheckScript(script, names);
  } catch (const platform::Error& error) {
    if (!Documented(error.Number()))
      Fail("an undocumented error " + std::to_string(error.Number()), error.what());
  }
  if (driver->OpenSessions() != 0) Fail("the session was left open", destination);
  return 0;
}
