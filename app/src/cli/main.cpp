// tavinor-convert: the conversion run from the command line.
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "app/cli_options.h"
#include "app/conversion_run.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

// The run's view of a terminal: fixed field values, progress printed as a line.
class ConsoleView final : public app::ConversionView {
 public:
  ConsoleView(std::string server, std::string login, std::string password)
      : server_(std::move(server)), login_(std::move(login)), password_(std::move(password)) {}
  std::string ServerText() override { return server_; }
  std::string LoginText() override { return login_; }
  std::string PasswordText() override { return password_; }
  void Refresh() override {}
  void SetProgressCaption(const std::string& caption) override { std::cout << caption << std::endl; }

 private:
  std::string server_, login_, password_;
};

std::optional<std::string> ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> PromptWithoutEcho() {
  std::fstream tty("/dev/tty");
  if (!tty) return std::nullopt;
  termios saved{};
  const int fd = STDIN_FILENO;
  const bool is_tty = isatty(fd) && tcgetattr(fd, &saved) == 0;
  if (!is_tty) return std::nullopt;
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  tcsetattr(fd, TCSAFLUSH, &quiet);
  std::cerr << "Password: " << std::flush;
  auto line = ReadLine(std::cin);
  tcsetattr(fd, TCSAFLUSH, &saved);
  std::cerr << '\n';
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  EDiv::SetCommandLine(argc, argv);
  std::string error;
  auto options = app::ParseCliOptions({argv + 1, argv + argc}, error);
  if (!options) {
    std::cerr << "tavinor-convert: " << error << "\nTry 'tavinor-convert --help'.\n";
    return app::kExitUsage;
  }
  if (options->help) {
    std::cout << app::CliUsage("tavinor-convert");
    return app::kExitOk;
  }
  if (options->version) {
    std::cout << "tavinor-convert " << TAVINOR_VERSION << '\n';
    return app::kExitOk;
  }
  const std::string password =
      app::ResolvePassword(*options, {[] { return ReadLine(std::cin); },
                                      [](const char* name) -> std::optional<std::string> {
                                        const char* value = std::getenv(name);
                                        if (!value) return std::nullopt;
                                        return std::string(value);
                                      },
                                      PromptWithoutEcho});
  platform::SetUi(std::make_shared<platform::ConsoleUi>());
  ConsoleView view(options->server, options->login, password);
  const app::ConversionOutcome outcome = app::RunConversion(view);
  if (outcome.status == app::ConversionOutcome::Status::kConnectionFailed) return app::kExitConnectionFailed;
  return outcome.failed_list.empty() ? app::kExitOk : app::kExitChangeFailed;
}
