// The ODBC driver: sessions with SQL Server through unixODBC and FreeTDS.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
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
    const Busy busy(*this);
    std::vector<SQLWCHAR> wide = odbc::Wide(text);
    std::vector<std::string> messages;
    const SQLRETURN rc = Check(SQLExecDirectW(stmt, wide.data(), SQL_NTS), SQL_HANDLE_STMT, stmt, &messages);
    return odbc::ReadReply(stmt, rc, std::move(messages));
  }

  BatchReply ExecuteCommand(const std::string& text, CommandType type,
                            std::vector<ParameterBinding>& parameters, int timeout_seconds) override {
    SQLHSTMT stmt = Statement(timeout_seconds);
    const Busy busy(*this);
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
    const std::lock_guard lock(handles_mutex_);
    if (!dbc_) return;
    // SQL Server rolls back a transaction still open when its session ends.
    busy_ = false;
    stmt_.reset();
    dbc_.reset();  // disconnects and frees
    env_.reset();
  }

  // The driver sends the server an attention for the statement handle that is
  // executing or being read on the session's own thread; that call then fails.
  void Cancel() noexcept override {
    const std::lock_guard lock(handles_mutex_);
    if (busy_ && stmt_) SQLCancel(stmt_.get());
  }

 private:
  // Marks a request under way, so that Cancel reaches its handle.
  class Busy {
   public:
    explicit Busy(OdbcSession& session) : session_(session) { Set(true); }
    ~Busy() { Set(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

   private:
    void Set(bool busy) {
      const std::lock_guard lock(session_.handles_mutex_);
      session_.busy_ = busy;
    }
    OdbcSession& session_;
  };

  // One statement handle serves every request of the session: allocating and
  // configuring one per request cost the driver more than many requests
  // themselves. What an earlier request left behind (unread results after a
  // failure) is discarded first.
  SQLHSTMT Statement(int timeout_seconds) {
    if (!dbc_) throw Error(kErrUnspecified, "The session is closed.", "08003");
    if (!stmt_) {
      Handle stmt = odbc::AllocHandle(SQL_HANDLE_STMT, dbc_.get());
      const std::lock_guard lock(handles_mutex_);
      stmt_ = std::move(stmt);
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
  // Cancel comes from another thread: it may use stmt_ only while this says a
  // request is under way, and the handles are replaced or freed under it.
  std::mutex handles_mutex_;
  bool busy_ = false;
};

// Learns how the driver reads braced connection-string values without reaching
// any server: the probe's PWD value is valid only under the verbatim rule, and its
// SERVERNAME after SERVER is refused by FreeTDS before 1.4 while it parses; a
// driver reading by ODBC's rule stops at the PWD value instead.
BraceStyle ProbeBraceStyle(SQLHENV env, const std::string& driver_name) {
  Handle dbc = odbc::AllocHandle(SQL_HANDLE_DBC, env);
  std::vector<SQLWCHAR> wide =
      odbc::Wide(DriverKeyword(driver_name) + ";PWD={a}b};SERVER=127.0.0.1;SERVERNAME=probe");
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wide.data(), SQL_NTS, nullptr, 0, &out_length,
                                         SQL_DRIVER_NOPROMPT);
  if (SQL_SUCCEEDED(rc)) return BraceStyle::kDoubled;
  for (const odbc::Diagnostic& record : odbc::ReadDiagnostics(SQL_HANDLE_DBC, dbc.get())) {
    if (record.text.find("Only one between SERVER, SERVERNAME and DSN") != std::string::npos) {
      return BraceStyle::kVerbatim;
    }
  }
  return BraceStyle::kDoubled;
}

// Why an encrypted login failed, when the settings asked for something and the driver does not say: the
// driver reports a refused encryption or a rejected certificate as a plain failure to connect, so the
// server's own PRELOGIN answer tells which it was. Empty when there is nothing to add.
std::string EncryptionAdvice(const Endpoint& endpoint, int timeout_seconds) {
  const EncryptionSettings& settings = CurrentEncryption();
  if (settings.mode == EncryptMode::kDriverDefault && settings.ca_file.empty()) return "";
  constexpr std::uint8_t kLoginOnly = 0x00, kEverything = 0x01, kNone = 0x02;
  const std::uint8_t asked = settings.mode == EncryptMode::kOff       ? kNone
                             : settings.mode == EncryptMode::kRequire ? kEverything
                                                                      : kLoginOnly;
  const std::optional<std::uint8_t> answer = ProbeServerEncryption(endpoint, asked, timeout_seconds);
  if (!answer) return "";
  if (*answer == kNone) return settings.mode == EncryptMode::kRequire ? settings.advice_not_supported : "";
  if (asked == kNone) return settings.advice_required;
  return FreetdsCaFile(settings).empty() ? "" : settings.advice_certificate;
}

// A failure to reach the server names the server and port that were tried; a
// refusal by the server itself (a wrong password, a database that cannot be
// opened) already says what happened.
[[noreturn]] void RethrowConnectFailure(const Error& error, const ConnectRequest& request) {
  const std::string& state = error.SqlState();
  if (state.rfind("08", 0) == 0 || state == "HYT00" || state == "HYT01") {
    const Endpoint endpoint = ResolveEndpoint(request.server);
    std::string text = error.Description() + " (" + DescribeEndpoint(endpoint) + ")";
    const std::string advice = EncryptionAdvice(endpoint, request.login_timeout_seconds);
    if (!advice.empty()) text += ". " + advice;
    throw Error(error.Number(), text, state);
  }
  throw error;
}

class OdbcDriver final : public Driver {
 public:
  std::unique_ptr<DriverSession> Connect(const ConnectRequest& request) override {
    std::shared_ptr<Handle> env = Environment();
    const std::string driver_name = DriverName();
    const BraceStyle style = NeedsBraceStyle(request) ? StyleOf(*env, driver_name) : BraceStyle::kDoubled;
    const std::string key = driver_name + '\n' + request.server + '\n' + request.login;
    const std::optional<std::string> known = KnownLanguage(request, key);
    auto session = Open(env, request, driver_name, style, known.value_or(""));
    if (known) return session;

    // FreeTDS always names a language at login ("us_english" unless configured
    // otherwise), while SQL Server's own clients name none and so get the login's
    // default language, which decides how text such as '03/04/2024' is read as a
    // date. The login's own language is read once per server and login; where it
    // differs, the session is opened again naming it, and so is every later one.
    std::string language;
    try {
      BatchReply reply =
          session->Execute("select language, @@language from master.dbo.syslogins where sid = suser_sid()",
                           request.login_timeout_seconds);
      if (!reply.results.empty() && !reply.results.front().rows.empty()) {
        const auto& row = reply.results.front().rows.front();
        if (row.size() == 2 && !row[0].IsNull() && !row[1].IsNull() &&
            row[0].ToString() != row[1].ToString()) {
          language = row[0].ToString();
        }
      }
    } catch (const Error&) {
      // A server that will not tell keeps the driver's language.
    }
    RememberLanguage(key, language);
    if (language.empty()) return session;
    session.reset();
    return Open(env, request, driver_name, style, language);
  }

 private:
  std::unique_ptr<DriverSession> Open(const std::shared_ptr<Handle>& env, const ConnectRequest& request,
                                      const std::string& driver_name, BraceStyle style,
                                      const std::string& language) {
    Handle dbc = odbc::AllocHandle(SQL_HANDLE_DBC, env->get());
    // The login time-out covers reaching the server and the login itself; the
    // connection time-out is the driver's fallback for the same wait.
    Check(SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, Seconds(request.login_timeout_seconds),
                             SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc.get());
    Check(SQLSetConnectAttrW(dbc.get(), SQL_ATTR_CONNECTION_TIMEOUT, Seconds(request.login_timeout_seconds),
                             SQL_IS_UINTEGER),
          SQL_HANDLE_DBC, dbc.get());

    std::string text = OdbcConnectionString(request, driver_name, style, language, CurrentEncryption().mode,
                                            FreetdsServerName(ResolveEndpoint(request.server)));
    std::vector<SQLWCHAR> wide = odbc::Wide(text);
    Wipe(text);
    SQLSMALLINT out_length = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wide.data(), SQL_NTS, nullptr, 0, &out_length,
                                           SQL_DRIVER_NOPROMPT);
    Wipe(wide);
    // Login messages ("Changed database context to ...") are information only.
    std::vector<std::string> login_messages;
    try {
      Check(rc, SQL_HANDLE_DBC, dbc.get(), &login_messages);
    } catch (const Error& error) {
      RethrowConnectFailure(error, request);
    }
    return std::make_unique<OdbcSession>(env, std::move(dbc));
  }

  BraceStyle StyleOf(const Handle& env, const std::string& driver_name) {
    const std::lock_guard lock(mutex_);
    auto found = styles_.find(driver_name);
    if (found == styles_.end())
      found = styles_.emplace(driver_name, ProbeBraceStyle(env.get(), driver_name)).first;
    return found->second;
  }

  // The language to name at login when it is already known for this server and
  // login; integrated security is left to the driver.
  std::optional<std::string> KnownLanguage(const ConnectRequest& request, const std::string& key) {
    if (request.integrated_security) return std::string();
    const std::lock_guard lock(mutex_);
    const auto found = languages_.find(key);
    if (found == languages_.end()) return std::nullopt;
    return found->second;
  }

  void RememberLanguage(const std::string& key, const std::string& language) {
    const std::lock_guard lock(mutex_);
    languages_[key] = language;
  }

  std::shared_ptr<Handle> Environment() {
    const std::lock_guard lock(mutex_);
    if (!env_) {
      auto env = std::make_shared<Handle>(odbc::AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE));
      Check(SQLSetEnvAttr(env->get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            SQL_HANDLE_ENV, env->get());
      env_ = std::move(env);
    }
    return env_;
  }

  std::mutex mutex_;
  std::shared_ptr<Handle> env_;
  std::map<std::string, BraceStyle> styles_;
  std::map<std::string, std::string> languages_;  // by driver, server and login
};

}  // namespace

std::shared_ptr<Driver> MakeOdbcDriver() {
  return std::make_shared<OdbcDriver>();
}

}  // namespace platform
