#include "app/cli_options.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cstdio>
#include <system_error>

namespace app {

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error) {
  // A password option is refused before anything else looks at it, whatever
  // follows it: the value must not be echoed in an error message either.
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // The value after an option that takes one is not an option itself.
    if (arg == "--server" || arg == "-S" || arg == "--login" || arg == "-U" || arg == "--report" ||
        arg == "--servers-file" || arg == "--jobs" || arg == "-j" || arg == "--encrypt" ||
        arg == "--ca-file") {
      ++i;
      continue;
    }
    if (arg == "--password" || arg.rfind("--password=", 0) == 0 || arg.rfind("-P", 0) == 0) {
      error =
          "the password is never taken on the command line (it would show in process lists); use "
          "--password-stdin, " +
          std::string(kPasswordVariable) + " or the prompt";
      return std::nullopt;
    }
  }
  CliOptions options;
  CLI::App cli("", "tavinor-convert");
  cli.set_help_flag();  // the help text is ours, CliUsage
  cli.add_flag("-h,--help", options.help);
  cli.add_flag("--version", options.version);
  cli.add_option("-S,--server", options.servers);
  cli.add_option("-U,--login", options.login);
  cli.add_flag("--password-stdin", options.password_from_stdin);
  std::string report;
  CLI::Option* report_option = cli.add_option("--report", report);
  cli.add_flag("-q,--quiet", options.quiet);
  cli.add_flag("--dry-run", options.dry_run);
  cli.add_flag("--keep-dependents", options.keep_dependents);
  std::string servers_file;
  CLI::Option* servers_file_option = cli.add_option("--servers-file", servers_file);
  std::string jobs;
  CLI::Option* jobs_option = cli.add_option("-j,--jobs", jobs);
  cli.add_option("--encrypt", options.encrypt)->check(CLI::IsMember({"off", "request", "require"}));
  CLI::Option* ca_option = cli.add_option("--ca-file", options.ca_file);
  cli.add_flag("--trust-server-certificate", options.trust_server_certificate)->excludes(ca_option);
  cli.allow_extras();
  try {
    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    cli.parse(reversed);
  } catch (const CLI::ParseError& failure) {
    error = failure.what();
    return std::nullopt;
  }
  // A file option followed by another option ("--report --quiet") lost its
  // file name: the other option would be taken as the name and never applied.
  for (const auto& [option, value] :
       {std::pair{"--report", &report}, std::pair{"--servers-file", &servers_file},
        std::pair{"--ca-file", &options.ca_file}}) {
    if (value->rfind("--", 0) == 0) {
      error = std::string(option) + " needs a file name before the next option, " + *value + " (write ./" +
              *value + " for a file of that name)";
      return std::nullopt;
    }
  }
  if (const std::vector<std::string> extras = cli.remaining(); !extras.empty()) {
    // Only what reads as an option is repeated, without its value: a word on
    // its own may be the password given to an option that does not exist
    // ("-p Secret#1").
    std::string shown;
    std::size_t hidden = 0;
    for (const auto& extra : extras) {
      if (extra.size() > 1 && extra[0] == '-') {
        shown += (shown.empty() ? "" : " ") + extra.substr(0, extra.find('='));
      } else {
        ++hidden;
      }
    }
    error = "not expected: " + shown;
    if (hidden > 0) {
      error += std::string(shown.empty() ? "" : " and ") + std::to_string(hidden) +
               (shown.empty() ? "" : " more") + (hidden == 1 ? " word" : " words") +
               " (not repeated here in case one is a password)";
    }
    return std::nullopt;
  }
  if (report_option->count() > 0) {
    if (report.empty()) {
      error = "--report needs a file name, or - for standard output";
      return std::nullopt;
    }
    options.report_path = report;
  }
  if (servers_file_option->count() > 0) {
    if (servers_file.empty()) {
      error = "--servers-file needs a file name";
      return std::nullopt;
    }
    options.servers_file = servers_file;
  }
  // A CA file is asked for to have the certificate validated: a file name that
  // came out empty (an unset variable in a script), or encryption turned off,
  // would quietly connect without validating anything.
  if (ca_option->count() > 0) {
    if (options.ca_file.empty()) {
      error = "--ca-file needs a file name";
      return std::nullopt;
    }
    if (options.encrypt == "off") {
      error = "--ca-file cannot validate anything with --encrypt off, which never encrypts";
      return std::nullopt;
    }
  }
  if (jobs_option->count() > 0) {
    // Read as the decimal number it is written as: "08" is eight, "010" ten,
    // never octal, and nothing may trail it.
    const char* const end = jobs.data() + jobs.size();
    const auto [stop, failure] = std::from_chars(jobs.data(), end, options.jobs);
    if (jobs.empty() || failure != std::errc() || stop != end) options.jobs = 0;
  }
  if (options.jobs < 1 || options.jobs > kMaxJobs) {
    error = "--jobs takes a number from 1 to " + std::to_string(kMaxJobs);
    return std::nullopt;
  }
  if (!options.servers.empty()) options.server = options.servers.front();
  return options;
}

