// Opening connections and running single statements.
#include <exception>
#include <string>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "reporting_failure.h"
#include "sqllib/csql.h"

namespace {

std::string BuildConnectionString(bool integrated, const std::string& server, const std::string& database,
                                  const std::string& login) {
  // The names are quoted only when they hold connection-string syntax, so that a
  // ";" in a server or database name cannot add or replace a keyword; plain names
  // give the text word for word.
  using platform::QuoteConnectionValue;
  if (integrated) {
    return "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;Initial Catalog=" +
           QuoteConnectionValue(database) + ";Data Source=" + QuoteConnectionValue(server);
  }
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + QuoteConnectionValue(login) +
         ";Initial Catalog=" + QuoteConnectionValue(database) +
         ";Data Source=" + QuoteConnectionValue(server);
}

}  // namespace

bool CSql::CreateDBConnection(platform::Connection& connServer, const std::string& Server,
                              const std::string& dDataBase, const std::string& uID, const std::string& Pwd,
                              std::int32_t lngTimeOut, std::int32_t& errCode, std::string& ErrDescription,
                              std::int16_t TipoAut) {
  const bool integrated = TipoAut == 0 ? gIntegratedSecurity : TipoAut != 1;
  return csql::ReportingFailure(
      [&] {
        connServer.SetCommandTimeout(lngTimeOut);
        connServer.SetConnectionTimeout(lngTimeOut);
        connServer.SetConnectionString(BuildConnectionString(integrated, Server, dDataBase, uID));
        connServer.Open({}, {}, Pwd);
      },
      errCode, ErrDescription);
}

std::optional<platform::Recordset> CSql::ExecutaSQL(const std::string& DBName, const std::string& strSQL) {
  platform::Connection connection;
  std::int32_t error_number = 0;
  std::string error_text;
  if (!CreateDBConnection(connection, gServer, DBName, gUID, gPwd, 600, error_number, error_text, 0)) {
    return std::nullopt;
  }
  std::optional<platform::Recordset> result;
  if (csql::ReportingFailure(
          [&] {
            result = connection.Execute(strSQL);
            // A result with rows keeps the session alive until the caller lets go
            // of it, so it stays readable; a statement run for its effect closes
            // it here.
            if (result->State() != platform::kStateOpen) connection.Close();
          },
          error_number, error_text)) {
    return result;
  }
  try {
    connection.Close();
  } catch (const platform::Error&) {
    // Already closed by the failure; nothing more to release.
  }
  platform::ShowError(error_number, error_text);
  return std::nullopt;
}
