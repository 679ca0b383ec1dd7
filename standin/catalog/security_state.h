// The control channel's SECURITY reply: logins with their server roles, and each database's owner and users
// with their logins and roles.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "catalog/catalog.h"

namespace standin {

nlohmann::json SecurityState(const Catalog& catalog);

// A request's text as the statement log keeps it: a request that carries a password (sp_addlogin,
// sp_password, CREATE/ALTER LOGIN) is logged as "<first word> -- text withheld: it carries a password", as
// SQL Server's traces withhold such text.
std::string LoggedText(const std::string& text);

}  // namespace standin
