// The statement engine: which forms the registry recognises, what it answers outside them, the catalogue
// queries of the conversion run, and transactions.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace standin {
namespace {

using nlohmann::json;
using test_support::Column;
using test_support::Harness;
using test_support::MovCliente;
using test_support::OneDatabase;

json Fleet() {
  json s = OneDatabase(MovCliente("nvarchar(20)", {"2024-01-01"}));
  for (const char* name : {"parvimar02", "XParvimar", "ParvimarTeste", "Outra"}) {
    s["databases"].push_back({{"name", name}});
  }
  return s;
}

TEST(StatementRegistry, RecognisesTheConversionStatementsVerbatim) {
  struct Case {
    const char* text;
    const char* form;
  } cases[] = {
      {"Select name from sysdatabases where name like 'Parvimar%'", "select"},
      {"Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where "
       "syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'",
       "column type names"},
      {"Drop index MovCliente.IX_MovCliente_Registo", "drop index (table.index)"},
      {"Alter Table MovCliente Drop Constraint  DF_MovCliente_DataSys", "alter table drop constraint"},
      {"drop statistics MovCliente.ST_MovCliente_DataSys", "drop statistics"},
      {" alter table MovCliente ALTER COLUMN DataSys datetime null", "alter table alter column"},
      {" alter table MovCliente ALTER COLUMN DataSys nvarchar (10) null", "alter table alter column"},
      {"SET TEXTSIZE 2147483647", "set option"},
      {"use [Parvimar01]", "use"},
      {"BEGIN TRAN", "begin transaction"},
      {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", "conditional commit"},
      // The schema helpers' statements, word for word.
      {" create table MovXCliente ( NumRegisto numeric (18,0) identity (1,1) not null )", "create table"},
      {"ALTER TABLE [dbo].[MovXCliente] WITH NOCHECK ADD  CONSTRAINT [PK_MovXCliente] PRIMARY KEY  "
       "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]",
       "add primary key"},
      {" alter table MovXCliente add DataSys datetime null", "alter table add columns"},
      {"Alter Table MovXCliente Drop Column DataSys", "alter table drop column"},
      {"CREATE UNIQUE INDEX [IX_Data-Sys] on [dbo].[MovXCliente] ( [DataSys], [Cliente] ) ON [PRIMARY]",
       "create index"},
      {"DROP INDEX MovXCliente.[IX_Data-Sys]", "drop index (table.index)"},
      {"UPDATE Clientes SET Nome='Ana',Activo=0 WHERE NumRegisto=1", "update"},
      {"CREATE PROCEDURE ProcA AS SELECT 1 AS Valor", "create procedure"},
      {"Drop Procedure [dbo].[ProcA]", "drop procedure"},
      {"sp_helpindex movcliente", ""},  // procedure calls go to the procedure table, not to a form
  };
  for (const auto& c : cases) EXPECT_EQ(Builtins().MatchingForm(c.text), c.form) << c.text;
}

struct ErrorCase {
  const char* text;
  int number;
  const char* message;
};

TEST(StatementEngine, AnswersTextOutsideTheRepertoireWithTheServersErrors) {
  Harness h(Fleet(), "Parvimar01");
  const ErrorCase cases[] = {
      {"sp_nosuchproc 'x'", 2812, "Could not find stored procedure 'sp_nosuchproc'."},
      {"exec dbo.Missing", 2812, "Could not find stored procedure 'dbo.Missing'."},
      {"select * from NaoExiste", 208, "Invalid object name 'NaoExiste'."},
      {"select * from dbo.NaoExiste", 208, "Invalid object name 'dbo.NaoExiste'."},
      {"select Nada from MovCliente", 207, "Invalid column name 'Nada'."},
      {"select from MovCliente", 156, "Incorrect syntax near the keyword 'from'."},
      {"select * from MovCliente where", 156, "Incorrect syntax near the keyword 'where'."},
      {"drop index MovCliente", 102, "Incorrect syntax near 'MovCliente'."},
      {"alter table MovCliente alter column DataSys", 102, "Incorrect syntax near 'DataSys'."},
      {"select 'abc", 105, "Unclosed quotation mark after the character string 'abc'."},
      {"select nofunc(1)", 195, "'nofunc' is not a recognized built-in function name."},
      {"use NaoExiste", 911,
       "Database 'NaoExiste' does not exist. Make sure that the name is entered correctly."},
      {"commit", 3902, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION."},
      {"rollback tran", 3903, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION."},
      {"insert into MovCliente values (99999999999999999999, 'x', null)", 8115,
       "Arithmetic overflow error converting expression to data type int."},
      {"select 1/0", 8134, "Divide by zero error encountered."},
      {"select NumRegisto % 0 from MovCliente", 8134, "Divide by zero error encountered."},
      {"select 2147483647 + 1", 8115, "Arithmetic overflow error converting expression to data type int."},
      {"select 'a' - 'b'", 8117, "Operand data type varchar is invalid for subtract operator."},
      {"select 'x' + 1", 245, "Conversion failed when converting the varchar value 'x' to data type int."},
      // Valid T-SQL outside the model gets one error of its own, never a syntax error or success.
      {"update MovCliente set Cliente = Cliente + 'x'", kNotModelledError,
       "The SQL Server stand-in does not model this statement: Cliente = Cliente + 'x'"},
      {"exec sp_indexes @table_name = 'MovCliente' , @index_name= 'IX_A'", 201,
       "Procedure or function 'sp_indexes' expects parameter '@table_server', which was not supplied."},
      {"Drop Procedure [dbo].[Falta]", 3701,
       "Cannot drop the procedure 'dbo.Falta', because it does not exist or you do not have permission."},
      {"create table T (a int) create procedure P as select 1", 111,
       "'CREATE/ALTER PROCEDURE' must be the first statement in a query batch."},
      {"Alter Table MovCliente Drop Column Falta", 4924,
       "ALTER TABLE DROP COLUMN failed because column 'Falta' does not exist in table 'MovCliente'."},
      {"select Cliente from MovCliente group by Cliente", kNotModelledError,
       "The SQL Server stand-in does not model this statement: select Cliente from MovCliente group by "
       "Cliente"},
      {"select * from MovCliente m join Cliente c on c.Id = m.Cliente", kNotModelledError,
       "The SQL Server stand-in does not model this statement: select * from MovCliente m join Cliente c on "
       "c . Id "
       "= m . Cliente"},
      {"select case when 1 = 1 then 2 end", kNotModelledError,
       "The SQL Server stand-in does not model this statement: select case when 1 = 1 then 2 end"},
      {"alter database Parvimar01 set recovery simple", kNotModelledError,
       "The SQL Server stand-in does not model this statement: alter database Parvimar01 set recovery "
       "simple"},
      {"declare @x int", kNotModelledError,
       "The SQL Server stand-in does not model this statement: declare @x int"},
  };
  for (const auto& c : cases) {
    Reply r = h.Run(c.text);
    const MessageItem* e = r.FirstError();
    ASSERT_NE(e, nullptr) << c.text;
    EXPECT_EQ(e->number, c.number) << c.text;
    EXPECT_EQ(e->text, c.message) << c.text;
    // The statement's DONE carries the error flag, never a count.
    auto& done = std::get<DoneItem>(r.items.back());
    EXPECT_TRUE(done.error) << c.text;
  }
}

TEST(StatementEngine, ListsDatabasesByCaseInsensitiveLikeInDbidOrder) {
  Harness h(Fleet());
  Reply r = h.Run("Select name from sysdatabases where name like 'Parvimar%'");
  EXPECT_EQ(Column(r), (std::vector<std::string>{"Parvimar01", "parvimar02", "ParvimarTeste"}));
  EXPECT_EQ(Column(h.Run("select name from sysdatabases")).size(), 9u);
  auto& done = std::get<DoneItem>(r.items.back());
  EXPECT_TRUE(done.count);
  EXPECT_EQ(done.rows, 3);
}

TEST(StatementEngine, ColumnTypeQueryReturnsEverySystemTypeSharingTheColumnsXtype) {
  const json data_hora = {{{"name", "DataHora"}, {"base", "datetime"}}};
  struct Case {
    const char* type;
    std::vector<std::string> names;
    json alias_types = json::array();
  } cases[] = {
      {"nvarchar(20)", {"nvarchar", "sysname"}},  // sysname shares xtype 231 and follows nvarchar
      {"smalldatetime", {"smalldatetime"}},
      {"datetime", {"datetime"}},
      {"varchar(10)", {"varchar"}},
      // Alias types share their base type's xtype; in name order DataHora comes before datetime.
      {"datetime", {"DataHora", "datetime"}, data_hora},
      {"DataHora", {"DataHora", "datetime"}, data_hora},
      {"smalldatetime", {"smalldatetime"}, data_hora},
      {"datetime", {"datetime", "Zdata"}, {{{"name", "Zdata"}, {"base", "datetime"}}}},
  };
  const char* query =
      "Select systypes.name From syscolumns inner join systypes on systypes.xtype = syscolumns.xtype Where "
      "syscolumns.ID=Object_ID('MovCliente') and syscolumns.Name='DataSys'";
  for (const auto& c : cases) {
    json scenario = OneDatabase(MovCliente(c.type, json::array()));
    scenario["databases"][0]["types"] = c.alias_types;
    Harness h(scenario, "Parvimar01");
    EXPECT_EQ(Column(h.Run(query)), c.names) << c.type;
    if (!c.alias_types.empty()) {
      Reply view = h.Run("select name, xtype, xusertype from systypes where xusertype >= 257");
      EXPECT_EQ(Column(view, 0, 0), (std::vector<std::string>{c.alias_types[0]["name"]})) << c.type;
      EXPECT_EQ(Column(view, 0, 1), (std::vector<std::string>{"61"})) << c.type;
      EXPECT_EQ(Column(view, 0, 2), (std::vector<std::string>{"257"})) << c.type;
    }
  }
  // No table, or a column of another name: an empty set, not an error.
  Harness h(OneDatabase(MovCliente("datetime", json::array())), "master");
  Reply r = h.Run(query);
  ASSERT_EQ(r.ResultSets().size(), 1u);
  EXPECT_TRUE(r.ResultSets()[0]->rows.empty());
  EXPECT_TRUE(r.ErrorNumbers().empty());
}

TEST(StatementEngine, SimpleSelectFiltersOrdersAndProjects) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {"2024-01-03", nullptr, "2024-01-01"})), "Parvimar01");
  EXPECT_EQ(
      Column(h.Run("select NumRegisto from MovCliente where DataSys is not null order by DataSys desc")),
      (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(Column(h.Run("select cliente from movcliente where Cliente = 'c2'")),
            (std::vector<std::string>{"C2"}));
  EXPECT_EQ(Column(h.Run("select count(*) from MovCliente where DataSys >= '2024-01-02'")),
            (std::vector<std::string>{"1"}));
  EXPECT_EQ(Column(h.Run("select top 1 * from MovCliente order by NumRegisto desc")),
            (std::vector<std::string>{"3"}));
  EXPECT_EQ(Column(h.Run("select db_name()")), (std::vector<std::string>{"Parvimar01"}));
  EXPECT_EQ(Column(h.Run("select @@trancount, 1")), (std::vector<std::string>{"0"}));
  EXPECT_EQ(Column(h.Run("select object_id('NoSuchTable')")), (std::vector<std::string>{"NULL"}));
  EXPECT_TRUE(
      h.Run("select 99999999999999999999").ErrorNumbers().empty());  // a literal past bigint still reads
}

TEST(StatementEngine, SelectListArithmeticFollowsTheServersTypes) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {"2024-01-03", nullptr, "2024-01-01"})), "Parvimar01");
  struct Case {
    const char* text;
    std::vector<std::string> column;
  } cases[] = {
      {"select 7 / 2", {"3"}},  // integer division truncates
      {"select 1 + 2 * 3", {"7"}},
      {"select (1 + 2) * 3", {"9"}},
      {"select -7 % 3", {"-1"}},
      {"select - (2 - 5)", {"3"}},
      {"select 1.5 * 2", {"3.0"}},
      {"select 1 + null", {"NULL"}},
      {"select 'a' + N'b' as ab", {"ab"}},
      {"select '2' + 3", {"5"}},
      {"select NumRegisto * 10 - 1 as n from MovCliente order by NumRegisto", {"9", "19", "29"}},
  };
  for (const auto& c : cases) {
    Reply r = h.Run(c.text);
    EXPECT_TRUE(r.ErrorNumbers().empty()) << c.text;
    EXPECT_EQ(Column(r), c.column) << c.text;
  }
  Reply typed = h.Run("select 2147483648 * 2 as big, 1 / 2.0 as half");
  auto sets = typed.ResultSets();
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0]->columns[0].type.Name(), "bigint");
  EXPECT_EQ(sets[0]->columns[1].name, "half");
  EXPECT_EQ(sets[0]->columns[1].type.Name(), "numeric");
}

