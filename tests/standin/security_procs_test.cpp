// The security procedures over the scenario's logins, users and roles: the help procedures, and the ones
// that add, change and remove logins, users and role memberships.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;

json Security() {
  return {{"logins",
           {{{"name", "sa"}, {"password", "x"}, {"server_roles", {"sysadmin"}}},
            {{"name", "gestor"},
             {"password", "x"},
             {"default_database", "Loja"},
             {"server_roles", {"sysadmin", "dbcreator"}}},
            {{"name", "caixa"}, {"password", "x"}, {"default_database", "Loja"}}}},
          {"databases",
           {{{"name", "Loja"},
             {"users",
              {{{"name", "dbo"}, {"login", "sa"}, {"roles", {"db_owner"}}},
               {{"name", "gestor"}, {"login", "gestor"}, {"roles", {"db_owner", "db_datareader"}}},
               {{"name", "caixa"}, {"login", "caixa"}}}}}}}};
}

TEST(SecurityProcedures, ListRoleMembersAndUsersWithTheirRoles) {
  Harness h(Security(), "Loja");
  Reply admins = h.Run("sp_helpsrvrolemember 'sysadmin'");
  EXPECT_EQ(Column(admins, 0, 1), (std::vector<std::string>{"sa", "gestor"}));
  EXPECT_EQ(Column(h.Run("exec sp_helpsrvrolemember @srvrolename = 'dbcreator'"), 0, 1),
            (std::vector<std::string>{"gestor"}));

  Reply users = h.Run("sp_helpuser");
  EXPECT_EQ(Column(users, 0, 0), (std::vector<std::string>{"dbo", "gestor", "gestor", "caixa"}));
  EXPECT_EQ(Column(users, 0, 1),
            (std::vector<std::string>{"db_owner", "db_owner", "db_datareader", "public"}));
  EXPECT_EQ(Column(users, 0, 3), (std::vector<std::string>{"master", "Loja", "Loja", "Loja"}));
  EXPECT_EQ(Column(h.Run("sp_helpuser 'CAIXA'"), 0, 2), (std::vector<std::string>{"caixa"}));
  EXPECT_EQ(Column(h.Run("sp_helpuser 'db_owner'"), 0, 2), (std::vector<std::string>{"dbo", "gestor"}));

  struct Case {
    const char* text;
    int32_t error;
  } cases[] = {{"sp_helpsrvrolemember 'public'", 15412}, {"sp_helpuser 'ninguem'", 15198}};
  for (const auto& c : cases)
    EXPECT_EQ(h.Run(c.text).ErrorNumbers(), (std::vector<int32_t>{c.error})) << c.text;
}

// The return status the procedure call sent, -1 when none.
int32_t Status(const Reply& reply) {
  for (const auto& item : reply.items)
    if (const auto* status = std::get_if<ReturnStatusItem>(&item)) return status->status;
  return -1;
}

TEST(SecurityProcedures, ChangesReachTheCatalogueAndRoleNamesIgnoreTrailingBlanks) {
  Harness h(Security(), "Loja");
  for (const char* text : {"sp_addlogin 'novo', 'a''b; c'", "sp_addsrvrolemember 'novo', 'DBCREATOR  '",
                           "sp_grantdbaccess 'novo'", "sp_addrolemember 'db_owner ', 'novo'",
                           "exec sp_addrolemember @rolename = 'db_datareader', @membername = 'novo'",
                           "sp_password NULL, 'nova', 'novo'"}) {
    const Reply reply = h.Run(text);
    EXPECT_TRUE(reply.ErrorNumbers().empty()) << text;
    EXPECT_EQ(Status(reply), 0) << text;
  }
  const LoginDef* login = h.state().catalog.FindLogin("novo");
  ASSERT_NE(login, nullptr);
  EXPECT_EQ(login->password, "nova");
  EXPECT_EQ(login->server_roles, std::vector<std::string>{"dbcreator"});
  EXPECT_EQ(Column(h.Run("sp_helpuser 'novo'"), 0, 1),
            (std::vector<std::string>{"db_owner", "db_datareader"}));

  h.Run("sp_droprolemember 'DB_OWNER', 'novo'");
  h.Run("sp_dropsrvrolemember 'novo', 'dbcreator'");
  EXPECT_TRUE(login->server_roles.empty());
  EXPECT_EQ(Column(h.Run("sp_helpuser 'novo'"), 0, 1), (std::vector<std::string>{"db_datareader"}));
  EXPECT_EQ(Status(h.Run("sp_revokedbaccess 'novo'")), 0);
  // Since 2005 a login's users do not stop its drop; they stay, orphaned.
  h.Run("sp_adduser 'novo', 'novo'");
  EXPECT_EQ(Status(h.Run("sp_droplogin 'novo'")), 0);
  EXPECT_EQ(h.state().catalog.FindLogin("novo"), nullptr);
  EXPECT_EQ(Column(h.Run("sp_helpuser 'novo'"), 0, 2), (std::vector<std::string>{"NULL"}));
}

