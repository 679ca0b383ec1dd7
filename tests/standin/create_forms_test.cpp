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
      {"create unique index UX_Codigo on Unico (Id) ON [PRIMARY]", {1913}},
      // A column with a dependent index or constraint stays; the errors name each dependent.
      {"Alter Table MovCliente Drop Column DataSys", {5074, 4922}},
      {"Alter Table MovCliente Drop Column Cliente", {5074, 4922}},
      {"Alter Table MovCliente Drop Column Nada", {4924}},
      {"alter table Nada drop column a", {4902}},
      {" alter table MovCliente add Novo int not null", {4901}},
      {" alter table MovCliente add Cliente int null", {2705}},
      {" alter table MovCliente add Novo int constraint DF_Data default 0", {2714, 1750}},
      {"update Unico set Id = null", {515}},
      {"update Unico set Codigo = 'toolongvalue'", {8152}},
      {"update Unico set Nada = 1", {207}},
      {"update Unico set Id = 1, Codigo = 'A'", {}},  // the row keeps its own key
      {"update Unico set Codigo = 'a' where Id = 7", {}},
      {"update Unico set Codigo = 'B' where Nada = 1", {207}},
      {"update Nada set a = 1", {208}},
      {"create procedure Unico as select 1", {2714}},
      {"drop procedure dbo.Nada", {3701}},
      {"select 1 create procedure Outro as select 2", {111}},
  };
  for (const auto& c : cases) EXPECT_EQ(h.Run(c.text).ErrorNumbers(), c.errors) << c.text;
  EXPECT_EQ(Column(h.Run("select count(*) from Unico")), (std::vector<std::string>{"1"}));
  EXPECT_EQ(Column(h.Run("select Codigo from Unico")), (std::vector<std::string>{"A"}));
  EXPECT_EQ(h.Table("Parvimar01", "MovCliente").columns.size(), 3u);
  // 111 refuses the whole batch: the SELECT before it did not run.
  EXPECT_TRUE(h.Run("select 1 create procedure Outro as select 2").ResultSets().empty());
  EXPECT_TRUE(h.state().catalog.FindDatabase("Parvimar01")->procedures.empty());
}

TEST(CreateForms, AddedAndDroppedColumnsKeepTheRowsInStep) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {"2024-01-01", "2024-01-02"})), "Parvimar01");
  // The statements that make a table with its key, as the schema helpers send them.
  ASSERT_TRUE(h.Run(" create table Conta ( NumRegisto numeric (18,0) identity (1,1) not null )")
                  .ErrorNumbers()
                  .empty());
  ASSERT_TRUE(h.Run("ALTER TABLE [dbo].[Conta] WITH NOCHECK ADD  CONSTRAINT [PK_Conta] PRIMARY KEY  "
                    "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]")
                  .ErrorNumbers()
                  .empty());
  EXPECT_EQ(Column(h.Run("sp_helpindex 'Conta'"), 0, 1),
            (std::vector<std::string>{"nonclustered, unique, primary key located on PRIMARY"}));

  // Existing rows take the default of a NOT NULL column and NULL in a nullable one.
  ASSERT_TRUE(h.Run(" alter table MovCliente add Estado int not null constraint DF_Estado default (7), "
                    "Nota nvarchar (10) null")
                  .ErrorNumbers()
                  .empty());
  EXPECT_EQ(Column(h.Run("select Estado from MovCliente")), (std::vector<std::string>{"7", "7"}));
  EXPECT_EQ(Column(h.Run("select Nota from MovCliente")), (std::vector<std::string>{"NULL", "NULL"}));
  ASSERT_TRUE(
      h.Run("alter table MovCliente add Quando datetime not null default getdate()").ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("select Quando from MovCliente"))[0], Column(h.Run("select getdate()"))[0]);
  Reply duplicate = h.Run("CREATE UNIQUE INDEX [IX_Estado] on [dbo].[MovCliente] ( [Estado] ) ON [PRIMARY]");
  EXPECT_EQ(duplicate.ErrorNumbers(), (std::vector<int32_t>{1505}));
  EXPECT_EQ(duplicate.FirstError()->text,
            "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for the object "
            "name 'dbo.MovCliente' and the index name 'IX_Estado'. The duplicate key value is (7).");

  Reply update = h.Run("UPDATE MovCliente SET Nota='x',Estado=-1 WHERE NumRegisto=2");
  EXPECT_TRUE(update.ErrorNumbers().empty());
  EXPECT_EQ(std::get<DoneItem>(update.items.back()).rows, 1);
  EXPECT_EQ(Column(h.Run("select Estado from MovCliente order by NumRegisto")),
            (std::vector<std::string>{"7", "-1"}));
  EXPECT_EQ(std::get<DoneItem>(h.Run("update MovCliente set Nota = null").items.back()).rows, 2);
  ASSERT_TRUE(h.Run("create unique index UX_Num on MovCliente (NumRegisto)").ErrorNumbers().empty());
  EXPECT_EQ(h.Run("update MovCliente set NumRegisto = 1 where NumRegisto = 2").ErrorNumbers(),
            (std::vector<int32_t>{2601}));
  EXPECT_EQ(Column(h.Run("select NumRegisto from MovCliente")), (std::vector<std::string>{"1", "2"}));
  ASSERT_TRUE(h.Run("drop index MovCliente.UX_Num").ErrorNumbers().empty());

  ASSERT_TRUE(h.Run("create index IX_Nota on MovCliente (Nota)").ErrorNumbers().empty());
  EXPECT_EQ(h.Run("Alter Table MovCliente Drop Column Nota").FirstError()->text,
            "The index 'IX_Nota' is dependent on column 'Nota'.");
  ASSERT_TRUE(h.Run("DROP INDEX MovCliente.[IX_Nota]").ErrorNumbers().empty());
  ASSERT_TRUE(h.Run("Alter Table MovCliente Drop Column Nota").ErrorNumbers().empty());
  const TableDef& t = h.Table("Parvimar01", "MovCliente");
  ASSERT_EQ(t.columns.size(), 5u);
  for (const auto& row : t.rows) EXPECT_EQ(row.size(), 5u);
  EXPECT_EQ(Column(h.Run("select DataSys from MovCliente where NumRegisto = 1")),
            (std::vector<std::string>{"2024-01-01 00:00:00.000"}));
}

