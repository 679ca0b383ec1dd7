#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "error_number.h"
#include "platform/main_mod.h"
#include "platform/ui_services.h"
#include "scripted_driver.h"
#include "sqllib/csql.h"

namespace {

using platform::Error;
using platform::ResultTable;
using platform::Variant;
using testsupport::Table;

// One row of sp_help's column listing: Prec and Scale come as char(5) text.
std::vector<Variant> Column(const char* name, const char* type, int length, const char* prec,
                            const char* scale, const char* nullable) {
  return {Variant(name), Variant(type),  Variant("no"),    Variant(std::int32_t{length}),
          Variant(prec), Variant(scale), Variant(nullable)};
}

ResultTable Columns(std::vector<std::vector<Variant>> rows) {
  return Table({"Column_name", "Type", "Computed", "Length", "Prec", "Scale", "Nullable"}, std::move(rows));
}

ResultTable ObjectSet(const char* name) {
  return Table(
      {"Name", "Owner", "Type", "Created_datetime"},
      {{Variant(name), Variant("dbo"), Variant("user table"), Variant(platform::Date::FromYmd(2024, 1, 5))}});
}

ResultTable Identity(Variant column, Variant seed, Variant increment) {
  return Table({"Identity", "Seed", "Increment", "Not For Replication"},
               {{std::move(column), std::move(seed), std::move(increment), Variant::Null()}});
}

ResultTable RowGuid(const char* column) {
  return Table({"RowGuidCol"}, {{Variant(column)}});
}

ResultTable Filegroup() {
  return Table({"Data_located_on_filegroup"}, {{Variant("PRIMARY")}});
}

ResultTable Indexes(const char* name, const char* keys) {
  return Table(
      {"index_name", "index_description", "index_keys"},
      {{Variant(name), Variant("nonclustered, unique, primary key located on PRIMARY"), Variant(keys)}});
}

ResultTable Constraints(std::vector<std::pair<const char*, const char*>> rows) {
  std::vector<std::vector<Variant>> table_rows;
  for (const auto& [type, keys] : rows) {
    table_rows.push_back({Variant(type), Variant("name"), Variant("(n/a)"), Variant("(n/a)"),
                          Variant("(n/a)"), Variant("(n/a)"), Variant(keys)});
  }
  return Table({"constraint_type", "constraint_name", "delete_action", "update_action", "status_enabled",
                "status_for_replication", "constraint_keys"},
               std::move(table_rows));
}

// A result without columns: the count of a statement inside the procedure, which
// the older servers and providers delivered between the listings.
ResultTable Count() {
  ResultTable count;
  count.rows_affected = 1;
  return count;
}

class DuplicateStructureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    gIntegratedSecurity = false;
    gErrCode = 0;
    gErrDescription.clear();
  }
  void TearDown() override { platform::SetUi(nullptr); }

  void Help(const std::string& statement, std::vector<ResultTable> sets) {
    driver_->OnExecute("Parvimar01", statement, testsupport::Reply(std::move(sets)));
  }
  std::string Duplicate(const std::string& table, const std::string& destination) {
    return SharedCSql().DuplicateStructure("srv", "sa", "pw", "Parvimar01", table, destination);
  }

  testsupport::ScopedScriptedDriver driver_;
  std::shared_ptr<platform::RecordingUi> ui_;
};

// The example table: NumRegisto numeric(18,0) identity(1,1) not null, the key,
// and Nome nvarchar(50) null with the default ('').
std::vector<ResultTable> ExampleSets(bool older_server) {
  std::vector<ResultTable> sets{
      ObjectSet("Clientes"),
      Columns({Column("NumRegisto", "numeric", 9, "18   ", "0    ", "no"),
               Column("Nome", "nvarchar", 100, "     ", "     ", "yes")}),
      Identity(Variant("NumRegisto"), Variant(std::int32_t{1}), Variant(std::int32_t{1})),
      RowGuid("No rowguidcol column defined."),
      Filegroup(),
      Indexes("PK_Clientes", "NumRegisto"),
      Constraints({{"DEFAULT on column Nome", "('')"}, {"PRIMARY KEY (non-clustered)", "NumRegisto"}}),
  };
  if (older_server) {
    // The listing then came ninth, after two counts.
    sets.insert(sets.begin() + 5, Count());
    sets.insert(sets.begin() + 7, Count());
  } else {
    sets.push_back(Table({"Table is referenced by foreign key"}, {{Variant("Parvimar01.dbo.Mov: FK_Mov")}}));
  }
  return sets;
}

constexpr const char* kExampleScript =
    "Create Table [dbo].[Copia] (\r"
    "[NumRegisto] [numeric] (18,0) IDENTITY (1,1) NOT NULL, \r"
    "[Nome] [nvarchar] (50) NULL CONSTRAINT DF_Copia_Nome DEFAULT (('')) )  ON [PRIMARY]\r"
    "ALTER TABLE [dbo].[Copia] WITH NOCHECK ADD CONSTRAINT [PK_Copia] PRIMARY KEY  NONCLUSTERED ( "
    "[NumRegisto] )  "
    "ON [PRIMARY]";

TEST_F(DuplicateStructureTest, ExampleTableInEitherServersOrder) {
  for (bool older_server : {false, true}) {
    Help("sp_help 'Clientes'", ExampleSets(older_server));
    EXPECT_EQ(Duplicate("Clientes", "Copia"), kExampleScript)
        << (older_server ? "older order" : "2005+ order");
  }
  const auto& request = driver_->Requests().at(0);
  EXPECT_EQ(request.server, "srv");
  EXPECT_EQ(request.database, "Parvimar01");
  EXPECT_EQ(request.login, "sa");
  EXPECT_EQ(request.password, "pw");
  EXPECT_EQ(request.login_timeout_seconds, 90);
  EXPECT_EQ(driver_->OpenSessions(), 0);
  EXPECT_TRUE(ui_->boxes.empty());
}

