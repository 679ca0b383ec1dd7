// Shared by the login and database-user procedures: argument reading, the refusals every security procedure
// makes (inside a transaction, without permission), and role-name comparison.
#pragma once

#include <string>
#include <string_view>

#include "engine/statement_registry.h"

namespace standin::security {

// The argument's text, or "" when it was not given or is NULL.
std::string ArgText(const ProcCall& call, size_t position, std::string_view name);
bool ArgIsNull(const ProcCall& call, size_t position, std::string_view name);
// Raises `number` at `severity` with `text` and makes the call return 1.
void Fail(ExecContext& ctx, ProcCall& call, int32_t number, uint8_t severity, std::string text);
// 15002 inside a user transaction; true when refused.
bool RefuseInTransaction(ExecContext& ctx, ProcCall& call, const std::string& procedure);
// 15247 unless `allowed`; true when refused.
bool RefuseWithoutPermission(ExecContext& ctx, ProcCall& call, bool allowed);
// Role names as the server compares them: without case and without trailing blanks.
bool RoleNamesEqual(std::string_view a, std::string_view b);
// True when the session's login is a sysadmin, or a user of `db` in db_owner or `role`.
bool MayAdminister(ExecContext& ctx, const Database& db, std::string_view role);

}  // namespace standin::security
