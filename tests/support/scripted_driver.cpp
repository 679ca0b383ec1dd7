#include "scripted_driver.h"

namespace testsupport {

using platform::BatchReply;
using platform::Error;

platform::ResultTable Table(std::vector<std::string> columns,
                            std::vector<std::vector<platform::Variant>> rows) {
  platform::ResultTable table;
  for (auto& name : columns) {
    platform::ColumnInfo column;
    column.name = std::move(name);
    table.columns.push_back(std::move(column));
  }
  table.rows = std::move(rows);
  return table;
}

BatchReply Reply(std::vector<platform::ResultTable> results) {
  BatchReply reply;
  reply.results = std::move(results);
  return reply;
}

class ScriptedSession final : public platform::DriverSession {
 public:
  ScriptedSession(ScriptedDriver& driver, int id, std::string database)
      : driver_(driver), id_(id), database_(std::move(database)) {}
  ~ScriptedSession() override { Close(); }

  BatchReply Execute(const std::string& text, int /*timeout_seconds*/) override {
    Record(Event::Kind::kExecute, text);
    return Answer(text);
  }

  BatchReply ExecuteCommand(const std::string& text, platform::CommandType /*type*/,
                            std::vector<platform::ParameterBinding>& parameters,
                            int /*timeout_seconds*/) override {
    Record(Event::Kind::kCommand, text);
    driver_.command_parameters.push_back(parameters);
    if (driver_.on_command) driver_.on_command(text, parameters);
    return Answer(text);
  }

  void BeginTrans() override { Record(Event::Kind::kBegin, {}); }
  void CommitTrans() override {
    Record(Event::Kind::kCommit, {});
    if (auto it = driver_.commit_failures_.find(database_); it != driver_.commit_failures_.end())
      throw it->second;
  }
  void RollbackTrans() override { Record(Event::Kind::kRollback, {}); }

  void Close() noexcept override {
    if (closed_) return;
    closed_ = true;
    {
      const std::lock_guard lock(driver_.mutex_);
      --driver_.open_sessions_;
    }
    Record(Event::Kind::kClose, {});
  }

 private:
  void Record(Event::Kind kind, const std::string& text) {
    const std::lock_guard lock(driver_.mutex_);
    driver_.events_.push_back({kind, id_, database_, text});
  }

  BatchReply Answer(const std::string& text) {
    if (const auto* rule = driver_.Find(database_, text)) {
      if (rule->error) throw *rule->error;
      return *rule->reply;
    }
    if (driver_.fallback) return driver_.fallback(database_, text);
    return {};
  }

  ScriptedDriver& driver_;
  int id_;
  std::string database_;
  bool closed_ = false;
};

void ScriptedDriver::OnExecute(const std::string& database, const std::string& text, BatchReply reply) {
  rules_[{database, text}] = Rule{std::move(reply), std::nullopt};
}

void ScriptedDriver::FailExecute(const std::string& database, const std::string& text, Error error) {
  rules_[{database, text}] = Rule{std::nullopt, std::move(error)};
}

void ScriptedDriver::FailConnect(const std::string& database, Error error) {
  connect_failures_.insert_or_assign(database, std::move(error));
}

void ScriptedDriver::FailCommit(const std::string& database, Error error) {
  commit_failures_.insert_or_assign(database, std::move(error));
}

const ScriptedDriver::Rule* ScriptedDriver::Find(const std::string& database, const std::string& text) const {
  if (auto it = rules_.find({database, text}); it != rules_.end()) return &it->second;
  if (auto it = rules_.find({"*", text}); it != rules_.end()) return &it->second;
  return nullptr;
}

std::unique_ptr<platform::DriverSession> ScriptedDriver::Connect(const platform::ConnectRequest& request) {
  const std::lock_guard lock(mutex_);
  requests_.push_back(request);
  events_.push_back({Event::Kind::kConnect, 0, request.database, {}});
  for (const auto& key : {request.database, std::string("*")}) {
    if (auto it = connect_failures_.find(key); it != connect_failures_.end()) throw it->second;
  }
  ++open_sessions_;
  return std::make_unique<ScriptedSession>(*this, next_session_++, request.database);
}

std::vector<std::string> ScriptedDriver::Statements(const std::string& database) const {
  std::vector<std::string> texts;
  for (const auto& event : events_) {
    if (event.database == database &&
        (event.kind == Event::Kind::kExecute || event.kind == Event::Kind::kCommand))
      texts.push_back(event.text);
  }
  return texts;
}

std::vector<std::string> ScriptedDriver::Trace(const std::string& database) const {
  std::vector<std::string> trace;
  for (const auto& event : events_) {
    if (event.database != database) continue;
    switch (event.kind) {
      case Event::Kind::kExecute:
      case Event::Kind::kCommand:
        trace.push_back(event.text);
        break;
      case Event::Kind::kBegin:
        trace.push_back("<begin>");
        break;
      case Event::Kind::kCommit:
        trace.push_back("<commit>");
        break;
      case Event::Kind::kRollback:
        trace.push_back("<rollback>");
        break;
      default:
        break;
    }
  }
  return trace;
}

ScopedScriptedDriver::ScopedScriptedDriver() : driver_(std::make_shared<ScriptedDriver>()) {
  platform::SetDriver(driver_);
}

ScopedScriptedDriver::~ScopedScriptedDriver() {
  platform::SetDriver(nullptr);
}

}  // namespace testsupport
