// Scenario loading and validation, the fleet generator, and the control channel's commands.
#include "catalog/scenario.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "wire/server.h"

namespace standin {
namespace {

using nlohmann::json;

json Table(const json& columns, const json& rows) {
  return {{"name", "T"}, {"columns", columns}, {"rows", rows}};
}

TEST(Scenario, RejectsScenariosThatDescribeNoValidServer) {
  struct Case {
    json scenario;
    const char* mentions;
  } cases[] = {
      {{{"databases",
         {{{"name", "D"}, {"tables", {Table({{{"name", "c"}, {"type", "datetimex"}}}, json::array())}}}}}},
       "unknown type 'datetimex'"},
      {{{"databases", {{{"name", "D"}, {"tables", {Table({{{"name", "c"}, {"type", "int"}}}, {{1, 2}})}}}}}},
       "every row needs 1 values"},
      {{{"databases",
         {{{"name", "D"}, {"tables", {Table({{{"name", "c"}, {"type", "smalldatetime"}}}, {{"ontem"}})}}}}}},
       "D.T.c: Conversion failed"},
      {{{"databases",
         {{{"name", "D"},
           {"tables",
            {{{"name", "T"},
              {"columns", {{{"name", "c"}, {"type", "int"}}}},
              {"indexes", {{{"name", "I"}, {"keys", {"nada"}}}}}}}}}}}},
       "no column 'nada'"},
      {{{"databases", {{{"name", "D"}, {"state", "sleeping"}}}}}, "state must be online or offline"},
      {{{"faults", {{"offline", {"Nada"}}}}}, "no database Nada"},
  };
  for (const auto& c : cases) {
    try {
      LoadScenario(c.scenario);
      ADD_FAILURE() << "accepted: " << c.scenario.dump();
    } catch (const ScenarioError& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << e.what();
    }
  }
}

TEST(Scenario, SystemDatabasesComeFirstAndFleetFollowsTheListedOnes) {
  json j = {{"databases", {{{"name", "OutraEmpresa"}}, {{"name", "master"}, {"state", "online"}}}},
            {"fleet", {{"count", 12}, {"already_converted_every", 4}}}};
  Scenario s = LoadScenario(j);
  std::vector<std::string> names;
  for (const auto& d : s.catalog.databases) names.push_back(d.name);
  ASSERT_EQ(names.size(), 4u + 1 + 12);
  EXPECT_EQ((std::vector<std::string>(names.begin(), names.begin() + 6)),
            (std::vector<std::string>{"master", "tempdb", "model", "msdb", "OutraEmpresa", "Parvimar001"}));
  EXPECT_EQ(names.back(), "Parvimar012");
  Database* converted = s.catalog.FindDatabase("Parvimar004");
  EXPECT_EQ(converted->FindTable("MovCliente")->FindColumn("DataSys")->type.Name(), "datetime");
  Database* needs = s.catalog.FindDatabase("Parvimar005");
  TableDef* t = needs->FindTable("MovCliente");
  EXPECT_EQ(t->FindColumn("DataSys")->type.Name(), "smalldatetime");
  EXPECT_EQ(t->rows.size(), 20u);
  EXPECT_NE(t->FindIndex("IX_MovCliente_Registo"), nullptr);
  EXPECT_NE(t->FindIndex("PK_MovCliente"), nullptr);  // brought by the PRIMARY KEY
}

TEST(Scenario, DemoScenarioLoads) {
  Scenario s = LoadScenarioFile(STANDIN_DEMO_SCENARIO);
  EXPECT_NE(s.catalog.FindLogin("sa"), nullptr);
  EXPECT_EQ(s.catalog.FindDatabase("Parvimar05")->FindTable("MovCliente"), nullptr);
  EXPECT_EQ(s.catalog.FindDatabase("Parvimar04")->FindTable("MovCliente")->rows[1][3].ToText(), "ontem");
}

TEST(ControlChannel, ServesLogStateFaultsAndReset) {
  json j = {{"logins", {{{"name", "sa"}, {"password", "x"}}}}, {"fleet", {{"count", 2}}}};
  ServerState state(LoadScenario(j).catalog);
  state.Record(LogEntry{0, 1, 51, "sa", "master", "batch", "select \"1\""});
  std::string log = ControlCommand(state, "LOG");
  ASSERT_TRUE(log.starts_with("OK ")) << log;
  json entries = json::parse(log.substr(3));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0]["text"], "select \"1\"");
  EXPECT_EQ(entries[0]["seq"], 1);
  EXPECT_EQ(ControlCommand(state, "LOG SINCE 1"), "OK []");

