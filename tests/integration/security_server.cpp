#include "security_server.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "company_fleet.h"
#include "platform/session.h"
#include "sqllib/sql_quote.h"
#include "standin_process.h"

namespace e2e {
namespace {

using nlohmann::json;

class StandinSecurityServer final : public SecurityServer {
 public:
  StandinSecurityServer() : path_(::testing::TempDir() + "security_" + std::to_string(getpid()) + ".json") {
    const json scenario = {{"logins",
                            {{{"name", "sa"}, {"password", kStandinPassword}, {"server_roles", {"sysadmin"}}},
                             {{"name", kOperador}, {"password", kOperadorPassword}}}},
                           {"databases",
                            {{{"name", kDatabaseOne},
                              {"owner", kOperador},
                              {"users", {{{"name", "dbo"}, {"login", kOperador}, {"roles", {"db_owner"}}}}}},
                             {{"name", kDatabaseTwo},
                              {"users", {{{"name", "dbo"}, {"login", "sa"}, {"roles", {"db_owner"}}}}}}}}};
    std::ofstream(path_) << scenario.dump();
    process_.emplace(STANDIN_EXECUTABLE, path_);
  }
  ~StandinSecurityServer() override {
    process_.reset();
    std::remove(path_.c_str());
  }

  void Reset() override {
    process_->Control("RESET");
    seen_ = 0;
  }
  std::string Server() const override { return process_->Server(); }
  std::string Login() const override { return "sa"; }
  std::string Password() const override { return kStandinPassword; }

  std::optional<std::vector<std::string>> ServerRoles(const std::string& login) override {
    const json security = process_->ControlJson("SECURITY");
    for (const auto& l : security["logins"])
      if (l["name"] == login) return Sorted(l["server_roles"].get<std::vector<std::string>>());
    return std::nullopt;
  }
  std::vector<DatabaseUser> Users(const std::string& database) override {
    std::vector<DatabaseUser> users;
    const json security = process_->ControlJson("SECURITY");
    for (const auto& d : security["databases"]) {
      if (d["name"] != database) continue;
      for (const auto& u : d["users"]) {
        users.push_back({u["name"], u["login"].is_null() ? "" : u["login"].get<std::string>(),
                         Sorted(u["roles"].get<std::vector<std::string>>())});
      }
    }
    return users;
  }
  std::vector<std::pair<std::string, std::string>> Owners() override {
    std::vector<std::pair<std::string, std::string>> owners;
    const json security = process_->ControlJson("SECURITY");
    for (const auto& d : security["databases"]) owners.emplace_back(d["name"], d["owner"]);
    return owners;
  }
  std::optional<std::vector<std::string>> ProcedureCalls() override {
    std::vector<std::string> calls;
    for (const auto& entry : process_->ControlJson("LOG SINCE " + std::to_string(seen_))) {
      seen_ = entry["seq"].get<long long>();
      // Each connection also asks for its login's language; only procedure calls count here.
      const std::string text = entry["text"];
      if (text.starts_with("sp_") || text.starts_with("xp_")) calls.push_back(text);
    }
    return calls;
  }

 private:
  std::string path_;
  std::optional<testsupport::StandinProcess> process_;
  long long seen_ = 0;
};

class RealSecurityServer final : public SecurityServer {
 public:
  RealSecurityServer(std::string server, std::string login, std::string password)
      : server_(std::move(server)), login_(std::move(login)), password_(std::move(password)) {}

