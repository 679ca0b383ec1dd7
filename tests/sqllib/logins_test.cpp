#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "security_test_support.h"

namespace {

using platform::Error;
using Statements = std::vector<std::string>;

using LoginsTest = SecurityTest;

TEST_F(LoginsTest, CreateLoginDoublesApostrophesAndKeepsThePasswordsBlanks) {
  EXPECT_TRUE(csql_.CreateLogin("o'neil", " a'b; c ", 5));
  EXPECT_EQ(driver_->Statements("master"),
            (Statements{"sp_addlogin 'o''neil' , ' a''b; c '", "sp_adduser 'o''neil' , 'o''neil'",
                        "sp_addsrvrolemember 'o''neil' , 'dbcreator'"}));
  EXPECT_EQ(driver_->Requests().at(0).login, "app");
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  EXPECT_TRUE(ui_->boxes.empty());
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(LoginsTest, CreateLoginRefusesABlankPasswordWithoutConnecting) {
  EXPECT_FALSE(csql_.CreateLogin("novo", "   ", 0));
  EXPECT_TRUE(driver_->Requests().empty());
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "A Password tem que ser preenchida !");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
}

TEST_F(LoginsTest, CreateLoginStopsAtTheFailedStepAndShowsIt) {
  // A role index outside the table names no role; the login and user stay.
  driver_->FailExecute("master", "sp_addsrvrolemember 'novo' , ''",
                       Error(15412, "'' is not a known fixed role."));
  EXPECT_FALSE(csql_.CreateLogin("novo", "pw1", 7));
  EXPECT_EQ(driver_->Statements("master").size(), 3u);
  EXPECT_EQ(Boxes(), (Statements{"15412\r'' is not a known fixed role."}));
  EXPECT_EQ(ui_->pointer_history, (std::vector<int>{11, 0}));
  EXPECT_EQ(driver_->OpenSessions(), 0);
}

TEST_F(LoginsTest, NoMessageShowsThePassword) {
  // Server texts that quote the statement, as a syntax error or a policy refusal
  // may, never carry the password to the box.
  driver_->FailExecute("master", "sp_addlogin 'novo' , 'Se''gr3do x'",
                       Error(102, "Incorrect syntax near 'Se''gr3do x'. Password Se'gr3do x refused."));
  EXPECT_FALSE(csql_.CreateLogin("novo", "Se'gr3do x", 0));
  driver_->FailExecute("master", "sp_password 'Velha#1' , 'Nova''#2'",
                       Error(15151, "Cannot alter the login 'Velha#1', because ... 'Nova'#2'"));
  EXPECT_FALSE(csql_.ChangePassword("app", "Velha#1", "Nova'#2"));
  // A blank old password is no secret to mask: the message keeps its blanks.
  driver_->FailExecute("master", "sp_password NULL , 'Nova#3' , 'ze'",
                       Error(15151, "Cannot alter the login 'ze', because it does not exist."));
  EXPECT_FALSE(csql_.ChangePassword("ze", " ", "Nova#3"));
  ASSERT_EQ(ui_->boxes.size(), 3u);
  EXPECT_EQ(ui_->boxes[0].text, "102\rIncorrect syntax near '****'. Password **** refused.");
  EXPECT_EQ(ui_->boxes[1].text, "15151Cannot alter the login '****', because ... '****'");
  EXPECT_EQ(ui_->boxes[1].style, platform::kMsgBoxPlain);
  EXPECT_EQ(ui_->boxes[2].text, "15151Cannot alter the login 'ze', because it does not exist.");
}

TEST_F(LoginsTest, DeleteLoginDropsOnlyForASysAdminAndReportsARefusedDrop) {
  struct Case {
    const char* name;
    std::vector<std::string> sysadmins;  // empty: the membership query fails
    std::int32_t drop_error;             // 0: the drop runs
    bool expected;
    Statements sent;
    Statements boxes;
  } cases[] = {
      {"sysadmin, matched without case and blanks",
       {"sa", " APP "},
       0,
       true,
       {"sp_helpsrvrolemember 'sysadmin'", "sp_droplogin 'x''y'"},
       {}},
      {"missing login (2000 and the procedure)",
       {"app"},
       15007,
       true,
       {"sp_helpsrvrolemember 'sysadmin'", "sp_droplogin 'x''y'"},
       {}},
      {"missing login (DROP LOGIN behind the procedure)",
       {"app"},
       15151,
       true,
       {"sp_helpsrvrolemember 'sysadmin'", "sp_droplogin 'x''y'"},
       {}},
      {"drop refused while logged in",
       {"app"},
       15434,
       false,
       {"sp_helpsrvrolemember 'sysadmin'", "sp_droplogin 'x''y'"},
       {}},
      {"no sysadmin",
       {"sa"},
       0,
       false,
       {"sp_helpsrvrolemember 'sysadmin'"},
       {"Sem Permissão para eliminar o Utilizador"}},
      {"membership unknown",
       {},
       0,
       false,
       {"sp_helpsrvrolemember 'sysadmin'"},
       {"Sem Permissão para eliminar o Utilizador"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScopedScriptedDriver fresh;
    ui_->boxes.clear();
    if (c.sysadmins.empty()) {
      fresh->FailExecute("master", "sp_helpsrvrolemember 'sysadmin'", Error(229, "permission denied"));
    } else {
      SysAdmins(*fresh, c.sysadmins);
    }
    if (c.drop_error != 0)
      fresh->FailExecute("master", "sp_droplogin 'x''y'", Error(c.drop_error, "refused"));
    EXPECT_EQ(csql_.DeleteLogin("x'y"), c.expected);
    EXPECT_EQ(fresh->Statements("master"), c.sent);
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(fresh->OpenSessions(), 0);
  }
}

TEST_F(LoginsTest, ChangePasswordFormChosenByOldPasswordAndUseLoginName) {
  struct Case {
    const char* old_pwd;
    bool use_login_name;
    const char* sent;
  } cases[] = {
      {"  ", true, "sp_password NULL , 'n''ova' , 'ze'"},
      {"", false, "sp_password NULL , 'n''ova' , 'ze'"},
      {" velha", true, "sp_password ' velha' , 'n''ova' , 'ze'"},
      {"velha", false, "sp_password 'velha' , 'n''ova'"},
  };
  for (const auto& c : cases) {
    testsupport::ScopedScriptedDriver fresh;
    EXPECT_TRUE(csql_.ChangePassword("ze", c.old_pwd, "n'ova", c.use_login_name));
    EXPECT_EQ(fresh->Statements("master"), Statements{c.sent});
  }
  EXPECT_EQ(gPwd, "pw") << "the library's own password is not updated";
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(LoginsTest, ValidateLoginConnectsAsTheLoginAndKeepsARefusalQuiet) {
  EXPECT_TRUE(csql_.ValidateLogin("ze", "p'w"));
  const auto& request = driver_->Requests().at(0);
  EXPECT_EQ(request.login, "ze");
  EXPECT_EQ(request.password, "p'w");
  EXPECT_EQ(request.database, "master");
  EXPECT_EQ(request.login_timeout_seconds, 15);
  EXPECT_EQ(driver_->OpenSessions(), 0);

  driver_->FailConnect("Parvimar01", Error(18456, "Login failed for user 'ze'."));
  EXPECT_FALSE(csql_.ValidateLogin("ze", "errada", "Parvimar01", true));
  EXPECT_TRUE(ui_->boxes.empty());
}

}  // namespace