  json db = json::parse(ControlCommand(state, "STATE parvimar001").substr(3));
  EXPECT_EQ(db["name"], "Parvimar001");
  EXPECT_EQ(db["tables"][0]["columns"][3]["type"], "smalldatetime");
  EXPECT_EQ(db["tables"][0]["indexes"][0]["keys"], json({"NumRegisto", "DataSys"}));
  EXPECT_FALSE(db["tables"][0].contains("rows"));
  EXPECT_EQ(
      json::parse(ControlCommand(state, "STATE Parvimar001 ROWS").substr(3))["tables"][0]["rows"].size(),
      20u);
  EXPECT_TRUE(ControlCommand(state, "STATE Nada").starts_with("ERR"));

  EXPECT_EQ(ControlCommand(state, "FAULT OFFLINE Parvimar002"), "OK");
  EXPECT_EQ(state.catalog.FindDatabase("Parvimar002")->state, DbState::kOffline);
  EXPECT_EQ(ControlCommand(state, "FAULT {\"drop_after\": 3, \"latency_ms\": 5}"), "OK");
  EXPECT_EQ(state.faults.drop_after, 3);
  EXPECT_EQ(state.faults.latency_ms, 5);
  EXPECT_EQ(ControlCommand(state, "FAULT HANG_ON waitfor"), "OK");
  EXPECT_EQ(state.faults.hang_on, "waitfor");
  EXPECT_TRUE(ControlCommand(state, "FAULT EXPLODE").starts_with("ERR unknown fault"));
  EXPECT_TRUE(ControlCommand(state, "FAULT OFFLINE Nada").starts_with("ERR"));

  state.catalog.FindDatabase("Parvimar001")->tables.clear();
  EXPECT_EQ(ControlCommand(state, "RESET"), "OK");
  EXPECT_EQ(state.catalog.FindDatabase("Parvimar001")->tables.size(), 1u);
  EXPECT_EQ(state.catalog.FindDatabase("Parvimar002")->state, DbState::kOnline);
  EXPECT_FALSE(state.faults.drop_after.has_value());
  EXPECT_EQ(ControlCommand(state, "LOG"), "OK []");
  EXPECT_TRUE(ControlCommand(state, "BOGUS").starts_with("ERR unknown command"));
}

TEST(StatementLog, FileGetsOneJsonLinePerRequest) {
  std::string path = ::testing::TempDir() + "standin_log_test.jsonl";
  std::remove(path.c_str());
  ServerState state(LoadScenario(json::object()).catalog);
  state.log_file.open(path);
  state.Record(LogEntry{0, 4, 52, "sa", "Parvimar01", "batch", "sp_helpindex movcliente"});
  state.Record(LogEntry{0, 4, 52, "sa", "Parvimar01", "rpc", "select 1\nselect 2"});
  std::ifstream in(path);
  std::vector<json> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["text"], "sp_helpindex movcliente");
  EXPECT_EQ(lines[0]["database"], "Parvimar01");
  EXPECT_EQ(lines[1]["seq"], 2);
  EXPECT_EQ(lines[1]["text"], "select 1\nselect 2");
}

}  // namespace
}  // namespace standin
