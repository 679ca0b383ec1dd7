// The control channel's SECURITY reply: logins with their server roles, and each database's owner and users
// with their logins and roles.
#pragma once

#include <nlohmann/json.hpp>

#include "catalog/catalog.h"

namespace standin {

nlohmann::json SecurityState(const Catalog& catalog);

}  // namespace standin
