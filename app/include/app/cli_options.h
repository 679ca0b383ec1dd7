// Command-line options of tavinor-convert, and where its password comes from.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace app {

// Exit codes of tavinor-convert.
inline constexpr int kExitOk = 0;
inline constexpr int kExitChangeFailed = 1;
inline constexpr int kExitConnectionFailed = 2;
inline constexpr int kExitUsage = 64;          // EX_USAGE
inline constexpr int kExitInternalError = 70;  // EX_SOFTWARE

// The environment variable that may hold the password.
inline constexpr const char* kPasswordVariable = "TAVINOR_PASSWORD";

struct CliOptions {
  std::string server;
  std::string login;
  bool password_from_stdin = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name. Returns the options, or nullopt
// with `error` set to a one-line reason for bad usage.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// The --help text.
std::string CliUsage(const std::string& program);

// Where the password is read from, in order: standard input's first line with
// --password-stdin, the TAVINOR_PASSWORD environment variable, a prompt without
// echo on the terminal, or empty when there is no terminal to ask on.
struct PasswordSources {
  std::function<std::optional<std::string>()> read_stdin_line;
  std::function<std::optional<std::string>(const char*)> get_env;
  std::function<std::optional<std::string>()> prompt_without_echo;  // nullopt: no terminal
};
std::string ResolvePassword(const CliOptions& options, const PasswordSources& sources);

}  // namespace app
