// Logins: creating and removing them, changing and checking passwords.
#include <exception>
#include <string>

#include "platform/main_mod.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "security_support.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"

using csql::QuoteLiteral;
using csql::security::BusyPointer;
using csql::security::CloseQuietly;
using csql::security::Describe;
using csql::security::OpenLibraryConnection;
using csql::security::Redact;

bool CSql::CreateLogin(const std::string& uID, const std::string& Pwd, std::int32_t ROLE) {
  if (platform::Trim(Pwd).empty()) {
    platform::MsgBox("A Password tem que ser preenchida !", platform::kMsgBoxCritical);
    return false;
  }
  platform::Connection conn;
  // A connection that did not open makes the first statement fail, and that
  // failure is the one shown.
  OpenLibraryConnection(conn, "master");
  BusyPointer busy;
  try {
    conn.Execute("sp_addlogin " + QuoteLiteral(uID) + " , " + QuoteLiteral(Pwd));
    // The new login's user of the same name in master.
    conn.Execute("sp_adduser " + QuoteLiteral(uID) + " , " + QuoteLiteral(uID));
    conn.Execute("sp_addsrvrolemember " + QuoteLiteral(uID) + " , " +
                 QuoteLiteral(csql::security::ServerRoleName(ROLE)));
  } catch (const std::exception& failure) {
    // What ran stays: a login whose user or role step failed is kept.
    busy.Off();
    const auto [number, text] = Describe(failure);
    platform::ShowError(number, Redact(text, {Pwd}));
    return false;
  }
  busy.Off();
  CloseQuietly(conn);
  return true;
}

bool CSql::DeleteLogin(const std::string& UIDtoDelete) {
  platform::Connection conn;
  OpenLibraryConnection(conn, "master");
  bool allowed = false;
  try {
    allowed = ValidarLoginSysAdmin(gUID, gPwd);
  } catch (const std::exception&) {
    // An unanswered question counts as no.
  }
  if (!allowed) {
    CloseQuietly(conn);
    platform::MsgBox("Sem Permissão para eliminar o Utilizador", platform::kMsgBoxCritical);
    return false;
  }
  BusyPointer busy;
  // A login that is not there counts as removed. The server refuses one that is
  // logged in, owns databases or (before 2005) still has users: nothing was removed.
  namespace security = csql::security;
  const bool dropped = security::RunAllowing(conn, "sp_droplogin " + QuoteLiteral(UIDtoDelete),
                                             {security::kErrNoSuchLogin, security::kErrCannotDropMissing});
  CloseQuietly(conn);
  return dropped;
}

bool CSql::ChangePassword(const std::string& uID, const std::string& oldPWD, const std::string& newPWD,
                          bool UseLoginName) {
  platform::Connection conn;
  OpenLibraryConnection(conn, "master");
  BusyPointer busy;
  try {
    if (platform::Trim(oldPWD).empty()) {
      // An administrator sets another login's password without knowing the old one.
      conn.Execute("sp_password NULL , " + QuoteLiteral(newPWD) + " , " + QuoteLiteral(uID));
    } else if (UseLoginName) {
      conn.Execute("sp_password " + QuoteLiteral(oldPWD) + " , " + QuoteLiteral(newPWD) + " , " +
                   QuoteLiteral(uID));
    } else {
      // The library's own login (gUID); gPwd is left as it was.
      conn.Execute("sp_password " + QuoteLiteral(oldPWD) + " , " + QuoteLiteral(newPWD));
    }
  } catch (const std::exception& failure) {
    CloseQuietly(conn);
    busy.Off();
    const auto [number, text] = Describe(failure);
    platform::MsgBox(std::to_string(number) + Redact(text, {oldPWD, newPWD}), platform::kMsgBoxPlain);
    return false;
  }
  busy.Off();
  CloseQuietly(conn);
  return true;
}

bool CSql::ValidateLogin(const std::string& uID, const std::string& Pwd, const std::string& DBName,
                         bool ShowMsg) {
  platform::Connection conn;
  std::int32_t error_number = 0;
  std::string error_text;
  // A refused login is an answer, not a failure: nothing is shown for it.
  if (!CreateDBConnection(conn, gServer, DBName, uID, Pwd, 15, error_number, error_text, 0)) return false;
  try {
    conn.Close();
    return true;
  } catch (const std::exception& failure) {
    CloseQuietly(conn);
    if (ShowMsg) {
      const auto [number, text] = Describe(failure);
      platform::ShowError(number, Redact(text, {Pwd}));
    }
    return false;
  }
}
