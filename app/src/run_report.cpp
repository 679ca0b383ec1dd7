#include "app/run_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "app/conversion_statements.h"
#include "app/keep_dependents.h"
#include "platform/text.h"

namespace app {
namespace {

using nlohmann::json;

// The object name a drop statement ends with, its brackets undone.
std::string DroppedName(std::string_view text) {
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return std::string(text);
  std::string name;
  const std::string_view inner = text.substr(1, text.size() - 2);
  for (std::size_t i = 0; i < inner.size(); ++i) {
    name += inner[i];
    if (inner[i] == ']' && i + 1 < inner.size() && inner[i + 1] == ']') ++i;
  }
  return name;
}

std::string Cell(const platform::ResultTable& table, const std::vector<platform::Variant>& row,
                 std::string_view column) {
  for (std::size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
    if (platform::EqualsIgnoringCase(table.columns[i].name, column)) {
      return row[i].IsNull() ? std::string() : row[i].ToString();
    }
  }
  return {};
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string IsoTime(std::chrono::system_clock::time_point at) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  char millis[8];
  std::snprintf(millis, sizeof millis, ".%03dZ", static_cast<int>(ms % 1000));
  return std::string(text, length) + millis;
}

RunRecorder::RunRecorder(std::string server, std::string login)
    : server_(std::move(server)), login_(std::move(login)), started_(std::chrono::system_clock::now()) {}

RunRecorder::Database* RunRecorder::Find(const std::string& name) {
  for (auto& database : databases_) {
    if (database.name == name) return &database;
  }
  return nullptr;
}

void RunRecorder::OnDatabase(const std::string& database) {
  const std::lock_guard lock(mutex_);
  if (Database* found = Find(database)) found->reached = true;
}

void RunRecorder::OnPlan(const DatabasePlan& plan) {
  const std::lock_guard lock(mutex_);
  dry_run_ = true;
  if (Database* found = Find(plan.name)) {
    found->planned = true;
    found->plan = plan;
  }
}

void RunRecorder::SetKeepDependents(bool keep) {
  const std::lock_guard lock(mutex_);
  keep_dependents_ = keep;
}

void RunRecorder::SetDryRun(bool dry_run) {
  const std::lock_guard lock(mutex_);
  dry_run_ = dry_run;
}

std::size_t RunRecorder::Total() const {
  const std::lock_guard lock(mutex_);
  return databases_.size();
}

std::size_t RunRecorder::Reached() const {
  const std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(
      std::count_if(databases_.begin(), databases_.end(), [](const Database& d) { return d.reached; }));
}

void RunRecorder::OnStatement(const platform::StatementEvent& event) {
  const std::lock_guard lock(mutex_);
  const platform::ResultTable* first =
      event.reply != nullptr && !event.reply->results.empty() ? &event.reply->results.front() : nullptr;
  if (!list_read_ && event.text == kDatabaseListQuery) {
    list_read_ = event.ok;
    if (first != nullptr) {
      for (const auto& row : first->rows) {
        if (row.empty()) continue;
        Database database;
        database.name = row.front().IsNull() ? "" : row.front().ToString();
        databases_.push_back(std::move(database));
      }
    }
    return;
  }
  Database* database = Find(event.database);
  if (database == nullptr) return;

  json statement = {{"text", event.text},
                    {"started", IsoTime(event.started)},
                    {"seconds", event.seconds},
                    {"ok", event.ok}};
  if (!event.ok) statement["error"] = {{"number", event.error_number}, {"text", event.error_text}};
  database->statements.push_back(std::move(statement));

  const std::string& text = event.text;
  if (text == kTypeQuery && first != nullptr) {
    for (const auto& row : first->rows) {
      if (row.empty() || row.front().IsNull()) {
        database->type_says_converted = true;
        continue;
      }
      database->type_rows.push_back(row.front().ToString());
      if (platform::Trim(platform::Lower(database->type_rows.back())) == "datetime") {
        database->type_says_converted = true;
      }
    }
  } else if (text == kIndexListQuery && first != nullptr) {
    for (const auto& row : first->rows) {
      database->definitions.emplace_back(
          Cell(*first, row, "index_name"),
          Cell(*first, row, "index_description") + " (" + Cell(*first, row, "index_keys") + ")");
    }
  } else if (text == kStatisticsListQuery && first != nullptr) {
    for (const auto& row : first->rows) {
      database->definitions.emplace_back(Cell(*first, row, "statistics_name"),
                                         "(" + Cell(*first, row, "statistics_keys") + ")");
    }
  } else if (text == kConstraintListQuery && event.reply != nullptr && event.reply->results.size() > 1) {
    const platform::ResultTable& constraints = event.reply->results[1];
    for (const auto& row : constraints.rows) {
      std::string definition = Cell(constraints, row, "constraint_type");
      const std::string keys = Cell(constraints, row, "constraint_keys");
      if (!keys.empty()) definition += " " + keys;
      database->definitions.emplace_back(Cell(constraints, row, "constraint_name"), definition);
    }
  } else if (text == kAlterDataSys) {
    database->alter_sent = true;
    database->alter_ok = event.ok;
  } else if (text == "COMMIT TRANSACTION") {
    database->committed = event.ok;
  } else if (text == "ROLLBACK TRANSACTION") {
    database->rolled_back = true;
  } else if (const auto recreation = keep_dependents_ ? RecognizeRecreation(text) : std::nullopt) {
    database->recreated.push_back(
        {recreation->kind, recreation->name, text, event.ok, event.error_number, event.error_text});
  } else if (event.ok) {
    for (const auto& [prefix, kind] :
         {std::pair{kDropIndex, "index"}, std::pair{kDropStatistics, "statistics"},
          std::pair{kDropConstraint, "constraint"}}) {
      if (!StartsWith(text, prefix)) continue;
      Dropped dropped{kind, DroppedName(std::string_view(text).substr(std::string_view(prefix).size())), {}};
      for (const auto& [name, definition] : database->definitions) {
        if (name == dropped.name) dropped.definition = definition;
      }
      database->dropped.push_back(std::move(dropped));
    }
  }
}

json RunRecorder::DatabaseReport(const Database& database, bool connection_failed) {
  json report = {{"name", database.name},
                 {"statements", database.statements},
                 {"findings", database.plan.findings},
                 {"planned_statements", database.planned ? json(database.plan.statements) : json::array()},
                 {"reasons", database.plan.reasons}};
  std::string outcome;
  if (database.planned) {
    static const char* const kOutcomes[] = {"already_converted", "will_convert", "will_fail"};
    outcome = kOutcomes[static_cast<int>(database.plan.prediction)];
  } else if (!database.reached) {
    outcome = "not_reached";
  } else if (connection_failed) {
    outcome = "connection_failed";
  } else if (database.type_says_converted) {
    outcome = "already_converted";
  } else {
    // The database needed the change. Without an ALTER that went through (a
    // stop that refused the rest of its statements, dependents that could not
    // be read) it was not changed.
    outcome = database.alter_sent && database.alter_ok && !database.rolled_back ? "converted" : "failed";
  }
  report["outcome"] = outcome;

  json type_before = nullptr;
  for (const auto& type : database.type_rows) {
    if (type_before.is_null() || platform::Trim(platform::Lower(type)) == "datetime") type_before = type;
  }
  report["type_before"] = type_before;
  report["type_after"] = outcome == "converted" ? json("datetime") : type_before;
  json dropped = json::array();
  if (outcome == "converted") {
    for (const auto& object : database.dropped) {
      // Kept dependents are defined by the statement that created them again.
      std::string definition = object.definition;
      for (const auto& again : database.recreated) {
        if (definition.empty() && again.name == object.name) definition = again.statement;
      }
      dropped.push_back({{"kind", object.kind}, {"name", object.name}, {"definition", definition}});
    }
  }
  report["dropped"] = dropped;
  json recreated = json::array();
  for (const auto& object : database.recreated) {
    json entry = {
        {"kind", object.kind}, {"name", object.name}, {"statement", object.statement}, {"ok", object.ok}};
    if (!object.ok) entry["error"] = {{"number", object.error_number}, {"text", object.error_text}};
    recreated.push_back(std::move(entry));
  }
  report["recreated"] = recreated;
  return report;
}

json RunRecorder::Report(const ConversionOutcome& outcome, int exit_status) const {
  const std::lock_guard lock(mutex_);
  const bool ended_on_connection = outcome.status == ConversionOutcome::Status::kConnectionFailed;
  // The database whose connection ended the run is the last one reached, and it
  // sent nothing.
  const Database* failed_connection = nullptr;
  if (ended_on_connection) {
    for (const auto& database : databases_) {
      if (database.reached) failed_connection = &database;
    }
    if (failed_connection != nullptr && !failed_connection->statements.empty()) failed_connection = nullptr;
  }
  json databases = json::array();
  json totals = json::object({{"databases", databases_.size()}});
  for (const char* name : {"converted", "already_converted", "failed", "connection_failed", "not_reached",
                           "will_convert", "will_fail"}) {
    totals[name] = 0;
  }
  for (const auto& database : databases_) {
    json entry = DatabaseReport(database, &database == failed_connection);
    totals[entry["outcome"].get<std::string>()] = totals[entry["outcome"].get<std::string>()].get<int>() + 1;
    databases.push_back(std::move(entry));
  }
  return {{"tool", "tavinor-convert"},
          {"version", TAVINOR_VERSION},
          {"mode", dry_run_ ? "dry-run" : "convert"},
          {"keep_dependents", keep_dependents_},
          {"server", server_},
          {"login", login_},
          {"started", IsoTime(started_)},
          {"ended", IsoTime(std::chrono::system_clock::now())},
          {"database_list_read", list_read_},
          {"databases", databases},
          {"totals", totals},
          {"interrupted", outcome.interrupted},
          {"exit_status", exit_status}};
}

json FleetReport(const std::vector<std::unique_ptr<RunRecorder>>& recorders,
                 const std::vector<ConversionOutcome>& outcomes, const std::vector<int>& statuses,
                 int exit_status) {
  json servers = json::array();
  bool interrupted = false;
  for (std::size_t i = 0; i < recorders.size() && i < outcomes.size() && i < statuses.size(); ++i) {
    interrupted = interrupted || outcomes[i].interrupted;
    // A server the signal stopped, or never let start, carries the run's status.
    servers.push_back(recorders[i]->Report(outcomes[i], outcomes[i].interrupted ? exit_status : statuses[i]));
  }
  const json& first = servers.empty() ? json::object() : servers.front();
  return {{"tool", "tavinor-convert"},
          {"version", TAVINOR_VERSION},
          {"mode", first.value("mode", "convert")},
          {"login", first.value("login", "")},
          {"started", first.value("started", IsoTime(std::chrono::system_clock::now()))},
          {"ended", IsoTime(std::chrono::system_clock::now())},
          {"servers", servers},
          {"interrupted", interrupted},
          {"exit_status", exit_status}};
}

}  // namespace app
