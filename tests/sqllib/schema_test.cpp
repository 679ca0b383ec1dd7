#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "error_number.h"
#include "open_connection_test.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::Variant;
using testsupport::Reply;
using testsupport::Table;

class CSqlSchemaTest : public testsupport::OpenConnectionTest {
 protected:
  std::vector<std::string> Sent() { return driver_->Statements("db"); }

  CSql& sql_ = SharedCSql();
};

platform::BatchReply OneRow(const std::string& column) {
  return Reply({Table({column}, {{Variant("x")}})});
}

TEST_F(CSqlSchemaTest, ExistenceTestsSendPatternsThatMatchOnlyTheName) {
  driver_->OnExecute("db", "sp_tables @table_name = 'MovCliente'", OneRow("TABLE_NAME"));
  driver_->OnExecute("db", "sp_columns @table_name = 'MovCliente',@COLUMN_NAME='DataSys'",
                     OneRow("COLUMN_NAME"));
  driver_->OnExecute("db", "sp_tables @table_name = 'Mov[_]Cliente'", Reply({Table({"TABLE_NAME"}, {})}));

  EXPECT_TRUE(sql_.SQLCheckTable(conn_, "MovCliente"));
  EXPECT_TRUE(sql_.SQLCheckField(conn_, "MovCliente", "DataSys"));
  EXPECT_FALSE(sql_.SQLCheckTable(conn_, "Mov_Cliente"));
  EXPECT_FALSE(sql_.SQLCheckField(conn_, "O'Brien", "50%"));
  EXPECT_EQ(Sent(), (std::vector<std::string>{
                        "sp_tables @table_name = 'MovCliente'",
                        "sp_columns @table_name = 'MovCliente',@COLUMN_NAME='DataSys'",
                        "sp_tables @table_name = 'Mov[_]Cliente'",
                        "sp_columns @table_name = 'O''Brien',@COLUMN_NAME='50[%]'",
                    }));
}

TEST_F(CSqlSchemaTest, AResultThatDidNotOpenOrAFailureMeansMissing) {
  // The scripted default answers with no result set at all.
  EXPECT_FALSE(sql_.SQLCheckTable(conn_, "Qualquer"));
  driver_->FailExecute("db", "sp_tables @table_name = 'T'", Error(2812, "Could not find stored procedure."));
  EXPECT_FALSE(sql_.SQLCheckTable(conn_, "T"));
  conn_.Close();
  EXPECT_FALSE(sql_.SQLCheckField(conn_, "T", "C"));
}

TEST_F(CSqlSchemaTest, IndexTestFallsBackToHelpIndexWhereSpIndexesIsRefused) {
  const auto sp_indexes = [](const std::string& table, const std::string& index) {
    return "sp_indexes @table_name = '" + table + "' , @index_name= '" + index + "'";
  };
  const Error refused(201,
                      "Procedure or function 'sp_indexes' expects parameter '@table_server', which was not "
                      "supplied.");
  driver_->FailExecute("db", sp_indexes("MovCliente", "IX_DataSys"), refused);
  driver_->FailExecute("db", sp_indexes("MovCliente", "IX_Outro"), refused);
  driver_->OnExecute("db", "sp_helpindex 'MovCliente'",
                     Reply({Table({"index_name", "index_description", "index_keys"},
                                  {{"IX_Cliente", "nonclustered located on PRIMARY", "Cliente"},
                                   {"ix_datasys", "nonclustered located on PRIMARY", "DataSys"}})}));
  EXPECT_TRUE(sql_.SQLCheckIndex(conn_, "MovCliente", "IX_DataSys")) << "index names compare without case";
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "MovCliente", "IX_Outro"));

  // Where sp_indexes answers, its answer stands.
  driver_->OnExecute("db", sp_indexes("Linked", "IX"), OneRow("INDEX_NAME"));
  EXPECT_TRUE(sql_.SQLCheckIndex(conn_, "Linked", "IX"));
  driver_->OnExecute("db", sp_indexes("Linked", "IY"), Reply({Table({"INDEX_NAME"}, {})}));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "Linked", "IY"));

  // No result set (the default answer) also asks sp_helpindex; a missing table
  // (15009) and a table without indexes (message 15472, no set) are false.
  driver_->FailExecute("db", "sp_helpindex 'Falta'", Error(15009, "The object 'Falta' does not exist."));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "Falta", "IX"));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "Vazia", "IX"));
  driver_->FailExecute("db", sp_indexes("Outra", "IX"), Error(7202, "Could not find server."));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "Outra", "IX"));

  const auto sent = Sent();
  ASSERT_GE(sent.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(sent.end() - 6, sent.end()),
            (std::vector<std::string>{sp_indexes("Linked", "IY"), sp_indexes("Falta", "IX"),
                                      "sp_helpindex 'Falta'", sp_indexes("Vazia", "IX"),
                                      "sp_helpindex 'Vazia'", sp_indexes("Outra", "IX")}));
}

