// Installing a set of stored procedures from one script of GO-separated batches.
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"
#include "script_batches.h"
#include "sqllib/csql.h"
#include "sqllib/sql_quote.h"
#include "util/ediv.h"

namespace {

using csql::BracketName;
using csql::FindCreate;
using csql::SplitBatches;

// Drops every procedure the listing names that a script could have created: not
// the system's own (owner sys or INFORMATION_SCHEMA) and not functions, which the
// listing shows with the number 0. Each drop names the owner, so a procedure of
// another owner is dropped and not one of dbo with the same name.
void DropListedProcedures(platform::Connection& conn) {
  platform::Recordset listing;
  try {
    listing = conn.Execute("sp_stored_procedures");
    if (listing.State() != platform::kStateOpen || SharedEDiv().IsVazio(listing)) return;
  } catch (const std::exception&) {
    return;
  }
  std::vector<std::string> drops;
  try {
    for (; !listing.Eof(); listing.MoveNext()) {
      const platform::Variant owner_value = listing.Value("PROCEDURE_OWNER");
      const std::string owner = owner_value.IsNull() ? "dbo" : owner_value.ToString();
      std::string name = listing.Value("Procedure_Name").ToString();
      if (platform::EqualsIgnoringCase(owner, "sys") ||
          platform::EqualsIgnoringCase(owner, "INFORMATION_SCHEMA"))
        continue;
      // The group number follows the last ";" and may have more than one digit.
      if (const auto semicolon = name.rfind(';'); semicolon != std::string::npos) {
        if (name.substr(semicolon + 1) == "0") continue;
        name.erase(semicolon);
      }
      drops.push_back("Drop Procedure " + BracketName(owner) + "." + BracketName(name));
    }
    listing.Close();
  } catch (const std::exception&) {
    // A row that cannot be read ends the listing; what was read is still dropped.
  }
  for (const std::string& drop : drops) {
    try {
      conn.Execute(drop);
    } catch (const std::exception&) {
      // A procedure that cannot be dropped (permissions, a dependent) stays.
    }
  }
}

}  // namespace

platform::Variant CSql::CreateStoredProcedures(platform::Connection& connActiva,
                                               const std::string& strToCreate) {
  DropListedProcedures(connActiva);
  for (const std::string& batch : SplitBatches(strToCreate)) {
    const std::size_t create = FindCreate(batch);
    if (create == std::string_view::npos) continue;  // SET, GRANT, a comment alone
    try {
      connActiva.Execute(batch.substr(create));
    } catch (const std::exception&) {
      // The caller is not told which batch failed; the next one still runs.
    }
  }
  return {};
}