  void Reset() override {
    auto master = Open("master");
    for (const char* name : {kDatabaseOne, kDatabaseTwo}) {
      const std::string db = csql::QuoteName(name);
      master.Execute("IF DB_ID(" + csql::QuoteLiteral(name) + ") IS NOT NULL BEGIN ALTER DATABASE " + db +
                     " SET SINGLE_USER WITH ROLLBACK IMMEDIATE; DROP DATABASE " + db + " END");
    }
    std::vector<std::string> logins;
    for (auto list = master.Execute("select name from sys.server_principals where name like " +
                                    csql::QuoteLike(kPrefix) + " + '%'");
         !list.Eof(); list.MoveNext()) {
      logins.push_back(list.Value("name").ToString());
    }
    for (const auto& name : logins) {
      // Users of a dropped login stay behind, orphaned, in every database.
      for (auto dbs = master.Execute("select name from sys.databases where state = 0"); !dbs.Eof();
           dbs.MoveNext()) {
        const std::string inner = "USE " + csql::QuoteName(dbs.Value("name").ToString()) +
                                  "; IF DATABASE_PRINCIPAL_ID(" + csql::QuoteLiteral(name) +
                                  ") IS NOT NULL DROP USER " + csql::QuoteName(name);
        master.Execute("EXEC(" + csql::QuoteLiteral(inner) + ")");
      }
      master.Execute("DROP LOGIN " + csql::QuoteName(name));
    }
    master.Execute("CREATE LOGIN " + csql::QuoteName(kOperador) +
                   " WITH PASSWORD = " + csql::QuoteLiteral(kOperadorPassword) + ", CHECK_POLICY = OFF");
    for (const char* name : {kDatabaseOne, kDatabaseTwo})
      master.Execute("CREATE DATABASE " + csql::QuoteName(name));
    master.Execute("ALTER AUTHORIZATION ON DATABASE::" + csql::QuoteName(kDatabaseOne) + " TO " +
                   csql::QuoteName(kOperador));
  }
  std::string Server() const override { return server_; }
  std::string Login() const override { return login_; }
  std::string Password() const override { return password_; }

  std::optional<std::vector<std::string>> ServerRoles(const std::string& login) override {
    auto master = Open("master");
    if (master.Execute("select name from sys.server_principals where name = " + csql::QuoteLiteral(login))
            .Eof())
      return std::nullopt;
    return SortedNames(
        master,
        "select r.name from sys.server_role_members m join sys.server_principals r on r.principal_id = "
        "m.role_principal_id join sys.server_principals l on l.principal_id = m.member_principal_id "
        "where l.name = " +
            csql::QuoteLiteral(login));
  }
  std::vector<DatabaseUser> Users(const std::string& database) override {
    auto db = Open(database);
    std::vector<DatabaseUser> users;
    for (auto list = db.Execute(
             "select u.name, isnull(l.name, '') as login from sys.database_principals u left join "
             "sys.server_principals l on l.sid = u.sid where u.type in ('S', 'U', 'G') and u.name not in "
             "('guest', 'INFORMATION_SCHEMA', 'sys')");
         !list.Eof(); list.MoveNext()) {
      users.push_back({list.Value("name").ToString(), list.Value("login").ToString(), {}});
    }
    for (auto& user : users) {
      user.roles =
          SortedNames(db,
                      "select r.name from sys.database_role_members m join sys.database_principals r on "
                      "r.principal_id = m.role_principal_id join sys.database_principals u on u.principal_id "
                      "= m.member_principal_id where u.name = " +
                          csql::QuoteLiteral(user.name));
    }
    return users;
  }
  std::vector<std::pair<std::string, std::string>> Owners() override {
    std::vector<std::pair<std::string, std::string>> owners;
    auto master = Open("master");
    for (auto list = master.Execute("select name, suser_sname(owner_sid) as owner from sys.databases");
         !list.Eof(); list.MoveNext()) {
      owners.emplace_back(list.Value("name").ToString(), list.Value("owner").ToString());
    }
    return owners;
  }
  std::optional<std::vector<std::string>> ProcedureCalls() override { return std::nullopt; }

 private:
  platform::Connection Open(const std::string& database) {
    return OpenRealServer({server_, login_, password_}, database);
  }
  std::string server_, login_, password_;
};

}  // namespace

std::unique_ptr<SecurityServer> MakeStandinSecurityServer() {
  if (!StandinBuilt()) return nullptr;
  return std::make_unique<StandinSecurityServer>();
}

std::unique_ptr<SecurityServer> MakeRealSecurityServer() {
  const auto settings = RealServerFromEnvironment();
  if (!settings) return nullptr;
  return std::make_unique<RealSecurityServer>(settings->server, settings->login, settings->password);
}

}  // namespace e2e
