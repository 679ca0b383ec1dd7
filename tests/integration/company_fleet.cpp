#include "company_fleet.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/error.h"
#include "platform/session.h"
#include "platform/text.h"
#include "sqllib/sql_quote.h"
#include "standin_process.h"

namespace e2e {
namespace {

using nlohmann::json;

// The company the run must leave alone, whatever the test seeds.
CompanyDatabase OtherCompany() {
  CompanyDatabase other;
  other.name = "OutraEmpresa";
  return other;
}

json ScenarioFor(const std::vector<CompanyDatabase>& databases, const std::vector<TestLogin>& logins) {
  json scenario = {
      {"logins",
       json::array({{{"name", "sa"}, {"password", kStandinPassword}, {"server_roles", {"sysadmin"}}}})},
      {"databases", json::array()},
  };
  for (const auto& login : logins) {
    json entry = {{"name", login.name}, {"password", login.password}, {"server_roles", {"sysadmin"}}};
    if (!login.default_language.empty()) entry["default_language"] = login.default_language;
    scenario["logins"].push_back(entry);
  }
  std::vector<CompanyDatabase> all = databases;
  all.push_back(OtherCompany());
  for (const auto& company : all) {
    json database = {{"name", company.name}, {"tables", json::array()}};
    if (company.case_sensitive) database["case_sensitive"] = true;
    for (const auto& alias : company.datetime_aliases) {
      database["types"].push_back({{"name", alias}, {"base", "datetime"}});
    }
    if (!company.datasys_type.empty()) {
      json rows = json::array();
      int number = 1;
      for (const auto& value : company.datasys_values)
        rows.push_back({number++, "CLI" + std::to_string(number), value});
      json table = {
          {"name", "MovCliente"},
          {"columns",
           {{{"name", "NumRegisto"}, {"type", "int"}, {"nullable", false}},
            {{"name", "Cliente"}, {"type", "nvarchar(20)"}},
            {{"name", "DataSys"}, {"type", company.datasys_type}}}},
          {"rows", rows},
          {"constraints",
           {{{"type", "PRIMARY KEY"}, {"name", "PK_MovCliente"}, {"columns", {"NumRegisto"}}}}},
      };
      if (company.dependents) {
        table["indexes"] = {{{"name", company.registo_index}, {"keys", {"NumRegisto", "DataSys"}}},
                            {{"name", "IX_MovCliente_Cliente"}, {"keys", {"Cliente"}}}};
        table["statistics"] = {
            {{"name", "ST_MovCliente_DataSys"}, {"columns", {"DataSys"}}, {"auto_created", false}},
            {{"name", "_WA_Sys_00000003_1A2B3C4D"}, {"columns", {"DataSys"}}, {"auto_created", true}}};
        table["constraints"].push_back({{"type", "DEFAULT"},
                                        {"name", "DF_MovCliente_DataSys"},
                                        {"column", "DataSys"},
                                        {"expression", "(getdate())"}});
        if (!company.datasys_default_first) {
          table["constraints"].push_back({{"type", "DEFAULT"},
                                          {"name", "DF_MovCliente_Cliente"},
                                          {"column", "Cliente"},
                                          {"expression", "('')"}});
        }
      }
      if (company.hidden_dependents) {
        table["indexes"].push_back(
            {{"name", "IX_MovCliente_ClienteData"}, {"keys", {"Cliente"}}, {"included", {"DataSys"}}});
        table["indexes"].push_back({{"name", "IX_MovCliente_Recentes"},
                                    {"keys", {"NumRegisto DESC"}},
                                    {"filter", "([DataSys] IS NOT NULL)"}});
        table["constraints"].push_back({{"type", "CHECK"},
                                        {"name", "CK_MovCliente_DataSys"},
                                        {"column", "DataSys"},
                                        {"expression", "([DataSys]>='20000101')"}});
        table["constraints"].push_back({{"type", "CHECK"},
                                        {"name", "CK_MovCliente_Registo"},
                                        {"expression", "([DataSys] IS NULL OR [NumRegisto]>(0))"}});
      }
      if (company.unique_datasys) {
        table["indexes"].push_back(
            {{"name", "UX_MovCliente_DataSys"}, {"keys", {"DataSys"}}, {"unique", true}});
      }
      database["tables"].push_back(table);
    }
    scenario["databases"].push_back(database);
  }
  return scenario;
}

class StandinBackend final : public Backend {
 public:
  void Seed(const std::vector<CompanyDatabase>& databases) override {
    scenario_path_ =
        std::filesystem::temp_directory_path() / ("tavinor-e2e-" + std::to_string(getpid()) + ".json");
    std::ofstream(scenario_path_) << ScenarioFor(databases, logins_).dump(2);
    process_.emplace(STANDIN_EXECUTABLE, scenario_path_.string());
  }
  ~StandinBackend() override {
    process_.reset();
    if (!scenario_path_.empty()) std::filesystem::remove(scenario_path_);
  }
  std::string Server() const override { return process_->Server(); }
  std::string Login() const override { return "sa"; }
  std::string Password() const override { return kStandinPassword; }
  void AddLogin(const TestLogin& login) override { logins_.push_back(login); }

