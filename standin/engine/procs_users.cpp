// Database user procedures: sp_adduser, sp_grantdbaccess, sp_revokedbaccess, sp_dropuser, sp_addrolemember
// and sp_droprolemember, in the session's current database.
#include <algorithm>
#include <array>

#include "engine/security_support.h"

namespace standin {

namespace {

using security::ArgText;
using security::Fail;
using security::MayAdminister;
using security::RefuseInTransaction;
using security::RefuseWithoutPermission;
using security::RoleNamesEqual;

constexpr std::array<const char*, 10> kDatabaseRoles = {
    "public",           "db_owner",      "db_accessadmin",
    "db_securityadmin", "db_ddladmin",   "db_backupoperator",
    "db_datareader",    "db_datawriter", "db_denydatareader",
    "db_denydatawriter"};

UserDef* FindUser(Database& db, const std::string& name) {
  auto it = std::find_if(db.users.begin(), db.users.end(),
                         [&](const UserDef& u) { return NamesEqual(u.name, name); });
  return it == db.users.end() ? nullptr : &*it;
}

// sp_grantdbaccess 'login' [, 'name_in_db'] and sp_adduser 'login' [, 'name_in_db' [, 'role']].
void GrantAccess(ExecContext& ctx, ProcCall& call, const char* procedure) {
  if (RefuseInTransaction(ctx, call, procedure)) return;
  Database& db = *ctx.CurrentDb();
  if (RefuseWithoutPermission(ctx, call, MayAdminister(ctx, db, "db_accessadmin"))) return;
  const std::string login = ArgText(call, 0, "@loginame");
  std::string name = ArgText(call, 1, "@name_in_db");
  if (name.empty()) name = login;
  const LoginDef* def = ctx.server.catalog.FindLogin(login);
  if (!def) {
    Fail(ctx, call, 15007, 16, "'" + login + "' is not a valid login or you do not have permission.");
    return;
  }
  if (FindUser(db, name)) {
    Fail(ctx, call, 15023, 16, "User, group, or role '" + name + "' already exists in the current database.");
    return;
  }
  if (std::any_of(db.users.begin(), db.users.end(),
                  [&](const UserDef& u) { return NamesEqual(u.login, login); })) {
    Fail(ctx, call, 15063, 16, "The login already has an account under a different user name.");
    return;
  }
  db.users.push_back({name, def->name, {}});
}

// sp_revokedbaccess 'name' and sp_dropuser 'name'.
void RevokeAccess(ExecContext& ctx, ProcCall& call, const char* procedure) {
  if (RefuseInTransaction(ctx, call, procedure)) return;
  Database& db = *ctx.CurrentDb();
  if (RefuseWithoutPermission(ctx, call, MayAdminister(ctx, db, "db_accessadmin"))) return;
  const std::string name = ArgText(call, 0, "@name_in_db");
  if (!FindUser(db, name)) {
    Fail(ctx, call, 15008, 16, "User '" + name + "' does not exist in the current database.");
    return;
  }
  if (NamesEqual(name, "dbo")) {
    Fail(ctx, call, 15150, 16, "Cannot drop the user 'dbo'.");
    return;
  }
  std::erase_if(db.users, [&](const UserDef& u) { return NamesEqual(u.name, name); });
}

// sp_addrolemember / sp_droprolemember: role first, member second.
void RoleMember(ExecContext& ctx, ProcCall& call, bool add) {
  if (RefuseInTransaction(ctx, call, add ? "sp_addrolemember" : "sp_droprolemember")) return;
  Database& db = *ctx.CurrentDb();
  if (RefuseWithoutPermission(ctx, call, MayAdminister(ctx, db, "db_securityadmin"))) return;
  const std::string role = ArgText(call, 0, "@rolename");
  const std::string member = ArgText(call, 1, "@membername");
  const auto known = std::find_if(kDatabaseRoles.begin() + 1, kDatabaseRoles.end(),
                                  [&](const char* r) { return RoleNamesEqual(r, role); });
  if (known == kDatabaseRoles.end()) {
    Fail(ctx, call, 15014, 16, "The role '" + role + "' does not exist in the current database.");
    return;
  }
  UserDef* user = FindUser(db, member);
  if (!user) {
    Fail(ctx, call, 15410, 11, "User or role '" + member + "' does not exist in this database.");
    return;
  }
  auto same = [&](const std::string& r) { return RoleNamesEqual(r, *known); };
  const bool is_member = std::any_of(user->roles.begin(), user->roles.end(), same);
  if (add && !is_member) user->roles.push_back(*known);
  if (!add) std::erase_if(user->roles, same);
}

}  // namespace

void RegisterUserProcedures(StatementRegistry& r) {
  r.AddProcedure("sp_adduser",
                 [](ExecContext& ctx, ProcCall& call) { GrantAccess(ctx, call, "sp_adduser"); });
  r.AddProcedure("sp_grantdbaccess",
                 [](ExecContext& ctx, ProcCall& call) { GrantAccess(ctx, call, "sp_grantdbaccess"); });
  r.AddProcedure("sp_revokedbaccess",
                 [](ExecContext& ctx, ProcCall& call) { RevokeAccess(ctx, call, "sp_revokedbaccess"); });
  r.AddProcedure("sp_dropuser",
                 [](ExecContext& ctx, ProcCall& call) { RevokeAccess(ctx, call, "sp_dropuser"); });
  r.AddProcedure("sp_addrolemember", [](ExecContext& ctx, ProcCall& call) { RoleMember(ctx, call, true); });
  r.AddProcedure("sp_droprolemember", [](ExecContext& ctx, ProcCall& call) { RoleMember(ctx, call, false); });
}

}  // namespace standin
