// Connection: the session with the server, opened from an OLE DB connection string.
#include <string>
#include <utility>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/session.h"
#include "session_state.h"

namespace platform {

Error ObjectClosedError() {
  return Error(kErrObjectClosed, "Operation is not allowed when the object is closed.");
}

Error ObjectOpenError() {
  return Error(kErrObjectOpen, "Operation is not allowed when the object is open.");
}

Error BofOrEofError() {
  return Error(kErrBofOrEof,
               "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
               "requires a current record.");
}

Error ItemNotFoundError() {
  return Error(kErrItemNotFound,
               "Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

Error ConnectionUnusableError() {
  return Error(kErrConnectionUnusable,
               "The connection cannot be used to perform this operation. It is either closed or invalid in "
               "this context.");
}

DriverSession& ConnectionState::Session() {
  if (!session) throw ConnectionUnusableError();
  return *session;
}

Connection::Connection() : state_(std::make_shared<ConnectionState>()) {}

void Connection::SetCommandTimeout(int seconds) {
  if (seconds < 0) throw Error(kErrInvalidUse, "The time-out must not be negative.");
  state_->command_timeout = seconds;
}

int Connection::CommandTimeout() const {
  return state_->command_timeout;
}

void Connection::SetConnectionTimeout(int seconds) {
  if (state_->session) throw ObjectOpenError();
  if (seconds < 0) throw Error(kErrInvalidUse, "The time-out must not be negative.");
  state_->connection_timeout = seconds;
}

int Connection::ConnectionTimeout() const {
  return state_->connection_timeout;
}

void Connection::SetConnectionString(const std::string& text) {
  if (state_->session) throw ObjectOpenError();
  state_->connection_string = text;
}

const std::string& Connection::ConnectionString() const {
  return state_->connection_string;
}

void Connection::Open(const std::string& connection_string, const std::string& user,
                      const std::string& password, int /*options*/) {
  if (state_->session) throw ObjectOpenError();
  const std::string& text = connection_string.empty() ? state_->connection_string : connection_string;
  ConnectRequest request = ParseConnectionString(text);
  if (!user.empty()) request.login = user;
  if (!password.empty()) request.password = password;
  request.login_timeout_seconds = state_->connection_timeout;

  std::shared_ptr<Driver> driver = CurrentDriverShared();
  state_->session = driver->Connect(request);
  state_->driver = std::move(driver);
  state_->in_transaction = false;
  // A password written into the string is used for this open and then dropped,
  // so that reading the string back never shows it.
  state_->connection_string = RemovePassword(text);
}

void Connection::Close() {
  if (!state_->session) throw ObjectClosedError();
  std::unique_ptr<DriverSession> session = std::move(state_->session);
  state_->in_transaction = false;
  session->Close();
}

int Connection::State() const {
  return state_->session ? kStateOpen : kStateClosed;
}

Recordset Connection::Execute(const std::string& text, int options) {
  std::int64_t records_affected = -1;
  return Execute(text, records_affected, options);
}

Recordset Connection::Execute(const std::string& text, std::int64_t& records_affected, int options) {
  BatchReply reply = state_->Session().Execute(text, state_->command_timeout);
  records_affected = reply.rows_affected;
  if (options != kOptionUnspecified && (options & kExecuteNoRecords) != 0) {
    // Nobody reads the results, so an error raised after them is the caller's now.
    if (reply.trailing_error) throw *reply.trailing_error;
    return Recordset();
  }
  return Recordset(RecordsetFromReply(std::move(reply), state_, text, LockType::kReadOnly));
}

bool Connection::InTransaction() const {
  return state_->session != nullptr && state_->in_transaction;
}

void Connection::BeginTrans() {
  DriverSession& session = state_->Session();
  if (state_->in_transaction) {
    throw Error(kErrTransactionActive, "Only one transaction can be active on this session.");
  }
  session.BeginTrans();
  state_->in_transaction = true;
}

void Connection::CommitTrans() {
  DriverSession& session = state_->Session();
  if (!state_->in_transaction) throw Error(kErrNoTransaction, "No transaction is active.");
  // A commit that fails leaves the transaction open, for the caller to roll back.
  session.CommitTrans();
  state_->in_transaction = false;
}

void Connection::RollbackTrans() {
  DriverSession& session = state_->Session();
  if (!state_->in_transaction) throw Error(kErrNoTransaction, "No transaction is active.");
  state_->in_transaction = false;
  session.RollbackTrans();
}

}  // namespace platform
