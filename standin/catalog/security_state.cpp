#include "catalog/security_state.h"

namespace standin {

nlohmann::json SecurityState(const Catalog& catalog) {
  nlohmann::json logins = nlohmann::json::array();
  for (const auto& l : catalog.logins) {
    logins.push_back({{"name", l.name},
                      {"default_database", l.default_database},
                      {"server_roles", l.server_roles},
                      {"disabled", l.disabled}});
  }
  nlohmann::json databases = nlohmann::json::array();
  for (const auto& d : catalog.databases) {
    nlohmann::json users = nlohmann::json::array();
    for (const auto& u : d.users) {
      users.push_back({{"name", u.name},
                       {"login", u.login.empty() ? nlohmann::json() : nlohmann::json(u.login)},
                       {"roles", u.roles}});
    }
    databases.push_back({{"name", d.name}, {"owner", d.owner}, {"users", users}});
  }
  return {{"logins", logins}, {"databases", databases}};
}

}  // namespace standin
