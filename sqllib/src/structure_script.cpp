// The script that recreates a table's structure under another name, read from
// the server's own description of the table (sp_help).
#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/date.h"
#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

namespace {

using csql::BracketName;

struct StructureColumn {
  std::string Name;
  std::string Type;
  std::int32_t Length = 0;
  std::int16_t Precision = 0;
  std::int16_t Scale = 0;
  bool Nullable = false;
  std::string DefaultValue;
  bool Identity = false;
  std::int32_t Seed = 0;
  std::int32_t Increment = 0;
  bool RowGuidCol = false;
  bool PrimaryKey = false;
};

constexpr char kCr = '\r';

std::string Text(const platform::Variant& value) {
  return value.IsNull() ? std::string() : value.ToString();
}

// sp_help delivers Prec and Scale as char(5) text ("18   ", or five spaces for the
// types without them): the leading number counts, blank text is 0.
std::int16_t LeadingNumber(const platform::Variant& value) {
  if (value.IsNull() || value.IsEmpty()) return 0;
  if (value.Type() != platform::VarType::kString) return value.ToInteger();
  const std::string& text = *value.Get<std::string>();
  std::size_t i = text.find_first_not_of(' ');
  std::int32_t number = 0;
  for (; i != std::string::npos && i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
       ++i) {
    number = number * 10 + (text[i] - '0');
    if (number > INT16_MAX) throw platform::Error(platform::kErrOverflow, "Overflow");
  }
  return static_cast<std::int16_t>(number);
}

bool HasField(const platform::Recordset& result, const std::string& name) {
  for (int i = 0; i < result.FieldCount(); ++i) {
    if (platform::Lower(result.Fields(i).Name()) == platform::Lower(name)) return true;
  }
  return false;
}

void ReadColumns(platform::Recordset& result, std::vector<StructureColumn>& columns) {
  for (; !result.Eof(); result.MoveNext()) {
    StructureColumn column;
    column.Name = Text(result.Value("Column_name"));
    column.Type = Text(result.Value("Type"));
    column.Length = result.Value("Length").ToLong();
    // The server counts nchar and nvarchar lengths in bytes, two per character;
    // -1 stands for (max) and stays as it is.
    const std::string type = platform::Lower(column.Type);
    if ((type == "nchar" || type == "nvarchar") && column.Length > 0) column.Length /= 2;
    column.Precision = LeadingNumber(result.Value("Prec"));
    column.Scale = LeadingNumber(result.Value("Scale"));
    column.Nullable = Text(result.Value("Nullable")) == "yes";
    columns.push_back(std::move(column));
  }
}

// Only the first row counts: a table has one identity column at most, and
// without one the row says "No identity column defined.", which names no column.
void ReadIdentity(const platform::Recordset& result, std::vector<StructureColumn>& columns) {
  if (result.Bof() && result.Eof()) return;
  const std::string name = Text(result.Value("Identity"));
  for (auto& column : columns) {
    if (column.Name == name) {
      column.Identity = true;
      column.Seed = result.Value("Seed").ToLong();
      column.Increment = result.Value("Increment").ToLong();
      break;
    }
  }
}

void ReadRowGuid(const platform::Recordset& result, std::vector<StructureColumn>& columns) {
  if (result.Bof() && result.Eof()) return;
  const std::string name = Text(result.Value("RowGuidCol"));
  for (auto& column : columns) {
    if (column.Name == name) column.RowGuidCol = true;
  }
}

// A default row names its column in constraint_type: "DEFAULT on column Nome",
// or "... (bound with sp_bindefault)" for a bound default. Matching the whole name
// keeps column Nome from taking the default of NomeCompleto.
bool IsDefaultOf(const std::string& constraint_type, const std::string& column_name) {
  const std::string type = platform::Lower(constraint_type);
  const std::string expected = "default on column " + platform::Lower(column_name);
  return type == expected || type.rfind(expected + " (bound", 0) == 0;
}

void ReadConstraints(platform::Recordset& result, std::vector<StructureColumn>& columns) {
  for (; !result.Eof(); result.MoveNext()) {
    const std::string type = Text(result.Value("Constraint_Type"));
    const std::string keys = Text(result.Value("Constraint_keys"));
    const bool primary_key = platform::Lower(type).find("primary key") != std::string::npos;
    for (auto& column : columns) {
      // A key over several columns lists them all ("a, b") and matches no single one.
      if (primary_key && keys == column.Name) column.PrimaryKey = true;
      if (IsDefaultOf(type, column.Name)) column.DefaultValue = keys;
    }
  }
}

std::string TypeSuffix(const StructureColumn& column) {
  const std::string type = platform::Lower(column.Type);
  if (type == "binary" || type == "char" || type == "nchar" || type == "nvarchar" || type == "varbinary" ||
      type == "varchar") {
    return column.Length == -1 ? "(max)" : "(" + std::to_string(column.Length) + ")";
  }
  if (type == "decimal" || type == "numeric") {
    std::string suffix = "(" + std::to_string(column.Precision) + "," + std::to_string(column.Scale) + ")";
    if (column.Identity) {
      suffix += " IDENTITY (" + std::to_string(column.Seed) + "," + std::to_string(column.Increment) + ")";
    }
    return suffix;
  }
  // The newer date and time types carry their fractional-second digits in Scale;
  // left out, the copy would take the default of seven.
  if (type == "datetime2" || type == "time" || type == "datetimeoffset") {
    return "(" + std::to_string(column.Scale) + ")";
  }
  return {};
}

std::string BuildScript(const std::vector<StructureColumn>& columns, const std::string& destination) {
  // A temporary table's constraint names must not collide with those of another
  // session's copy, so they carry the time of day.
  const bool temporary = !destination.empty() && destination.front() == '#';
  std::string clock;
  if (temporary) {
    const platform::DateParts now = platform::Date::Now().Parts();
    clock = std::to_string(now.hour) + std::to_string(now.minute) + std::to_string(now.second);
  }
  std::string script = "Create Table [dbo]." + BracketName(destination) + " (" + kCr;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const StructureColumn& column = columns[i];
    const std::string type = platform::Lower(column.Type);
    script += BracketName(column.Name) + " ";
    if (type == "uniqueidentifier" && column.RowGuidCol) {
      script += "uniqueidentifier ROWGUIDCOL";
    } else {
      script += BracketName(column.Type) + " " + TypeSuffix(column);
    }
    script += column.Nullable ? " NULL" : " NOT NULL";
    if (!column.DefaultValue.empty()) {
      const std::string name = (temporary ? "DF" + clock + "_" : "DF_") + destination + "_" + column.Name;
      script += " CONSTRAINT " + csql::QuoteName(name) + " DEFAULT (" + column.DefaultValue + ") ";
    }
    if (i + 1 < columns.size()) script += std::string(", ") + kCr;
  }
  script += ")  ON [PRIMARY]";
  for (const StructureColumn& column : columns) {
    if (!column.PrimaryKey) continue;
    const std::string name = temporary ? "PK" + clock + "_" + destination : "PK_" + destination;
    script += kCr + std::string("ALTER TABLE [dbo].") + BracketName(destination) +
              " WITH NOCHECK ADD CONSTRAINT " + BracketName(name) + " PRIMARY KEY  NONCLUSTERED ( " +
              BracketName(column.Name) + " )  ON [PRIMARY]";
  }
  return script;
}

}  // namespace

