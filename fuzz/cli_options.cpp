// tavinor-convert's command line: the input is the argument list, NUL between
// arguments. Any list gives options or a reason for bad usage (which main turns
// into exit status 64), and options written back as arguments parse to the same.
#include "app/cli_options.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::cerr << what << "\n";
  std::abort();
}

bool Same(const app::CliOptions& a, const app::CliOptions& b) {
  return a.server == b.server && a.login == b.login && a.password_from_stdin == b.password_from_stdin &&
         a.help == b.help && a.version == b.version && a.report_path == b.report_path && a.quiet == b.quiet &&
         a.dry_run == b.dry_run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  if (size > 0) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
      args.push_back(text.substr(start, end - start));
    }
    args.push_back(text.substr(start));
  }

  std::string error;
  const auto options = app::ParseCliOptions(args, error);
  if (!options) {
    if (error.empty()) Fail("bad usage without a reason");
    return 0;
  }
  for (const std::string& arg : args) {
    if (arg.rfind("--password=", 0) == 0 || arg == "--password" || arg == "-P") {
      // Accepted only as the value of --server or --login.
      bool is_value = false;
      for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& before = args[i - 1];
        is_value |= &args[i] == &arg && (before == "--server" || before == "-S" || before == "--login" ||
                                         before == "-U" || before == "--report");
      }
      if (!is_value) Fail("a password taken on the command line");
    }
  }

  // An empty value is the option's default: written back by leaving it out.
  std::vector<std::string> again;
  if (!options->server.empty()) again.push_back("--server=" + options->server);
  if (!options->login.empty()) again.push_back("--login=" + options->login);
  if (options->report_path) again.push_back("--report=" + *options->report_path);
  if (options->quiet) again.push_back("--quiet");
  if (options->dry_run) again.push_back("--dry-run");
  if (options->password_from_stdin) again.push_back("--password-stdin");
  if (options->help) again.push_back("-h");
  if (options->version) again.push_back("--version");
  std::string again_error;
  const auto reparsed = app::ParseCliOptions(again, again_error);
  if (!reparsed || !Same(*options, *reparsed)) Fail("options written back parse differently: " + again_error);
  return 0;
}
