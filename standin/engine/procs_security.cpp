// Security help procedures: sp_helpsrvrolemember (fixed server roles and their logins) and sp_helpuser
// (database users with their role memberships, or the members of a role).
#include <algorithm>
#include <array>

#include "engine/statement_registry.h"

namespace standin {

namespace {

SqlType T(const char* text) {
  return *ParseSqlType(text);
}

constexpr std::array<const char*, 8> kFixedServerRoles = {"sysadmin",   "securityadmin", "serveradmin",
                                                          "setupadmin", "processadmin",  "diskadmin",
                                                          "dbcreator",  "bulkadmin"};

// A stable SID per login name, as the server gives every SQL login a 16-byte SID of its own.
Value Sid(const std::string& login) {
  Bytes sid(16, 0);
  if (NamesEqual(login, "sa")) {
    sid = {0x01};
  } else {
    for (size_t k = 0; k < login.size(); ++k)
      sid[k % 16] = static_cast<uint8_t>(sid[k % 16] * 31 + Lower(login)[k]);
  }
  return Value(sid);
}

void HelpServerRoleMember(ExecContext& ctx, ProcCall& call) {
  const ProcArg* arg = call.Arg(0, "@srvrolename");
  std::vector<std::string> roles;
  if (arg && !arg->value.IsNull()) {
    std::string wanted = Trim(arg->value.ToText());
    for (const char* r : kFixedServerRoles) {
      if (NamesEqual(r, wanted)) roles.push_back(r);
    }
    if (roles.empty()) {
      ctx.Error(15412, 11, 1, "'" + wanted + "' is not a known fixed role.");
      call.return_status = 1;
      return;
    }
  } else {
    roles.assign(kFixedServerRoles.begin(), kFixedServerRoles.end());
  }
  ResultSet rs;
  rs.columns = {{"ServerRole", T("sysname"), false},
                {"MemberName", T("sysname"), false},
                {"MemberSID", T("varbinary(85)"), true}};
  for (const auto& role : roles) {
    for (const auto& login : ctx.server.catalog.logins) {
      bool member = std::any_of(login.server_roles.begin(), login.server_roles.end(),
                                [&](const std::string& r) { return NamesEqual(r, role); });
      if (member) rs.rows.push_back({Value(role), Value(login.name), Sid(login.name)});
    }
  }
  ctx.Rows(std::move(rs));
}

void HelpUser(ExecContext& ctx, ProcCall& call) {
  Database* db = ctx.CurrentDb();
  const ProcArg* arg = call.Arg(0, "@name_in_db");
  std::string wanted = arg && !arg->value.IsNull() ? Trim(arg->value.ToText()) : "";
  auto default_db = [&](const std::string& login) -> Value {
    const LoginDef* l = ctx.server.catalog.FindLogin(login);
    return l ? Value(l->default_database) : Value{};
  };
  bool is_user = wanted.empty() || std::any_of(db->users.begin(), db->users.end(),
                                               [&](const UserDef& u) { return NamesEqual(u.name, wanted); });
  if (is_user) {
    ResultSet rs;
    rs.columns = {{"UserName", T("sysname"), false},     {"RoleName", T("sysname"), true},
                  {"LoginName", T("sysname"), true},     {"DefDBName", T("sysname"), true},
                  {"DefSchemaName", T("sysname"), true}, {"UserID", T("smallint"), false},
                  {"SID", T("varbinary(85)"), true}};
    for (size_t k = 0; k < db->users.size(); ++k) {
      const UserDef& u = db->users[k];
      if (!wanted.empty() && !NamesEqual(u.name, wanted)) continue;
      std::vector<std::string> roles = u.roles.empty() ? std::vector<std::string>{"public"} : u.roles;
      for (const auto& role : roles) {
        rs.rows.push_back({Value(u.name), Value(role), u.login.empty() ? Value{} : Value(u.login),
                           default_db(u.login), Value("dbo"), Value(static_cast<int64_t>(k + 1)),
                           Sid(u.login)});
      }
    }
    ctx.Rows(std::move(rs));
    return;
  }
  ResultSet members;
  members.columns = {{"Role_name", T("sysname"), false},
                     {"Role_id", T("smallint"), false},
                     {"Users_in_role", T("sysname"), false},
                     {"Userid", T("smallint"), false}};
  for (size_t k = 0; k < db->users.size(); ++k) {
    for (const auto& role : db->users[k].roles) {
      if (NamesEqual(role, wanted)) {
        members.rows.push_back(
            {Value(role), Value(16384), Value(db->users[k].name), Value(static_cast<int64_t>(k + 1))});
      }
    }
  }
  if (members.rows.empty()) {
    ctx.Error(15198, 16, 1, "The name supplied (" + wanted + ") is not a user, role, or aliased login.");
    call.return_status = 1;
    return;
  }
  ctx.Rows(std::move(members));
}

}  // namespace

void RegisterSecurityProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_helpsrvrolemember", HelpServerRoleMember);
  r.AddProcedure("sp_helpuser", HelpUser);
}

}  // namespace standin
