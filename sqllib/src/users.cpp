// Database users: granting and revoking a login's access to a database,
// dropping users, and testing whether a login has a user in a database.
#include <exception>
#include <string>

#include "security_support.h"
#include "server_names.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

using csql::QuoteLiteral;
using csql::security::BusyPointer;
using csql::security::CloseQuietly;
using csql::security::OpenLibraryConnection;
using csql::security::RunAllowing;
namespace security = csql::security;

namespace {

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
  const bool granted = RunAllowing(conn, "sp_grantdbaccess " + QuoteLiteral(uID),
                                   {security::kErrUserExists, security::kErrLoginHasUser});
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
  const bool revoked = RunAllowing(conn, "sp_revokedbaccess " + QuoteLiteral(uID),
                                   {security::kErrNoSuchUser, security::kErrCannotDropMissing});
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
  const bool dropped = RunAllowing(conn, "sp_dropuser " + QuoteLiteral(uID),
                                   {security::kErrNoSuchUser, security::kErrCannotDropMissing});
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
    for (; !found && !users.Eof(); users.MoveNext()) {
      const platform::Variant login = users.Value("loginname");
      found = !login.IsNull() && csql::SameName(login.ToString(), uID);
    }
    users.Close();
  } catch (const std::exception&) {
    found = false;
  }
  CloseQuietly(conn);
  return found;
}
