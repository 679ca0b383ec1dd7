// sp_helpsrvrolemember and sp_helpuser over the scenario's logins, users and roles.
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

}  // namespace
}  // namespace standin
