// Logins, roles and database users end to end: CSql over unixODBC and FreeTDS
// against the stand-in or, when TAVINOR_TEST_SERVER names one, a real SQL
// Server. Each test reads the logins, users and roles back from the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "company_fleet.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "security_server.h"
#include "sqllib/csql.h"

namespace {

using e2e::kDatabaseOne;
using e2e::kDatabaseTwo;
using e2e::kOperador;
using e2e::kOperadorPassword;
using Names = std::vector<std::string>;

constexpr const char* kNovo = "tavinor_novo";
constexpr const char* kZe = "tavinor_ze";

using e2e::Target;

class SecurityEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    server_ =
        GetParam() == Target::kStandin ? e2e::MakeStandinSecurityServer() : e2e::MakeRealSecurityServer();
    if (!server_) {
      GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    }
    server_->Reset();
    platform::SetUi(ui_);
    RunAsAdministrator();
    gIntegratedSecurity = false;
  }
  void TearDown() override {
    platform::SetUi(nullptr);
    gServer.clear();
    gUID.clear();
    gPwd.clear();
  }

  void RunAsAdministrator() {
    gServer = server_->Server();
    gUID = server_->Login();
    gPwd = server_->Password();
  }
  bool LogsIn(const std::string& login, const std::string& password) {
    return csql_.ValidateLogin(login, password, "master", false);
  }

  std::unique_ptr<e2e::SecurityServer> server_;
  std::shared_ptr<platform::RecordingUi> ui_ = std::make_shared<platform::RecordingUi>();
  CSql& csql_ = SharedCSql();
};

TEST_P(SecurityEndToEnd, CreateLoginWithAnAwkwardPasswordLogsInAtOnce) {
  const std::string password = "A'b; c d#12";
  ASSERT_TRUE(csql_.CreateLogin(kNovo, password, 5));
  EXPECT_TRUE(ui_->boxes.empty());
  EXPECT_TRUE(LogsIn(kNovo, password));
  EXPECT_FALSE(LogsIn(kNovo, "A"));
  EXPECT_EQ(server_->ServerRoles(kNovo), Names{"dbcreator"});
  // Nor does the server's own record of what it received hold the password.
  if (const auto calls = server_->ProcedureCalls()) {
    ASSERT_FALSE(calls->empty());
    EXPECT_EQ(calls->front(), "sp_addlogin -- text withheld: it carries a password");
    for (const auto& call : *calls) EXPECT_EQ(call.find("c d#12"), std::string::npos) << call;
  }
  const auto user = server_->User("master", kNovo);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->login, kNovo);
}

TEST_P(SecurityEndToEnd, CreateLoginWithAnUnknownRoleKeepsLoginAndUserAndHidesThePassword) {
  EXPECT_FALSE(csql_.CreateLogin(kNovo, "Se'gr3do#99", 7));
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text.rfind("15412\r", 0), 0u) << ui_->boxes[0].text;
  EXPECT_EQ(ui_->boxes[0].text.find("gr3do"), std::string::npos);
  EXPECT_EQ(server_->ServerRoles(kNovo), Names{});
  EXPECT_TRUE(server_->User("master", kNovo));
}

TEST_P(SecurityEndToEnd, DeleteLoginNeedsSysAdminAndTakesAMissingLoginAsDropped) {
  ASSERT_TRUE(csql_.CreateLogin(kNovo, "Um#123456", 1));
  ASSERT_TRUE(csql_.DropUserFromDB("master", kNovo));
  gUID = kOperador;
  gPwd = kOperadorPassword;
  server_->ProcedureCalls();
  EXPECT_FALSE(csql_.DeleteLogin(kNovo));
  EXPECT_EQ(ui_->boxes.back().text, "Sem Permissão para eliminar o Utilizador");
  if (const auto calls = server_->ProcedureCalls()) {
    EXPECT_EQ(*calls, Names{"sp_helpsrvrolemember 'sysadmin'"});
  }
  EXPECT_TRUE(server_->ServerRoles(kNovo));

  RunAsAdministrator();
  EXPECT_TRUE(csql_.DeleteLogin("tavinor_ninguem")) << "a login that is not there counts as dropped";
  EXPECT_TRUE(csql_.DeleteLogin(kNovo));
  EXPECT_FALSE(server_->ServerRoles(kNovo));

  // The owner of a database stays until the database passes to another owner.
  EXPECT_FALSE(csql_.DeleteLogin(kOperador));
  EXPECT_TRUE(server_->ServerRoles(kOperador));
  csql_.DeleteUserFromAllDatabases(kOperador);
  EXPECT_TRUE(csql_.DeleteLogin(kOperador));
  EXPECT_FALSE(server_->ServerRoles(kOperador));
  EXPECT_EQ(ui_->boxes.size(), 1u) << "nothing shown besides the refusal to a non-sysadmin";
}

