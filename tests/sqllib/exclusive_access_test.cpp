#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "open_connection_test.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

platform::BatchReply Users(std::vector<std::pair<std::string, Variant>> rows) {
  std::vector<std::vector<Variant>> table;
  for (auto& [user, login] : rows) table.push_back({Variant(user), Variant("db_owner"), login});
  return Reply({Table({"UserName", "RoleName", "LoginName"}, std::move(table))});
}

class CSqlExclusiveAccessTest : public testsupport::OpenConnectionTest {
 protected:
  CSql& sql_ = SharedCSql();
  std::int32_t code_ = 0;
  std::string text_;
};

TEST_F(CSqlExclusiveAccessTest, OwnerChangeDropsTheNewOwnersUserFirst) {
  driver_->OnExecute(
      "db", "sp_helpuser",
      Users({{"dbo", Variant("sa")}, {"guest", Variant::Null()}, {"joao silva", Variant("DOM\\Joao")}}));
  EXPECT_TRUE(sql_.ChangeDatabaseOwner(conn_, "Parvimar01", "sa", " dom\\joao "));
  EXPECT_EQ(driver_->Statements("db"), (std::vector<std::string>{"sp_helpuser", "sp_dropuser 'joao silva'",
                                                                 "sp_changedbowner 'dom\\joao'"}));
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(CSqlExclusiveAccessTest, OwnerChangesThatDoNothing) {
  driver_->OnExecute(
      "db", "sp_helpuser",
      Users({{"dbo", Variant("Maria")}, {"joao", Variant("joao")}, {"dbo", Variant("Conceição")}}));
  struct Case {
    const char* database;
    const char* login;
    const char* new_owner;
    bool result;
    std::vector<std::string> sent;
  } cases[] = {
      {"Parvimar01", " SA", "sa ", false, {}},
      {"Parvimar01", "", "MARIA", false, {"sp_helpuser"}},
      // Accented letters compare without case as the server's collation does.
      {"Parvimar01", "CONCEIÇÃO", "conceição", false, {}},
      {"Parvimar01", "", "CONCEIÇÃO", false, {"sp_helpuser"}},
      // A system database keeps its owner and its users.
      {" tempdb ", "", "joao", true, {"sp_helpuser"}},
      {"Model", "", "joao", true, {"sp_helpuser"}},
  };
  for (const auto& c : cases) {
    const auto before = driver_->Statements("db").size();
    EXPECT_EQ(sql_.ChangeDatabaseOwner(conn_, c.database, c.login, c.new_owner), c.result) << c.new_owner;
    const auto all = driver_->Statements("db");
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()), c.sent)
        << c.database << " " << c.new_owner;
  }
}

TEST_F(CSqlExclusiveAccessTest, OwnerChangeFailureIsShownWithADash) {
  driver_->OnExecute("db", "sp_helpuser", Users({{"dbo", Variant("sa")}}));
  driver_->FailExecute("db", "sp_changedbowner 'ninguem'", Error(15007, "'ninguem' is not a valid login."));
  EXPECT_FALSE(sql_.ChangeDatabaseOwner(conn_, "Parvimar01", "", "ninguem"));
  ASSERT_EQ(ui_->boxes.size(), 1U);
  EXPECT_EQ(ui_->boxes[0].text, "15007 - 'ninguem' is not a valid login.");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
}

TEST_F(CSqlExclusiveAccessTest, SingleUserModeFallsBackWhereSpDboptionIsGone) {
  EXPECT_TRUE(sql_.TrySingleUserMode(conn_, "Parvimar01", code_, text_));
  EXPECT_TRUE(sql_.SetSingleUserMode(conn_, "Minha Base", false, code_, text_));
  EXPECT_EQ(driver_->Statements("db"),
            (std::vector<std::string>{"sp_dboption Parvimar01,'single user',true",
                                      "sp_dboption Parvimar01,'single user',false",
                                      "sp_dboption [Minha Base],'single user',False"}));

  driver_->FailExecute("*", "sp_dboption Parvimar02,'single user',true",
                       Error(2812, "Could not find stored procedure 'sp_dboption'."));
  driver_->FailExecute("*", "sp_dboption Parvimar02,'single user',false",
                       Error(2812, "Could not find stored procedure 'sp_dboption'."));
  EXPECT_TRUE(sql_.TrySingleUserMode(conn_, "Parvimar02"));
  driver_->FailExecute("*", "ALTER DATABASE [Parvimar02] SET SINGLE_USER WITH NO_WAIT",
                       Error(5070,
                             "Database state cannot be changed while other users are using the database "
                             "'Parvimar02'"));
  EXPECT_FALSE(sql_.TrySingleUserMode(conn_, "Parvimar02", code_, text_));
  EXPECT_EQ(code_, 5070);
  const auto sent = driver_->Statements("db");
  EXPECT_EQ(std::vector<std::string>(sent.begin() + 3, sent.end()),
            (std::vector<std::string>{"sp_dboption Parvimar02,'single user',true",
                                      "ALTER DATABASE [Parvimar02] SET SINGLE_USER WITH NO_WAIT",
                                      "sp_dboption Parvimar02,'single user',false",
                                      "ALTER DATABASE [Parvimar02] SET MULTI_USER",
                                      "sp_dboption Parvimar02,'single user',true",
                                      "ALTER DATABASE [Parvimar02] SET SINGLE_USER WITH NO_WAIT"}));
}

TEST_F(CSqlExclusiveAccessTest, KillsOnlyThisHostsSessionsInTheDatabase) {
  gServer = "srv";
  char host[128] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const std::string query =
      "Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses Inner Join "
      "sysdatabases on sysdatabases.dbid = sysprocesses.dbid Where sysprocesses.Hostname='" +
      std::string(host) + "' and SysDatabases.Name='x'' or ''1''=''1'";
  driver_->OnExecute(
      "master", query,
      Reply({Table({"spid", "status", "name"}, {{Variant(std::int16_t{61}), "sleeping", "x"},
                                                {Variant(std::int16_t{62}), "runnable", "x"}})}));
  driver_->FailExecute("master", "Kill 61", Error(6104, "Cannot use KILL to kill your own process."));

  sql_.KillAllProcessesInCurrentMachine("x' or '1'='1");
  EXPECT_EQ(driver_->Statements("master"), (std::vector<std::string>{query, "Kill 61", "Kill 62"}));
  EXPECT_TRUE(ui_->boxes.empty()) << "a refused kill is skipped";
  EXPECT_EQ(driver_->OpenSessions(), 1);

  driver_->FailConnect("master", Error(18456, "Login failed for user 'sa'."));
  sql_.KillAllProcessesInCurrentMachine("x");
  ASSERT_EQ(ui_->boxes.size(), 1U);
  EXPECT_EQ(ui_->boxes[0].text, "18456\rLogin failed for user 'sa'.");
  gServer.clear();
}

}  // namespace
