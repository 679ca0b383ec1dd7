// Helpers of procs_logins.cpp and procs_users.cpp.
#include "engine/security_support.h"

#include <algorithm>

namespace standin::security {

std::string ArgText(const ProcCall& call, size_t position, std::string_view name) {
  const ProcArg* arg = call.Arg(position, name);
  return arg && !arg->value.IsNull() ? arg->value.ToText() : "";
}

bool ArgIsNull(const ProcCall& call, size_t position, std::string_view name) {
  const ProcArg* arg = call.Arg(position, name);
  return !arg || arg->value.IsNull();
}

void Fail(ExecContext& ctx, ProcCall& call, int32_t number, uint8_t severity, std::string text) {
  ctx.Error(number, severity, 1, std::move(text));
  call.return_status = 1;
}

bool RefuseInTransaction(ExecContext& ctx, ProcCall& call, const std::string& procedure) {
  if (ctx.session.trancount == 0) return false;
  Fail(ctx, call, 15002, 16, "The procedure '" + procedure + "' cannot be executed within a transaction.");
  return true;
}

bool RefuseWithoutPermission(ExecContext& ctx, ProcCall& call, bool allowed) {
  if (allowed) return false;
  Fail(ctx, call, 15247, 16, "User does not have permission to perform this action.");
  return true;
}

bool RoleNamesEqual(std::string_view a, std::string_view b) {
  auto cut = [](std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
  };
  return NamesEqual(cut(a), cut(b));
}

bool MayAdminister(ExecContext& ctx, const Database& db, std::string_view role) {
  if (ctx.IsSysAdmin()) return true;
  return std::any_of(db.users.begin(), db.users.end(), [&](const UserDef& u) {
    return NamesEqual(u.login, ctx.session.login) &&
           std::any_of(u.roles.begin(), u.roles.end(), [&](const std::string& r) {
             return RoleNamesEqual(r, "db_owner") || RoleNamesEqual(r, role);
           });
  });
}

}  // namespace standin::security
