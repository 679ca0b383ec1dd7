// The catalogue help procedures, callable from each other as the server's own procedures call each other.
#pragma once

#include "engine/statement_registry.h"

namespace standin {

void HelpIndex(ExecContext& ctx, ProcCall& call);
void HelpConstraint(ExecContext& ctx, ProcCall& call);
void HelpStats(ExecContext& ctx, ProcCall& call);
// sp_help: the objects of the database, or one table's or procedure's description.
void Help(ExecContext& ctx, ProcCall& call);

}  // namespace standin
