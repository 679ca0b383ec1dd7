// The session layer through the real client stack (unixODBC and the FreeTDS ODBC
// driver) against the stand-in server: opening, reading every column type, long
// values, several results, errors and messages, procedures with output values,
// transactions and the query time-out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "error_number.h"
#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "standin_process.h"

namespace {

using nlohmann::json;
using platform::Command;
using platform::Connection;
using platform::Error;
using platform::ParameterDirection;
using platform::Recordset;
using platform::Variant;
using platform::VarType;

constexpr char kPassword[] = "Tavinor#2024";
constexpr std::size_t kLongTextChars = 20000;
constexpr std::size_t kLongBinaryBytes = 10000;

std::string LongText() {
  std::string text;
  while (text.size() < kLongTextChars) text += "ção-";
  return text;
}

std::string LongBinaryHex() {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex = "0x";
  for (std::size_t i = 0; i < kLongBinaryBytes; ++i) {
    const auto b = static_cast<unsigned>((i * 31 + 7) & 0xFF);
    hex += digits[b >> 4];
    hex += digits[b & 0x0F];
  }
  return hex;
}

json Column(const std::string& name, const std::string& type) {
  return {{"name", name}, {"type", type}};
}

json Scenario() {
  json tipos = {
      {"name", "Tipos"},
      {"columns",
       {Column("Id", "int"), Column("Pequeno", "tinyint"), Column("Curto", "smallint"),
        Column("Grande", "bigint"), Column("Activo", "bit"), Column("Real4", "real"),
        Column("Real8", "float"), Column("Exacto", "decimal(12,3)"), Column("Valor", "money"),
        Column("Data", "datetime"), Column("DataCurta", "smalldatetime"), Column("Codigo", "char(5)"),
        Column("Nome", "varchar(40)"), Column("NomeU", "nvarchar(60)"), Column("Notas", "ntext"),
        Column("Bytes", "varbinary(max)")}},
      {"rows",
       {{1, 255, -32768, 9007199254740993LL, 1, 0.5, 2.25, -12345.678, 1234.5678, "2024-03-01 10:15:30",
         "2024-03-01 10:15:00", "AB", "Nao", "Não foram detectadas incosistências", "Ação", "0x00FF10"},
        json::array({2, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr})}}};
  json mov = {{"name", "MovCliente"},
              {"columns", {Column("NumRegisto", "int"), Column("DataSys", "smalldatetime")}},
              {"rows", {{1, "2024-01-05 09:30:00"}}},
              {"indexes",
               {{{"name", "IX_Registo"}, {"keys", {"NumRegisto", "DataSys"}}},
                {{"name", "IX_Data"}, {"keys", {"DataSys"}}},
                {{"name", "IX_Numero"}, {"keys", {"NumRegisto"}}}}}};
  json sem_indices = {{"name", "SemIndices"}, {"columns", {Column("A", "int")}}, {"rows", json::array()}};
  json longo = {{"name", "Longo"},
                {"columns", {Column("Texto", "nvarchar(max)"), Column("Dados", "varbinary(max)")}},
                {"rows", json::array({json::array({LongText(), LongBinaryHex()})})}};
  auto output = [](const std::string& name, const std::string& type, json value) {
    return json{{"name", name}, {"type", type}, {"output", true}, {"value", std::move(value)}};
  };
  json procedures = {
      {{"name", "GetAcessoPrincipal"},
       {"params", {output("@Empresa", "nvarchar(4)", "0001")}},
       {"return_status", 7},
       {"results", json::array()}},
      {{"name", "GetAcessoNulo"},
       {"params", {output("@Empresa", "nvarchar(4)", nullptr)}},
       {"return_status", 0},
       {"results", json::array()}},
      {{"name", "DoisResultados"},
       {"params", json::array()},
       {"return_status", 0},
       {"results",
        {{{"columns", {Column("Primeiro", "int")}}, {"rows", {{1}}}},
         {{"columns", {Column("Segundo", "nvarchar(10)")}}, {"rows", {{"dois"}, {"três"}}}}}}}};
  return {{"logins",
           {{{"name", "sa"},
             {"password", kPassword},
             {"default_database", "master"},
             {"server_roles", {"sysadmin"}}}}},
          {"databases",
           {{{"name", "Sessao"}, {"tables", {tipos, mov, sem_indices, longo}}, {"procedures", procedures}}}}};
}

class SessionIntegrationTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // These override the connection string in the driver; a test run must not
    // inherit them from the shell.
    unsetenv("TDSVER");
    unsetenv("TDSPORT");
    unsetenv("TDSHOST");
    scenario_path_ =
        new std::string(::testing::TempDir() + "session_scenario_" + std::to_string(getpid()) + ".json");
    std::ofstream(*scenario_path_) << Scenario().dump();
    standin_ = new testsupport::StandinProcess(STANDIN_EXECUTABLE, *scenario_path_);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
    std::remove(scenario_path_->c_str());
    delete scenario_path_;
  }
  void SetUp() override {
    platform::SetDriver(nullptr);
    standin_->Control("RESET");
  }

  static std::string ConnectionString(const std::string& database = "Sessao") {
    return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=sa;Initial Catalog=" + database +
           ";Data Source=127.0.0.1," + std::to_string(standin_->Port());
  }
  static Connection Open(const std::string& database = "Sessao") {
    Connection connection;
    connection.SetConnectionTimeout(10);
    connection.SetConnectionString(ConnectionString(database));
    connection.Open({}, {}, kPassword);
    return connection;
  }
  // The names of the indexes of MovCliente as the server holds them now.
  static std::vector<std::string> Indexes() {
    const json state = standin_->ControlJson("STATE Sessao");
    std::vector<std::string> names;
    for (const json& table : state.at("tables")) {
      if (table.at("name") != "MovCliente") continue;
      for (const json& index : table.at("indexes")) names.push_back(index.at("name"));
    }
    return names;
  }

  static testsupport::StandinProcess* standin_;
  static std::string* scenario_path_;
};

