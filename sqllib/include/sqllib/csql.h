// CSql: SQL Server access and administration. One shared instance (SharedCSql),
// created on first use and living until the program ends. The class keeps no state
// between calls: each operation works on the connection it is given or opens one of
// its own with the program-wide settings (gServer, gUID, gPwd, gIntegratedSecurity).
// Each area's operations live in their own source file under sqllib/src/.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/session.h"
#include "platform/variant.h"

class CSql {
 public:
  // ---- Connection and command execution (connection.cpp) ----

  // Configures the closed connection `connServer` and opens it: command and
  // connection time-outs of `lngTimeOut` seconds, the OLE DB connection string for
  // `Server` and `dDataBase` (SQL Server login `uID`, or integrated security as
  // `TipoAut` chooses: 0 follows gIntegratedSecurity, 1 SQL login, other values
  // integrated security), and `Pwd` handed to the open call. Returns true when
  // open; on any failure writes the error number and text to `errCode` and
  // `ErrDescription`, returns false and shows nothing. Names holding connection
  // string syntax (";", quotes) are quoted so that each stays one value.
  bool CreateDBConnection(platform::Connection& connServer, const std::string& Server,
                          const std::string& dDataBase, const std::string& uID, const std::string& Pwd,
                          std::int32_t lngTimeOut, std::int32_t& errCode, std::string& ErrDescription,
                          std::int16_t TipoAut = 0);

  // Runs `strSQL` in database `DBName` on a connection of its own (gServer, gUID,
  // gPwd, time-out 600). Returns the statement's result set, still readable, or
  // nothing when the connection failed (silently) or the statement failed (its
  // number and text shown in an error message box).
  std::optional<platform::Recordset> ExecutaSQL(const std::string& DBName, const std::string& strSQL);

  // ---- Column type change (column_change.cpp) ----

  // Sends " alter table <strTable> ALTER COLUMN <strField> <strTypes>" on the open
  // connection `conn`. A variant holding true when it ran, false when it failed;
  // nothing is shown and the error is not handed back.
  platform::Variant SQLChangeField(platform::Connection& conn, const std::string& strTable,
                                   const std::string& strField,
                                   const std::string& strTypes = "nvarchar (10) null");
};

// The shared instance, created on first call.
CSql& SharedCSql();
