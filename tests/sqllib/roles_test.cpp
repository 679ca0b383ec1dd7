#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "error_number.h"
#include "security_test_support.h"
#include "sqllib/sql_quote.h"

namespace {

using platform::Error;
using platform::Variant;
using Statements = std::vector<std::string>;
using testsupport::Reply;
using testsupport::Table;

using RolesTest = SecurityTest;

TEST_F(RolesTest, SysAdminTestMatchesTheNameAlone) {
  struct Case {
    const char* uid;
    const char* pwd;
    bool expected;
  } cases[] = {
      {"", "", true},           // gUID, "app", listed as " APP "
      {"sa", "", true},         // a given name needs no password
      {"  Sa ", "x", true},     // case and surrounding blanks do not count
      {"operador", "", false},  // not listed
      {"", "qualquer", false},  // an empty name with a password is tested as given
      {"joão", "", true},       // accented letters compare without case too
      {"joao", "", false},
  };
  SysAdmins(*driver_, {"sa", " APP ", "JOÃO"});
  for (const auto& c : cases) EXPECT_EQ(csql_.ValidarLoginSysAdmin(c.uid, c.pwd), c.expected) << c.uid;
  for (const auto& request : driver_->Requests()) EXPECT_EQ(request.login, "app");
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(RolesTest, SysAdminTestUnderIntegratedSecurityAsksNothingAndFailuresReachTheCaller) {
  gIntegratedSecurity = true;
  gIsSysAdmin = true;
  EXPECT_TRUE(csql_.ValidarLoginSysAdmin("ninguem"));
  EXPECT_TRUE(driver_->Requests().empty());
  gIntegratedSecurity = false;
  driver_->FailConnect("master", Error(18456, "Login failed for user 'app'."));
  EXPECT_EQ(testsupport::ErrorNumber([&] { csql_.ValidarLoginSysAdmin(); }), 18456);
}

TEST_F(RolesTest, ServerRoleMemberAddsForOneAndDropsOtherwise) {
  struct Case {
    std::int32_t role;
    std::int32_t accao;
    const char* sent;
  } cases[] = {
      {0, 1, "sp_addsrvrolemember 'o''neil' , 'sysadmin'"},
      {6, 0, "sp_dropsrvrolemember 'o''neil' , 'diskadmin'"},
      {3, 2, "sp_dropsrvrolemember 'o''neil' , 'securityadmin'"},
      {1, -1, "sp_dropsrvrolemember 'o''neil' , 'serveradmin'"},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    SysAdmins(*fresh, {"app"});
    EXPECT_TRUE(csql_.SetServerRoleMember("o'neil", c.role, c.accao));
    EXPECT_EQ(fresh->Statements("master"),
              (Statements{"sp_helpsrvrolemember 'sysadmin'", "use master", c.sent}));
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(RolesTest, RoleChangesRefusedOrFailedAreShown) {
  // An index outside the table names no role: the server's refusal is shown as
  // number and text run together.
  SysAdmins(*driver_, {"app"});
  driver_->FailExecute("master", "sp_addsrvrolemember 'ze' , ''",
                       Error(15412, "'' is not a known fixed role."));
  EXPECT_FALSE(csql_.SetServerRoleMember("ze", 7, 1));
  EXPECT_EQ(Boxes(), Statements{"15412'' is not a known fixed role."});
  EXPECT_EQ(ui_->boxes.back().style, platform::kMsgBoxPlain);
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));

  // Without sysadmin nothing besides the membership query is sent.
  testsupport::ScopedScriptedDriver fresh;
  SysAdmins(*fresh, {"sa"});
  ui_->boxes.clear();
  EXPECT_FALSE(csql_.SetServerRoleMember("ze", 0, 1));
  EXPECT_FALSE(csql_.SetDBRoleMember("Parvimar01", "ze", 0, 1));
  EXPECT_EQ(fresh->Statements("master"), Statements(2, "sp_helpsrvrolemember 'sysadmin'"));
  EXPECT_TRUE(fresh->Statements("Parvimar01").empty());
  EXPECT_EQ(Boxes(), Statements(2, "Sem Permissão para executar esta operação"));
  EXPECT_EQ(fresh->OpenSessions(), 0);
}

TEST_F(RolesTest, DatabaseRoleMemberNamesTheRoleFirstInItsDatabase) {
  struct Case {
    const char* database;
    std::int32_t role;
    std::int32_t accao;
    Statements sent;
  } cases[] = {
      {"Parvimar01", 0, 1, {"use Parvimar01", "sp_addrolemember 'db_owner ' , 'o''neil'"}},
      {"Minha Base", 8, 0, {"use [Minha Base]", "sp_droprolemember 'db_denydatawriter' , 'o''neil'"}},
      {"Parvimar01", 9, 1, {"use Parvimar01", "sp_addrolemember '' , 'o''neil'"}},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    SysAdmins(*fresh, {"app"});
    EXPECT_TRUE(csql_.SetDBRoleMember(c.database, "o'neil", c.role, c.accao));
    EXPECT_EQ(fresh->Statements(c.database), c.sent);
    EXPECT_EQ(fresh->Requests().at(0).database, c.database);
  }
}

TEST_F(RolesTest, CheckLoginSysAdminIsTrueForOneOnly) {
  const char* kQuery = "select IS_SRVROLEMEMBER ('sysadmin') as SysAdmin";
  struct Case {
    std::vector<std::vector<Variant>> rows;
    bool expected;
  } cases[] = {{{{Variant(1)}}, true}, {{{Variant(0)}}, false}, {{{Variant::Null()}}, false}, {{}, false}};
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    fresh->OnExecute("db", kQuery, Reply({Table({"SysAdmin"}, c.rows)}));
    platform::Connection conn;
    conn.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
    EXPECT_EQ(csql_.SQL_CheckLoginSysAdmin(conn), c.expected);
    EXPECT_EQ(conn.State(), platform::kStateOpen);
  }
}

TEST_F(RolesTest, GetLoginNameAsksXpLoginInfoForThatLogin) {
  struct Case {
    const char* name;  // nullptr: the name query fails
    bool windows;      // xp_logininfo knows the account
    const char* account;
  } cases[] = {{"DOM\\ana", true, "DOM\\ana"}, {"ze", false, ""}, {nullptr, false, ""}};
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    if (c.name) {
      fresh->OnExecute("db", "Select SUser_SName() as LoginName",
                       Reply({Table({"LoginName"}, {{Variant(c.name)}})}));
    } else {
      fresh->FailExecute("db", "Select SUser_SName() as LoginName", Error(208, "Invalid object name"));
    }
    const std::string xp = "xp_logininfo " + std::string(c.name ? csql::QuoteLiteral(c.name) : "");
    if (c.windows) {
      fresh->OnExecute(
          "db", xp,
          Reply({Table({"account name", "type", "privilege", "mapped login name", "permission path"},
                       {{Variant(c.account), Variant("user"), Variant("user"), Variant(c.account),
                         Variant::Null()}})}));
    } else {
      fresh->FailExecute("db", xp, Error(15404, "Could not obtain information about Windows NT group/user"));
    }
    platform::Connection conn;
    conn.Open("Provider=SQLOLEDB.1;Initial Catalog=db;Data Source=srv");
    std::string account = "antes";
    EXPECT_EQ(csql_.SQL_GetLoginName(conn, account), c.name ? c.name : "");
    EXPECT_EQ(account, c.account);
    const Statements sent = fresh->Statements("db");
    EXPECT_EQ(sent.size(), c.name ? 2u : 1u) << "no name, no account to ask about";
    if (c.name) {
      EXPECT_EQ(sent.back(), xp);
    }
  }
  EXPECT_TRUE(ui_->boxes.empty());
}

}  // namespace