TEST(BatchSplitter, ReadsStatementsAsTheServerDoesWithoutSemicolons) {
  struct Case {
    const char* batch;
    std::vector<std::string> statements;  // each statement's first token and last token
  } cases[] = {
      {"select 1 select 2", {"select..1", "select..2"}},
      {"set nocount on\nselect a from t where b in (select c from u) order by a", {"set..on", "select..a"}},
      {"insert into t (a) select b from u insert t values (1) select 1",
       {"insert..u", "insert..)", "select..1"}},
      {"update t set a = 1 set nocount off", {"update..1", "set..off"}},
      {"alter table t alter column c datetime null alter table t drop constraint d",
       {"alter..null", "alter..d"}},
      {"alter database d set offline with rollback immediate use d", {"alter..immediate", "use..d"}},
      {"IF @@TRANCOUNT > 0 COMMIT BEGIN TRANSACTION", {"IF..COMMIT", "BEGIN..TRANSACTION"}},
      {"if 1 = 1 select 1 else select 2 select 3", {"if..2", "select..3"}},
      {"begin try select 1 end try begin catch select 2 end catch print 'x'", {"begin..catch", "print..x"}},
      {"select case when a = 1 then 'x' else 'y' end from t drop table t", {"select..t", "drop..t"}},
      {"alter table t add constraint f foreign key (a) references u (b) on delete set null select 1",
       {"alter..null", "select..1"}},
      {"drop table if exists t; select 1 union all select 2", {"drop..t", "select..2"}},
      {"grant select, insert on t to u exec p", {"grant..u", "exec..p"}},
      // A procedure's body is the rest of its batch.
      {"create procedure p as select 1 select 2", {"create..2"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> got;
    for (const auto& statement : SplitStatements(Lex(c.batch).tokens))
      got.push_back(statement.front().raw + ".." + statement.back().text);
    EXPECT_EQ(got, c.statements) << c.batch;
  }
}

TEST(StatementEngine, StatementsRunOneByOneAndAnUnmodelledOneEndsTheBatch) {
  Harness h(OneDatabase(MovCliente("datetime", json::array())), "Parvimar01");
  Reply r = h.Run(
      "create table Nova (a int, b varbinary(10))\ninsert into Nova values (1, 0x1F2E)\n"
      "select a from Nova select b from Nova");
  ASSERT_EQ(r.ResultSets().size(), 2u) << (r.ErrorNumbers().empty() ? 0 : r.ErrorNumbers()[0]);
  EXPECT_EQ(Column(r, 0), (std::vector<std::string>{"1"}));
  EXPECT_EQ(std::get<Bytes>(r.ResultSets()[1]->rows[0][0].v), (Bytes{0x1F, 0x2E}));

  Reply stopped = h.Run("select 1 declare @x int select 2");
  EXPECT_EQ(stopped.ErrorNumbers(), (std::vector<int32_t>{kNotModelledError}));
  EXPECT_EQ(stopped.ResultSets().size(), 1u);
}

TEST(StatementEngine, LanguageAndDateFormatDecideHowTextDatesAreRead) {
  Harness h(OneDatabase(MovCliente("nvarchar(20)", {"03/04/2024", "13/04/2024", "2024-03-04 10:00:00"})),
            "Parvimar01");
  Reply set = h.Run("set language Português");
  EXPECT_EQ(set.InfoNumbers(), (std::vector<int32_t>{5703}));
  EXPECT_EQ(Column(h.Run("select @@language")), (std::vector<std::string>{"Português"}));
  // Under Português (dmy) the stored texts become 3 April, 13 April and, for datetime, 2024-03-04 read y-d-m.
  EXPECT_TRUE(h.Run("alter table MovCliente alter column DataSys datetime null").ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("select DataSys from MovCliente order by NumRegisto"), 0, 0),
            (std::vector<std::string>{"2024-04-03 00:00:00.000", "2024-04-13 00:00:00.000",
                                      "2024-04-03 10:00:00.000"}));
  struct Case {
    const char* settings;
    const char* text;
    const char* stored;  // nullptr: the INSERT fails with 242
  } cases[] = {
      {"set language us_english", "03/04/2024", "2024-03-04 00:00:00.000"},
      {"set language us_english", "13/04/2024", nullptr},
      {"set language Portuguese set dateformat mdy", "03/04/2024", "2024-03-04 00:00:00.000"},
      {"set dateformat ymd", "24/03/04", "2024-03-04 00:00:00.000"},
      {"set language Portuguese", "20240304 10:00:00", "2024-03-04 10:00:00.000"},
      {"set language Portuguese", "2024-03-04T10:00:00", "2024-03-04 10:00:00.000"},
  };
  int n = 10;
  for (const auto& c : cases) {
    EXPECT_TRUE(h.Run(c.settings).ErrorNumbers().empty()) << c.settings;
    std::string id = std::to_string(++n);
    Reply r = h.Run("insert into MovCliente values (" + id + ", 'x', '" + c.text + "')");
    if (!c.stored) {
      EXPECT_EQ(r.ErrorNumbers(), (std::vector<int32_t>{242})) << c.settings << " " << c.text;
      continue;
    }
    EXPECT_EQ(Column(h.Run("select DataSys from MovCliente where NumRegisto = " + id)),
              (std::vector<std::string>{c.stored}))
        << c.settings << " " << c.text;
  }
  EXPECT_EQ(h.Run("set language Klingon").ErrorNumbers(), (std::vector<int32_t>{kNotModelledError}));
  EXPECT_EQ(h.Run("set dateformat xyz").ErrorNumbers(), (std::vector<int32_t>{kNotModelledError}));
}

TEST(StatementEngine, SeveralStatementsInOneBatchEachEndWithTheirOwnDone) {
  Harness h(OneDatabase(MovCliente("datetime", json::array())));
  Reply r = h.Run("set nocount on; select 1; select * from Missing; select 2");
  std::vector<bool> errors;
  for (const auto& item : r.items) {
    if (auto* d = std::get_if<DoneItem>(&item)) errors.push_back(d->error);
  }
  EXPECT_EQ(errors, (std::vector<bool>{false, false, true, false}));
  EXPECT_EQ(r.ResultSets().size(), 2u);
}

TEST(StatementEngine, UseChangesDatabaseWithEnvChangeAndMessage) {
  Harness h(Fleet());
  Reply r = h.Run("use parvimar02");
  ASSERT_TRUE(std::holds_alternative<EnvItem>(r.items[0]));
  EXPECT_EQ(std::get<EnvItem>(r.items[0]).new_text, "parvimar02");
  EXPECT_EQ(std::get<EnvItem>(r.items[0]).old_text, "master");
  EXPECT_EQ(r.InfoNumbers(), (std::vector<int32_t>{5701}));
  EXPECT_EQ(h.session().database, "parvimar02");

  h.state().catalog.FindDatabase("Outra")->state = DbState::kOffline;
  EXPECT_EQ(h.Run("use Outra").ErrorNumbers(), (std::vector<int32_t>{942}));
  EXPECT_EQ(h.session().database, "parvimar02");
}

TEST(Transactions, RollbackRestoresDroppedObjectsAndCommitKeepsThem) {
  json table = MovCliente("smalldatetime", {"2024-01-01"});
  table["indexes"] = {{{"name", "IX_Data"}, {"keys", {"DataSys"}}}};
  table["statistics"] = {{{"name", "ST_Data"}, {"columns", {"DataSys"}}}};
  Harness h(OneDatabase(table), "Parvimar01");

  Reply begin = h.Run("begin transaction");
  ASSERT_TRUE(std::holds_alternative<EnvItem>(begin.items[0]));
  EXPECT_EQ(std::get<EnvItem>(begin.items[0]).type, EnvType::kBeginTran);
  EXPECT_TRUE(h.Run("drop index MovCliente.IX_Data").ErrorNumbers().empty());
  EXPECT_TRUE(h.Run("drop statistics MovCliente.ST_Data").ErrorNumbers().empty());
  EXPECT_TRUE(h.Run(" alter table MovCliente ALTER COLUMN DataSys datetime null").ErrorNumbers().empty());
  EXPECT_EQ(Column(h.Run("select @@trancount")), (std::vector<std::string>{"1"}));
  h.Run("rollback");
  TableDef& t = h.Table("Parvimar01", "MovCliente");
  EXPECT_EQ(t.indexes.size(), 1u);
  EXPECT_EQ(t.statistics.size(), 1u);
  EXPECT_EQ(t.columns[2].type.Name(), "smalldatetime");

  h.Run("begin tran");
  h.Run("drop index MovCliente.IX_Data");
  h.Run("commit");
  EXPECT_TRUE(h.Table("Parvimar01", "MovCliente").indexes.empty());
}

TEST(Transactions, AFailedDateConversionEndsTheBatchAndRollsBackWhileADependencyEndsOnlyItsStatement) {
  json table = MovCliente("nvarchar(20)", {"2024-01-01", "ontem"});
  table["indexes"] = {{{"name", "IX_Data"}, {"keys", {"DataSys"}}}};
  Harness h(OneDatabase(table), "Parvimar01");
  // 5074 + 4922: the statement fails, the batch and the transaction go on.
  Reply blocked = h.Run("begin tran alter table MovCliente alter column DataSys datetime null select 1");
  EXPECT_EQ(blocked.ErrorNumbers(), (std::vector<int32_t>{5074, 4922}));
  EXPECT_EQ(blocked.ResultSets().size(), 1u);
  EXPECT_EQ(h.session().trancount, 1);
  // 241: the batch ends and the open transaction is rolled back, undoing the drop before it.
  Reply failed = h.Run(
      "drop index MovCliente.IX_Data alter table MovCliente alter column DataSys datetime null select 1");
  EXPECT_EQ(failed.ErrorNumbers(), (std::vector<int32_t>{241}));
  EXPECT_TRUE(failed.ResultSets().empty());
  EXPECT_EQ(h.session().trancount, 0);
  EXPECT_EQ(h.Table("Parvimar01", "MovCliente").indexes.size(), 1u);
  EXPECT_EQ(h.Run("rollback").ErrorNumbers(), (std::vector<int32_t>{3903}));
  // The same through INSERT, with 242.
  Harness dated(OneDatabase(MovCliente("datetime", json::array())), "Parvimar01");
  dated.Run("begin tran");
  EXPECT_EQ(dated.Run("insert into MovCliente values (9, 'x', '2024-02-30') select 1").ErrorNumbers(),
            (std::vector<int32_t>{242}));
  EXPECT_EQ(dated.session().trancount, 0);
}

TEST(Transactions, NestedBeginsNeedAsManyCommitsAndDisconnectRollsBack) {
  json table = MovCliente("smalldatetime", {"2024-01-01"});
  table["indexes"] = {{{"name", "IX_Data"}, {"keys", {"DataSys"}}}};
  Harness h(OneDatabase(table), "Parvimar01");
  h.Run("begin tran");
  h.Run("begin tran");
  h.Run("drop index MovCliente.IX_Data");
  Reply inner = h.Run("commit");
  EXPECT_TRUE(std::none_of(inner.items.begin(), inner.items.end(),
                           [](const ReplyItem& i) { return std::holds_alternative<EnvItem>(i); }));
  EXPECT_EQ(h.session().trancount, 1);
  RollbackOnDisconnect(h.state(), h.session());
  EXPECT_EQ(h.Table("Parvimar01", "MovCliente").indexes.size(), 1u);
}

TEST(RpcProcedures, ExecuteSqlBindsParametersByDeclarationOrderAndName) {
  Harness h(OneDatabase(MovCliente("smalldatetime", {"2024-01-01", "2024-02-01"})), "Parvimar01");
  Reply r = h.Run(
      "exec sp_executesql N'select NumRegisto from MovCliente where Cliente = @P1', N'@P1 nvarchar(20)', "
      "N'C2'");
  EXPECT_EQ(Column(r), (std::vector<std::string>{"2"}));
  // Inside a procedure, statements end with DONEINPROC; the call ends with RETURNSTATUS and DONEPROC.
  ASSERT_GE(r.items.size(), 3u);
  EXPECT_EQ(std::get<DoneItem>(r.items[1]).kind, DoneKind::kDoneInProc);
  EXPECT_TRUE(std::holds_alternative<ReturnStatusItem>(r.items[2]));
  EXPECT_EQ(std::get<DoneItem>(r.items.back()).kind, DoneKind::kDoneProc);

  // The statement by position, as @stmt, or as @statement (tedious's name for it).
  for (const char* statement : {"", "@stmt = ", "@statement = "}) {
    Reply named = h.Run(std::string("exec sp_executesql ") + statement +
                        "N'select Cliente from MovCliente where NumRegisto = @n', N'@n int', @n = 1");
    EXPECT_EQ(Column(named), (std::vector<std::string>{"C1"})) << statement;
  }
}

}  // namespace
}  // namespace standin
