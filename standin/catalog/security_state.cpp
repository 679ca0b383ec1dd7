#include "catalog/security_state.h"

#include "catalog/value.h"

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

std::string LoggedText(const std::string& text) {
  const std::string lower = Lower(text);
  const bool secret =
      lower.find("sp_addlogin") != std::string::npos || lower.find("sp_password") != std::string::npos ||
      (lower.find("login") != std::string::npos && lower.find("password") != std::string::npos);
  if (!secret) return text;
  const size_t start = text.find_first_not_of(" \t\r\n");
  const std::string first =
      start == std::string::npos ? "" : text.substr(start, text.find_first_of(" \t\r\n", start) - start);
  return first + " -- text withheld: it carries a password";
}

}  // namespace standin