std::string ProgressLine(std::size_t number, std::size_t total, const std::string& name,
                         double elapsed_seconds) {
  const auto clock = [](double seconds) {
    const auto whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return std::string(text);
  };
  std::string line = "[" + std::to_string(number) + "/" + std::to_string(total) + "] " + name + "  elapsed " +
                     clock(elapsed_seconds) + "  left ";
  // The databases done so far set the pace for the rest.
  const std::size_t done = number > 0 ? number - 1 : 0;
  if (done == 0 || total < done) return line + "?";
  return line + clock(elapsed_seconds / static_cast<double>(done) * static_cast<double>(total - done));
}

std::string CliUsage(const std::string& program) {
  return "Usage: " + program +
         " [--server NAME]... [--servers-file FILE] [--login NAME] [--password-stdin]\n"
         "       [--jobs N] [--dry-run] [--keep-dependents] [--report FILE] [--quiet]\n"
         "       [--encrypt off|request|require] [--ca-file FILE | --trust-server-certificate]\n"
         "\n"
         "Brings MovCliente.DataSys to \"datetime null\" in every Parvimar database of a\n"
         "SQL Server: drops the indexes, statistics and default constraint that depend on\n"
         "the column, then alters it, one transaction per database.\n"
         "\n"
         "  -S, --server NAME     server: host, host\\instance or host,port (default: the\n"
         "                        local default server); give it again for more servers\n"
         "      --servers-file FILE  more servers, one a line: NAME [password-env=VARIABLE]\n"
         "                        (blank lines and lines starting with # are skipped)\n"
         "  -U, --login NAME      SQL Server login\n"
         "      --password-stdin  read the password from the first line of standard input\n"
         "  -j, --jobs N          convert up to N databases of a server at once, each on a\n"
         "                        connection of its own (default 1, at most 64;\n"
         "                        --dry-run plans one at a time)\n"
         "      --dry-run         change nothing: for each database print what the run would\n"
         "                        send and whether it would succeed, and why not\n"
         "      --keep-dependents keep every index, statistic, default and check on DataSys:\n"
         "                        read their definitions, drop them, and create them again\n"
         "                        after the change in the same transaction\n"
         "      --report FILE     write what the run did as a JSON document to FILE (- for\n"
         "                        standard output)\n"
         "  -q, --quiet           no progress line (it is shown only on a terminal)\n"
         "      --encrypt MODE    off: never encrypt; request: encrypt when the server can;\n"
         "                        require: encrypt everything or fail (default: the login\n"
         "                        only, when the server offers it)\n"
         "      --ca-file FILE    validate the server's certificate against the CAs in FILE\n"
         "                        (PEM; default: the system's CAs, with --encrypt request or\n"
         "                        require; not with --encrypt off)\n"
         "      --trust-server-certificate\n"
         "                        accept the server's certificate without validating it\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Without --password-stdin the password is taken from the environment variable\n"
         "TAVINOR_PASSWORD, else asked for on the terminal without echo. It serves every\n"
         "server except those whose --servers-file line names a variable of their own.\n"
         "\n"
         "The name of each database is printed as it is processed, in the server's order\n"
         "whatever --jobs says, then the closing messages. Several servers are converted\n"
         "one after another, each under a line \"== server NAME ==\"; a server that cannot\n"
         "be reached does not stop the others.\n"
         "\n"
         "SIGINT, SIGTERM or SIGHUP stops the run: no further database is started, those\n"
         "under way finish, or are rolled back after 5 seconds (at once on a second\n"
         "signal; a third ends the program, and the server rolls back what is still\n"
         "open). The report is still written. Under nohup, SIGHUP stays ignored.\n"
         "\n"
         "Exit status, the worst over the servers: 0 nothing failed, 1 a database's\n"
         "change failed, 2 a connection failed, 64 bad usage, 70 an internal error,\n"
         "130 stopped by SIGINT, 143 stopped by SIGTERM, 129 stopped by SIGHUP. With\n"
         "--dry-run, 1 means a database is predicted to fail.\n";
}

std::string ResolvePassword(const CliOptions& options, const PasswordSources& sources) {
  if (options.password_from_stdin) return sources.read_stdin_line().value_or("");
  if (auto from_env = sources.get_env(kPasswordVariable)) return *from_env;
  return sources.prompt_without_echo().value_or("");
}

}  // namespace app
