// Command and Parameter: a statement or stored procedure run with bound
// parameters, whose output and return values are read back after the call.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "platform/text.h"
#include "session_state.h"

namespace platform {

struct Parameter::Data {
  ParameterBinding binding;
};

struct CommandState {
  std::shared_ptr<ConnectionState> connection;
  std::string text;
  CommandType type = CommandType::kText;
  int timeout = 30;
  std::vector<Parameter> parameters;
};

namespace {}  // namespace

Parameter::Parameter() : data_(std::make_shared<Data>()) {}

const std::string& Parameter::Name() const {
  return data_->binding.name;
}
DataType Parameter::Type() const {
  return data_->binding.type;
}
ParameterDirection Parameter::Direction() const {
  return data_->binding.direction;
}
int Parameter::Size() const {
  return data_->binding.size;
}
Variant Parameter::Value() const {
  return data_->binding.value;
}
void Parameter::SetValue(Variant value) {
  data_->binding.value = std::move(value);
}

Command::Command() : state_(std::make_shared<CommandState>()) {}

void Command::SetActiveConnection(const Connection& connection) {
  state_->connection = connection.state_;
  // A new command takes its time-out from the connection, as the classic one did.
  state_->timeout = connection.state_->command_timeout;
}

void Command::SetCommandText(const std::string& text) {
  state_->text = text;
}

void Command::SetCommandType(CommandType type) {
  state_->type = type;
}

void Command::SetCommandTimeout(int seconds) {
  if (seconds < 0) throw Error(kErrInvalidUse, "The time-out must not be negative.");
  state_->timeout = seconds;
}

Parameter Command::CreateParameter(const std::string& name, DataType type, ParameterDirection direction,
                                   int size, Variant value) const {
  if (size < 0) throw Error(kErrInvalidUse, "The parameter size must not be negative.");
  Parameter parameter;
  parameter.data_->binding = ParameterBinding{name, type, direction, size, std::move(value)};
  return parameter;
}

void Command::AppendParameter(const Parameter& parameter) {
  if (parameter.Direction() == ParameterDirection::kReturnValue) {
    const bool has_return =
        std::any_of(state_->parameters.begin(), state_->parameters.end(),
                    [](const Parameter& p) { return p.Direction() == ParameterDirection::kReturnValue; });
    if (has_return) throw Error(kErrInvalidUse, "A command takes one return value parameter only.");
  }
  state_->parameters.push_back(parameter);
}

Parameter Command::Parameters(const std::string& name) const {
  const auto& parameters = state_->parameters;
  const auto found = std::find_if(parameters.begin(), parameters.end(),
                                  [&](const Parameter& p) { return EqualsIgnoringCase(p.Name(), name); });
  if (found == parameters.end()) throw ItemNotFoundError();
  return *found;
}

Parameter Command::Parameters(int index) const {
  if (index < 0 || index >= static_cast<int>(state_->parameters.size())) throw ItemNotFoundError();
  return state_->parameters[static_cast<std::size_t>(index)];
}

int Command::ParameterCount() const {
  return static_cast<int>(state_->parameters.size());
}

Recordset Command::Execute(int options) {
  if (!state_->connection) throw ConnectionUnusableError();
  if (state_->text.empty()) throw Error(kErrInvalidUse, "The command text has not been set.");
  DriverSession& session = state_->connection->Session();

  std::vector<ParameterBinding> bindings;
  bindings.reserve(state_->parameters.size());
  for (const Parameter& parameter : state_->parameters) bindings.push_back(parameter.data_->binding);

  BatchReply reply = session.ExecuteCommand(state_->text, state_->type, bindings, state_->timeout);

  for (std::size_t i = 0; i < bindings.size(); ++i) {
    ParameterBinding& target = state_->parameters[i].data_->binding;
    if (target.direction != ParameterDirection::kInput) target.value = std::move(bindings[i].value);
  }
  if (options != kOptionUnspecified && (options & kExecuteNoRecords) != 0) {
    if (reply.trailing_error) throw *reply.trailing_error;
    return Recordset();
  }
  return Recordset(
      RecordsetFromReply(std::move(reply), state_->connection, state_->text, LockType::kReadOnly));
}

}  // namespace platform
