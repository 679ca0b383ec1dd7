// A scripted session driver for unit tests: records every connection, statement
// and transaction step, and answers statements with scripted results or errors,
// so that library code runs against the session layer without a server.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/driver.h"

namespace testsupport {

// One thing the code under test did, in order.
struct Event {
  enum class Kind { kConnect, kExecute, kCommand, kBegin, kCommit, kRollback, kClose };
  Kind kind;
  int session = 0;       // 1, 2, ... in the order the sessions were opened
  std::string database;  // the session's database
  std::string text;      // statement text (kExecute, kCommand)
};

// Builds a result with the given column names and rows.
platform::ResultTable Table(std::vector<std::string> columns,
                            std::vector<std::vector<platform::Variant>> rows);

// A reply made of the given results.
platform::BatchReply Reply(std::vector<platform::ResultTable> results);

class ScriptedDriver final : public platform::Driver {
 public:
  // Answers `text` run in `database` ("*" for any database) with `reply`.
  void OnExecute(const std::string& database, const std::string& text, platform::BatchReply reply);
  // Makes `text` run in `database` ("*" for any) fail with `error`.
  void FailExecute(const std::string& database, const std::string& text, platform::Error error);
  // Makes connecting to `database` ("*" for any) fail with `error`.
  void FailConnect(const std::string& database, platform::Error error);
  // Makes committing a transaction in `database` fail with `error`.
  void FailCommit(const std::string& database, platform::Error error);
  // Called for statements no rule matches; the default answers with no result,
  // as a statement run for its effect does.
  std::function<platform::BatchReply(const std::string& database, const std::string& text)> fallback;
  // The parameters of every command run, as they were bound, in order.
  std::vector<std::vector<platform::ParameterBinding>> command_parameters;
  // Called for every command before it is answered; may set output values.
  std::function<void(const std::string& text, std::vector<platform::ParameterBinding>& parameters)>
      on_command;

  std::unique_ptr<platform::DriverSession> Connect(const platform::ConnectRequest& request) override;

  // Everything recorded so far.
  [[nodiscard]] const std::vector<Event>& Events() const { return events_; }
  // The statement texts executed in `database`, in order.
  [[nodiscard]] std::vector<std::string> Statements(const std::string& database) const;
  // The texts of every statement and transaction step in `database`, with
  // transaction steps written as "<begin>", "<commit>", "<rollback>".
  [[nodiscard]] std::vector<std::string> Trace(const std::string& database) const;
  [[nodiscard]] const std::vector<platform::ConnectRequest>& Requests() const { return requests_; }
  // Sessions opened and not yet closed.
  [[nodiscard]] int OpenSessions() const { return open_sessions_; }

 private:
  friend class ScriptedSession;
  struct Rule {
    std::optional<platform::BatchReply> reply;
    std::optional<platform::Error> error;
  };
  const Rule* Find(const std::string& database, const std::string& text) const;

  // Sessions may run on several threads at once: the records below are kept under
  // the mutex; the rules are set before the code under test runs.
  std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, Rule> rules_;
  std::map<std::string, platform::Error> connect_failures_;
  std::map<std::string, platform::Error> commit_failures_;
  std::vector<Event> events_;
  std::vector<platform::ConnectRequest> requests_;
  int next_session_ = 1;
  int open_sessions_ = 0;
};

// Installs a ScriptedDriver for the lifetime of the guard and restores the real
// driver afterwards.
class ScopedScriptedDriver {
 public:
  ScopedScriptedDriver();
  ~ScopedScriptedDriver();
  ScopedScriptedDriver(const ScopedScriptedDriver&) = delete;
  ScopedScriptedDriver& operator=(const ScopedScriptedDriver&) = delete;
  ScriptedDriver& operator*() { return *driver_; }
  ScriptedDriver* operator->() { return driver_.get(); }

 private:
  std::shared_ptr<ScriptedDriver> driver_;
};

}  // namespace testsupport
