// The servers one command-line run converts: those given with --server, then
// those of --servers-file, and where each one's password comes from.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/cli_options.h"

namespace app {

struct ServerEntry {
  std::string server;
  // The environment variable holding this server's password; empty: the
  // password shared by every server (--password-stdin, TAVINOR_PASSWORD, prompt).
  std::string password_variable;
};

// Reads a servers file: one server a line, "NAME [password-env=VARIABLE]", words
// separated by blanks. Blank lines and lines whose first word starts with "#" are
// skipped, and so is anything after a word starting with "#". A line holding a
// password, or any other word, is refused: nullopt with `error` naming the line.
std::optional<std::vector<ServerEntry>> ParseServerList(const std::string& text, std::string& error);

// Every server of `options`, in order: the --server ones, then the file's (read
// with `read_file`, nullopt when it cannot be read). With neither, the one
// default server "". nullopt with `error` set for bad usage, which includes a
// server named like an option and a port after the comma outside 1 to 65535.
std::optional<std::vector<ServerEntry>> ResolveServers(
    const CliOptions& options, const std::function<std::optional<std::string>(const std::string&)>& read_file,
    std::string& error);

}  // namespace app