TEST(SecurityProcedures, RefusalsCarrySqlServersNumbersAndReturnOne) {
  struct Case {
    const char* text;
    int32_t error;
  } cases[] = {
      {"sp_addlogin 'caixa', 'x'", 15025},
      {"sp_droplogin 'ninguem'", 15007},
      {"sp_droplogin 'caixa'", 15434},   // logged in
      {"sp_droplogin 'gestor'", 15174},  // owns Loja
      {"sp_addsrvrolemember 'caixa', 'public'", 15412},
      {"sp_addsrvrolemember 'ninguem', 'sysadmin'", 15007},
      {"sp_grantdbaccess 'ninguem'", 15007},
      {"sp_grantdbaccess 'caixa'", 15023},
      {"sp_grantdbaccess 'caixa', 'outro_nome'", 15063},
      {"sp_revokedbaccess 'ninguem'", 15008},
      {"sp_dropuser 'ninguem'", 15008},
      {"sp_dropuser 'dbo'", 15150},
      {"sp_addrolemember 'db_nada', 'caixa'", 15014},
      {"sp_addrolemember 'db_owner', 'ninguem'", 15410},
      {"sp_password 'errada', 'nova', 'caixa'", 15151},
      {"xp_logininfo 'caixa'", 15404},
  };
  Harness h(Security(), "Loja");
  h.state().sessions[2] = LiveSession{2, 52, "caixa", "Loja", "host", "tests", "000000000000", "sleeping"};
  h.state().catalog.FindDatabase("Loja")->owner = "gestor";
  for (const auto& c : cases) {
    const Reply reply = h.Run(c.text);
    EXPECT_EQ(reply.ErrorNumbers(), (std::vector<int32_t>{c.error})) << c.text;
    EXPECT_EQ(Status(reply), 1) << c.text;
  }
  // Inside a user transaction, and without permission.
  h.Run("begin tran");
  EXPECT_EQ(h.Run("sp_addlogin 'outro', 'x'").ErrorNumbers(), (std::vector<int32_t>{15002}));
  EXPECT_EQ(h.Run("sp_dropuser 'caixa'").ErrorNumbers(), (std::vector<int32_t>{15002}));
  h.Run("rollback");
  h.session().login = "caixa";
  for (const char* text : {"sp_addlogin 'outro', 'x'", "sp_droplogin 'gestor'", "sp_grantdbaccess 'sa'",
                           "sp_addsrvrolemember 'caixa', 'sysadmin'", "sp_password NULL, 'y', 'gestor'"}) {
    const Reply reply = h.Run(text);
    ASSERT_EQ(reply.ErrorNumbers().size(), 1u) << text;
    EXPECT_NE(reply.ErrorNumbers()[0], 0) << text;
  }
  EXPECT_EQ(h.Run("sp_addlogin 'outro', 'x'").ErrorNumbers(), (std::vector<int32_t>{15247}));
  EXPECT_EQ(h.state().catalog.FindLogin("outro"), nullptr);
  // A login changes its own password knowing the old one.
  EXPECT_EQ(Status(h.Run("sp_password 'x', 'nova'")), 0);
  EXPECT_EQ(h.state().catalog.FindLogin("caixa")->password, "nova");
}

}  // namespace
}  // namespace standin