  TableState State(const std::string& database) override {
    TableState state;
    const json db = process_->ControlJson("STATE " + database + " ROWS");
    for (const auto& table : db["tables"]) {
      if (platform::Lower(table["name"].get<std::string>()) != "movcliente") continue;
      state.has_table = true;
      std::size_t datasys = 0;
      for (std::size_t i = 0; i < table["columns"].size(); ++i) {
        const auto& column = table["columns"][i];
        if (platform::Lower(column["name"].get<std::string>()) != "datasys") continue;
        // "nvarchar(20)" reads "nvarchar", as the real server's catalogue names it.
        const std::string type = column["type"];
        state.datasys_type = type.substr(0, type.find('('));
        datasys = i;
      }
      for (const auto& row : table["rows"]) {
        const auto& value = row[datasys];
        state.datasys_values.push_back(value.is_null() ? "" : value.get<std::string>().substr(0, 19));
      }
      for (const auto& index : table["indexes"]) {
        state.indexes.push_back(index["name"]);
        state.definitions.push_back("index " + index.dump());
      }
      for (const auto& statistic : table["statistics"]) {
        if (statistic["auto_created"].get<bool>()) continue;
        state.statistics.push_back(statistic["name"]);
        state.definitions.push_back("statistics " + statistic.dump());
      }
      for (const auto& constraint : table["constraints"]) {
        state.constraints.push_back(constraint["name"]);
        state.definitions.push_back("constraint " + constraint.dump());
      }
    }
    state.definitions = Sorted(state.definitions);
    state.indexes = Sorted(state.indexes);
    state.statistics = Sorted(state.statistics);
    state.constraints = Sorted(state.constraints);
    return state;
  }

  void TakeOffline(const std::string& database) override { process_->Control("FAULT OFFLINE " + database); }

 private:
  std::filesystem::path scenario_path_;
  std::optional<testsupport::StandinProcess> process_;
  std::vector<TestLogin> logins_;
};

// Runs T-SQL on a real server through the product's own session layer.
class RealServerBackend final : public Backend {
 public:
  RealServerBackend(std::string server, std::string login, std::string password)
      : server_(std::move(server)), login_(std::move(login)), password_(std::move(password)) {}

