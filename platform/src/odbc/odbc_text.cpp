// Connection-string translation, diagnostic texts and number texts for the ODBC
// driver.
#include "odbc/odbc_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/driver.h"
#include "platform/text.h"

namespace platform {
namespace {

// Whether a value must be braced to stay one value: it holds ";" or opens with "{"
// (the driver manager reads past leading spaces before it looks for the brace).
bool NeedsBraces(const std::string& value) {
  const std::size_t first = value.find_first_not_of(' ');
  return value.find(';') != std::string::npos || (first != std::string::npos && value[first] == '{');
}

// A value as the driver's connection-string parser reads it back. Braces are
// needed around a value holding ";" or starting with "{"; ODBC's own rule also
// braces "}" and spaces at the ends, with "}" doubled inside. FreeTDS before 1.4
// takes a braced value verbatim up to the first "};" and undoes no doubling, so
// for that driver a value is left bare where it can be, and one holding "};" cannot
// be carried at all; nor, for any driver, can one holding a NUL. `field` names the value in the refusal.
std::string OdbcValue(const std::string& value, BraceStyle style, const char* field) {
  // The connection string travels as a C string: a NUL would end it there and
  // silently drop the rest of the value and the keys after it.
  if (value.find('\0') != std::string::npos) {
    throw Error(kErrInvalidUse, std::string("The ") + field +
                                    " holds a NUL character, which no connection string can carry; nothing "
                                    "was sent.");
  }
  if (style == BraceStyle::kVerbatim) {
    if (!NeedsBraces(value)) return value;
    if (value.find("};") != std::string::npos) {
      throw Error(kErrInvalidUse,
                  std::string("The ") + field +
                      " holds \"};\", which the installed ODBC driver cannot receive; nothing "
                      "was sent. A newer FreeTDS driver (1.4 or later) accepts it.");
    }
    return "{" + value + "}";
  }
  const bool needs_braces = value.find_first_of(";{}") != std::string::npos ||
                            (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!needs_braces) return value;
  std::string quoted = "{";
  for (const char c : value) {
    quoted += c;
    if (c == '}') quoted += '}';
  }
  return quoted + "}";
}

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  if (!std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) return false;
  const int port = std::stoi(std::string(text));
  return port > 0 && port <= 65535;
}

}  // namespace

Endpoint ResolveEndpoint(const std::string& server_text) {
  std::string server = Trim(server_text);
  // "tcp:" only names the protocol, which is the only one the driver speaks.
  if (Lower(server.substr(0, 4)) == "tcp:") server.erase(0, 4);

  Endpoint endpoint{server, {}};
  std::string& host = endpoint.host;
  std::string& port = endpoint.port;
  const std::size_t comma = server.rfind(',');
  if (comma != std::string::npos && IsPort(std::string_view(server).substr(comma + 1))) {
    host = server.substr(0, comma);
    port = server.substr(comma + 1);
    // An explicit port makes the instance lookup unnecessary, as SQL Server's own
    // clients treat "host\instance,port".
    const std::size_t backslash = host.find('\\');
    if (backslash != std::string::npos) host.erase(backslash);
  }
  // The local default server: the empty name, "." and "(local)", also in front of
  // an instance name.
  const std::size_t backslash = host.find('\\');
  const std::string machine = Lower(host.substr(0, backslash));
  const bool local = machine.empty() || machine == "." || machine == "(local)";
  if (local) host = "localhost" + (backslash == std::string::npos ? std::string() : host.substr(backslash));
  if (local && port.empty() && backslash == std::string::npos) port = "1433";
  return endpoint;
}

std::string DescribeEndpoint(const Endpoint& endpoint) {
  if (!endpoint.port.empty()) return "server " + endpoint.host + ", port " + endpoint.port;
  if (endpoint.host.find('\\') != std::string::npos) return "server " + endpoint.host;
  return "server " + endpoint.host + ", port 1433";
}

