// What one conversion run did, database by database, gathered from the requests
// its sessions sent (see platform/observed_driver.h): the command line's --report
// document and the numbers behind its progress line. Passwords never reach it:
// it sees statement texts and replies, never a connection's login.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/conversion_plan.h"
#include "app/conversion_run.h"
#include "platform/observed_driver.h"

namespace app {

class RunRecorder {
 public:
  RunRecorder(std::string server, std::string login);

  // Every request of the run, in the order sent.
  void OnStatement(const platform::StatementEvent& event);
  // The run went into `database` (its progress caption).
  void OnDatabase(const std::string& database);
  // The dry run's prediction for a database: it becomes the database's outcome.
  void OnPlan(const DatabasePlan& plan);
  // The run keeps the dependents of DataSys (--keep-dependents).
  void SetKeepDependents(bool keep);
  // The run is a dry run (--dry-run), even when it plans no database.
  void SetDryRun(bool dry_run);

  // Databases in the list (0 until it was read) and how many the run went into.
  [[nodiscard]] std::size_t Total() const;
  [[nodiscard]] std::size_t Reached() const;

  // The report of the run that ended with `outcome` and the command line's
  // `exit_status`; databases the run never went into are marked "not_reached".
  [[nodiscard]] nlohmann::json Report(const ConversionOutcome& outcome, int exit_status) const;

 private:
  struct Dropped {
    std::string kind;  // "index", "statistics", "constraint"
    std::string name;
    std::string definition;
  };
  struct Recreated {
    std::string kind;  // "index", "statistics", "constraint"
    std::string name;
    std::string statement;
    bool ok = false;
    int error_number = 0;
    std::string error_text;
  };
  struct Database {
    std::string name;
    bool reached = false;
    std::vector<std::string> type_rows;
    // The type query said datetime, or gave a row the run cannot read, which
    // the run takes the same way: the database is left alone.
    bool type_says_converted = false;
    bool alter_sent = false;
    bool alter_ok = false;
    bool committed = false;
    bool rolled_back = false;
    std::vector<Dropped> dropped;
    std::vector<Recreated> recreated;
    std::vector<std::pair<std::string, std::string>> definitions;  // name, definition, from the lists
    nlohmann::json statements = nlohmann::json::array();
    bool planned = false;
    DatabasePlan plan;
  };

  Database* Find(const std::string& name);
  static nlohmann::json DatabaseReport(const Database& database, bool connection_failed);

  mutable std::mutex mutex_;
  std::string server_;
  std::string login_;
  std::chrono::system_clock::time_point started_;
  bool list_read_ = false;
  bool dry_run_ = false;
  bool keep_dependents_ = false;
  std::vector<Database> databases_;
};

// The report of a run over several servers, one after another: each server's
// report (from its recorder, its outcome and its own exit status) in order, and
// the run's `exit_status`, the worst of them or the signal's.
nlohmann::json FleetReport(const std::vector<std::unique_ptr<RunRecorder>>& recorders,
                           const std::vector<ConversionOutcome>& outcomes, const std::vector<int>& statuses,
                           int exit_status);

// An instant as ISO 8601 in UTC with milliseconds ("2024-03-01T10:15:30.250Z").
std::string IsoTime(std::chrono::system_clock::time_point at);

}  // namespace app