  void Seed(const std::vector<CompanyDatabase>& databases) override {
    auto master = Open("master");
    std::vector<std::string> existing;
    for (auto list = master.Execute("select name from sys.databases where name like 'Parvimar%'");
         !list.Eof(); list.MoveNext()) {
      existing.push_back(list.Value("name").ToString());
    }
    for (const auto& name : existing) Drop(master, name);
    for (const auto& login : logins_) {
      DropLogin(master, login.name);
      std::string create = "CREATE LOGIN " + csql::QuoteName(login.name) +
                           " WITH PASSWORD = " + csql::QuoteLiteral(login.password) + ", CHECK_POLICY = OFF";
      if (!login.default_language.empty())
        create += ", DEFAULT_LANGUAGE = " + csql::QuoteName(login.default_language);
      master.Execute(create);
      master.Execute("EXEC sp_addsrvrolemember " + csql::QuoteLiteral(login.name) + ", 'sysadmin'");
    }
    std::vector<CompanyDatabase> all = databases;
    all.push_back(OtherCompany());
    Drop(master, OtherCompany().name);
    for (const auto& company : all) {
      master.Execute("CREATE DATABASE " + csql::QuoteName(company.name) +
                     (company.case_sensitive ? " COLLATE Latin1_General_CS_AS" : ""));
      seeded_.push_back(company.name);
      if (company.datasys_type.empty()) continue;
      auto db = Open(company.name);
      for (const auto& alias : company.datetime_aliases)
        db.Execute("CREATE TYPE " + csql::QuoteName(alias) + " FROM datetime");
      db.Execute("CREATE TABLE MovCliente (NumRegisto int NOT NULL, Cliente nvarchar(20) NULL, DataSys " +
                 company.datasys_type + " NULL, CONSTRAINT PK_MovCliente PRIMARY KEY (NumRegisto))");
      int number = 1;
      for (const auto& value : company.datasys_values) {
        db.Execute("INSERT INTO MovCliente (NumRegisto, Cliente, DataSys) VALUES (" + std::to_string(number) +
                   ", 'CLI" + std::to_string(number) + "', " + csql::QuoteLiteral(value) + ")");
        ++number;
      }
      if (!company.dependents) continue;
      db.Execute("CREATE INDEX " + csql::QuoteName(company.registo_index) +
                 " ON MovCliente (NumRegisto, DataSys)");
      db.Execute("CREATE INDEX IX_MovCliente_Cliente ON MovCliente (Cliente)");
      db.Execute("CREATE STATISTICS ST_MovCliente_DataSys ON MovCliente (DataSys)");
      db.Execute(
          "ALTER TABLE MovCliente ADD CONSTRAINT DF_MovCliente_DataSys DEFAULT (getdate()) FOR DataSys");
      if (!company.datasys_default_first) {
        db.Execute("ALTER TABLE MovCliente ADD CONSTRAINT DF_MovCliente_Cliente DEFAULT ('') FOR Cliente");
      }
      if (company.hidden_dependents) {
        db.Execute("CREATE INDEX IX_MovCliente_ClienteData ON MovCliente (Cliente) INCLUDE (DataSys)");
        db.Execute(
            "CREATE INDEX IX_MovCliente_Recentes ON MovCliente (NumRegisto DESC) WHERE DataSys IS NOT NULL");
        db.Execute(
            "ALTER TABLE MovCliente ADD CONSTRAINT CK_MovCliente_DataSys CHECK (DataSys >= '20000101')");
        db.Execute(
            "ALTER TABLE MovCliente ADD CONSTRAINT CK_MovCliente_Registo CHECK (DataSys IS NULL OR "
            "NumRegisto > 0)");
      }
      if (company.unique_datasys)
        db.Execute("CREATE UNIQUE INDEX UX_MovCliente_DataSys ON MovCliente (DataSys)");
      // The server makes its own automatic statistics, under names of its own,
      // when a query filters on a column.
      db.Execute("SELECT COUNT(*) FROM MovCliente WHERE DataSys IS NOT NULL AND Cliente <> ''");
    }
  }

  void AddLogin(const TestLogin& login) override { logins_.push_back(login); }

  ~RealServerBackend() override {
    try {
      auto master = Open("master");
      for (const auto& name : seeded_) Drop(master, name);
      for (const auto& login : logins_) DropLogin(master, login.name);
    } catch (const platform::Error&) {
      // Leaving test databases behind is not worth failing the run for.
    }
  }

  std::string Server() const override { return server_; }
  std::string Login() const override { return login_; }
  std::string Password() const override { return password_; }

  TableState State(const std::string& database) override {
    TableState state;
    auto db = Open(database);
    auto column = db.Execute(
        "select t.name from sys.columns c join sys.types t on t.user_type_id = c.user_type_id "
        "where c.object_id = object_id('MovCliente') and c.name = 'DataSys'");
    if (column.Eof()) return state;
    state.has_table = true;
    state.datasys_type = column.Value("name").ToString();
    state.indexes = SortedNames(
        db, "select name from sys.indexes where object_id = object_id('MovCliente') and index_id > 0");
    state.statistics =
        SortedNames(db,
                    "select s.name from sys.stats s where s.object_id = object_id('MovCliente') and "
                    "s.user_created = 1");
    for (auto values =
             db.Execute("select convert(varchar(19), DataSys, 120) as v from MovCliente order by NumRegisto");
         !values.Eof(); values.MoveNext()) {
      const auto value = values.Value("v");
      state.datasys_values.push_back(value.IsNull() ? "" : value.ToString());
    }
    state.constraints =
        SortedNames(db,
                    "select name from sys.objects where parent_object_id = object_id('MovCliente') and "
                    "type in ('D', 'C', 'PK', 'UQ', 'F')");
    state.definitions = Definitions(db);
    return state;
  }

  void TakeOffline(const std::string& database) override {
    Open("master").Execute("ALTER DATABASE " + csql::QuoteName(database) +
                           " SET OFFLINE WITH ROLLBACK IMMEDIATE");
  }

 private:
  platform::Connection Open(const std::string& database) {
    return OpenRealServer({server_, login_, password_}, database);
  }

