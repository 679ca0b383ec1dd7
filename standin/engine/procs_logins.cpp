// Login procedures: sp_addlogin, sp_droplogin, sp_password, sp_addsrvrolemember, sp_dropsrvrolemember and
// xp_logininfo. A login made or changed here logs in at once: the login packet is checked against the
// catalogue.
#include <algorithm>
#include <array>

#include "engine/security_support.h"

namespace standin {

namespace {

using security::ArgIsNull;
using security::ArgText;
using security::Fail;
using security::RefuseInTransaction;
using security::RefuseWithoutPermission;
using security::RoleNamesEqual;

constexpr std::array<const char*, 8> kServerRoles = {"sysadmin",   "securityadmin", "serveradmin",
                                                     "setupadmin", "processadmin",  "diskadmin",
                                                     "dbcreator",  "bulkadmin"};

void MissingLogin(ExecContext& ctx, ProcCall& call, const std::string& login) {
  Fail(ctx, call, 15007, 16, "'" + login + "' is not a valid login or you do not have permission.");
}

void AddLogin(ExecContext& ctx, ProcCall& call) {
  if (RefuseInTransaction(ctx, call, "sp_addlogin")) return;
  if (RefuseWithoutPermission(ctx, call, ctx.IsSysAdmin())) return;
  const std::string name = ArgText(call, 0, "@loginame");
  if (ctx.server.catalog.FindLogin(name)) {
    Fail(ctx, call, 15025, 16, "The server principal '" + name + "' already exists.");
    return;
  }
  LoginDef login;
  login.name = name;
  login.password = ArgText(call, 1, "@passwd");
  const std::string default_db = ArgText(call, 2, "@defdb");
  if (!default_db.empty()) login.default_database = default_db;
  ctx.server.catalog.logins.push_back(std::move(login));
}

void DropLogin(ExecContext& ctx, ProcCall& call) {
  if (RefuseInTransaction(ctx, call, "sp_droplogin")) return;
  if (RefuseWithoutPermission(ctx, call, ctx.IsSysAdmin())) return;
  const std::string name = ArgText(call, 0, "@loginame");
  if (!ctx.server.catalog.FindLogin(name)) {
    MissingLogin(ctx, call, name);
    return;
  }
  const bool logged_in = std::any_of(ctx.server.sessions.begin(), ctx.server.sessions.end(),
                                     [&](const auto& s) { return NamesEqual(s.second.login, name); });
  if (logged_in) {
    Fail(ctx, call, 15434, 16, "Could not drop login '" + name + "' as the user is currently logged in.");
    return;
  }
  // The owner of a database must be changed first; its users are no obstacle.
  if (std::any_of(ctx.server.catalog.databases.begin(), ctx.server.catalog.databases.end(),
                  [&](const Database& db) { return NamesEqual(db.owner, name); })) {
    Fail(
        ctx, call, 15174, 16,
        "Login '" + name +
            "' owns one or more database(s). Change the owner of the database(s) before dropping the login.");
    return;
  }
  // Since SQL Server 2005 the drop leaves the login's database users behind, orphaned.
  for (auto& db : ctx.server.catalog.databases) {
    for (auto& u : db.users) {
      if (NamesEqual(u.login, name)) u.login.clear();
    }
  }
  std::erase_if(ctx.server.catalog.logins, [&](const LoginDef& l) { return NamesEqual(l.name, name); });
}

void Password(ExecContext& ctx, ProcCall& call) {
  if (RefuseInTransaction(ctx, call, "sp_password")) return;
  const std::string name =
      ArgIsNull(call, 2, "@loginame") ? ctx.session.login : ArgText(call, 2, "@loginame");
  LoginDef* login = ctx.server.catalog.FindLogin(name);
  const bool own = NamesEqual(name, ctx.session.login);
  // A sysadmin sets any password without the old one; a login changes its own knowing it. An old password
  // that is given must match, whoever gives it.
  const bool old_given = !ArgIsNull(call, 0, "@old");
  const bool allowed =
      login && (old_given ? login->password == ArgText(call, 0, "@old") && (own || ctx.IsSysAdmin())
                          : ctx.IsSysAdmin());
  if (!login || !allowed) {
    Fail(ctx, call, 15151, 16,
         "Cannot alter the login '" + name + "', because it does not exist or you do not have permission.");
    return;
  }
  login->password = ArgText(call, 1, "@new");
}

// sp_addsrvrolemember / sp_dropsrvrolemember: login first, role second.
void ServerRoleMember(ExecContext& ctx, ProcCall& call, bool add) {
  if (RefuseInTransaction(ctx, call, add ? "sp_addsrvrolemember" : "sp_dropsrvrolemember")) return;
  const std::string name = ArgText(call, 0, "@loginame");
  const std::string role = ArgText(call, 1, "@rolename");
  const auto known = std::find_if(kServerRoles.begin(), kServerRoles.end(),
                                  [&](const char* r) { return RoleNamesEqual(r, role); });
  if (known == kServerRoles.end()) {
    Fail(ctx, call, 15412, 11, "'" + role + "' is not a known fixed role.");
    return;
  }
  // A sysadmin changes any role; a member of a fixed role may add others to it.
  const LoginDef* caller = ctx.CurrentLogin();
  const bool role_member =
      caller && std::any_of(caller->server_roles.begin(), caller->server_roles.end(),
                            [&](const std::string& r) { return RoleNamesEqual(r, *known); });
  if (RefuseWithoutPermission(ctx, call, ctx.IsSysAdmin() || role_member)) return;
  LoginDef* login = ctx.server.catalog.FindLogin(name);
  if (!login) {
    MissingLogin(ctx, call, name);
    return;
  }
  auto& roles = login->server_roles;
  const bool member = std::any_of(roles.begin(), roles.end(),
                                  [&](const std::string& r) { return RoleNamesEqual(r, *known); });
  if (add && !member) roles.push_back(*known);
  if (!add) std::erase_if(roles, [&](const std::string& r) { return RoleNamesEqual(r, *known); });
}

// xp_logininfo 'account': logins named DOMAIN\user stand for Windows accounts; any other name is no Windows
// account and gets 15404.
void LoginInfo(ExecContext& ctx, ProcCall& call) {
  const std::string name = ArgText(call, 0, "@acctname");
  ResultSet rs;
  rs.columns = {{"account name", *ParseSqlType("sysname"), false},
                {"type", *ParseSqlType("char(8)"), true},
                {"privilege", *ParseSqlType("char(9)"), true},
                {"mapped login name", *ParseSqlType("sysname"), true},
                {"permission path", *ParseSqlType("sysname"), true}};
  for (const auto& login : ctx.server.catalog.logins) {
    const bool windows = login.name.find('\\') != std::string::npos;
    if (!windows || (!name.empty() && !NamesEqual(login.name, name))) continue;
    const bool admin = std::any_of(login.server_roles.begin(), login.server_roles.end(),
                                   [](const std::string& r) { return RoleNamesEqual(r, "sysadmin"); });
    rs.rows.push_back(
        {Value(login.name), Value("user"), Value(admin ? "admin" : "user"), Value(login.name), Value{}});
  }
  if (!name.empty() && rs.rows.empty()) {
    Fail(ctx, call, 15404, 16,
         "Could not obtain information about Windows NT group/user '" + name + "', error code 0x534.");
    return;
  }
  ctx.Rows(std::move(rs));
}

}  // namespace

void RegisterLoginProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_addlogin", AddLogin);
  r.AddProcedure("sp_droplogin", DropLogin);
  r.AddProcedure("sp_password", Password);
  r.AddProcedure("sp_addsrvrolemember",
                 [](ExecContext& ctx, ProcCall& call) { ServerRoleMember(ctx, call, true); });
  r.AddProcedure("sp_dropsrvrolemember",
                 [](ExecContext& ctx, ProcCall& call) { ServerRoleMember(ctx, call, false); });
  r.AddProcedure("xp_logininfo", LoginInfo);
}

}  // namespace standin
