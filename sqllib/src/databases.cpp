// Whole databases: whether one exists, and dropping one together with its
// company's row in the configuration database.
#include <exception>
#include <string>

#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

namespace {

constexpr const char* kConfigDatabase = "quindorconfig";

void CloseQuietly(platform::Connection& conn) {
  try {
    if (conn.State() == platform::kStateOpen) conn.Close();
  } catch (const std::exception&) {
    // Closing is all that is left to do.
  }
}

}  // namespace

bool CSql::CheckDatabase(const std::string& DBName) {
  bool unknown = false;
  return CheckDatabase(DBName, unknown);
}

bool CSql::CheckDatabase(const std::string& DBName, bool& ByRefNaoSeSabe) {
  platform::Connection conn;
  if (!CreateDBConnection(conn, gServer, "master", gUID, gPwd, 600, gErrCode, gErrDescription, 0)) {
    ByRefNaoSeSabe = true;
    return false;
  }
  // Both sides upper-cased by the server, so accented letters compare as it
  // compares them.
  platform::Recordset found = conn.Execute("Select Name from SysDataBases Where upper(Name)=upper(" +
                                           csql::QuoteLiteral(DBName) + ")");
  const bool exists = !SharedEDiv().IsVazio(found);
  if (!exists) ByRefNaoSeSabe = false;
  found.Close();
  CloseQuietly(conn);
  return exists;
}

bool CSql::DeleteDatabase(const std::string& DBName, const std::string& Codigo) {
  platform::Connection conn;
  if (!CreateDBConnection(conn, gServer, "master", gUID, gPwd, 600, gErrCode, gErrDescription, 0)) {
    platform::MsgBox(std::to_string(gErrCode) + "\r" + gErrDescription, platform::kMsgBoxCritical);
    platform::Ui().SetMousePointer(platform::kPointerDefault);
    return false;
  }
  platform::Ui().SetMousePointer(platform::kPointerHourglass);
  const std::string code = csql::QuoteLiteral(Codigo);
  try {
    if (!Codigo.empty()) {
      // The row is deleted after the drop: make sure it can be reached before
      // anything is dropped, so a database never goes while its row stays.
      conn.Execute(std::string("use ") + kConfigDatabase);
      conn.Execute("select codigo from empresas where codigo=" + code);
    }
    conn.Execute("use master");
    conn.Execute("drop database " + csql::QuoteName(DBName));
    if (!Codigo.empty()) {
      conn.Execute(std::string("use ") + kConfigDatabase);
      conn.Execute("delete from empresas where codigo=" + code);
    }
  } catch (const platform::Error& error) {
    platform::Ui().SetMousePointer(platform::kPointerDefault);
    platform::ShowError(error.Number(), error.Description());
    CloseQuietly(conn);
    return false;
  } catch (const std::exception& error) {
    platform::Ui().SetMousePointer(platform::kPointerDefault);
    platform::ShowError(error);
    CloseQuietly(conn);
    return false;
  }
  platform::Ui().SetMousePointer(platform::kPointerDefault);
  CloseQuietly(conn);
  return true;
}
