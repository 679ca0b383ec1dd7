// The data helpers, schema changes, table scripts and procedure installation end
// to end: the product's session layer over unixODBC and FreeTDS, against the
// stand-in or, when TAVINOR_TEST_SERVER names one, a real SQL Server. Each test
// reads the database back afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "company_fleet.h"
#include "platform/main_mod.h"
#include "platform/session.h"
#include "platform/ui_services.h"
#include "sqllib/csql.h"
#include "util/ediv.h"

namespace {

using platform::Variant;
using platform::VariantArray;

constexpr const char* kDatabase = "Parvimar01";

using e2e::Target;

VariantArray FromOne(std::vector<Variant> values) {
  VariantArray array;
  array.items.emplace_back();
  for (auto& value : values) array.items.push_back(std::move(value));
  return array;
}

class SchemaEndToEnd : public ::testing::TestWithParam<Target> {
 protected:
  void SetUp() override {
    backend_ = GetParam() == Target::kStandin ? e2e::MakeStandinBackend() : e2e::MakeRealServerBackend();
    if (!backend_) {
      GTEST_SKIP() << e2e::NoBackendReason(GetParam());
    }
    ui_ = std::make_shared<platform::RecordingUi>();
    platform::SetUi(ui_);
    // A company database without tables.
    e2e::CompanyDatabase empty;
    empty.name = kDatabase;
    empty.datasys_type.clear();
    backend_->Seed({empty});
    std::int32_t code = 0;
    std::string text;
    ASSERT_TRUE(SharedCSql().CreateDBConnection(conn_, backend_->Server(), kDatabase, backend_->Login(),
                                                backend_->Password(), 30, code, text, 1))
        << code << " " << text;
  }
  void TearDown() override { platform::SetUi(nullptr); }

  std::vector<std::string> Column(const std::string& query, const std::string& field) {
    std::vector<std::string> values;
    for (auto result = conn_.Execute(query); !result.Eof(); result.MoveNext())
      values.push_back(result.Value(field).ToString());
    return values;
  }

  std::unique_ptr<e2e::Backend> backend_;
  std::shared_ptr<platform::RecordingUi> ui_;
  platform::Connection conn_;
  CSql& sql_ = SharedCSql();
  EDiv& ediv_ = SharedEDiv();
};

TEST_P(SchemaEndToEnd, InsertedRowReadsBackExactly) {
  ASSERT_TRUE(sql_.SQLCreateTable(conn_, "Clientes"));
  for (const auto& [field, type] :
       std::vector<std::pair<std::string, std::string>>{{"Nome", "nvarchar (40) null"},
                                                        {"Saldo", "money null"},
                                                        {"Taxa", "float null"},
                                                        {"Activo", "bit null"},
                                                        {"Desde", "datetime null"},
                                                        {"Obs", "nvarchar (10) null"}}) {
    ASSERT_TRUE(sql_.SQLAddField(conn_, "Clientes", field, type).ToBool()) << field;
  }
  VariantArray values =
      FromOne({Variant("O''Brien"), Variant(platform::Currency::Parse("1234.5")), Variant(0.25),
               Variant(true), Variant(platform::Date::FromParts({2024, 3, 4, 9, 5, 7})), Variant::Null()});
  const std::string insert =
      ediv_.InsertSQL("Clientes", FromOne({"Nome", "Saldo", "Taxa", "Activo", "Desde", "Obs"}), values);
  ASSERT_TRUE(ediv_.RunSQL(conn_, insert)) << insert;

  auto row = conn_.Execute("select Nome, Saldo, Taxa, Activo, Desde, Obs from Clientes");
  ASSERT_FALSE(row.Eof());
  EXPECT_EQ(row.Value("Nome").ToString(), "O'Brien");
  EXPECT_EQ(row.Value("Saldo").ToCurrency(), platform::Currency::Parse("1234.5"));
  EXPECT_EQ(row.Value("Taxa").ToDouble(), 0.25);
  EXPECT_TRUE(row.Value("Activo").ToBool());
  EXPECT_EQ(row.Value("Desde").ToDate(), platform::Date::FromParts({2024, 3, 4, 9, 5, 7}));
  EXPECT_TRUE(row.Value("Obs").IsNull());
  row.MoveNext();
  EXPECT_TRUE(row.Eof());

  Variant changes(FromOne({Variant("Ana"), Variant(false)}));
  ASSERT_TRUE(ediv_.RunSQL(
      conn_, ediv_.UpdateSQL("Clientes", FromOne({"Nome", "Activo"}), changes, "WHERE NumRegisto=1")));
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "select Nome from Clientes where Activo = 0", "Nome"), Variant("Ana"));
  EXPECT_TRUE(ediv_.GetFieldValue(conn_, "select Nome from Clientes where Activo = 1", "Nome").IsEmpty());
}

