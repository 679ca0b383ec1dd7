#include "app/cli_options.h"

namespace app {

std::optional<CliOptions> ParseCliOptions(const std::vector<std::string>& args, std::string& error) {
  CliOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Accepts "--server NAME", "--server=NAME" and the short "-S NAME".
    auto value_of = [&](const std::string& long_name, const std::string& short_name,
                        std::string& target) -> std::optional<bool> {
      if (arg == long_name || (!short_name.empty() && arg == short_name)) {
        if (i + 1 >= args.size()) {
          error = "option " + arg + " needs a value";
          return false;
        }
        target = args[++i];
        return true;
      }
      if (arg.rfind(long_name + "=", 0) == 0) {
        target = arg.substr(long_name.size() + 1);
        return true;
      }
      return std::nullopt;
    };
    if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--password-stdin") {
      options.password_from_stdin = true;
    } else if (arg == "--password" || arg.rfind("--password=", 0) == 0 || arg == "-P") {
      error =
          "the password is never taken on the command line (it would show in process lists); use "
          "--password-stdin, " +
          std::string(kPasswordVariable) + " or the prompt";
      return std::nullopt;
    } else if (auto server = value_of("--server", "-S", options.server)) {
      if (!*server) return std::nullopt;
    } else if (auto login = value_of("--login", "-U", options.login)) {
      if (!*login) return std::nullopt;
    } else {
      error = "unknown argument '" + arg + "'";
      return std::nullopt;
    }
  }
  return options;
}

std::string CliUsage(const std::string& program) {
  return "Usage: " + program +
         " [--server NAME] [--login NAME] [--password-stdin]\n"
         "\n"
         "Brings MovCliente.DataSys to \"datetime null\" in every Parvimar database of a\n"
         "SQL Server: drops the indexes, statistics and default constraint that depend on\n"
         "the column, then alters it, one transaction per database.\n"
         "\n"
         "  -S, --server NAME     server: host, host\\instance or host,port (default: the\n"
         "                        local default server)\n"
         "  -U, --login NAME      SQL Server login\n"
         "      --password-stdin  read the password from the first line of standard input\n"
         "  -h, --help            show this help and exit\n"
         "      --version         show the version and exit\n"
         "\n"
         "Without --password-stdin the password is taken from the environment variable\n"
         "TAVINOR_PASSWORD, else asked for on the terminal without echo.\n"
         "\n"
         "The name of each database is printed as it is processed, then the closing\n"
         "messages. Exit status: 0 nothing failed, 1 a database's change failed,\n"
         "2 a connection failed, 64 bad usage.\n";
}

std::string ResolvePassword(const CliOptions& options, const PasswordSources& sources) {
  if (options.password_from_stdin) return sources.read_stdin_line().value_or("");
  if (auto from_env = sources.get_env(kPasswordVariable)) return *from_env;
  return sources.prompt_without_echo().value_or("");
}

}  // namespace app
