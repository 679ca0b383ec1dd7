// Runs statements against a catalogue loaded from a scenario snippet, without a network: what each test of
// the statement engine starts from.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "catalog/scenario.h"
#include "engine/exec_context.h"
#include "engine/statement_registry.h"
#include "engine/transactions.h"

namespace standin::test_support {

class Harness {
 public:
  explicit Harness(const nlohmann::json& scenario, std::string database = "master")
      : state_(LoadScenario(scenario).catalog) {
    session_.connection = 1;
    session_.spid = 51;
    session_.login = "sa";
    session_.database = std::move(database);
    state_.sessions[1] =
        LiveSession{1, 51, "sa", session_.database, "host", "tests", "000000000000", "runnable"};
  }

  Reply Run(const std::string& text) {
    Reply reply;
    ExecContext ctx(state_, session_, reply);
    ExecuteText(ctx, text);
    return reply;
  }

  ServerState& state() { return state_; }
  SessionState& session() { return session_; }
  TableDef& Table(const std::string& db, const std::string& table) {
    return *state_.catalog.FindDatabase(db)->FindTable(table);
  }

 private:
  ServerState state_;
  SessionState session_;
};

// A first result set's single column, as strings.
inline std::vector<std::string> Column(const Reply& reply, size_t set = 0, size_t column = 0) {
  std::vector<std::string> out;
  auto sets = reply.ResultSets();
  if (set >= sets.size()) return out;
  for (const auto& row : sets[set]->rows) out.push_back(row[column].ToText());
  return out;
}

// The company table of the conversion run, with DataSys of `type` and the given values.
inline nlohmann::json MovCliente(const std::string& type, const nlohmann::json& dates) {
  nlohmann::json rows = nlohmann::json::array();
  int n = 0;
  for (const auto& d : dates) rows.push_back({++n, "C" + std::to_string(n), d});
  return {{"name", "MovCliente"},
          {"columns",
           {{{"name", "NumRegisto"}, {"type", "int"}, {"nullable", false}},
            {{"name", "Cliente"}, {"type", "nvarchar(20)"}},
            {{"name", "DataSys"}, {"type", type}}}},
          {"rows", rows}};
}

inline nlohmann::json OneDatabase(const nlohmann::json& table, const std::string& name = "Parvimar01") {
  return {{"logins", {{{"name", "sa"}, {"password", "pw"}, {"server_roles", {"sysadmin"}}}}},
          {"databases", {{{"name", name}, {"tables", {table}}}}}};
}

}  // namespace standin::test_support
