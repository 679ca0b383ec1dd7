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

// A value as the driver's connection-string parser reads it back: wrapped in
// braces, with "}" doubled, when it holds a separator, a brace or spaces at its ends.
std::string OdbcValue(const std::string& value) {
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

std::string OdbcConnectionString(const ConnectRequest& request, const std::string& driver_name) {
  std::string server = Trim(request.server);
  // "tcp:" only names the protocol, which is the only one the driver speaks.
  if (Lower(server.substr(0, 4)) == "tcp:") server.erase(0, 4);

  std::string host = server;
  std::string port;
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

  std::string text = "DRIVER={";
  for (const char c : driver_name) {
    text += c;
    if (c == '}') text += '}';
  }
  text += "};SERVER=" + OdbcValue(host);
  if (!port.empty()) text += ";PORT=" + port;
  if (!request.database.empty()) text += ";DATABASE=" + OdbcValue(request.database);
  if (request.integrated_security) {
    text += ";Trusted_Connection=Yes";
  } else {
    text += ";UID=" + OdbcValue(request.login) + ";PWD=" + OdbcValue(request.password);
  }
  text += ";TDS_Version=7.4;ClientCharset=UTF-8";
  return text;
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
