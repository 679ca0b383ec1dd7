// Database users: granting and revoking a login's access to a database,
// dropping users, and testing whether a login has a user in a database.
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <string>

#include "platform/error.h"
#include "platform/text.h"
#include "security_support.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

using csql::QuoteLiteral;
using csql::security::BusyPointer;
using csql::security::CloseQuietly;
using csql::security::OpenLibraryConnection;

namespace {

// Server answers that mean the work was done already: the user exists (15023),
// the login has a user under another name (15063), or the user to remove is not
// there (15008 from the procedures, 15151 from DROP USER behind them on 2005 and
// later).
constexpr std::int32_t kErrUserExists = 15023;
constexpr std::int32_t kErrLoginHasUser = 15063;
constexpr std::int32_t kErrNoSuchUser = 15008;
constexpr std::int32_t kErrCannotDropMissing = 15151;

// Runs `statement`; true when it ran or failed with one of `already_so`.
bool RunAllowing(platform::Connection& conn, const std::string& statement,
                 std::initializer_list<std::int32_t> already_so) {
  try {
    conn.Execute(statement);
    return true;
  } catch (const platform::Error& error) {
    return std::find(already_so.begin(), already_so.end(), error.Number()) != already_so.end();
  } catch (const std::exception&) {
    return false;
  }
}

// A step whose failure changes nothing: it is skipped and the next one runs.
void RunIgnoring(platform::Connection& conn, const std::string& statement) {
  try {
    conn.Execute(statement);
  } catch (const std::exception&) {
  }
}

std::string UseStatement(const std::string& database) {
  return "use " + csql::QuoteName(database);
}

}  // namespace

bool CSql::GrantAcess(const std::string& DBName, const std::string& uID) {
  platform::Connection conn;
  if (!OpenLibraryConnection(conn, DBName)) return false;
  BusyPointer busy;
  RunIgnoring(conn, UseStatement(DBName));
  const bool granted =
      RunAllowing(conn, "sp_grantdbaccess " + QuoteLiteral(uID), {kErrUserExists, kErrLoginHasUser});
  // The roles are added also when the user was there already.
  for (const char* role : {"db_datawriter", "db_datareader", "db_owner"}) {
    RunIgnoring(conn, "sp_addrolemember '" + std::string(role) + "'," + QuoteLiteral(uID));
  }
  busy.Off();
  CloseQuietly(conn);
  return granted;
}

bool CSql::RevokeAccess(const std::string& DBName, const std::string& uID) {
  platform::Connection conn;
  if (!OpenLibraryConnection(conn, DBName)) return false;
  BusyPointer busy;
  RunIgnoring(conn, UseStatement(DBName));
  const bool revoked =
      RunAllowing(conn, "sp_revokedbaccess " + QuoteLiteral(uID), {kErrNoSuchUser, kErrCannotDropMissing});
  // With the user gone the server refuses these; they are sent all the same.
  for (const char* role : {"db_datawriter", "db_datareader", "db_owner"}) {
    RunIgnoring(conn, "sp_droprolemember '" + std::string(role) + "'," + QuoteLiteral(uID));
  }
  return revoked;
}

bool CSql::DropUserFromDB(const std::string& DBName, const std::string& uID) {
  platform::Connection conn;
  if (!OpenLibraryConnection(conn, DBName)) return false;
  BusyPointer busy;
  RunIgnoring(conn, UseStatement(DBName));
  const bool dropped =
      RunAllowing(conn, "sp_dropuser " + QuoteLiteral(uID), {kErrNoSuchUser, kErrCannotDropMissing});
  busy.Off();
  CloseQuietly(conn);
  return dropped;
}

bool CSql::CheckUserInDB(const std::string& DBName, const std::string& uID) {
  platform::Connection conn;
  if (!OpenLibraryConnection(conn, DBName)) {
    CloseQuietly(conn);
    return false;
  }
  bool found = false;
  try {
    conn.Execute(UseStatement(DBName));
    // sp_helpuser refuses a name that is no user of the database (15198): false.
    platform::Recordset users = conn.Execute("sp_helpuser " + QuoteLiteral(uID));
    const std::string wanted = platform::Trim(uID);
    for (; !found && !users.Eof(); users.MoveNext()) {
      const platform::Variant login = users.Value("loginname");
      found = !login.IsNull() && platform::EqualsIgnoringCase(platform::Trim(login.ToString()), wanted);
    }
    users.Close();
  } catch (const std::exception&) {
    found = false;
  }
  CloseQuietly(conn);
  return found;
}