std::string CSql::DuplicateStructure(const std::string& strServer, const std::string& strLogin,
                                     const std::string& strPwd, const std::string& strDatabase,
                                     const std::string& strTable, const std::string& strDestinTable) {
  platform::Connection connection;
  if (!CreateDBConnection(connection, strServer, strDatabase, strLogin, strPwd, 90, gErrCode, gErrDescription,
                          0)) {
    platform::ShowError(gErrCode, gErrDescription);
    return {};
  }
  // The result sets are told apart by their columns, not counted: which set holds
  // the constraints depends on the server's version and on whether the table has
  // indexes (an empty set becomes a message and is left out).
  std::vector<StructureColumn> columns;
  bool have_columns = false;
  platform::Recordset result = connection.Execute("sp_help " + csql::QuoteLiteral(strTable));
  for (; !result.IsNothing(); result = result.NextRecordset()) {
    if (result.State() != platform::kStateOpen) continue;
    if (!have_columns && HasField(result, "Column_name")) {
      ReadColumns(result, columns);
      have_columns = true;
    } else if (HasField(result, "Seed") && HasField(result, "Identity")) {
      ReadIdentity(result, columns);
    } else if (HasField(result, "RowGuidCol")) {
      ReadRowGuid(result, columns);
    } else if (HasField(result, "constraint_type")) {
      ReadConstraints(result, columns);
      break;
    }
  }
  connection.Close();
  if (!have_columns) {
    throw platform::Error(
        platform::kErrItemNotFound,
        "Item cannot be found in the collection corresponding to the requested name or ordinal.");
  }
  return BuildScript(columns, strDestinTable);
}