testsupport::StandinProcess* SessionIntegrationTest::standin_ = nullptr;
std::string* SessionIntegrationTest::scenario_path_ = nullptr;

TEST_F(SessionIntegrationTest, WrongPasswordGivesTheServersLoginError) {
  Connection connection;
  connection.SetConnectionTimeout(10);
  connection.SetConnectionString(ConnectionString());
  const Error error = testsupport::Raised([&] { connection.Open({}, {}, "errada"); }).value();
  EXPECT_EQ(error.Number(), 18456);
  EXPECT_EQ(error.Description(), "Login failed for user 'sa'.");
  EXPECT_EQ(connection.State(), platform::kStateClosed);
}

TEST_F(SessionIntegrationTest, ADatabaseThatCannotBeOpenedGivesTheReason) {
  Connection connection;
  connection.SetConnectionTimeout(10);
  connection.SetConnectionString(ConnectionString("NaoExiste"));
  const Error error = testsupport::Raised([&] { connection.Open({}, {}, kPassword); }).value();
  EXPECT_EQ(error.Number(), 4060);
  EXPECT_EQ(error.Description(),
            "Cannot open database \"NaoExiste\" requested by the login. The login failed.");
}

TEST_F(SessionIntegrationTest, EveryColumnTypeReadsAsItsVariantKind) {
  Connection connection = Open();
  Recordset result = connection.Execute("select * from Tipos");
  ASSERT_EQ(result.State(), platform::kStateOpen);
  struct Case {
    const char* column;
    VarType kind;
    std::string text;
  };
  const Case cases[] = {
      {"Id", VarType::kLong, "1"},
      {"Pequeno", VarType::kByte, "255"},
      {"Curto", VarType::kInteger, "-32768"},
      {"Grande", VarType::kDecimal, "9007199254740993"},
      {"Activo", VarType::kBoolean, "True"},
      {"Real4", VarType::kSingle, "0.5"},
      {"Real8", VarType::kDouble, "2.25"},
      {"Exacto", VarType::kDecimal, "-12345.678"},
      {"Valor", VarType::kCurrency, "1234.5678"},
      {"Data", VarType::kDate, "2024-03-01 10:15:30"},
      {"DataCurta", VarType::kDate, "2024-03-01 10:15:00"},
      {"Codigo", VarType::kString, "AB   "},
      {"Nome", VarType::kString, "Nao"},
      {"NomeU", VarType::kString, "Não foram detectadas incosistências"},
      {"Notas", VarType::kString, "Ação"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    const Variant value = result.Value(c.column);
    EXPECT_EQ(value.Type(), c.kind) << value.TypeName();
    EXPECT_EQ(value.ToString(), c.text);
  }
  EXPECT_EQ(*result.Value("bytes").ByteArray(), (platform::Bytes{0x00, 0xFF, 0x10}));

  result.MoveNext();
  for (int i = 1; i < result.FieldCount(); ++i) {
    SCOPED_TRACE(result.Fields(i).Name());
    EXPECT_TRUE(result.Fields(i).Value().IsNull());
  }
  result.MoveNext();
  EXPECT_TRUE(result.Eof());
}

TEST_F(SessionIntegrationTest, LongValuesArriveWhole) {
  Connection connection = Open();
  Recordset result = connection.Execute("select Texto, Dados from Longo");
  EXPECT_EQ(result.Value("Texto").ToString(), LongText());
  const platform::Bytes* bytes = result.Value("Dados").ByteArray();
  ASSERT_NE(bytes, nullptr);
  ASSERT_EQ(bytes->size(), kLongBinaryBytes);
  for (std::size_t i = 0; i < kLongBinaryBytes; ++i) ASSERT_EQ((*bytes)[i], (i * 31 + 7) & 0xFF) << i;
  EXPECT_EQ(result.Fields("Dados").ActualSize(), static_cast<std::int64_t>(kLongBinaryBytes));
}

TEST_F(SessionIntegrationTest, StatementsRunWhileAResultIsBeingRead) {
  Connection connection = Open();
  Recordset list = connection.Execute("sp_helpindex movcliente");
  ASSERT_EQ(list.State(), platform::kStateOpen);
  while (!list.Eof()) {
    if (list.Value("index_keys").ToString().find("DataSys") != std::string::npos) {
      // DDL comes back from the driver as "no data", which is success.
      const Recordset dropped =
          connection.Execute("Drop index MovCliente." + list.Value("index_name").ToString());
      EXPECT_EQ(dropped.State(), platform::kStateClosed);
    }
    list.MoveNext();
  }
  EXPECT_EQ(Indexes(), std::vector<std::string>{"IX_Numero"});
}

TEST_F(SessionIntegrationTest, ServerErrorsCarryTheirNumberAndPlainText) {
  Connection connection = Open();
  const Error error = testsupport::Raised([&] { connection.Execute("Drop index MovCliente.Nada"); }).value();
  EXPECT_EQ(error.Number(), 3701);
  EXPECT_EQ(error.SqlState(), "42S02");
  EXPECT_EQ(error.Description().rfind("Cannot drop the index 'MovCliente.Nada'", 0), 0u)
      << error.Description();

  // An error after a first result surfaces when the caller asks for the next one.
  Recordset first = connection.Execute("select 1 as a; select * from NaoExiste");
  EXPECT_EQ(first.Value("a").ToLong(), 1);
  EXPECT_EQ(testsupport::ErrorNumber([&] { (void)first.NextRecordset(); }), 208);

  // And the connection goes on working.
  EXPECT_EQ(connection.Execute("select 2 as b").Value("B").ToLong(), 2);
}

TEST_F(SessionIntegrationTest, InformationMessagesAreNotErrors) {
  Connection connection = Open();
  const Recordset result = connection.Execute("sp_helpindex SemIndices");
  EXPECT_EQ(result.State(), platform::kStateClosed);
  ASSERT_EQ(result.Messages().size(), 1u);
  EXPECT_EQ(result.Messages()[0],
            "The object 'SemIndices' does not have any indexes, or you do not have permissions.");
}

TEST_F(SessionIntegrationTest, NextRecordsetWalksAProceduresResults) {
  Connection connection = Open();
  // Called as a procedure with only a return value: "{? = call DoisResultados}".
  Command command;
  command.SetActiveConnection(connection);
  command.SetCommandText("DoisResultados");
  command.SetCommandType(platform::CommandType::kStoredProcedure);
  command.AppendParameter(command.CreateParameter("@RETURN_VALUE", platform::DataType::kInteger,
                                                  ParameterDirection::kReturnValue, 0));
  Recordset first = command.Execute();
  EXPECT_TRUE(command.Parameters(0).Value() == Variant(std::int32_t{0}));
  EXPECT_EQ(first.Value("Primeiro").ToLong(), 1);
  Recordset second = first.NextRecordset();
  EXPECT_EQ(first.State(), platform::kStateClosed);
  EXPECT_EQ(second.Value("segundo").ToString(), "dois");
  second.MoveNext();
  EXPECT_EQ(second.Value("segundo").ToString(), "três");
  EXPECT_TRUE(second.NextRecordset().IsNothing());
}

TEST_F(SessionIntegrationTest, ProcedureOutputAndReturnValues) {
  struct Case {
    const char* procedure;
    bool null_output;
    int status;
  };
  Connection connection = Open();
  for (const Case c : {Case{"GetAcessoPrincipal", false, 7}, Case{"GetAcessoNulo", true, 0}}) {
    SCOPED_TRACE(c.procedure);
    Command command;
    command.SetActiveConnection(connection);
    command.SetCommandText(c.procedure);
    command.SetCommandType(platform::CommandType::kStoredProcedure);
    command.AppendParameter(command.CreateParameter("@RETURN_VALUE", platform::DataType::kInteger,
                                                    ParameterDirection::kReturnValue, 0));
    command.AppendParameter(
        command.CreateParameter("@Empresa", platform::DataType::kVarWChar, ParameterDirection::kOutput, 4));
    command.Execute();
    if (c.null_output) {
      EXPECT_TRUE(command.Parameters("@empresa").Value().IsNull());
    } else {
      EXPECT_EQ(command.Parameters("@empresa").Value().ToString(), "0001");
    }
    EXPECT_EQ(command.Parameters("@RETURN_VALUE").Value().ToLong(), c.status);
  }
}

TEST_F(SessionIntegrationTest, TextCommandsBindTheirMarkers) {
  Connection connection = Open();
  Command command;
  command.SetActiveConnection(connection);
  command.SetCommandText("select Id, NomeU from Tipos where NomeU = ?");
  command.AppendParameter(command.CreateParameter("Nome", platform::DataType::kVarWChar,
                                                  ParameterDirection::kInput, 60,
                                                  Variant("Não foram detectadas incosistências")));
  Recordset result = command.Execute();
  ASSERT_EQ(result.State(), platform::kStateOpen);
  EXPECT_EQ(result.Value("Id").ToLong(), 1);
  result.MoveNext();
  EXPECT_TRUE(result.Eof());
}

TEST_F(SessionIntegrationTest, MarkersOfEveryKindFindTheirRow) {
  struct Case {
    const char* column;
    platform::DataType type;
    Variant value;
  };
  const Case cases[] = {
      {"Id", platform::DataType::kInteger, Variant(std::int32_t{1})},
      {"Curto", platform::DataType::kSmallInt, Variant(std::int16_t{-32768})},
      {"Pequeno", platform::DataType::kUnsignedTinyInt, Variant(std::uint8_t{255})},
      {"Grande", platform::DataType::kBigInt, Variant(platform::Decimal{9007199254740993, 0})},
      {"Activo", platform::DataType::kBoolean, Variant(true)},
      {"Real8", platform::DataType::kDouble, Variant(2.25)},
      {"Exacto", platform::DataType::kNumeric, Variant(platform::Decimal{-12345678, 3})},
      {"Valor", platform::DataType::kCurrency, Variant(platform::Currency::FromTicks(12345678))},
      {"Data", platform::DataType::kDBTimeStamp,
       Variant(platform::Date::FromParts({2024, 3, 1, 10, 15, 30}))},
      {"Bytes", platform::DataType::kVarBinary, Variant(platform::Bytes{0x00, 0xFF, 0x10})},
  };
  Connection connection = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    Command command;
    command.SetActiveConnection(connection);
    command.SetCommandText(std::string("select Id from Tipos where ") + c.column + " = ?");
    command.AppendParameter(command.CreateParameter("v", c.type, ParameterDirection::kInput, 0, c.value));
    Recordset result = command.Execute();
    ASSERT_EQ(result.State(), platform::kStateOpen);
    ASSERT_FALSE(result.Eof());
    EXPECT_EQ(result.Value("Id").ToLong(), 1);
  }
}

