// Exclusive access to a database and its ownership: owner change, single-user
// mode, and ending this workstation's server processes in a database.
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/controls.h"
#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/text.h"
#include "platform/ui_services.h"
#include "reporting_failure.h"
#include "server_names.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

namespace {

// SQL Server 2012 removed sp_dboption; a call then fails with this number.
constexpr std::int32_t kErrProcedureNotFound = 2812;

std::string Folded(const std::string& text) {
  return platform::Lower(platform::Trim(text));
}

bool IsSystemDatabase(const std::string& name) {
  const std::string folded = Folded(name);
  return folded == "master" || folded == "model" || folded == "msdb" || folded == "tempdb";
}

// Switches single-user mode of `database` on or off; `option_value` is the text
// sp_dboption receives ("true", "True", ...). Servers without sp_dboption get the
// ALTER DATABASE form. NO_WAIT, never ROLLBACK IMMEDIATE: like the procedure, the
// switch must fail while other sessions use the database, not end their work.
void SetSingleUser(platform::Connection& conn, const std::string& database, bool on,
                   const std::string& option_value) {
  try {
    conn.Execute("sp_dboption " + csql::QuoteName(database) + ",'single user'," + option_value);
  } catch (const platform::Error& error) {
    if (error.Number() != kErrProcedureNotFound) throw;
    conn.Execute("ALTER DATABASE " + csql::BracketName(database) +
                 (on ? " SET SINGLE_USER WITH NO_WAIT" : " SET MULTI_USER"));
  }
}

// The program's executable name without its extension: the application name its
// per-user settings are stored under.
std::string ExecutableName() {
  std::error_code failure;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", failure);
  return failure ? std::string() : path.stem().string();
}

// The workstation name stored in the per-user settings, or else the host name. A
// settings store that cannot be read counts as holding no name.
std::string WorkstationName() {
  std::string name;
  try {
    name = platform::Trim(platform::Toolkit().GetSetting(ExecutableName(), "MachineName", "Name", ""));
  } catch (const std::exception&) {
    name.clear();
  }
  if (name.empty()) {
    platform::Variant computer;
    if (SharedEDiv().GetMachineName(computer)) name = platform::Trim(computer.ToString());
  }
  return name;
}

}  // namespace

bool CSql::ChangeDatabaseOwner(platform::Connection& connToDataBase, const std::string& strDbName,
                               const std::string& LoginName, const std::string& NewOwner) {
  if (csql::SameName(NewOwner, LoginName)) return false;
  try {
    bool is_user = false;
    bool owns_already = false;
    std::string user_name;
    platform::Recordset users = connToDataBase.Execute("sp_helpuser");
    if (!SharedEDiv().IsVazio(users)) {
      for (; !users.Eof(); users.MoveNext()) {
        const platform::Variant login = users.Value("LoginName");
        const std::string user = users.Value("UserName").ToString();
        if (!login.IsNull() && csql::SameName(login.ToString(), NewOwner)) {
          is_user = true;
          user_name = user;
        }
        if (Folded(user) == "dbo" && !login.IsNull() && csql::SameName(login.ToString(), NewOwner)) {
          owns_already = true;
        }
      }
    }
    users.Close();
    if (owns_already) return false;
    // A system database never changes owner, so its users are left alone too:
    // dropping the new owner's user first would lose it for nothing.
    if (IsSystemDatabase(strDbName)) return true;
    if (is_user) connToDataBase.Execute("sp_dropuser " + csql::QuoteLiteral(user_name));
    // The login the comparisons above matched, without the blanks around it: the
    // server keeps leading blanks in a login name, so " sa" would name no login,
    // and the new owner's user would have been dropped for nothing.
    connToDataBase.Execute("sp_changedbowner " + csql::QuoteLiteral(platform::Trim(NewOwner)));
    return true;
  } catch (const platform::Error& error) {
    platform::MsgBox(std::to_string(error.Number()) + " - " + error.Description(), platform::kMsgBoxCritical);
  } catch (const std::exception& error) {
    platform::MsgBox(std::to_string(platform::kErrUnspecified) + " - " + error.what(),
                     platform::kMsgBoxCritical);
  }
  return false;
}

bool CSql::TrySingleUserMode(platform::Connection& connConnection, const std::string& DBName) {
  std::int32_t error_code = 0;
  std::string error_text;
  return TrySingleUserMode(connConnection, DBName, error_code, error_text);
}

bool CSql::TrySingleUserMode(platform::Connection& connConnection, const std::string& DBName,
                             std::int32_t& ErrorCode, std::string& ErrorDescription) {
  return csql::ReportingFailure(
      [&] {
        SetSingleUser(connConnection, DBName, true, "true");
        SetSingleUser(connConnection, DBName, false, "false");
      },
      ErrorCode, ErrorDescription);
}

bool CSql::SetSingleUserMode(platform::Connection& connConnection, const std::string& DBName, bool Setting,
                             std::int32_t& ErrorCode, std::string& ErrorDescription) {
  return csql::ReportingFailure(
      [&] { SetSingleUser(connConnection, DBName, Setting, Setting ? "True" : "False"); }, ErrorCode,
      ErrorDescription);
}

void CSql::KillAllProcessesInCurrentMachine(const std::string& DatabaseName) {
  // A blank host name would match every client that sends none.
  const std::string workstation = WorkstationName();
  if (workstation.empty()) return;

  platform::Connection conn;
  if (!CreateDBConnection(conn, gServer, "master", gUID, gPwd, 600, gErrCode, gErrDescription, 0)) {
    platform::ShowError(gErrCode, gErrDescription);
    return;
  }
  std::vector<std::int32_t> spids;
  try {
    platform::Recordset processes;
    processes.Open(
        "Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses "
        "Inner Join sysdatabases on sysdatabases.dbid = sysprocesses.dbid "
        "Where sysprocesses.Hostname=" +
            csql::QuoteLiteral(workstation) + " and SysDatabases.Name=" + csql::QuoteLiteral(DatabaseName),
        conn, platform::CursorType::kDynamic, platform::LockType::kOptimistic, platform::kOptionUnspecified);
    if (processes.State() == platform::kStateOpen) {
      for (; !processes.Eof(); processes.MoveNext()) spids.push_back(processes.Value("spid").ToLong());
      processes.Close();
    }
  } catch (const std::exception&) {
    // A query that fails leaves nothing to kill.
  }
  for (const std::int32_t spid : spids) {
    try {
      conn.Execute("Kill " + std::to_string(spid));
    } catch (const std::exception&) {
      // The process ended meanwhile, or is our own: skip it.
    }
  }
  try {
    conn.Close();
  } catch (const std::exception&) {
    // Already closed by a failure; nothing more to release.
  }
}