TEST_P(SecurityEndToEnd, EachPasswordFormTakesEffectAtOnce) {
  ASSERT_TRUE(csql_.CreateLogin(kZe, "Um#123456", 1));
  // An administrator without the old password, then with it for a named login.
  EXPECT_TRUE(csql_.ChangePassword(kZe, " ", "Dois#12345"));
  EXPECT_TRUE(LogsIn(kZe, "Dois#12345"));
  EXPECT_FALSE(LogsIn(kZe, "Um#123456"));
  EXPECT_TRUE(csql_.ChangePassword(kZe, "Dois#12345", "Tr'es#12345", true));
  EXPECT_TRUE(LogsIn(kZe, "Tr'es#12345"));
  EXPECT_FALSE(LogsIn(kZe, "Dois#12345"));
  // The library's own login, knowing its password; the login named is not used.
  gUID = kOperador;
  gPwd = kOperadorPassword;
  EXPECT_TRUE(csql_.ChangePassword(kZe, kOperadorPassword, "Novo#12345"));
  EXPECT_TRUE(LogsIn(kOperador, "Novo#12345"));
  EXPECT_FALSE(LogsIn(kOperador, kOperadorPassword));
  EXPECT_TRUE(LogsIn(kZe, "Tr'es#12345"));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(SecurityEndToEnd, ValidateLoginWithAWrongPasswordIsQuiet) {
  EXPECT_FALSE(csql_.ValidateLogin(kOperador, "errada"));
  EXPECT_TRUE(csql_.ValidateLogin(kOperador, kOperadorPassword, kDatabaseOne));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(SecurityEndToEnd, GrantTwiceAndRevokeLeaveTheExpectedUsers) {
  ASSERT_TRUE(csql_.CreateLogin(kZe, "Um#123456", 1));
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(csql_.GrantAcess(kDatabaseTwo, kZe)) << round;
    const auto user = server_->User(kDatabaseTwo, kZe);
    ASSERT_TRUE(user) << round;
    EXPECT_EQ(user->login, kZe);
    EXPECT_EQ(user->roles, (Names{"db_datareader", "db_datawriter", "db_owner"}));
  }
  EXPECT_TRUE(csql_.CheckUserInDB(kDatabaseTwo, "TAVINOR_ZE "));
  EXPECT_TRUE(csql_.RevokeAccess(kDatabaseTwo, kZe));
  EXPECT_FALSE(server_->User(kDatabaseTwo, kZe));
  EXPECT_FALSE(csql_.CheckUserInDB(kDatabaseTwo, kZe));
  EXPECT_TRUE(csql_.RevokeAccess(kDatabaseTwo, kZe)) << "a login without a user there";
  EXPECT_FALSE(csql_.GrantAcess(kDatabaseTwo, "tavinor_ninguem"));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(SecurityEndToEnd, RolesByIndexReachTheServer) {
  ASSERT_TRUE(csql_.CreateLogin(kZe, "Um#123456", 1));
  ASSERT_TRUE(csql_.GrantAcess(kDatabaseTwo, kZe));
  EXPECT_TRUE(csql_.SetServerRoleMember(kZe, 4, 1));
  EXPECT_TRUE(csql_.SetServerRoleMember(kZe, 1, 0));
  EXPECT_EQ(server_->ServerRoles(kZe), Names{"processadmin"});
  EXPECT_TRUE(csql_.SetDBRoleMember(kDatabaseTwo, kZe, 0, 0));  // "db_owner " with its blank
  EXPECT_EQ(server_->User(kDatabaseTwo, kZe)->roles, (Names{"db_datareader", "db_datawriter"}));
  EXPECT_TRUE(csql_.ValidarLoginSysAdmin());
  EXPECT_FALSE(csql_.ValidarLoginSysAdmin(kZe));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(SecurityEndToEnd, AnOpenConnectionTellsItsLoginAndSysAdmin) {
  for (const auto& [login, password, sysadmin] :
       {std::tuple{server_->Login(), server_->Password(), true},
        std::tuple{std::string(kOperador), std::string(kOperadorPassword), false}}) {
    platform::Connection conn;
    std::int32_t code = 0;
    std::string text;
    ASSERT_TRUE(csql_.CreateDBConnection(conn, gServer, "master", login, password, 30, code, text, 1))
        << text;
    std::string account = "antes";
    EXPECT_EQ(csql_.SQL_GetLoginName(conn, account), login);
    EXPECT_EQ(account, "") << "a SQL login is no Windows account";
    EXPECT_EQ(csql_.SQL_CheckLoginSysAdmin(conn), sysadmin) << login;
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_P(SecurityEndToEnd, DeleteUserFromAllDatabasesLeavesNoUserOfTheLogin) {
  ASSERT_TRUE(csql_.CreateLogin(kZe, "Um#123456", 1));
  ASSERT_TRUE(csql_.GrantAcess(kDatabaseTwo, kZe));
  Names seen;
  EXPECT_FALSE(csql_.DeleteUserFromAllDatabases(kZe, [&](const std::string& name) { seen.push_back(name); }));
  for (const auto& [database, owner] : server_->Owners()) {
    if (database == "tempdb") continue;
    for (const auto& user : server_->Users(database)) EXPECT_NE(user.login, kZe) << database;
  }
  EXPECT_NE(std::find(seen.begin(), seen.end(), kDatabaseTwo), seen.end());
  // Every user database it could open now belongs to sa.
  for (const auto& [database, owner] : server_->Owners()) EXPECT_EQ(owner, "sa") << database;
}

INSTANTIATE_TEST_SUITE_P(Targets, SecurityEndToEnd, e2e::kTargets, e2e::TargetName);

}  // namespace
