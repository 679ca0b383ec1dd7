// The ODBC driver: sessions with SQL Server through unixODBC and FreeTDS.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "odbc/odbc_api.h"
#include "odbc/odbc_parameters.h"
#include "odbc/odbc_reply.h"
#include "platform/driver.h"
#include "platform/error.h"

namespace platform {
namespace {

using odbc::Check;
using odbc::Handle;

// Overwrites a buffer that held a password before it is released.
template <typename Container>
void Wipe(Container& buffer) {
  std::fill(buffer.begin(), buffer.end(), typename Container::value_type{});
}

std::string DriverName() {
  const char* name = std::getenv(kOdbcDriverVariable);
  return name != nullptr && *name != '\0' ? std::string(name) : std::string(kDefaultOdbcDriver);
}

SQLPOINTER Seconds(int seconds) {
  return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(std::max(seconds, 0)));
}

class OdbcSession final : public DriverSession {
 public:
  OdbcSession(std::shared_ptr<Handle> env, Handle dbc) : env_(std::move(env)), dbc_(std::move(dbc)) {}
  ~OdbcSession() override { Close(); }

  BatchReply Execute(const std::string& text, int timeout_seconds) override {
    SQLHSTMT stmt = Statement(timeout_seconds);
    std::vector<SQLWCHAR> wide = odbc::Wide(text);
    std::vector<std::string> messages;
    const SQLRETURN rc = Check(SQLExecDirectW(stmt, wide.data(), SQL_NTS), SQL_HANDLE_STMT, stmt, &messages);
    return odbc::ReadReply(stmt, rc, std::move(messages));
  }

  BatchReply ExecuteCommand(const std::string& text, CommandType type,
                            std::vector<ParameterBinding>& parameters, int timeout_seconds) override {
    SQLHSTMT stmt = Statement(timeout_seconds);
    odbc::BoundParameters bound;
    // The bound buffers live only for this call: unbind them however it ends.
    struct Unbind {
      SQLHSTMT stmt;
      ~Unbind() { SQLFreeStmt(stmt, SQL_RESET_PARAMS); }
    } unbind{stmt};
    bound.Bind(stmt, type, parameters);
    std::vector<SQLWCHAR> wide = odbc::Wide(odbc::BoundParameters::CallText(text, type, parameters));
    std::vector<std::string> messages;
    const SQLRETURN rc = Check(SQLExecDirectW(stmt, wide.data(), SQL_NTS), SQL_HANDLE_STMT, stmt, &messages);
    BatchReply reply = odbc::ReadReply(stmt, rc, std::move(messages));
    // The driver fills output parameters only once every result has been read,
    // which ReadReply has done.
    bound.ReadOutputs(parameters);
    return reply;
  }

  // Transactions are opened and ended with statements while the driver stays in
  // autocommit mode. Switching autocommit off instead makes the driver open the
  // next transaction as soon as one is committed, and roll that empty one back
  // when autocommit is switched on again: one more round trip per transaction.
  void BeginTrans() override { Control("BEGIN TRANSACTION"); }

  // A failed commit leaves the transaction open for the caller to roll back.
  void CommitTrans() override { Control("COMMIT TRANSACTION"); }

  void RollbackTrans() override { Control("ROLLBACK TRANSACTION"); }

  void Close() noexcept override {
    if (!dbc_) return;
    // SQL Server rolls back a transaction still open when its session ends.
    stmt_.reset();
    dbc_.reset();  // disconnects and frees
    env_.reset();
  }

 private:
  // One statement handle serves every request of the session: allocating and
  // configuring one per request cost the driver more than many requests
  // themselves. What an earlier request left behind (unread results after a
  // failure) is discarded first.
  SQLHSTMT Statement(int timeout_seconds) {
    if (!dbc_) throw Error(kErrUnspecified, "The session is closed.", "08003");
    if (!stmt_) {
      stmt_ = odbc::AllocHandle(SQL_HANDLE_STMT, dbc_.get());
      stmt_timeout_ = -1;
    } else {
      SQLFreeStmt(stmt_.get(), SQL_CLOSE);
    }
    if (timeout_seconds != stmt_timeout_) {
      Check(SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_QUERY_TIMEOUT, Seconds(timeout_seconds), SQL_IS_UINTEGER),
            SQL_HANDLE_STMT, stmt_.get());
      stmt_timeout_ = timeout_seconds;
    }
    return stmt_.get();
  }

  // Transaction statements run under the time-out of the session's last request.
  void Control(const std::string& statement) { Execute(statement, std::max(stmt_timeout_, 0)); }

  std::shared_ptr<Handle> env_;
  Handle dbc_;
  Handle stmt_;  // freed before dbc_: members end in reverse order
  int stmt_timeout_ = -1;
};

class OdbcDriver final : public Driver {
 public:
  std::unique_ptr<DriverSession> Connect(const ConnectRequest& request) override {
    std::shared_ptr<Handle> env = Environment();
    Handle dbc = odbc::AllocHandle(SQL_HANDLE_DBC, env->get());
    // The login time-out covers reaching the server and the login itself; the
    // connection time-out is the driver's fallback for the same wait.
    Check(SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(request.login_timeout_seconds),
                             SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc.get());
    Check(SQLSetConnectAttrW(dbc.get(), SQL_ATTR_CONNECTION_TIMEOUT, Seconds(request.login_timeout_seconds),
                             SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc.get());

    std::string text = OdbcConnectionString(request, DriverName());
    std::vector<SQLWCHAR> wide = odbc::Wide(text);
    Wipe(text);
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wide.data(), SQL_NTS, nullptr, 0, &out_length,
                                           SQL_DRIVER_NOPROMPT);
    Wipe(wide);
    // Login messages ("Changed database context to ...") are information only.
    std::vector<std::string> login_messages;
    Check(rc, SQL_HANDLE_DBC, dbc.get(), &login_messages);
    return std::make_unique<OdbcSession>(std::move(env), std::move(dbc));
  }

 private:
  std::shared_ptr<Handle> Environment() {
    if (!env_) {
      auto env = std::make_shared<Handle>(odbc::AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE));
      Check(SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            SQL_HANDLE_ENV, env->get());
      env_ = std::move(env);
    }
    return env_;
  }

  std::shared_ptr<Handle> env_;
};

}  // namespace

std::shared_ptr<Driver> MakeOdbcDriver() {
  return std::make_shared<OdbcDriver>();
}

}  // namespace platform
