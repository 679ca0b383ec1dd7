// CREATE TABLE, INSERT, CREATE INDEX/STATISTICS, ADD CONSTRAINT and DROP TABLE: what they build, the errors
// they give, and that a rollback takes them back.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

const char* kCreate =
    "create table Conta (Id int identity(10, 5) not null, Nome nvarchar(20) null, "
    "Criada datetime constraint DF_Conta_Criada default (getdate()), Saldo money default 0, "
    "constraint PK_Conta primary key clustered (Id))";

TEST(CreateForms, CreatedTableTakesRowsAndShowsItsObjects) {
  Harness h(OneDatabase(MovCliente("smalldatetime", json::array())), "Parvimar01");
  ASSERT_TRUE(h.Run(kCreate).ErrorNumbers().empty());
  Reply insert = h.Run("insert into Conta (Nome, Criada) values ('Ana', '2024-01-02'), ('Rui', null)");
  EXPECT_TRUE(insert.ErrorNumbers().empty());
  EXPECT_EQ(std::get<DoneItem>(insert.items.back()).rows, 2);
  EXPECT_EQ(Column(h.Run("select Id from Conta order by Id")), (std::vector<std::string>{"10", "15"}));
  EXPECT_EQ(Column(h.Run("select Criada from Conta where Nome = 'ana'")),
            (std::vector<std::string>{"2024-01-02 00:00:00.000"}));

  Reply constraints = h.Run("sp_helpconstraint Conta, 'nomsg'");
  // The unnamed default got a generated "DF__Conta__Saldo__..." name, which sorts first.
  EXPECT_EQ(Column(constraints, 0, 0),
            (std::vector<std::string>{"DEFAULT on column Saldo", "DEFAULT on column Criada",
                                      "PRIMARY KEY (clustered)"}));
  EXPECT_EQ(Column(constraints, 0, 6), (std::vector<std::string>{"((0))", "(getdate())", "Id"}));

  ASSERT_TRUE(
      h.Run("create unique nonclustered index IX_Conta_Nome on Conta (Nome desc)").ErrorNumbers().empty());
  ASSERT_TRUE(h.Run("create statistics ST_Conta_Criada on Conta (Criada, Nome)").ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("sp_helpindex Conta"), 0, 2), (std::vector<std::string>{"Nome(-)", "Id"}));
  EXPECT_EQ(Column(h.Run("sp_helpstats Conta"), 0, 1), (std::vector<std::string>{"Criada, Nome"}));
  // The new statistic blocks a type change of its column like any user statistic.
  EXPECT_EQ(h.Run(" alter table Conta ALTER COLUMN Criada smalldatetime null").ErrorNumbers(),
            (std::vector<int32_t>{5074, 5074, 4922}));
}

TEST(CreateForms, RefuseWhatTheServerRefuses) {
  json table = MovCliente("smalldatetime", {"2024-01-01"});
  table["indexes"] = {{{"name", "IX_Cli"}, {"keys", {"Cliente"}}, {"clustered", true}}};
  table["constraints"] = {
      {{"type", "DEFAULT"}, {"name", "DF_Data"}, {"column", "DataSys"}, {"expression", "(getdate())"}}};
  Harness h(OneDatabase(table), "Parvimar01");
  h.Run(
      "create table Unico (Id int not null, Codigo nvarchar(5) null, constraint PK_Unico primary key (Id))");
  h.Run("create unique index UX_Codigo on Unico (Codigo)");
  h.Run("insert into Unico values (1, 'A')");
  struct Case {
    const char* text;
    std::vector<int32_t> errors;
  } cases[] = {
      {"create table MovCliente (a int)", {2714}},
      {"create table Nova (a inteiro)", {2715}},
      {"create table Nova (a int, A int)", {2705}},
      {"create table Nova (a int", {102}},
      {"insert into Unico values (1)", {213}},
      {"insert into Unico values (2, 'B', 3)", {213}},
      {"insert into Unico values (null, 'B')", {515}},
      {"insert into Unico values ('x', 'B')", {245}},
      {"insert into Unico values (1, 'B')", {2627}},
      {"insert into Unico values (2, 'a')", {2601}},
      {"insert into Unico (Nada) values (2)", {207}},
      {"insert into Nada values (2)", {208}},
      {"insert into MovCliente (DataSys, NumRegisto) values ('ontem', 9)", {241}},
      {"create index IX_Cli on MovCliente (DataSys)", {1913}},
      {"create index IX_X on MovCliente (Nada)", {1911}},
      {"create index IX_X on Nada (a)", {1088}},
      {"create clustered index IX_X on MovCliente (DataSys)", {1902}},
      {"create statistics IX_Cli on MovCliente (DataSys)", {1913}},
      {"alter table MovCliente add constraint DF_Outro default (getdate()) for DataSys", {1781, 1750}},
      {"alter table MovCliente add constraint DF_Data default 0 for NumRegisto", {2714, 1750}},
      {"alter table MovCliente add constraint DF_X default 0 for Nada", {1752, 1750}},
      {"alter table Unico add constraint PK_Outra primary key (Codigo)", {1779, 1750}},
      {"alter table MovCliente add constraint PK_Mov primary key nonclustered (DataSys)", {8111, 1750}},
      {"drop table Nada", {3701}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  EXPECT_EQ(Column(h.Run("select count(*) from Unico")), (std::vector<std::string>{"1"}));
}

TEST(CreateForms, ForeignKeysProtectTheirTableAndRollbackUndoesCreation) {
  json s = OneDatabase(MovCliente("smalldatetime", json::array()));
  s["databases"][0]["tables"].push_back({{"name", "Filho"},
                                         {"columns", {{{"name", "Mov"}, {"type", "int"}}}},
                                         {"constraints",
                                          {{{"type", "FOREIGN KEY"},
                                            {"name", "FK_Filho"},
                                            {"columns", {"Mov"}},
                                            {"references", "MovCliente"},
                                            {"ref_columns", {"NumRegisto"}}}}}});
  Harness h(s, "Parvimar01");
  EXPECT_EQ(h.Run("drop table MovCliente").ErrorNumbers(), (std::vector<int32_t>{3726}));
  EXPECT_TRUE(h.Run("drop table Filho").ErrorNumbers().empty());
  EXPECT_TRUE(h.Run("drop table MovCliente").ErrorNumbers().empty());

  h.Run("begin tran");
  h.Run("create table Temp (a int)");
  h.Run("insert Temp values (1)");
  EXPECT_EQ(Column(h.Run("select a from Temp")), (std::vector<std::string>{"1"}));
  h.Run("rollback");
  EXPECT_EQ(h.Run("select a from Temp").ErrorNumbers(), (std::vector<int32_t>{208}));
}

}  // namespace
}  // namespace standin
