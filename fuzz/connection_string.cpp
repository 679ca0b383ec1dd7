// Connection strings: the OLE DB form a caller hands to Connection::Open, the
// password-free copy the session keeps, and the ODBC form built for the driver.
// Any text either parses or is refused with kErrInvalidUse; a quoted value reads
// back as itself; every value of the driver's string reads back as typed under
// the driver's brace rule, with no key added.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include "platform/driver.h"
#include "platform/error.h"
#include "session_state.h"

namespace {

using platform::BraceStyle;
using platform::ConnectRequest;

void Fail(const std::string& what, const std::string& text) {
  std::cerr << what << ": [" << text << "]\n";
  std::abort();
}

std::optional<ConnectRequest> Parse(const std::string& text) {
  try {
    return platform::ParseConnectionString(text);
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrInvalidUse) Fail("ParseConnectionString: unexpected error", text);
    return std::nullopt;
  }
}

bool SameExceptPassword(const ConnectRequest& a, const ConnectRequest& b) {
  return a.server == b.server && a.database == b.database && a.login == b.login &&
         a.integrated_security == b.integrated_security;
}

// Reads the driver's connection string as the driver does, keys in upper case.
// The text ends at the first NUL, as the driver reads a C string. Under kDoubled
// (ODBC's rule) spaces before a value are skipped, a value opening with "{" ends
// at a single "}" with "}}" standing for "}", and a bare value loses its trailing
// spaces. Under kVerbatim (FreeTDS before 1.4) a value opening with "{" right
// after "=" runs verbatim to the first "};" (or a "}" closing the text), and a bare
// value is taken as written. Nullopt when the text does not read as pairs or a
// key comes twice.
std::optional<std::map<std::string, std::string>> ReadDriverString(std::string text, BraceStyle style) {
  text = text.substr(0, text.find('\0'));
  std::map<std::string, std::string> pairs;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t equals = text.find('=', pos);
    if (equals == std::string::npos) return std::nullopt;
    std::string key = text.substr(pos, equals - pos);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    pos = equals + 1;
    if (style == BraceStyle::kDoubled) {
      while (pos < text.size() && text[pos] == ' ') ++pos;
    }
    std::string value;
    if (pos < text.size() && text[pos] == '{') {
      ++pos;
      if (style == BraceStyle::kDoubled) {
        for (;;) {
          if (pos >= text.size()) return std::nullopt;
          if (text[pos] == '}') {
            if (pos + 1 < text.size() && text[pos + 1] == '}') {
              value += '}';
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          value += text[pos++];
        }
      } else {
        std::size_t close = text.find("};", pos);
        if (close == std::string::npos) {
          if (text.back() != '}') return std::nullopt;
          close = text.size() - 1;
        }
        value = text.substr(pos, close - pos);
        pos = close + 1;
      }
      if (pos < text.size() && text[pos] != ';') return std::nullopt;
    } else {
      const std::size_t end = std::min(text.find(';', pos), text.size());
      value = text.substr(pos, end - pos);
      if (style == BraceStyle::kDoubled) {
        while (!value.empty() && value.back() == ' ') value.pop_back();
      }
      pos = end;
    }
    if (pos < text.size()) ++pos;  // the ";"
    if (!pairs.emplace(key, value).second) return std::nullopt;
  }
  return pairs;
}

void CheckDriverString(const ConnectRequest& request, BraceStyle style, const std::string& language) {
  std::string text;
  try {
    text = platform::OdbcConnectionString(request, "FreeTDS", style, language);
  } catch (const platform::Error& error) {
    if (error.Number() != platform::kErrInvalidUse) Fail("OdbcConnectionString: unexpected error", "");
    return;
  }
  const auto pairs = ReadDriverString(text, style);
  if (!pairs) Fail("the driver cannot read the connection string", text);
  const platform::Endpoint endpoint = platform::ResolveEndpoint(request.server);
  std::map<std::string, std::string> expected = {
      {"DRIVER", "FreeTDS"}, {"SERVER", endpoint.host}, {"TDS_VERSION", "7.4"}, {"CLIENTCHARSET", "UTF-8"}};
  if (!endpoint.port.empty()) expected["PORT"] = endpoint.port;
  if (!request.database.empty()) expected["DATABASE"] = request.database;
  if (request.integrated_security) {
    expected["TRUSTED_CONNECTION"] = "Yes";
  } else {
    expected["UID"] = request.login;
    expected["PWD"] = request.password;
  }
  if (!language.empty()) expected["LANGUAGE"] = language;
  if (*pairs != expected) Fail("the driver reads other values than were typed", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool integrated = in.ConsumeBool();
  const std::string server = in.ConsumeRandomLengthString(64);
  const std::string database = in.ConsumeRandomLengthString(64);
  const std::string login = in.ConsumeRandomLengthString(64);
  const std::string language = in.ConsumeRandomLengthString(32);
  const std::string password = in.ConsumeRandomLengthString(64);
  const std::string text = in.ConsumeRemainingBytesAsString();

  // Any text: parsed or refused, and the copy without the password reads the same.
  if (const auto parsed = Parse(text)) {
    std::string kept;
    try {
      kept = platform::RemovePassword(text);
    } catch (const platform::Error&) {
      Fail("RemovePassword refuses a text that parses", text);
    }
    const auto reparsed = Parse(kept);
    if (!reparsed || !SameExceptPassword(*parsed, *reparsed) || !reparsed->password.empty()) {
      Fail("RemovePassword changes more than the password", text);
    }
  }

  // Quoted values read back as themselves, whatever bytes they hold.
  const std::string built = "Provider=SQLOLEDB.1;Data Source=" + platform::QuoteConnectionValue(server) +
                            ";Initial Catalog=" + platform::QuoteConnectionValue(database) +
                            ";User ID=" + platform::QuoteConnectionValue(login) +
                            ";Password=" + platform::QuoteConnectionValue(password) +
                            (integrated ? ";Integrated Security=SSPI" : "");
  const auto request = Parse(built);
  if (!request || request->server != server || request->database != database || request->login != login ||
      request->password != password || request->integrated_security != integrated) {
    Fail("a quoted value does not read back", built);
  }

  for (const BraceStyle style : {BraceStyle::kDoubled, BraceStyle::kVerbatim}) {
    CheckDriverString(*request, style, language);
  }
  return 0;
}
