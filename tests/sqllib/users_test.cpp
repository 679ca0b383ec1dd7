#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "security_test_support.h"

namespace {

using platform::Error;
using platform::Variant;
using Statements = std::vector<std::string>;
using testsupport::Reply;
using testsupport::Table;

using UsersTest = SecurityTest;

TEST_F(UsersTest, GrantAcessAddsTheThreeRolesAndTakesAnExistingUserAsGranted) {
  struct Case {
    std::optional<std::int32_t> grant_error;
    bool expected;
  } cases[] = {{std::nullopt, true}, {15023, true}, {15063, true}, {15007, false}, {229, false}};
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    if (c.grant_error)
      fresh->FailExecute("Minha Base", "sp_grantdbaccess 'o''neil'", Error(*c.grant_error, "refused"));
    EXPECT_EQ(csql_.GrantAcess("Minha Base", "o'neil"), c.expected) << c.grant_error.value_or(0);
    EXPECT_EQ(fresh->Statements("Minha Base"), (Statements{"use [Minha Base]", "sp_grantdbaccess 'o''neil'",
                                                           "sp_addrolemember 'db_datawriter','o''neil'",
                                                           "sp_addrolemember 'db_datareader','o''neil'",
                                                           "sp_addrolemember 'db_owner','o''neil'"}));
    EXPECT_EQ(fresh->OpenSessions(), 0);
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(UsersTest, RevokeAndDropTakeAMissingUserAsRemoved) {
  const Statements role_drops{"sp_droprolemember 'db_datawriter','ze'",
                              "sp_droprolemember 'db_datareader','ze'", "sp_droprolemember 'db_owner','ze'"};
  struct Case {
    std::optional<std::int32_t> error;
    bool expected;
  } cases[] = {{std::nullopt, true}, {15008, true}, {15151, true}, {15284, false}, {229, false}};
  for (const auto& c : cases) {
    const std::int32_t number = c.error.value_or(0);
    testsupport::ScopedScriptedDriver fresh;
    // The role removals after a revoke find no user; their refusal changes nothing.
    for (const auto& drop : role_drops) fresh->FailExecute("db", drop, Error(15410, "no such user"));
    if (c.error) {
      fresh->FailExecute("db", "sp_revokedbaccess 'ze'", Error(number, "refused"));
      fresh->FailExecute("db", "sp_dropuser 'ze'", Error(number, "refused"));
    }
    EXPECT_EQ(csql_.RevokeAccess("db", "ze"), c.expected) << number;
    EXPECT_EQ(csql_.DropUserFromDB("db", "ze"), c.expected) << number;
    Statements expected{"use db", "sp_revokedbaccess 'ze'"};
    expected.insert(expected.end(), role_drops.begin(), role_drops.end());
    expected.insert(expected.end(), {"use db", "sp_dropuser 'ze'"});
    EXPECT_EQ(fresh->Statements("db"), expected);
    EXPECT_EQ(fresh->OpenSessions(), 0);
  }
}

TEST_F(UsersTest, AccessOperationsAreFalseWhenTheirConnectionFails) {
  driver_->FailConnect("db", Error(4060, "Cannot open database \"db\" requested by the login."));
  EXPECT_FALSE(csql_.GrantAcess("db", "ze"));
  EXPECT_FALSE(csql_.RevokeAccess("db", "ze"));
  EXPECT_FALSE(csql_.DropUserFromDB("db", "ze"));
  EXPECT_FALSE(csql_.CheckUserInDB("db", "ze"));
  EXPECT_TRUE(driver_->Statements("db").empty());
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(UsersTest, CheckUserInDBWantsTheUsersLoginOfTheSameName) {
  auto helpuser = [](const char* login) {
    return Reply({Table({"UserName", "RoleName", "LoginName", "DefDBName", "DefSchemaName", "UserID", "SID"},
                        {{Variant("joão"), Variant("public"), login ? Variant(login) : Variant::Null(),
                          Variant("master"), Variant("dbo"), Variant(5), Variant::Null()}})});
  };
  struct Case {
    const char* login;  // nullptr: no login; "!": sp_helpuser refuses the name
    bool expected;
  } cases[] = {{" JOÃO ", true}, {"joão", true}, {"joao", false}, {nullptr, false}, {"!", false}};
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    if (c.login && std::string(c.login) == "!") {
      fresh->FailExecute("db", "sp_helpuser N'joão'", Error(15198, "The name supplied (joão) is not a user"));
    } else {
      fresh->OnExecute("db", "sp_helpuser N'joão'", helpuser(c.login));
    }
    EXPECT_EQ(csql_.CheckUserInDB("db", "joão"), c.expected) << (c.login ? c.login : "null");
    EXPECT_EQ(fresh->Statements("db"), (Statements{"use db", "sp_helpuser N'joão'"}));
    EXPECT_EQ(fresh->OpenSessions(), 0);
  }
}

TEST_F(UsersTest, DeleteUserFromAllDatabasesDropsTheUserWhereverItIs) {
  std::vector<std::vector<Variant>> names{{Variant("master")},
                                          {Variant::Null()},
                                          {Variant("Parvimar01")},
                                          {Variant("Fechada")},
                                          {Variant("Parvimar02")}};
  driver_->OnExecute("master", "Select Name from SysDataBases", Reply({Table({"name"}, names)}));
  driver_->FailConnect("Fechada", Error(4060, "Cannot open database"));
  // Each database belongs to another login before the change.
  driver_->OnExecute("*", "sp_helpuser",
                     Reply({Table({"UserName", "RoleName", "LoginName"},
                                  {{Variant("dbo"), Variant("db_owner"), Variant("outro")}})}));
  const auto users = Reply(
      {Table({"UserName", "RoleName", "LoginName"}, {{Variant("ze"), Variant("public"), Variant("ze")}})});
  driver_->OnExecute("Parvimar01", "sp_helpuser 'ze'", users);
  driver_->FailExecute("Parvimar02", "sp_helpuser 'ze'", Error(15198, "not a user"));
  std::vector<std::string> progress;
  EXPECT_FALSE(
      csql_.DeleteUserFromAllDatabases("ze", [&](const std::string& name) { progress.push_back(name); }));
  EXPECT_EQ(progress, (Statements{"master", "Parvimar01", "Fechada", "Parvimar02"}));
  auto count = [&](const std::string& db, const std::string& text) {
    const Statements sent = driver_->Statements(db);
    return std::count(sent.begin(), sent.end(), text);
  };
  EXPECT_EQ(count("Parvimar01", "sp_Dropuser 'ze'"), 1);
  EXPECT_EQ(count("Parvimar02", "sp_Dropuser 'ze'"), 0);
  EXPECT_TRUE(driver_->Statements("Fechada").empty());
  EXPECT_EQ(driver_->OpenSessions(), 0);
  EXPECT_EQ(count("Parvimar01", "sp_changedbowner 'SA'"), 1);
  EXPECT_EQ(count("Parvimar02", "sp_changedbowner 'SA'"), 1);
  EXPECT_EQ(count("master", "sp_changedbowner 'SA'"), 0);
}

}  // namespace