TEST_F(SessionIntegrationTest, EachSelectOfABatchIsOneResult) {
  Connection connection = Open();
  Recordset first = connection.Execute("select 1 as a; select 2 as b");
  EXPECT_EQ(first.Value("a").ToLong(), 1);
  Recordset second = first.NextRecordset();
  EXPECT_EQ(second.Value("b").ToLong(), 2);
  EXPECT_TRUE(second.NextRecordset().IsNothing());
}

TEST_F(SessionIntegrationTest, RollbackKeepsAndCommitKeepsOutTheDrop) {
  Connection connection = Open();
  connection.BeginTrans();
  connection.Execute("Drop index MovCliente.IX_Data");
  connection.RollbackTrans();
  EXPECT_EQ(Indexes().size(), 3u);

  connection.BeginTrans();
  connection.Execute("Drop index MovCliente.IX_Data");
  connection.CommitTrans();
  EXPECT_EQ(Indexes().size(), 2u);
  // Autocommit is back on: a drop outside a transaction stays.
  connection.Execute("Drop index MovCliente.IX_Numero");
  connection.Close();
  EXPECT_EQ(Indexes(), std::vector<std::string>{"IX_Registo"});
}

TEST_F(SessionIntegrationTest, CommandTimeoutCancelsAndTheConnectionGoesOn) {
  Connection connection = Open();
  standin_->Control("FAULT HANG_ON MovCliente");
  connection.SetCommandTimeout(1);
  const Error error = testsupport::Raised([&] { connection.Execute("select * from MovCliente"); }).value();
  EXPECT_EQ(error.SqlState(), "HYT00");
  EXPECT_EQ(error.Number(), platform::kErrDriverTimeout);
  standin_->Control("FAULT CLEAR");
  EXPECT_EQ(connection.Execute("select 3 as c").Value("c").ToLong(), 3);
}

}  // namespace