TEST_F(CSqlSchemaTest, ChangesSendTheClassicTextsForPlainNames) {
  std::int32_t code = 0;
  std::string text;
  EXPECT_TRUE(sql_.SQLCreateTable(conn_, "Locks"));
  EXPECT_TRUE(sql_.SQLAddField(conn_, "Locks", "Utilizador").ToBool());
  EXPECT_TRUE(sql_.SQLAddField(conn_, "Locks", "DataSys", "datetime null").ToBool());
  EXPECT_TRUE(sql_.SQLCreateIndex(conn_, "IX_Locks", "Locks", "[Utilizador], [DataSys]", true).ToBool());
  EXPECT_TRUE(sql_.SQLCreateIndex(conn_, "IX_Data", "Locks", "[DataSys]").ToBool());
  EXPECT_TRUE(sql_.SQLDropField(conn_, "Locks", "DataSys", code, text));
  EXPECT_EQ(
      Sent(),
      (std::vector<std::string>{
          " create table Locks ( NumRegisto numeric (18,0) identity (1,1) not null )",
          "ALTER TABLE [dbo].[Locks] WITH NOCHECK ADD  CONSTRAINT [PK_Locks] PRIMARY KEY  NONCLUSTERED  ( "
          "[NumRegisto] )  ON [PRIMARY]",
          " alter table Locks add Utilizador nvarchar (10) null",
          " alter table Locks add DataSys datetime null",
          "CREATE UNIQUE INDEX [IX_Locks] on [dbo].[Locks] ( [Utilizador], [DataSys] ) ON [PRIMARY]",
          "CREATE INDEX [IX_Data] on [dbo].[Locks] ( [DataSys] ) ON [PRIMARY]",
          "Alter Table Locks Drop Column DataSys",
      }));
  EXPECT_EQ(code, 0);
}

TEST_F(CSqlSchemaTest, IrregularNamesAreBracketedAndQualifiedOnesKeepTheirMeaning) {
  std::int32_t code = 0;
  std::string text;
  sql_.SQLCreateTable(conn_, "O'Brien]s");
  sql_.SQLAddField(conn_, "dbo.Mov Cliente", "Data Sys", "datetime null");
  sql_.SQLAddField(conn_, "[Minha Tabela]", "Order");
  sql_.SQLCreateIndex(conn_, "Index-1", "a]b", "[c]");
  sql_.SQLDropField(conn_, "Tabela 1", "[Já bracketed]", code, text);
  EXPECT_EQ(Sent(),
            (std::vector<std::string>{
                " create table [O'Brien]]s] ( NumRegisto numeric (18,0) identity (1,1) not null )",
                "ALTER TABLE [dbo].[O'Brien]]s] WITH NOCHECK ADD  CONSTRAINT [PK_O'Brien]]s] PRIMARY KEY  "
                "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]",
                " alter table dbo.[Mov Cliente] add [Data Sys] datetime null",
                " alter table [Minha Tabela] add [Order] nvarchar (10) null",
                "CREATE INDEX [Index-1] on [dbo].[a]]b] ( [c] ) ON [PRIMARY]",
                "Alter Table [Tabela 1] Drop Column [Já bracketed]",
            }));
}

TEST_F(CSqlSchemaTest, FailuresGiveFalseAndOnlyDropFieldHandsTheErrorBack) {
  driver_->FailExecute("db", " create table Existe ( NumRegisto numeric (18,0) identity (1,1) not null )",
                       Error(2714, "There is already an object named 'Existe' in the database."));
  driver_->FailExecute("db",
                       "ALTER TABLE [dbo].[SemChave] WITH NOCHECK ADD  CONSTRAINT [PK_SemChave] PRIMARY KEY  "
                       "NONCLUSTERED  ( [NumRegisto] )  ON [PRIMARY]",
                       Error(2714, "There is already an object named 'PK_SemChave' in the database."));
  driver_->FailExecute(
      "db", "CREATE UNIQUE INDEX [IX] on [dbo].[T] ( [a] ) ON [PRIMARY]",
      Error(1505, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found."));
  driver_->FailExecute("db", " alter table T add a int",
                       Error(2705, "Column names in each table must be unique."));
  driver_->FailExecute("db", "Alter Table T Drop Column a",
                       Error(5074, "The index 'IX' is dependent on column 'a'."));

  EXPECT_FALSE(sql_.SQLCreateTable(conn_, "Existe"));
  EXPECT_EQ(Sent().size(), 1u) << "the key is not sent after the table failed";
  EXPECT_FALSE(sql_.SQLCreateTable(conn_, "SemChave"));
  const Variant unique = sql_.SQLCreateIndex(conn_, "IX", "T", "[a]", true);
  EXPECT_EQ(unique.Type(), platform::VarType::kBoolean);
  EXPECT_FALSE(unique.ToBool());
  EXPECT_FALSE(sql_.SQLAddField(conn_, "T", "a", "int").ToBool());

  std::int32_t code = 0;
  std::string text = "antes";
  EXPECT_FALSE(sql_.SQLDropField(conn_, "T", "a", code, text));
  EXPECT_EQ(code, 5074);
  EXPECT_EQ(text, "The index 'IX' is dependent on column 'a'.");
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(CSqlSchemaTest, CreateFieldListJoinsTheNamesNotExcluded) {
  driver_->OnExecute("db", "select * from t", Reply({Table({"NumRegisto", "Nome", "Código"}, {})}));
  driver_->OnExecute("db", "select um", Reply({Table({"Ação"}, {})}));
  const platform::Recordset fields = conn_.Execute("select * from t");
  struct Case {
    const char* separator;
    const char* exclude;
    const char* expected;
  } cases[] = {
      {",", "numregisto", "Nome,Código"},
      {",", "NumRegisto", "Nome,Código"},
      {";", "   ", "NumRegisto;Nome;Código"},
      {",", "NumRegistoCÓDIGO", "Nome"},   // accented letters compare without case too
      {"ç", "NumRegisto", "NomeçCódigo"},  // the last character goes whole, not its last byte
      {", ", "", "NumRegisto, Nome, Código,"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sql_.CreateFieldList(fields, c.separator, c.exclude), c.expected) << c.exclude;
  }
  EXPECT_EQ(sql_.CreateFieldList(conn_.Execute("select um"), ",", ""), "Ação");
  EXPECT_EQ(
      testsupport::ErrorNumber([&] { (void)sql_.CreateFieldList(fields, ",", "NumRegisto Nome Código"); }),
      platform::kErrInvalidProcedureCall);
}

}  // namespace
