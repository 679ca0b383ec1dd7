// DROP DATABASE, DELETE, the ownership procedures and the library's process queries.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;

json Server() {
  json empresas = {{"name", "empresas"},
                   {"columns", {{{"name", "codigo"}, {"type", "nvarchar(10)"}}}},
                   {"rows", {{"01"}, {"02"}, {"03 "}}}};
  return {{"logins",
           {{{"name", "sa"}, {"password", "pw"}, {"server_roles", {"sysadmin"}}},
            {{"name", "operador"}, {"password", "x"}}}},
          {"databases",
           {{{"name", "quindorconfig"}, {"tables", {empresas}}},
            {{"name", "Livre"},
             {"users", {{{"name", "dbo"}, {"login", "sa"}}, {{"name", "op user"}, {"login", "operador"}}}}},
            {{"name", "Ocupada"}}}},
          {"processes",
           {{{"spid", 60},
             {"login", "operador"},
             {"database", "Ocupada"},
             {"hostname", "PC1"},
             {"net_address", "00155D0A1B2C"}},
            {{"spid", 61},
             {"login", "operador"},
             {"database", "Ocupada"},
             {"hostname", "PC2"},
             {"net_address", "00155D0A1B2D"}},
            {{"spid", 62}, {"login", "OPERADOR"}, {"database", "master"}, {"hostname", "PC2"}}}}};
}

TEST(DatabaseForms, DropDatabaseAndItsRefusals) {
  Harness h(Server());
  struct Case {
    const char* text;
    std::vector<int32_t> errors;
  } cases[] = {
      {"drop database [Livre, Ocupada]", {3701}},
      {"drop database Ocupada", {3702}},  // scenario processes are in it
      {"drop database master", {3708}},
      {"drop database Livre", {}},
      {"drop database Livre", {3701}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  EXPECT_EQ(h.state().catalog.FindDatabase("Livre"), nullptr);
  EXPECT_NE(h.state().catalog.FindDatabase("Ocupada"), nullptr);
}

TEST(DatabaseForms, DeleteRemovesTheMatchingRowsAndCountsThem) {
  Harness h(Server(), "quindorconfig");
  Reply r = h.Run("delete from empresas where codigo='03'");
  EXPECT_TRUE(r.ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("select codigo from empresas")), (std::vector<std::string>{"01", "02"}));
  EXPECT_EQ(h.Run("delete empresas where nada = 1").ErrorNumbers(), std::vector<int32_t>{207});
  EXPECT_EQ(h.Run("delete from falta").ErrorNumbers(), std::vector<int32_t>{208});
  h.Run("delete from empresas");
  EXPECT_TRUE(h.Table("quindorconfig", "empresas").rows.empty());
}

TEST(DatabaseForms, OwnerChangeNeedsALoginWithoutAUserThere) {
  Harness h(Server(), "Livre");
  EXPECT_EQ(h.Run("sp_changedbowner 'ninguem'").ErrorNumbers(), std::vector<int32_t>{15007});
  EXPECT_EQ(h.Run("sp_changedbowner ' operador'").ErrorNumbers(), std::vector<int32_t>{15007})
      << "a leading blank is part of the name";
  EXPECT_EQ(h.Run("sp_changedbowner 'operador'").ErrorNumbers(), std::vector<int32_t>{15110});
  EXPECT_EQ(h.Run("sp_dropuser 'falta'").ErrorNumbers(), std::vector<int32_t>{15008});
  EXPECT_TRUE(h.Run("sp_dropuser 'op user'").ErrorNumbers().empty());
  EXPECT_TRUE(h.Run("sp_changedbowner 'operador  '").ErrorNumbers().empty());
  const Database& db = *h.state().catalog.FindDatabase("Livre");
  ASSERT_EQ(db.users.size(), 1U);
  EXPECT_EQ(db.users[0].login, "operador");
  EXPECT_EQ(db.owner, "operador");
}

TEST(DatabaseForms, TheLibrarysProcessQueries) {
  Harness h(Server());
  EXPECT_EQ(Column(h.Run("select * from sysprocesses where net_address<>' ' and "
                         "upper(loginame)=upper('Operador')")),
            (std::vector<std::string>{"60", "61"}))
      << "a blank network address does not count";
  EXPECT_EQ(Column(h.Run("Select sysprocesses.spid, sysprocesses.status, sysdatabases.name from SysProcesses "
                         "Inner Join sysdatabases on sysdatabases.dbid = sysprocesses.dbid Where "
                         "sysprocesses.Hostname='PC2' and SysDatabases.Name='Ocupada'")),
            std::vector<std::string>{"61"});
  EXPECT_EQ(Column(h.Run("Select Name from SysDataBases Where upper(Name)=upper('livre')")),
            std::vector<std::string>{"Livre"});
  EXPECT_EQ(Column(h.Run("select a=db_id()")), std::vector<std::string>{"1"});
}

}  // namespace
}  // namespace standin
