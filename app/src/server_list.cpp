#include "app/server_list.h"

#include <charconv>
#include <sstream>

namespace app {
namespace {

constexpr std::string_view kPasswordEnv = "password-env=";

bool IsValidVariable(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  for (const char c : name) {
    const bool word = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    if (!word) return false;
  }
  return true;
}

// Why `server` cannot name a server, or empty when it can: an option taken for
// the name ("--server --jobs 4"), or a port after the comma that no server
// listens on ("sql01,99999"), which would otherwise be read as part of a host
// name and fail later as a host that cannot be found.
std::string ServerProblem(const std::string& server) {
  if (!server.empty() && server[0] == '-') return "'" + server + "' is an option, not a server name";
  const std::size_t comma = server.rfind(',');
  if (comma == std::string::npos) return "";
  const std::string_view port = std::string_view(server).substr(comma + 1);
  int number = 0;
  const auto [stop, failure] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (port.empty() || failure != std::errc() || stop != port.data() + port.size() || number < 1 ||
      number > 65535) {
    return "server '" + server + "': the port after the comma must be a number from 1 to 65535";
  }
  return "";
}

}  // namespace

std::optional<std::vector<ServerEntry>> ParseServerList(const std::string& text, std::string& error) {
  std::vector<ServerEntry> servers;
  // A file saved by a Windows editor may begin with a UTF-8 byte order mark,
  // which would otherwise become part of the first server's name.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::istringstream lines(text.rfind(kByteOrderMark, 0) == 0 ? text.substr(kByteOrderMark.size()) : text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string where = "line " + std::to_string(number) + ": ";
    std::istringstream words(line);
    std::vector<std::string> found;
    for (std::string word; words >> word;) {
      if (word[0] == '#') break;
      found.push_back(word);
    }
    if (found.empty()) continue;
    ServerEntry entry{found[0], {}};
    for (std::size_t i = 1; i < found.size(); ++i) {
      const std::string& word = found[i];
      if (word.rfind(kPasswordEnv, 0) == 0 && entry.password_variable.empty()) {
        entry.password_variable = word.substr(kPasswordEnv.size());
        if (!IsValidVariable(entry.password_variable)) {
          error = where + "password-env= needs the name of an environment variable";
          return std::nullopt;
        }
      } else if (word.rfind("password=", 0) == 0 || word.rfind("pwd=", 0) == 0) {
        // The value is not repeated: it is a password.
        error = where +
                "a password is never written in the servers file; name the environment variable "
                "that holds it with password-env=VARIABLE";
        return std::nullopt;
      } else {
        // The word itself is not repeated either: a password written after the
        // server name would otherwise end up on the screen and in logs. An
        // option-like word shows its name, enough to find a misspelling.
        const std::size_t equals = word.find('=');
        const std::string shown =
            equals == std::string::npos ? "" : " ('" + word.substr(0, equals + 1) + "...')";
        error = where + "unexpected word " + std::to_string(i + 1) + shown +
                " after the server name (only password-env=VARIABLE may follow)";
        return std::nullopt;
      }
    }
    servers.push_back(std::move(entry));
  }
  return servers;
}

std::optional<std::vector<ServerEntry>> ResolveServers(
    const CliOptions& options, const std::function<std::optional<std::string>(const std::string&)>& read_file,
    std::string& error) {
  std::vector<ServerEntry> servers;
  for (const auto& server : options.servers) servers.push_back({server, {}});
  if (options.servers_file) {
    const std::optional<std::string> text = read_file(*options.servers_file);
    if (!text) {
      error = "cannot read the servers file '" + *options.servers_file + "'";
      return std::nullopt;
    }
    std::string reason;
    auto listed = ParseServerList(*text, reason);
    if (!listed) {
      error = *options.servers_file + ", " + reason;
      return std::nullopt;
    }
    if (listed->empty()) {
      error = "the servers file '" + *options.servers_file + "' names no server";
      return std::nullopt;
    }
    servers.insert(servers.end(), listed->begin(), listed->end());
  }
  for (const ServerEntry& entry : servers) {
    if (std::string problem = ServerProblem(entry.server); !problem.empty()) {
      error = std::move(problem);
      return std::nullopt;
    }
  }
  if (servers.empty()) servers.push_back({"", {}});
  return servers;
}

}  // namespace app
