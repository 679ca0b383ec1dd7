// The server the login, role and user tests run against: the stand-in, or a
// real SQL Server named by TAVINOR_TEST_SERVER. Both start each test from the
// same logins and databases and read logins, users and roles back alike.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// A database user as the server keeps it; `login` is empty for a user whose
// login is gone.
struct DatabaseUser {
  std::string name;
  std::string login;
  std::vector<std::string> roles;  // fixed database roles, sorted
};

// The starting state: the login kOperador (kOperadorPassword, no server role),
// which owns kDatabaseOne, and kDatabaseTwo, owned by the administrator. Test
// logins are named with the kPrefix, so that a reset drops them.
inline constexpr const char* kPrefix = "tavinor_";
inline constexpr const char* kOperador = "tavinor_operador";
inline constexpr const char* kOperadorPassword = "Operador#123";
inline constexpr const char* kDatabaseOne = "TavinorSeg01";
inline constexpr const char* kDatabaseTwo = "TavinorSeg02";

class SecurityServer {
 public:
  virtual ~SecurityServer() = default;
  virtual void Reset() = 0;
  virtual std::string Server() const = 0;
  virtual std::string Login() const = 0;
  virtual std::string Password() const = 0;
  // The login's fixed server roles, sorted; nothing when there is no such login.
  virtual std::optional<std::vector<std::string>> ServerRoles(const std::string& login) = 0;
  virtual std::vector<DatabaseUser> Users(const std::string& database) = 0;
  // Every database of the server with its owner's login name.
  virtual std::vector<std::pair<std::string, std::string>> Owners() = 0;
  // The procedure calls received since the last call, where the server can tell.
  virtual std::optional<std::vector<std::string>> ProcedureCalls() = 0;

  std::optional<DatabaseUser> User(const std::string& database, const std::string& name) {
    for (auto& user : Users(database))
      if (user.name == name) return user;
    return std::nullopt;
  }
};

// nullptr when the stand-in is not built or TAVINOR_TEST_SERVER is not set.
std::unique_ptr<SecurityServer> MakeStandinSecurityServer();
std::unique_ptr<SecurityServer> MakeRealSecurityServer();

}  // namespace e2e
