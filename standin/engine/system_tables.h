// The compatibility views the stand-in serves (sysdatabases, sysprocesses, sysobjects, syscolumns, systypes)
// and the built-in type list behind systypes, built from the catalogue on each read.
#pragma once

#include <optional>
#include <string>

#include "engine/exec_context.h"

namespace standin {

struct SystemTypeRow {
  const char* name;
  int xtype;
  int xusertype;
  int length;
};

// systypes rows in user type id order, the order a scan of the view returns them in.
const std::vector<SystemTypeRow>& SystemTypes();

// The whole view as a result set, or nothing when `name` is no system view the stand-in serves.
std::optional<ResultSet> SystemTable(ExecContext& ctx, Database& db, std::string_view name);

// The value of OBJECT_ID for a name in `db`: tables and procedures; NULL when absent.
Value ObjectId(ExecContext& ctx, std::string_view name);

}  // namespace standin
