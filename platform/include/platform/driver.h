// The seam under the session layer: what a database driver must do for
// Connection, Recordset and Command. The ODBC driver (FreeTDS through unixODBC)
// is the default; tests install a scripted driver with SetDriver.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/session.h"
#include "platform/variant.h"

namespace platform {

// What Connection::Open asks of the driver, taken from the OLE DB connection
// string and the open call's arguments.
struct ConnectRequest {
  std::string server;    // "host", "host\\instance" or "host,port"; empty: the local default server
  std::string database;  // empty: the login's default database
  std::string login;
  std::string password;
  bool integrated_security = false;
  int login_timeout_seconds = 15;
};

// Parses an OLE DB connection string ("Key=Value;..." with values quoted in "..."
// or '...' where they hold ";" or quotes) into a ConnectRequest. Keys are read
// without regard to case, and a key given twice keeps its last value: Data Source
// (or Server), Initial Catalog (or Database), User ID (or UID), Password (or PWD),
// Integrated Security (SSPI, true or yes) or Trusted_Connection. Other keys
// (Provider, Persist Security Info, ...) are ignored. Throws
// Error(kErrInvalidUse) on malformed text: a pair without "=", an unclosed quote,
// or text after a closing quote.
ConnectRequest ParseConnectionString(const std::string& text);

// Quotes one value so that it reads back as exactly that value from a
// connection string; plain values are returned unchanged.
std::string QuoteConnectionValue(const std::string& value);

struct ColumnInfo {
  std::string name;
  DataType type = DataType::kVarWChar;
  std::string base_table{};  // table the column was read from, when the driver knows it
  bool key = false;          // part of the table's unique key, when the driver knows it
};

// One result, read whole: a result with columns, or (no columns) the count of a
// statement that changed rows, which the caller sees as a closed result set.
struct ResultTable {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
  std::vector<std::string> messages;  // information messages that came before the next result
  std::int64_t rows_affected = -1;    // for a result without columns
};

// The whole reply to one batch or call.
struct BatchReply {
  std::vector<ResultTable> results;
  // An error the server raised after `results` were produced; raised to the caller
  // when it asks for the result that would have followed.
  std::optional<Error> trailing_error;
  std::vector<std::string> messages;  // information messages before the first result
  std::int64_t rows_affected = -1;
};

struct ParameterBinding {
  std::string name;
  DataType type = DataType::kVarWChar;
  ParameterDirection direction = ParameterDirection::kInput;
  int size = 0;
  Variant value;  // input; replaced by the output or return value after the call
};

class DriverSession {
 public:
  virtual ~DriverSession() = default;
  // Runs a batch; throws Error when the batch fails before any result.
  virtual BatchReply Execute(const std::string& text, int timeout_seconds) = 0;
  // Runs text with "?" markers, or a procedure by name, with bound parameters;
  // output and return values are written back into `parameters`.
  virtual BatchReply ExecuteCommand(const std::string& text, CommandType type,
                                    std::vector<ParameterBinding>& parameters, int timeout_seconds) = 0;
  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  virtual void RollbackTrans() = 0;
  // Ends the session; never throws. A transaction still open is rolled back.
  virtual void Close() noexcept = 0;
  // Asks the server to stop the request under way, from another thread than the
  // one waiting for it; that request then fails. Never throws; does nothing when
  // no request is under way or the driver cannot cancel.
  virtual void Cancel() noexcept {}
};

class Driver {
 public:
  virtual ~Driver() = default;
  // Throws Error with the server's or the driver's number and text.
  virtual std::unique_ptr<DriverSession> Connect(const ConnectRequest& request) = 0;
};

// The driver new connections use: the ODBC one unless a test installed another.
Driver& CurrentDriver();
// The same, shared: keeps the driver alive for as long as a session it opened
// lives, and lets a caller wrap it (see observed_driver.h).
std::shared_ptr<Driver> CurrentDriverShared();
// Installs `driver` for the connections opened from now on; nullptr restores ODBC.
void SetDriver(std::shared_ptr<Driver> driver);

// The ODBC driver (FreeTDS through unixODBC). The environment variable
// TAVINOR_ODBC_DRIVER names another installed ODBC driver to use instead of
// "FreeTDS" (the name as odbcinst.ini registers it), read when a connection opens.
//
// Error numbers: a server error carries SQL Server's own message number; a failure
// inside the driver carries the driver's native number when it gives one, otherwise
// kErrDriverTimeout for SQLSTATE HYT00 and kErrUnspecified for every other state.
// The text is the server's or driver's message with the driver's bracketed
// prefixes ("[FreeTDS][SQL Server]") removed; the SQLSTATE is kept.
std::shared_ptr<Driver> MakeOdbcDriver();

inline constexpr const char* kOdbcDriverVariable = "TAVINOR_ODBC_DRIVER";
inline constexpr const char* kDefaultOdbcDriver = "FreeTDS";

// Where a connection goes: the host (with "\\instance" when the driver is to look the
// instance up) and the port, empty when the instance lookup finds it.
struct Endpoint {
  std::string host;
  std::string port;
};
// The endpoint of a server text ("host", "host\\instance", "host,port", "tcp:"
// prefix, spaces around it); empty, "." and "(local)" mean localhost, port 1433.
Endpoint ResolveEndpoint(const std::string& server);
// "server HOST, port PORT" (port 1433 when none is named and no instance is), for
// messages about a connection that could not be made.
std::string DescribeEndpoint(const Endpoint& endpoint);
// The DRIVER keyword of a connection string for the named driver.
std::string DriverKeyword(const std::string& driver_name);

// How connections are encrypted. Set once for the process, before the first connection, by SetEncryption.
enum class EncryptMode {
  kDriverDefault,  // nothing said: FreeTDS encrypts the login when the server offers it, unvalidated
  kOff,            // never encrypt
  kRequest,        // encrypt when the server can (the login at least)
  kRequire,        // encrypt everything, or fail
};

struct EncryptionSettings {
  EncryptMode mode = EncryptMode::kDriverDefault;
  // PEM file of the certificate authorities the server's certificate is validated against; empty: the
  // system's own, whenever encryption was asked for.
  std::string ca_file;
  bool trust_server_certificate = false;  // no validation of the server's certificate at all
  // What the user can do about each failure, added to the error's text (the caller knows its own options).
  std::string advice_required = "the server accepts encrypted connections only";
  std::string advice_not_supported = "the server does not support encryption";
  std::string advice_certificate = "the server's certificate failed validation";
};

// Makes every later ODBC connection follow `settings`; call it before connections run on other threads.
// FreeTDS 1.3 takes the encryption level from the connection string, but a CA file only from a server section
// of freetds.conf named by SERVERNAME (a SERVER=... connection reads no configuration file at all). So when
// certificates are to be validated a private configuration file is written (removed at exit), FREETDSCONF
// names it, and each server gets a section there. Throws Error(kErrInvalidUse) when the CA file cannot be
// read or that file cannot be written.
void SetEncryption(const EncryptionSettings& settings);
const EncryptionSettings& CurrentEncryption();

// FreeTDS's "ca file" for `settings`: the CA file given, "system" for the system's CAs when encryption was
// asked for without one, empty when nothing is validated.
std::string FreetdsCaFile(const EncryptionSettings& settings);
// The freetds.conf section `name` that reaches `endpoint` and validates its certificate against `ca_file`.
std::string FreetdsServerSection(const std::string& name, const Endpoint& endpoint,
                                 const std::string& ca_file);
// The section to name in SERVERNAME for `endpoint` under the current settings, added to the private
// configuration on first use; empty when certificates are not validated (SERVER and PORT are named then).
std::string FreetdsServerName(const Endpoint& endpoint);

// The server's answer to a PRELOGIN naming `client_encryption` (0 login only, 1 everything, 2 none): its
// ENCRYPTION byte, or nullopt when it cannot be reached or gives none. Used to explain a failed login.
std::optional<std::uint8_t> ProbeServerEncryption(const Endpoint& endpoint, std::uint8_t client_encryption,
                                                  int timeout_seconds);

// How a driver reads a value between braces in its connection string.
enum class BraceStyle {
  kDoubled,   // ODBC's rule: the value ends at a single "}", and "}}" stands for "}"
  kVerbatim,  // FreeTDS before 1.4: the value runs to the first "};", nothing undoubled
};

// The driver's connection string for `request`: DRIVER, SERVER (and PORT for the
// "host,port" form; "host\instance" is passed whole, the driver looks the
// instance up), DATABASE, UID and PWD or Trusted_Connection, TDS_Version=7.4 and
// ClientCharset=UTF-8, Language when `language` is not empty, and Encryption when `encrypt` says more than
// the driver's default. Values that need it are quoted for a driver of the given `style`, so each reaches the
// server exactly as typed; a value the style cannot carry raises Error(kErrInvalidUse) naming the field. An
// empty server, "." or "(local)" means the local default server, port 1433.
std::string OdbcConnectionString(const ConnectRequest& request, const std::string& driver_name,
                                 BraceStyle style = BraceStyle::kDoubled, const std::string& language = {},
                                 EncryptMode encrypt = EncryptMode::kDriverDefault,
                                 const std::string& server_section = {});

// True when some value of `request` holds "}", so that its text depends on the
// driver's BraceStyle.
bool NeedsBraceStyle(const ConnectRequest& request);

// A diagnostic text without the leading bracketed tags that the driver manager
// and the driver put before it ("[unixODBC][FreeTDS][SQL Server]Login failed"
// gives "Login failed"). Texts without such a tag are returned unchanged.
std::string StripDiagnosticPrefixes(const std::string& text);

// The error number for a driver diagnostic: `native` when non-zero, otherwise the
// stable number chosen from `sqlstate` (see above).
std::int32_t DriverErrorNumber(std::int32_t native, const std::string& sqlstate);

}  // namespace platform
