// Removing a login's users from every database of the server.
#include <exception>
#include <string>

#include "platform/error.h"
#include "security_support.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

bool CSql::DeleteUserFromAllDatabases(const std::string& uID,
                                      const std::function<void(const std::string&)>& Info) {
  using csql::security::OpenLibraryConnection;
  platform::Connection master;
  OpenLibraryConnection(master, "master");
  try {
    platform::Recordset databases = master.Execute("Select Name from SysDataBases");
    for (; !databases.Eof(); databases.MoveNext()) {
      const platform::Variant value = databases.Value("name");
      if (value.IsNull()) continue;
      const std::string name = value.ToString();
      if (Info) Info(name);
      platform::Connection conn;
      if (!OpenLibraryConnection(conn, name)) continue;
      // Each step is skipped when it fails; the next one runs.
      try {
        ChangeDatabaseOwner(conn, name, uID, "SA");
      } catch (const std::exception&) {
      }
      try {
        if (CheckUserInDB(name, uID)) conn.Execute("sp_Dropuser " + csql::QuoteLiteral(uID));
      } catch (const std::exception&) {
      }
      csql::security::CloseQuietly(conn);
    }
    databases.Close();
  } catch (const std::exception&) {
    // No list of databases, or it could not be read to the end: nothing more to do.
  }
  csql::security::CloseQuietly(master);
  return false;
}