std::string DriverKeyword(const std::string& driver_name) {
  std::string text = "DRIVER={";
  for (const char c : driver_name) {
    text += c;
    if (c == '}') text += '}';
  }
  return text + "}";
}

std::string OdbcConnectionString(const ConnectRequest& request, const std::string& driver_name,
                                 BraceStyle style, const std::string& language, EncryptMode encrypt,
                                 const std::string& server_section) {
  const Endpoint endpoint = ResolveEndpoint(request.server);
  const std::string& host = endpoint.host;
  const std::string& port = endpoint.port;
  std::string text = DriverKeyword(driver_name);
  if (!server_section.empty()) {
    text += ";SERVERNAME=" + OdbcValue(server_section, style, "server name");
  } else {
    text += ";SERVER=" + OdbcValue(host, style, "server name");
    if (!port.empty()) text += ";PORT=" + port;
  }
  if (!request.database.empty()) text += ";DATABASE=" + OdbcValue(request.database, style, "database name");
  if (request.integrated_security) {
    text += ";Trusted_Connection=Yes";
  } else {
    text += ";UID=" + OdbcValue(request.login, style, "login") +
            ";PWD=" + OdbcValue(request.password, style, "password");
  }
  // A braced value must not stand last: FreeTDS before 1.4 would keep its brace.
  if (!language.empty()) text += ";Language=" + OdbcValue(language, style, "language");
  text += ";TDS_Version=7.4;ClientCharset=UTF-8";
  // FreeTDS 1.3 reads "Encryption"; the "Encrypt" of other drivers it ignores.
  if (encrypt == EncryptMode::kOff) text += ";Encryption=off";
  if (encrypt == EncryptMode::kRequest) text += ";Encryption=request";
  if (encrypt == EncryptMode::kRequire) text += ";Encryption=require";
  return text;
}

bool NeedsBraceStyle(const ConnectRequest& request) {
  for (const std::string* value : {&request.server, &request.database, &request.login, &request.password}) {
    if (value->find('}') != std::string::npos) return true;
  }
  return false;
}

std::string StripDiagnosticPrefixes(const std::string& text) {
  // Only the tags of driver managers and drivers are removed; a server message
  // that happens to open with a bracketed name keeps it.
  static const char* const kVendors[] = {"[unixodbc]", "[freetds]", "[microsoft]", "[iodbc]", "[datadirect]"};
  const std::string lower = Lower(text);
  const bool tagged = std::any_of(std::begin(kVendors), std::end(kVendors),
                                  [&](const char* vendor) { return lower.rfind(vendor, 0) == 0; });
  if (!tagged) return text;
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == '[') {
    const std::size_t close = text.find(']', pos);
    if (close == std::string::npos) break;
    pos = close + 1;
  }
  return text.substr(pos);
}

std::int32_t DriverErrorNumber(std::int32_t native, const std::string& sqlstate) {
  if (native != 0) return native;
  if (sqlstate == "HYT00" || sqlstate == "HYT01") return kErrDriverTimeout;
  return kErrUnspecified;
}

namespace odbc {

Decimal DecimalFromText(const std::string& text) {
  Decimal d;
  bool negative = false;
  bool point = false;
  for (const char c : text) {
    if (c == '-') {
      negative = true;
    } else if (c == '.') {
      point = true;
    } else if (c >= '0' && c <= '9') {
      d.value = d.value * 10 + (c - '0');
      if (point) ++d.scale;
    }
  }
  if (negative) d.value = -d.value;
  return d;
}

Currency CurrencyFromDecimal(const Decimal& value) {
  Int128 ticks = value.value;
  for (int s = value.scale; s < 4; ++s) ticks *= 10;
  for (int s = value.scale; s > 4; --s) ticks /= 10;
  return Currency::FromTicks(static_cast<std::int64_t>(ticks));
}

}  // namespace odbc
}  // namespace platform