TEST(CreateForms, InsertFillsIdentityDefaultsAndRowGuids) {
  Harness h(OneDatabase(MovCliente("smalldatetime", json::array())), "Parvimar01");
  ASSERT_TRUE(h.Run("Create Table [dbo].[Copia] (\r[NumRegisto] [numeric] (18,0) IDENTITY (5,2) NOT NULL, \r"
                    "[Nome] [nvarchar] (max) NULL CONSTRAINT DF_Copia_Nome DEFAULT ((''))  , \r"
                    "[Valor] [decimal] (12,2) NOT NULL CONSTRAINT DF_Copia_Valor DEFAULT (((0)))  , \r"
                    "[Chave] uniqueidentifier ROWGUIDCOL NOT NULL CONSTRAINT DF_Copia_Chave DEFAULT "
                    "((newid())) )  ON [PRIMARY]")
                  .ErrorNumbers()
                  .empty());
  // Parentheses around the whole definition are not kept.
  EXPECT_EQ(Column(h.Run("sp_helpconstraint Copia, 'nomsg'"), 0, 6),
            (std::vector<std::string>{"(newid())", "('')", "((0))"}));
  ASSERT_TRUE(h.Run("INSERT INTO Copia (Valor) VALUES (1.5 )").ErrorNumbers().empty());
  ASSERT_TRUE(h.Run("INSERT INTO Copia (Nome, Valor) VALUES ('b' , 2)").ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("select NumRegisto from Copia")), (std::vector<std::string>{"5", "7"}));
  EXPECT_EQ(Column(h.Run("select Nome from Copia")), (std::vector<std::string>{"", "b"}));
  const auto guids = Column(h.Run("select Chave from Copia"));
  ASSERT_EQ(guids.size(), 2u);
  EXPECT_NE(guids[0], guids[1]);
  EXPECT_TRUE(ParseGuid(guids[0]).has_value()) << guids[0];
  EXPECT_EQ(h.Run("insert into Copia (Valor, Chave) values (1, 'nao')").ErrorNumbers(),
            (std::vector<int32_t>{8169}));
  // The control channel's STATE shows what the copy must repeat.
  const json state = DatabaseState(*h.state().catalog.FindDatabase("Parvimar01"), false);
  const json& copy = state["tables"][1];
  EXPECT_EQ(copy["columns"][0]["identity"], (json{{"seed", 5}, {"increment", 2}}));
  EXPECT_EQ(copy["columns"][1]["type"], "nvarchar(max)");
  EXPECT_EQ(copy["columns"][3]["rowguidcol"], true);
}

TEST(CreateForms, CreatedProceduresRunTheirBodiesUntilDropped) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {"2024-01-01"})), "Parvimar01");
  ASSERT_TRUE(h.Run("/* primeira */ CREATE PROCEDURE dbo.ProcA @Min int = 0, @Max int = 9 OUTPUT AS\r\n"
                    "SELECT 'antes\r\nGO\r\ndepois' AS Valor\r\nselect NumRegisto from MovCliente")
                  .ErrorNumbers()
                  .empty());
  EXPECT_EQ(h.Run("create proc ProcA as select 1").ErrorNumbers(), (std::vector<int32_t>{2714}));
  Reply run = h.Run("exec ProcA");
  ASSERT_EQ(run.ResultSets().size(), 2u);
  EXPECT_EQ(Column(run), (std::vector<std::string>{"antes\r\nGO\r\ndepois"}));
  EXPECT_EQ(Column(run, 1), (std::vector<std::string>{"1"}));
  // Inside the call each statement ends with DONEINPROC; the call with DONEPROC.
  std::vector<DoneKind> kinds;
  for (const auto& item : run.items) {
    if (auto* d = std::get_if<DoneItem>(&item)) kinds.push_back(d->kind);
  }
  EXPECT_EQ(kinds,
            (std::vector<DoneKind>{DoneKind::kDoneInProc, DoneKind::kDoneInProc, DoneKind::kDoneProc}));
  EXPECT_EQ(h.Run("sp_help ProcA").ResultSets().size(), 2u);  // the object and its two parameters

  EXPECT_EQ(DatabaseState(*h.state().catalog.FindDatabase("Parvimar01"), false)["procedures"][0]["name"],
            "ProcA");
  EXPECT_EQ(h.Run("Drop Procedure [sales].[ProcA]").ErrorNumbers(), (std::vector<int32_t>{3701}));
  EXPECT_TRUE(h.Run("Drop Procedure [dbo].[ProcA]").ErrorNumbers().empty());
  EXPECT_EQ(h.Run("exec ProcA").ErrorNumbers(), (std::vector<int32_t>{2812}));
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
