// Connection-string translation, diagnostic texts and UTF-8/UTF-16 conversion for
// the ODBC driver.
#include "odbc/odbc_text.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/driver.h"

namespace platform {
namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return result;
}

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
  std::string server = server_text;
  while (!server.empty() && server.front() == ' ') server.erase(0, 1);
  while (!server.empty() && server.back() == ' ') server.pop_back();
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
                                 BraceStyle style, const std::string& language) {
  const Endpoint endpoint = ResolveEndpoint(request.server);
  const std::string& host = endpoint.host;
  const std::string& port = endpoint.port;
  std::string text = DriverKeyword(driver_name) + ";SERVER=" + OdbcValue(host, style, "server name");
  if (!port.empty()) text += ";PORT=" + port;
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
  return kErrDriverFailure;
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

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    char32_t code = 0xFFFD;
    int extra = 0;
    char32_t min = 0;
    if (c < 0x80) {
      code = c;
    } else if ((c & 0xE0) == 0xC0) {
      code = c & 0x1F;
      extra = 1;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      code = c & 0x0F;
      extra = 2;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      code = c & 0x07;
      extra = 3;
      min = 0x10000;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    std::size_t j = i + 1;
    bool valid = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= text.size() || (static_cast<unsigned char>(text[j]) & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      code = (code << 6) | (static_cast<unsigned char>(text[j]) & 0x3F);
    }
    if (!valid || code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out += u'\uFFFD';
      i = valid ? j : std::max(j, i + 1);
      continue;
    }
    i = j;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace odbc
}  // namespace platform
