// A small in-test driver for the session layer's own tests: answers statements
// from a queue of scripted replies and records what reached it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/driver.h"
#include "platform/error.h"

namespace sessiontest {

struct RecordedCommand {
  std::string text;
  platform::CommandType type;
  std::vector<platform::ParameterBinding> parameters;  // as they reached the driver
};

class FakeDriver final : public platform::Driver {
 public:
  // The reply to the next statement or command (an empty reply when none is queued).
  void Script(platform::BatchReply reply) { replies.push_back(std::move(reply)); }

  std::unique_ptr<platform::DriverSession> Connect(const platform::ConnectRequest& request) override;

  std::vector<platform::ConnectRequest> requests;
  std::optional<platform::Error> connect_error;
  std::optional<platform::Error> commit_error;
  std::deque<platform::BatchReply> replies;
  // Statement texts and transaction steps ("<begin>", "<commit>", "<rollback>"), in order.
  std::vector<std::string> statements;
  std::vector<RecordedCommand> commands;
  // Lets a test write output values as the server would.
  std::function<void(std::vector<platform::ParameterBinding>&)> on_command;
  int open_sessions = 0;

  platform::BatchReply Next() {
    if (replies.empty()) return {};
    platform::BatchReply reply = std::move(replies.front());
    replies.pop_front();
    return reply;
  }
};

class FakeSession final : public platform::DriverSession {
 public:
  explicit FakeSession(FakeDriver& driver) : driver_(driver) { ++driver_.open_sessions; }
  ~FakeSession() override { Close(); }
  platform::BatchReply Execute(const std::string& text, int /*timeout_seconds*/) override {
    driver_.statements.push_back(text);
    return driver_.Next();
  }
  platform::BatchReply ExecuteCommand(const std::string& text, platform::CommandType type,
                                      std::vector<platform::ParameterBinding>& parameters,
                                      int /*timeout_seconds*/) override {
    driver_.statements.push_back(text);
    driver_.commands.push_back({text, type, parameters});
    if (driver_.on_command) driver_.on_command(parameters);
    return driver_.Next();
  }
  void BeginTrans() override { driver_.statements.push_back("<begin>"); }
  void CommitTrans() override {
    driver_.statements.push_back("<commit>");
    if (driver_.commit_error) throw *driver_.commit_error;
  }
  void RollbackTrans() override { driver_.statements.push_back("<rollback>"); }
  void Close() noexcept override {
    if (open_) --driver_.open_sessions;
    open_ = false;
  }

 private:
  FakeDriver& driver_;
  bool open_ = true;
};

inline std::unique_ptr<platform::DriverSession> FakeDriver::Connect(const platform::ConnectRequest& request) {
  requests.push_back(request);
  if (connect_error) throw *connect_error;
  return std::make_unique<FakeSession>(*this);
}

// A reply of one result with text columns of these names and these rows.
inline platform::BatchReply Rows(const std::vector<std::string>& columns,
                                 std::vector<std::vector<platform::Variant>> rows,
                                 platform::DataType type = platform::DataType::kVarWChar) {
  platform::ResultTable table;
  for (const std::string& name : columns) {
    platform::ColumnInfo column;
    column.name = name;
    column.type = type;
    table.columns.push_back(column);
  }
  table.rows = std::move(rows);
  platform::BatchReply reply;
  reply.results.push_back(std::move(table));
  return reply;
}

// A reply of one statement that changed `count` rows.
inline platform::BatchReply RowCount(std::int64_t count) {
  platform::ResultTable table;
  table.rows_affected = count;
  platform::BatchReply reply;
  reply.results.push_back(std::move(table));
  reply.rows_affected = count;
  return reply;
}

// Installs a FakeDriver for each test and the real driver again afterwards.
class FakeDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    driver_ = std::make_shared<FakeDriver>();
    platform::SetDriver(driver_);
  }
  void TearDown() override { platform::SetDriver(nullptr); }
  std::shared_ptr<FakeDriver> driver_;
};

}  // namespace sessiontest
