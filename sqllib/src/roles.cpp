// Fixed server and database roles: the sysadmin test and role membership.
#include <exception>
#include <string>

#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "security_support.h"
#include "server_names.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

using csql::QuoteLiteral;
using csql::security::BusyPointer;
using csql::security::CloseQuietly;
using csql::security::Describe;
using csql::security::OpenLibraryConnection;

namespace {

// The error box of the role changes: the number immediately followed by the text.
bool ReportRoleFailure(const std::exception& failure) {
  const auto [number, text] = Describe(failure);
  platform::MsgBox(std::to_string(number) + text, platform::kMsgBoxPlain);
  return false;
}

constexpr const char* kNoPermission = "Sem Permissão para executar esta operação";

}  // namespace

bool CSql::ValidarLoginSysAdmin(std::string uID, std::string Pwd) {
  if (gIntegratedSecurity) return gIsSysAdmin;
  platform::Connection conn;
  std::int32_t error_number = 0;
  std::string error_text;
  if (!OpenLibraryConnection(conn, "master", &error_number, &error_text))
    throw platform::Error(error_number, error_text);
  if (uID.empty() && Pwd.empty()) uID = gUID;
  // Membership is decided by the name alone; the password takes part in nothing.
  platform::Recordset members = conn.Execute("sp_helpsrvrolemember 'sysadmin'");
  bool member = false;
  for (; !member && !members.Eof(); members.MoveNext()) {
    const platform::Variant name = members.Value("membername");
    member = !name.IsNull() && csql::SameName(name.ToString(), uID);
  }
  members.Close();
  conn.Close();
  return member;
}

bool CSql::SetServerRoleMember(const std::string& uID, std::int32_t ROLE, std::int32_t Accao) {
  platform::Connection conn;
  OpenLibraryConnection(conn, "master");
  try {
    if (!ValidarLoginSysAdmin(gUID, gPwd)) {
      platform::MsgBox(kNoPermission, platform::kMsgBoxCritical);
      CloseQuietly(conn);
      return false;
    }
    conn.Execute("use master");
    BusyPointer busy;
    const std::string procedure = Accao == 1 ? "sp_addsrvrolemember " : "sp_dropsrvrolemember ";
    conn.Execute(procedure + QuoteLiteral(uID) + " , " + QuoteLiteral(csql::security::ServerRoleName(ROLE)));
    busy.Off();
    conn.Close();
    return true;
  } catch (const std::exception& failure) {
    CloseQuietly(conn);
    return ReportRoleFailure(failure);
  }
}

bool CSql::SetDBRoleMember(const std::string& DBName, const std::string& uID, std::int32_t ROLE,
                           std::int32_t Accao) {
  platform::Connection conn;
  OpenLibraryConnection(conn, DBName);
  try {
    if (!ValidarLoginSysAdmin()) {
      platform::MsgBox(kNoPermission, platform::kMsgBoxCritical);
      return false;
    }
    conn.Execute("use " + csql::QuoteName(DBName));
    BusyPointer busy;
    // The role first and the member second, as the server's procedures take them.
    const std::string procedure = Accao == 1 ? "sp_addrolemember " : "sp_droprolemember ";
    conn.Execute(procedure + QuoteLiteral(csql::security::DatabaseRoleName(ROLE)) + " , " +
                 QuoteLiteral(uID));
    busy.Off();
    conn.Close();
    return true;
  } catch (const std::exception& failure) {
    CloseQuietly(conn);
    return ReportRoleFailure(failure);
  }
}

bool CSql::SQL_CheckLoginSysAdmin(platform::Connection& connActiva) {
  platform::Recordset answer = connActiva.Execute("select IS_SRVROLEMEMBER ('sysadmin') as SysAdmin");
  bool sysadmin = false;
  if (!SharedEDiv().IsVazio(answer)) {
    const platform::Variant value = answer.Value("SysAdmin");
    sysadmin = !value.IsNull() && value.ToLong() == 1;
  }
  answer.Close();
  return sysadmin;
}

std::string CSql::SQL_GetLoginName(platform::Connection& connActiva) {
  std::string account;
  return SQL_GetLoginName(connActiva, account);
}

std::string CSql::SQL_GetLoginName(platform::Connection& connActiva, std::string& ByRefAccountName) {
  ByRefAccountName.clear();
  std::string login;
  try {
    platform::Recordset name = connActiva.Execute("Select SUser_SName() as LoginName");
    if (!SharedEDiv().IsVazio(name)) login = name.Value("LoginName").ToString();
    name.Close();
  } catch (const std::exception&) {
    // No name: the result stays empty.
  }
  // xp_logininfo without an argument lists every Windows account that has a
  // login, in no useful order; with the login's name it describes that account.
  // A SQL login is no Windows account: the server refuses it and the account
  // name stays empty.
  if (login.empty()) return login;
  try {
    platform::Recordset info;
    info.Open("xp_logininfo " + QuoteLiteral(login), connActiva, platform::CursorType::kDynamic,
              platform::LockType::kOptimistic, platform::kOptionUnspecified);
    if (info.State() == platform::kStateOpen) {
      if (!info.Eof()) ByRefAccountName = info.Value("account name").ToString();
      info.Close();
    }
  } catch (const std::exception&) {
    ByRefAccountName.clear();
  }
  return login;
}
