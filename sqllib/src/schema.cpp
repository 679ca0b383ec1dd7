// Testing whether tables, columns and indexes exist; creating and changing them.
#include <algorithm>
#include <exception>
#include <string>

#include "platform/error.h"
#include "reporting_failure.h"
#include "server_names.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

namespace {

using csql::BracketName;
using csql::QuoteObjectName;

// Server errors the index test answers from sp_helpindex instead.
constexpr std::int32_t kErrParameterNotSupplied = 201;  // sp_indexes wants @table_server

// True when `statement` gives an open result with at least one row. A result set
// that did not open answers "does not exist": the empty-result test alone would
// call it not empty. Any failure answers false as well.
bool HasRows(platform::Connection& conn, const std::string& statement) {
  try {
    platform::Recordset result = conn.Execute(statement);
    if (result.State() != platform::kStateOpen) return false;
    const bool found = !SharedEDiv().IsVazio(result);
    result.Close();
    return found;
  } catch (const std::exception&) {
    return false;
  }
}

bool IsBlank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

}  // namespace

bool CSql::SQLCheckTable(platform::Connection& conn, const std::string& strTable) {
  return HasRows(conn, "sp_tables @table_name = " + csql::QuoteLike(strTable));
}

bool CSql::SQLCheckField(platform::Connection& conn, const std::string& strTable,
                         const std::string& strField) {
  return HasRows(conn, "sp_columns @table_name = " + csql::QuoteLike(strTable) +
                           ",@COLUMN_NAME=" + csql::QuoteLike(strField));
}

bool CSql::SQLCheckIndex(platform::Connection& conn, const std::string& strTable,
                         const std::string& strIndexName) {
  // sp_indexes describes tables of linked servers: without @table_server SQL Server
  // refuses it with 201, so on a real server the answer comes from sp_helpindex.
  try {
    platform::Recordset result = conn.Execute("sp_indexes @table_name = " + csql::QuoteLiteral(strTable) +
                                              " , @index_name= " + csql::QuoteLiteral(strIndexName));
    if (result.State() == platform::kStateOpen) {
      const bool found = !SharedEDiv().IsVazio(result);
      result.Close();
      return found;
    }
  } catch (const platform::Error& error) {
    if (error.Number() != kErrParameterNotSupplied) return false;
  } catch (const std::exception&) {
    return false;
  }
  try {
    // A missing table (15009) fails here; a table without indexes gives message
    // 15472 and no result set.
    platform::Recordset indexes = conn.Execute("sp_helpindex " + csql::QuoteLiteral(strTable));
    if (indexes.State() != platform::kStateOpen) return false;
    const std::string wanted = csql::UpperName(strIndexName);
    for (; !indexes.Eof(); indexes.MoveNext()) {
      const platform::Variant name = indexes.Value("index_name");
      if (!name.IsNull() && csql::UpperName(name.ToString()) == wanted) return true;
    }
    return false;
  } catch (const std::exception&) {
    return false;
  }
}

bool CSql::SQLCreateTable(platform::Connection& conn, const std::string& strTable) {
  try {
    conn.Execute(" create table " + QuoteObjectName(strTable) +
                 " ( NumRegisto numeric (18,0) identity (1,1) not null )");
    conn.Execute("ALTER TABLE [dbo]." + BracketName(strTable) + " WITH NOCHECK ADD  CONSTRAINT " +
                 BracketName("PK_" + strTable) +
                 " PRIMARY KEY  NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]");
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

platform::Variant CSql::SQLAddField(platform::Connection& conn, const std::string& strTable,
                                    const std::string& strField, const std::string& strTypes) {
  try {
    conn.Execute(" alter table " + QuoteObjectName(strTable) + " add " + QuoteObjectName(strField) + " " +
                 strTypes);
    return platform::Variant(true);
  } catch (const std::exception&) {
    return platform::Variant(false);
  }
}

platform::Variant CSql::SQLCreateIndex(platform::Connection& conn, const std::string& strName,
                                       const std::string& strTable, const std::string& strFields,
                                       bool blnUnique) {
  try {
    conn.Execute(std::string(blnUnique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + BracketName(strName) +
                 " on [dbo]." + BracketName(strTable) + " ( " + strFields + " ) ON [PRIMARY]");
    return platform::Variant(true);
  } catch (const std::exception&) {
    return platform::Variant(false);
  }
}

bool CSql::SQLDropField(platform::Connection& connActiva, const std::string& Table, const std::string& Column,
                        std::int32_t& errC, std::string& errD) {
  return csql::ReportingFailure(
      [&] {
        connActiva.Execute("Alter Table " + QuoteObjectName(Table) + " Drop Column " +
                           QuoteObjectName(Column));
      },
      errC, errD);
}

std::string CSql::CreateFieldList(const platform::Recordset& rstRecordset, const std::string& strFieldSep,
                                  const std::string& ExcludeFields) {
  const bool exclude = !IsBlank(ExcludeFields);
  const std::string excluded = csql::UpperName(ExcludeFields);
  std::string list;
  for (int i = 0; i < rstRecordset.FieldCount(); ++i) {
    const std::string& name = rstRecordset.Fields(i).Name();
    if (exclude && excluded.find(csql::UpperName(name)) != std::string::npos) continue;
    list += name + strFieldSep;
  }
  if (list.empty())
    throw platform::Error(platform::kErrInvalidProcedureCall, "Invalid procedure call or argument");
  // The last character, which may take several bytes in UTF-8.
  std::size_t cut = list.size() - 1;
  while (cut > 0 && (static_cast<unsigned char>(list[cut]) & 0xC0) == 0x80) --cut;
  list.erase(cut);
  return list;
}