TEST_P(SchemaEndToEnd, TablesFieldsAndIndexesAreCreatedCheckedAndGuarded) {
  ASSERT_TRUE(sql_.SQLCreateTable(conn_, "MovXCliente"));
  EXPECT_TRUE(sql_.SQLCheckTable(conn_, "MovXCliente"));
  EXPECT_FALSE(sql_.SQLCheckTable(conn_, "Mov_Cliente")) << "the underscore is no wildcard";
  EXPECT_FALSE(sql_.SQLCreateTable(conn_, "MovXCliente")) << "the table exists";

  ASSERT_TRUE(sql_.SQLAddField(conn_, "MovXCliente", "DataSys", "datetime null").ToBool());
  ASSERT_TRUE(sql_.SQLAddField(conn_, "MovXCliente", "Cliente").ToBool());
  EXPECT_TRUE(sql_.SQLCheckField(conn_, "MovXCliente", "DataSys"));
  EXPECT_FALSE(sql_.SQLCheckField(conn_, "MovXCliente", "Data_ys"));

  ASSERT_TRUE(sql_.SQLCreateIndex(conn_, "IX_Data-Sys", "MovXCliente", "[DataSys], [Cliente]").ToBool());
  EXPECT_TRUE(sql_.SQLCheckIndex(conn_, "MovXCliente", "IX_Data-Sys"));
  EXPECT_TRUE(sql_.SQLCheckIndex(conn_, "MovXCliente", "ix_data-sys"));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "MovXCliente", "IX_Outro"));
  EXPECT_FALSE(sql_.SQLCheckIndex(conn_, "Falta", "IX_Data-Sys"));
  EXPECT_FALSE(sql_.SQLCreateIndex(conn_, "IX_Data-Sys", "MovXCliente", "[Cliente]").ToBool())
      << "name exists";

  std::int32_t code = 0;
  std::string text;
  EXPECT_FALSE(sql_.SQLDropField(conn_, "MovXCliente", "DataSys", code, text));
  EXPECT_EQ(code, 5074) << text;
  EXPECT_TRUE(sql_.SQLCheckField(conn_, "MovXCliente", "DataSys"));
  code = 0;
  EXPECT_FALSE(sql_.SQLDropField(conn_, "MovXCliente", "Cliente", code, text));
  EXPECT_EQ(code, 5074) << text;
  code = 0;
  conn_.Execute("DROP INDEX MovXCliente.[IX_Data-Sys]");
  EXPECT_TRUE(sql_.SQLDropField(conn_, "MovXCliente", "DataSys", code, text));
  EXPECT_FALSE(sql_.SQLCheckField(conn_, "MovXCliente", "DataSys"));
  EXPECT_EQ(code, 0);
  EXPECT_EQ(Column("sp_helpindex 'MovXCliente'", "index_name"), std::vector<std::string>{"PK_MovXCliente"});
}

TEST_P(SchemaEndToEnd, TheScriptedCopyHasTheSourcesStructure) {
  conn_.Execute(
      "CREATE TABLE Fonte (NumRegisto numeric (18,0) IDENTITY (5,2) NOT NULL, "
      "Nome nvarchar (50) NULL CONSTRAINT DF_Fonte_Nome DEFAULT (''), "
      "NomeCompleto nvarchar (max) NULL, "
      "Valor decimal (12,2) NOT NULL CONSTRAINT DF_Fonte_Valor DEFAULT (0), "
      "Chave uniqueidentifier ROWGUIDCOL NOT NULL CONSTRAINT DF_Fonte_Chave DEFAULT (newid()), "
      "CONSTRAINT PK_Fonte PRIMARY KEY NONCLUSTERED (NumRegisto))");
  const auto script = [&](const std::string& table, const std::string& destination) {
    return sql_.DuplicateStructure(backend_->Server(), backend_->Login(), backend_->Password(), kDatabase,
                                   table, destination);
  };
  const std::string copy = script("Fonte", "Copia");
  ASSERT_NE(copy, "");
  conn_.Execute(copy);
  // The copy, scripted again under the same destination name, gives the same
  // script as the source: columns, types, identity, row-GUID column, defaults and key.
  EXPECT_EQ(script("Copia", "Destino"), script("Fonte", "Destino"));
  EXPECT_EQ(Column("sp_helpindex 'Copia'", "index_name"), std::vector<std::string>{"PK_Copia"});
  conn_.Execute("INSERT INTO Copia (Valor) VALUES (1)");
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "select NumRegisto from Copia", "NumRegisto").ToLong(), 5);
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "select Nome from Copia", "Nome"), Variant(""));
}

TEST_P(SchemaEndToEnd, ProceduresInstallFromAGoSeparatedScript) {
  conn_.Execute("CREATE PROCEDURE Velha AS SELECT 0");
  const std::string installed =
      "SET QUOTED_IDENTIFIER ON\r\nGO\r\n"
      "-- devolve um\r\nCREATE PROCEDURE ProcA AS SELECT 1 AS Valor\r\nGO\r\n"
      "CREATE PROCEDURE ProcB AS SELECT 'antes\r\nGO\r\ndepois' AS Valor\r\nGO\r\n"
      "/* a terceira */ CREATE PROCEDURE ProcC AS SELECT 3 AS Valor\r\nGO";
  EXPECT_TRUE(sql_.CreateStoredProcedures(conn_, installed).IsEmpty());

  std::vector<std::string> names;
  for (auto list = conn_.Execute("sp_stored_procedures"); !list.Eof(); list.MoveNext()) {
    if (list.Value("PROCEDURE_OWNER").ToString() == "dbo")
      names.push_back(list.Value("PROCEDURE_NAME").ToString());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ProcA;1", "ProcB;1", "ProcC;1"}));
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "exec ProcA", "Valor").ToLong(), 1);
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "exec ProcB", "Valor"), Variant("antes\r\nGO\r\ndepois"));
  EXPECT_EQ(ediv_.GetFieldValue(conn_, "exec ProcC", "Valor").ToLong(), 3);
}

INSTANTIATE_TEST_SUITE_P(Targets, SchemaEndToEnd, e2e::kTargets, e2e::TargetName);

}  // namespace