  // One line per index, user statistic and constraint of MovCliente.
  static std::vector<std::string> Definitions(platform::Connection& db) {
    auto lines = SortedNames(
        db,
        "select 'index ' + i.name + ' ' + i.type_desc + ' unique=' + cast(i.is_unique as varchar(1)) + "
        "' filter=' + isnull(i.filter_definition, '') + ' (' + isnull(stuff((select ', ' + c.name + "
        "case when ic.is_descending_key = 1 then ' DESC' else '' end + case when ic.is_included_column = 1 "
        "then ' INCLUDE' else '' end from sys.index_columns ic join sys.columns c on c.object_id = "
        "ic.object_id "
        "and c.column_id = ic.column_id where ic.object_id = i.object_id and ic.index_id = i.index_id order "
        "by "
        "ic.is_included_column, ic.key_ordinal, ic.index_column_id for xml path('')), 1, 2, ''), '') + ')' "
        "as "
        "name from sys.indexes i where i.object_id = object_id('MovCliente') and i.index_id > 0 "
        "union all select 'statistics ' + s.name + ' (' + isnull(stuff((select ', ' + c.name from "
        "sys.stats_columns sc join sys.columns c on c.object_id = sc.object_id and c.column_id = "
        "sc.column_id "
        "where sc.object_id = s.object_id and sc.stats_id = s.stats_id order by sc.stats_column_id for xml "
        "path('')), 1, 2, ''), '') + ')' from sys.stats s where s.object_id = object_id('MovCliente') and "
        "s.user_created = 1 "
        "union all select 'constraint ' + o.name + ' ' + o.type + ' ' + isnull(d.definition, "
        "isnull(k.definition, '')) + ' trusted=' + cast(isnull(k.is_not_trusted, 0) as varchar(1)) from "
        "sys.objects o left join sys.default_constraints d on d.object_id = o.object_id left join "
        "sys.check_constraints k on k.object_id = o.object_id where o.parent_object_id = "
        "object_id('MovCliente') and o.type in ('D', 'C', 'PK', 'UQ', 'F')");
    return lines;
  }

  static void Drop(platform::Connection& master, const std::string& name) {
    const std::string db = csql::QuoteName(name);
    master.Execute("IF DB_ID(" + csql::QuoteLiteral(name) + ") IS NOT NULL BEGIN ALTER DATABASE " + db +
                   " SET ONLINE; ALTER DATABASE " + db +
                   " SET SINGLE_USER WITH ROLLBACK IMMEDIATE; DROP DATABASE " + db + " END");
  }

  static void DropLogin(platform::Connection& master, const std::string& name) {
    master.Execute("IF SUSER_ID(" + csql::QuoteLiteral(name) + ") IS NOT NULL DROP LOGIN " +
                   csql::QuoteName(name));
  }

  std::string server_, login_, password_;
  std::vector<std::string> seeded_;
  std::vector<TestLogin> logins_;
};

}  // namespace

void PrintTo(Target target, std::ostream* out) {
  *out << (target == Target::kStandin ? "stand-in" : "real server");
}

std::string TargetName(const ::testing::TestParamInfo<Target>& info) {
  return info.param == Target::kStandin ? "Standin" : "RealServer";
}

const char* NoBackendReason(Target target) {
  return target == Target::kStandin ? "the stand-in is not built" : "TAVINOR_TEST_SERVER is not set";
}

std::optional<RealServerSettings> RealServerFromEnvironment() {
  const char* server = std::getenv("TAVINOR_TEST_SERVER");
  if (!server || !*server) return std::nullopt;
  const char* login = std::getenv("TAVINOR_TEST_LOGIN");
  const char* password = std::getenv("TAVINOR_TEST_PASSWORD");
  return RealServerSettings{server, login ? login : "sa", password ? password : ""};
}

platform::Connection OpenRealServer(const RealServerSettings& settings, const std::string& database) {
  platform::Connection connection;
  connection.SetConnectionTimeout(30);
  connection.SetConnectionString("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + settings.login +
                                 ";Initial Catalog=" + database + ";Data Source=" + settings.server);
  connection.Open({}, {}, settings.password);
  return connection;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> SortedNames(platform::Connection& connection, const std::string& query) {
  std::vector<std::string> names;
  for (auto result = connection.Execute(query); !result.Eof(); result.MoveNext())
    names.push_back(result.Value("name").ToString());
  return Sorted(names);
}

bool StandinBuilt() {
  return std::filesystem::exists(STANDIN_EXECUTABLE);
}

std::unique_ptr<Backend> MakeStandinBackend() {
  if (!StandinBuilt()) return nullptr;
  return std::make_unique<StandinBackend>();
}

std::unique_ptr<Backend> MakeRealServerBackend() {
  const auto settings = RealServerFromEnvironment();
  if (!settings) return nullptr;
  return std::make_unique<RealServerBackend>(settings->server, settings->login, settings->password);
}

}  // namespace e2e
