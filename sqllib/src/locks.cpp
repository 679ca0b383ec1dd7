// Server sessions of a login, and the advisory table locks: a companion table T_
// whose row is held by a transaction left open on the caller's connection.
#include <exception>
#include <set>
#include <string>

#include "platform/error.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "reporting_failure.h"
#include "server_names.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

namespace {

std::string CompanionName(const std::string& table) {
  return table + "_";
}

// Runs `statement`; false instead of an error.
bool Ran(platform::Connection& conn, const std::string& statement) {
  try {
    conn.Execute(statement);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void RollBack(platform::Connection& conn) {
  try {
    conn.RollbackTrans();
  } catch (const std::exception&) {
    // The server ended the transaction already (the connection broke).
  }
}

}  // namespace

bool CSql::isLoggedOn(const std::string& uID) {
  std::string ret_info;
  return isLoggedOn(uID, ret_info);
}

bool CSql::isLoggedOn(const std::string& uID, std::string& RetInfo) {
  platform::Connection conn;
  std::int32_t error_code = 0;
  std::string error_text;
  if (!CreateDBConnection(conn, gServer, "master", gUID, gPwd, 600, error_code, error_text, 0)) return false;
  bool logged_on = false;
  if (csql::ReportingFailure(
          [&] {
            // The server upper-cases both sides, so letters outside ASCII compare as
            // it compares them.
            platform::Recordset processes =
                conn.Execute("select * from sysprocesses where net_address<>' ' and upper(loginame)=upper(" +
                             csql::QuoteLiteral(uID) + ")");
            if (SharedEDiv().IsVazio(processes)) {
              RetInfo.clear();
            } else {
              int count = 0;
              for (; !processes.Eof(); processes.MoveNext()) ++count;
              logged_on = count > 2;
            }
            processes.Close();
            conn.Close();
          },
          error_code, error_text)) {
    return logged_on;
  }
  if (conn.State() == platform::kStateOpen) {
    try {
      conn.Close();
    } catch (const std::exception&) {
      // Closing is all that is left to do.
    }
  }
  platform::ShowError(error_code, error_text);
  return false;
}

bool CSql::ActivaLock(platform::Connection& conn, const std::string& strTabela) {
  // A transaction open here may be another table's lock: committing it to take
  // this one would release that lock behind its holder's back.
  if (conn.InTransaction()) return false;
  const std::string companion = CompanionName(strTabela);
  const std::string quoted = csql::QuoteObjectName(companion);
  platform::UiServices& ui = platform::Ui();

  for (int pass = 0; pass < 2; ++pass) {
    // Another workstation's lock holds its companion table: the drop waits for it
    // and fails, and so does this lock.
    if (SQLCheckTable(conn, companion) && !Ran(conn, "drop table " + quoted)) return false;
    ui.DoEvents();
  }
  // A table that cannot be made may be another workstation's, made meanwhile.
  if (!SQLCreateTable(conn, companion)) return false;
  ui.DoEvents();
  const platform::Variant added = SQLAddField(conn, companion, "XXX", "nvarchar (10) NULL ");
  ui.DoEvents();
  const bool* added_ok = added.Get<bool>();
  if (added_ok == nullptr || !*added_ok) return false;
  if (!Ran(conn, "insert into " + quoted + " (xxx) values ('xxx')")) return false;

  try {
    conn.BeginTrans();
  } catch (const std::exception&) {
    return false;
  }
  try {
    std::int64_t changed = -1;
    conn.Execute("update " + quoted + "  set xxx='xxx'", changed);
    // No row changed means no row is held: another workstation replaced the table.
    if (changed != 0) return true;
  } catch (const std::exception&) {
    // The update waited for another workstation's lock and gave up.
  }
  RollBack(conn);
  return false;
}

platform::Variant CSql::DesActivaLock(platform::Connection& conn, const std::string& strTabela) {
  const std::string companion = CompanionName(strTabela);
  if (SQLCheckTable(conn, companion)) Ran(conn, "drop table " + csql::QuoteObjectName(companion));
  try {
    conn.CommitTrans();
  } catch (const std::exception&) {
    // No lock was held on this connection.
  }
  return {};
}

bool CSql::SQLCheckLock(platform::Connection& conn, const std::string& strTable) {
  const std::string wanted = CompanionName(strTable);
  // object_name resolves ids in the current database only, so lock rows of other
  // databases are skipped rather than named by chance.
  platform::Recordset current = conn.Execute("select a=db_id()");
  const std::int32_t database_id = current.Value("a").ToLong();
  current.Close();

  platform::Recordset locks = conn.Execute("sp_lock");
  // One object holds many locks (its table, pages, rows and keys, and every session
  // its shared lock on the database, object 0): each object is named once.
  std::set<std::int32_t> named;
  for (; !locks.Eof(); locks.MoveNext()) {
    if (locks.Value("dbid").ToLong() != database_id) continue;
    const std::int32_t object_id = locks.Value("OBJID").ToLong();
    if (!named.insert(object_id).second) continue;
    platform::Recordset name =
        conn.Execute("select a=isnull(object_name(" + std::to_string(object_id) + "),'' )");
    const bool match = csql::SameName(name.Value("a").ToString(), wanted);
    name.Close();
    if (match) return false;
  }
  locks.Close();
  return true;
}
