// OLE DB connection strings: reading "Key=Value;..." into a ConnectRequest, and
// quoting values so that a ";" or a quote inside a name cannot add or change a key.
#include <algorithm>
#include <string>
#include <string_view>

#include "platform/driver.h"
#include "platform/error.h"
#include "platform/text.h"

namespace platform {
namespace {

const char kMalformedText[] =
    "Arguments are of the wrong type, are out of acceptable range, or are in conflict with one another.";

// The spaces around keys and values, as OLE DB's parser drops them.
constexpr std::string_view kSpaces = " \t\r\n";

bool IsSpace(char c) {
  return kSpaces.find(c) != std::string_view::npos;
}

bool IsTrue(const std::string& value) {
  const std::string v = Lower(Trim(value, kSpaces));
  return v == "sspi" || v == "true" || v == "yes";
}

// One "Key=Value" pair read from `text` starting at `pos`; `pos` ends after the
// pair's terminating ";" (or at the end of the text).
struct Pair {
  std::string key;
  std::string value;
};

[[noreturn]] void Malformed() {
  throw Error(kErrInvalidUse, kMalformedText);
}

// Reads a key: up to the first single "=", where "==" stands for a literal "=".
std::string ReadKey(const std::string& text, std::size_t& pos) {
  std::string key;
  while (pos < text.size()) {
    const char c = text[pos];
    if (c == '=') {
      if (pos + 1 < text.size() && text[pos + 1] == '=') {
        key += '=';
        pos += 2;
        continue;
      }
      ++pos;
      return Trim(key, kSpaces);
    }
    if (c == ';') Malformed();  // a key without "=" and a value
    key += c;
    ++pos;
  }
  Malformed();
}

// Reads a value: a quoted one ('...' or "...", the quote doubled inside) or a plain
// one up to the next ";", spaces around it dropped.
std::string ReadValue(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
    const char quote = text[pos++];
    std::string value;
    for (;;) {
      if (pos >= text.size()) Malformed();  // no closing quote
      const char c = text[pos++];
      if (c != quote) {
        value += c;
        continue;
      }
      if (pos < text.size() && text[pos] == quote) {
        value += quote;
        ++pos;
        continue;
      }
      break;
    }
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos < text.size() && text[pos] != ';') Malformed();  // text after the closing quote
    if (pos < text.size()) ++pos;
    return value;
  }
  const std::size_t end = std::min(text.find(';', pos), text.size());
  std::string value = Trim(std::string_view(text).substr(pos, end - pos), kSpaces);
  pos = end < text.size() ? end + 1 : end;
  return value;
}

}  // namespace

ConnectRequest ParseConnectionString(const std::string& text) {
  ConnectRequest request;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ';' || IsSpace(text[pos])) {
      ++pos;
      continue;
    }
    const std::string key = Lower(ReadKey(text, pos));
    std::string value = ReadValue(text, pos);
    // A key given twice keeps its last value, as OLE DB reads it.
    if (key == "data source" || key == "server" || key == "address" || key == "addr" ||
        key == "network address") {
      request.server = std::move(value);
    } else if (key == "initial catalog" || key == "database") {
      request.database = std::move(value);
    } else if (key == "user id" || key == "uid" || key == "user") {
      request.login = std::move(value);
    } else if (key == "password" || key == "pwd") {
      request.password = std::move(value);
    } else if (key == "integrated security" || key == "trusted_connection") {
      request.integrated_security = IsTrue(value);
    }
  }
  return request;
}

std::string RemovePassword(const std::string& text) {
  std::string kept;
  bool removed = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ';' || IsSpace(text[pos])) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    const std::string key = Lower(ReadKey(text, pos));
    ReadValue(text, pos);
    if (key == "password" || key == "pwd") {
      removed = true;
      continue;
    }
    std::string_view pair = std::string_view(text).substr(start, pos - start);
    if (!pair.empty() && pair.back() == ';') pair.remove_suffix(1);
    if (!kept.empty()) kept += ';';
    kept += pair;
  }
  return removed ? kept : text;
}

std::string QuoteConnectionValue(const std::string& value) {
  // A bare value opening with "=" would read as "==", a literal "=" in the key.
  const bool needs_quotes =
      value.find_first_of(";\"'") != std::string::npos ||
      (!value.empty() && (IsSpace(value.front()) || IsSpace(value.back()) || value.front() == '='));
  if (!needs_quotes) return value;
  const bool has_double = value.find('"') != std::string::npos;
  const bool has_single = value.find('\'') != std::string::npos;
  if (has_double && !has_single) return "'" + value + "'";
  std::string quoted = "\"";
  for (const char c : value) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace platform
