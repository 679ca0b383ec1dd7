// Command-line options of tavinor-convert, and where its password comes from.
#pragma once

#include <cstddef>
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
// A run stopped by a signal: 128 + the signal's number.
inline constexpr int kExitInterrupted = 130;  // SIGINT
inline constexpr int kExitTerminated = 143;   // SIGTERM
inline constexpr int kExitHangUp = 129;       // SIGHUP

// Databases at once, at most.
inline constexpr int kMaxJobs = 64;

// The environment variable that may hold the password.
inline constexpr const char* kPasswordVariable = "TAVINOR_PASSWORD";

struct CliOptions {
  std::string server;                // the first --server, empty when none
  std::vector<std::string> servers;  // every --server, in order
  std::optional<std::string> servers_file;
  int jobs = 1;
  std::string login;
  bool password_from_stdin = false;
  std::optional<std::string> report_path;  // "-": standard output
  bool quiet = false;
  bool dry_run = false;
  bool keep_dependents = false;
  bool help = false;
  bool version = false;
  std::optional<std::string> encrypt;  // "off", "request" or "require"; nullopt: the driver's default
  std::string ca_file;
  bool trust_server_certificate = false;
};

// Parses the arguments after the program name. Returns the options, or nullopt
// with `error` set to a one-line reason for bad usage.
std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error);

// The progress line for database `number` of `total` (1-based), with the time
// the run has taken so far and an estimate of the time left from the pace of the
// databases done: "[3/10] Parvimar03  elapsed 0:04  left 0:16".
std::string ProgressLine(std::size_t number, std::size_t total, const std::string& name,
                         double elapsed_seconds);

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
