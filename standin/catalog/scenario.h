// Scenario files: the JSON that seeds the stand-in's catalogue (logins, databases, tables with columns, rows,
// indexes, constraints and statistics, users, procedures, processes) and its faults, plus the generator of a
// fleet of company databases. The format is described in standin/README.md.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "catalog/catalog.h"
#include "catalog/server_state.h"

namespace standin {

struct Scenario {
  Catalog catalog;
  Faults faults;
};

// Thrown for a scenario that does not describe a valid server (unknown type, row of the wrong width, value
// that does not convert to its column's type, key naming no column).
class ScenarioError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Scenario LoadScenario(const nlohmann::json& j);
Scenario LoadScenarioFile(const std::string& path);

struct FleetOptions {
  int count = 10;
  std::string prefix = "Parvimar";
  int rows = 20;
  // Every `already_converted_every`-th database already has DataSys as datetime (0: none).
  int already_converted_every = 0;
};

// A scenario fragment (a "databases" array) with `count` company databases that need the DataSys change.
nlohmann::json FleetDatabases(const FleetOptions& options);
// A complete scenario: login sa, the system databases and the fleet.
nlohmann::json FleetScenario(const FleetOptions& options, const std::string& sa_password);

// A database as JSON, the answer to the control channel's STATE: tables, columns, indexes, constraints,
// statistics and row counts.
nlohmann::json DatabaseState(const Database& db, bool with_rows);

// Faults as set by a scenario's "faults" object or the control channel.
void ApplyFaults(const nlohmann::json& j, Faults& faults, Catalog& catalog);

}  // namespace standin