TEST_F(DuplicateStructureTest, TypesDefaultsAndKeysAsTheTableHasThem) {
  // No index, so no index set: the constraints come sixth.
  Help("sp_help 'Mov''Dados'",
       {ObjectSet("Mov'Dados"),
        Columns({Column("Id", "int", 4, "10   ", "0    ", "no"),
                 Column("Nome", "nvarchar", 40, "     ", "     ", "yes"),
                 Column("NomeCompleto", "nvarchar", -1, "     ", "     ", "yes"),
                 Column("Sigla", "nchar", 20, "     ", "     ", "no"),
                 Column("Letra", "char", 10, "     ", "     ", "yes"),
                 Column("Hash", "varbinary", 16, "     ", "     ", "yes"),
                 Column("Valor", "decimal", 9, "12   ", "2    ", "yes"),
                 Column("Guid", "uniqueidentifier", 16, "     ", "     ", "no"),
                 Column("Quando", "datetime", 8, "     ", "     ", "yes"),
                 Column("Hora", "datetime2", 7, "23   ", "3    ", "yes")}),
        Identity(Variant("Id"), Variant(std::int32_t{100}), Variant(std::int32_t{5})), RowGuid("Guid"),
        Filegroup(),
        Constraints({{"DEFAULT on column NomeCompleto", "(N'sem nome')"},
                     {"default on column quando (bound with sp_bindefault)", "(getdate())"},
                     {"PRIMARY KEY (clustered)", "Id, Sigla"}})});
  EXPECT_EQ(
      Duplicate("Mov'Dados", "Copia Dados"),
      "Create Table [dbo].[Copia Dados] (\r"
      "[Id] [int]  NOT NULL, \r"
      "[Nome] [nvarchar] (20) NULL, \r"
      "[NomeCompleto] [nvarchar] (max) NULL CONSTRAINT [DF_Copia Dados_NomeCompleto] DEFAULT ((N'sem nome')) "
      ", \r"
      "[Sigla] [nchar] (10) NOT NULL, \r"
      "[Letra] [char] (10) NULL, \r"
      "[Hash] [varbinary] (16) NULL, \r"
      "[Valor] [decimal] (12,2) NULL, \r"
      "[Guid] uniqueidentifier ROWGUIDCOL NOT NULL, \r"
      "[Quando] [datetime]  NULL CONSTRAINT [DF_Copia Dados_Quando] DEFAULT ((getdate())) , \r"
      "[Hora] [datetime2] (3) NULL)  ON [PRIMARY]");
  EXPECT_EQ(driver_->Statements("Parvimar01"), std::vector<std::string>{"sp_help 'Mov''Dados'"});
}

TEST_F(DuplicateStructureTest, TemporaryCopyNamesItsConstraintsByTheClock) {
  std::vector<ResultTable> sets = ExampleSets(false);
  sets.resize(7);
  Help("sp_help 'Clientes'", std::move(sets));
  const std::string script = Duplicate("Clientes", "#Copia");
  EXPECT_TRUE(
      std::regex_search(script, std::regex("CONSTRAINT DF[0-9]{3,6}_#Copia_Nome DEFAULT \\(\\(''\\)\\) \\)")))
      << script;
  EXPECT_TRUE(std::regex_search(
      script, std::regex("\rALTER TABLE \\[dbo\\]\\.\\[#Copia\\] WITH NOCHECK ADD CONSTRAINT "
                         "\\[PK[0-9]{3,6}_#Copia\\] PRIMARY KEY  NONCLUSTERED "
                         "\\( \\[NumRegisto\\] \\)  ON \\[PRIMARY\\]$")))
      << script;
}

TEST_F(DuplicateStructureTest, EndsAfterTheLastSetWhenThereAreNoConstraints) {
  Help("sp_help 'Simples'",
       {ObjectSet("Simples"), Columns({Column("a", "int", 4, "10   ", "0    ", "yes")}),
        Identity(Variant("No identity column defined."), Variant::Null(), Variant::Null()),
        RowGuid("No rowguidcol column defined."), Filegroup()});
  EXPECT_EQ(Duplicate("Simples", "B"), "Create Table [dbo].[B] (\r[a] [int]  NULL)  ON [PRIMARY]");
}

TEST_F(DuplicateStructureTest, FailuresShowOrPropagate) {
  driver_->FailConnect("Parvimar01", Error(18456, "Login failed for user 'sa'."));
  EXPECT_EQ(Duplicate("Clientes", "Copia"), "");
  ASSERT_EQ(ui_->boxes.size(), 1u);
  EXPECT_EQ(ui_->boxes[0].text, "18456\rLogin failed for user 'sa'.");
  EXPECT_EQ(ui_->boxes[0].style, platform::kMsgBoxCritical);
  EXPECT_EQ(gErrCode, 18456);

  testsupport::ScopedScriptedDriver other;
  other->FailExecute("Parvimar01", "sp_help 'Falta'",
                     Error(15009, "The object 'Falta' does not exist in database 'Parvimar01'."));
  EXPECT_EQ(testsupport::ErrorNumber([&] { Duplicate("Falta", "Copia"); }), 15009);
  other->OnExecute("Parvimar01", "sp_help 'Vista'", testsupport::Reply({ObjectSet("Vista")}));
  EXPECT_EQ(testsupport::ErrorNumber([&] { Duplicate("Vista", "Copia"); }), platform::kErrItemNotFound);
  EXPECT_EQ(other->OpenSessions(), 0);
}

}  // namespace
