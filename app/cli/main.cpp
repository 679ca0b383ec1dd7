// tavinor-convert: the conversion run from the command line.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <vector>

#include "app/cli_options.h"
#include "app/conversion_plan.h"
#include "app/conversion_run.h"
#include "app/parallel_run.h"
#include "app/run_control.h"
#include "app/run_report.h"
#include "app/server_list.h"
#include "app/signal_watch.h"
#include "platform/driver.h"
#include "platform/observed_driver.h"
#include "platform/ui_services.h"
#include "util/ediv.h"

namespace {

std::optional<std::string> ReadLine(std::istream& in) {
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The signal that interrupted the password prompt, 0 while none did.
volatile std::sig_atomic_t prompt_signal = 0;

extern "C" void OnPromptSignal(int signal) {
  prompt_signal = signal;
}

// Asks on the controlling terminal itself, whatever standard input is: echo is
// turned off on that terminal and the answer is read from it, and echo comes back
// however the read ends. A signal that would end the program (Ctrl-C, say) still
// ends it, but only once echo is back: a terminal left without echo hides all
// the operator types next. nullopt when there is no terminal to ask on.
std::optional<std::string> PromptWithoutEcho() {
  const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  termios saved{};
  if (tcgetattr(fd, &saved) != 0) {
    close(fd);
    return std::nullopt;
  }
  constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  struct sigaction catcher {};
  catcher.sa_handler = OnPromptSignal;
  sigemptyset(&catcher.sa_mask);
  catcher.sa_flags = 0;  // no SA_RESTART: the read below returns on the signal
  struct sigaction previous[std::size(kEnding)]{};
  for (std::size_t i = 0; i < std::size(kEnding); ++i) {
    sigaction(kEnding[i], nullptr, &previous[i]);
    // A signal the program was started to ignore stays ignored.
    if (previous[i].sa_handler != SIG_IGN) sigaction(kEnding[i], &catcher, nullptr);
  }
  termios quiet = saved;
  quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
  quiet.c_lflag |= static_cast<tcflag_t>(ECHONL);
  tcsetattr(fd, TCSAFLUSH, &quiet);
  constexpr char kPrompt[] = "Password: ";
  [[maybe_unused]] const ssize_t shown = write(fd, kPrompt, sizeof kPrompt - 1);
  std::string line;
  bool ended = false;
  for (char c; !ended && prompt_signal == 0;) {
    const ssize_t got = read(fd, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || c == '\n') {
      ended = true;
    } else {
      line += c;
    }
  }
  tcsetattr(fd, TCSAFLUSH, &saved);
  if (prompt_signal != 0) {
    [[maybe_unused]] const ssize_t newline = write(fd, "\n", 1);
  }
  close(fd);
  for (std::size_t i = 0; i < std::size(kEnding); ++i) sigaction(kEnding[i], &previous[i], nullptr);
  if (prompt_signal != 0) {
    line.assign(line.size(), '\0');
    std::raise(prompt_signal);
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// Erases the progress line, so that what comes next starts a line of its own.
void ClearProgressLine() {
  std::cerr << "\r\033[K" << std::flush;
}

// The console's message boxes, with the progress line, when one is shown,
// erased before each: the closing messages and a connection error would
// otherwise be written on after its last character.
class ProgressConsoleUi final : public platform::UiServices {
 public:
  ProgressConsoleUi(std::ostream& information, bool progress) : console_(information), progress_(progress) {}
  void MsgBox(const std::string& text, int style, const std::string& title) override {
    if (progress_) ClearProgressLine();
    console_.MsgBox(text, style, title);
  }
  void SetMousePointer(int pointer) override { console_.SetMousePointer(pointer); }
  [[nodiscard]] int MousePointer() const override { return console_.MousePointer(); }
  void DoEvents() override { console_.DoEvents(); }
  void Beep() override { console_.Beep(); }

 private:
  platform::ConsoleUi console_;
  bool progress_;
};

// A database's plan under its name: the type found, what the run would send, and
// the prediction with its reasons.
void PrintPlan(const app::DatabasePlan& plan, std::ostream& out) {
  out << "  type: ";
  if (plan.types.empty()) out << "(none: no MovCliente.DataSys)";
  for (std::size_t i = 0; i < plan.types.size(); ++i) out << (i ? ", " : "") << plan.types[i];
  out << "\n  would send:\n";
  for (const auto& statement : plan.statements) out << "    " << statement << '\n';
  out << "  prediction: " << app::PredictionText(plan.prediction) << '\n';
  for (const auto& reason : plan.reasons) out << "    because " << reason << '\n';
  for (const auto& finding : plan.findings) out << "  note: " << finding << '\n';
  out << std::flush;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

std::optional<std::string> GetEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value) return std::nullopt;
  return std::string(value);
}

// The worse of two exit statuses: a failed connection over a failed change over
// success.
int Worse(int a, int b) {
  const auto rank = [](int status) {
    return status == app::kExitConnectionFailed ? 2 : status == app::kExitChangeFailed ? 1 : 0;
  };
  return rank(b) > rank(a) ? b : a;
}

// The connection encryption the options ask for, with what to do when it fails in words of these options.
platform::EncryptionSettings EncryptionSettings(const app::CliOptions& options) {
  platform::EncryptionSettings settings;
  if (options.encrypt == "off") settings.mode = platform::EncryptMode::kOff;
  if (options.encrypt == "request") settings.mode = platform::EncryptMode::kRequest;
  if (options.encrypt == "require") settings.mode = platform::EncryptMode::kRequire;
  settings.ca_file = options.ca_file;
  settings.trust_server_certificate = options.trust_server_certificate;
  settings.advice_required =
      "The server accepts encrypted connections only: run with --encrypt request or --encrypt require";
  settings.advice_not_supported =
      "The server does not support encryption: --encrypt require cannot connect to it (--encrypt request "
      "would connect unencrypted)";
  settings.advice_certificate =
      "The server's certificate failed validation against " +
      (options.ca_file.empty() ? std::string("the system's CA certificates")
                               : "the CAs in " + options.ca_file) +
      " (or is not for this host name): name the CA that signed it with --ca-file, or skip validation with "
      "--trust-server-certificate";
  return settings;
}

int Run(int argc, char** argv) {
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
  if (options->encrypt || !options->ca_file.empty() || options->trust_server_certificate) {
    try {
      platform::SetEncryption(EncryptionSettings(*options));
    } catch (const platform::Error& failure) {
      std::cerr << "tavinor-convert: " << failure.Description() << '\n';
      return app::kExitUsage;
    }
  }
  const auto servers = app::ResolveServers(*options, ReadWholeFile, error);
  if (!servers) {
    std::cerr << "tavinor-convert: " << error << '\n';
    return app::kExitUsage;
  }
  // Each server's password: its own variable's, or the one shared password,
  // asked for only when some server needs it.
  std::vector<std::string> passwords;
  std::optional<std::string> shared_password;
  for (const auto& entry : *servers) {
    if (!entry.password_variable.empty()) {
      auto value = GetEnv(entry.password_variable.c_str());
      if (!value) {
        std::cerr << "tavinor-convert: the environment variable " << entry.password_variable
                  << ", named for the password of " << entry.server << ", is not set\n";
        return app::kExitUsage;
      }
      passwords.push_back(std::move(*value));
      continue;
    }
    if (!shared_password) {
      shared_password =
          app::ResolvePassword(*options, {[] { return ReadLine(std::cin); }, GetEnv, PromptWithoutEcho});
    }
    passwords.push_back(*shared_password);
  }
  // With the report on standard output, everything else goes to standard error.
  const bool report_on_stdout = options->report_path && *options->report_path == "-";
  std::ostream& information = report_on_stdout ? std::cerr : std::cout;
  std::ofstream report_file;
  if (options->report_path && !report_on_stdout) {
    // Opened before the run, so that a report that cannot be written stops it
    // before anything is changed.
    report_file.open(*options->report_path, std::ios::trunc);
    if (!report_file) {
      std::cerr << "tavinor-convert: cannot write the report to '" << *options->report_path
                << "': " << std::strerror(errno) << '\n';
      return app::kExitUsage;
    }
  }
  const bool progress = !options->quiet && isatty(STDERR_FILENO) == 1;
  const bool several = servers->size() > 1;

  platform::SetUi(std::make_shared<ProgressConsoleUi>(information, progress));
  app::RunControl control;
  app::SignalWatch signals(control, std::chrono::seconds(5), [](int signal, int count) {
    const char* what = count == 1   ? "no further database is started; those under way finish (another "
                                      "signal rolls them back now)"
                       : count == 2 ? "rolling back the databases under way"
                                    : "ending now";
    const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT";
    std::cerr << "\ntavinor-convert: " << name << ": " << what << '\n' << std::flush;
  });
  // Servers are converted one after another: the observer feeds the recorder of
  // the server under way, set here between runs, when no request is in flight.
  std::vector<std::unique_ptr<app::RunRecorder>> recorders;
  app::RunRecorder* recorder = nullptr;
  std::shared_ptr<platform::Driver> driver = platform::CurrentDriverShared();
  if (options->report_path || progress) {
    driver = platform::MakeObservedDriver(
        driver, [&recorder](const platform::StatementEvent& event) { recorder->OnStatement(event); });
  }
  platform::SetDriver(control.Guard(driver));

  const app::ConversionOptions conversion{options->keep_dependents};
  int status = app::kExitOk;
  std::vector<app::ConversionOutcome> outcomes;
  std::vector<int> statuses;
  for (std::size_t i = 0; i < servers->size(); ++i) {
    const std::string& server = (*servers)[i].server;
    recorders.push_back(std::make_unique<app::RunRecorder>(server, options->login));
    recorder = recorders.back().get();
    recorder->SetKeepDependents(options->keep_dependents);
    recorder->SetDryRun(options->dry_run);
    app::ConversionOutcome outcome;
    if (control.StopRequested()) {
      outcome.interrupted = true;
      outcomes.push_back(outcome);
      statuses.push_back(status);
      continue;
    }
    if (several) {
      information << "== server " << server << " ==" << std::endl;
      if (&information != &std::cerr) std::cerr << "== server " << server << " ==" << std::endl;
    }
    const auto start = std::chrono::steady_clock::now();
    // Each database's name goes on a line of its own; the progress line, on a
    // terminal, stays below the names until the next one.
    app::FixedFieldsView view(server, options->login, passwords[i], [&](const std::string& caption) {
      recorder->OnDatabase(caption);
      if (progress) ClearProgressLine();
      information << caption << std::endl;
      if (progress) {
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::cerr << app::ProgressLine(recorder->Reached(), recorder->Total(), caption, elapsed.count())
                  << std::flush;
      }
    });
    int predicted[3] = {0, 0, 0};  // already converted, will convert, will fail
    const auto on_plan = [&](const app::DatabasePlan& plan) {
      recorder->OnPlan(plan);
      if (progress) ClearProgressLine();
      PrintPlan(plan, information);
      ++predicted[static_cast<int>(plan.prediction)];
    };
    outcome = options->dry_run ? app::PlanConversion(view, on_plan, conversion, &control)
                               : app::RunConversionInParallel(view, options->jobs, control, conversion);
    if (options->dry_run && outcome.status == app::ConversionOutcome::Status::kCompleted &&
        !outcome.interrupted) {
      information << "Dry run, nothing changed: " << predicted[0] << " already converted, " << predicted[1]
                  << " will convert, " << predicted[2] << " will fail." << std::endl;
    }
    if (progress) ClearProgressLine();
    int server_status = app::kExitOk;
    if (outcome.status == app::ConversionOutcome::Status::kConnectionFailed) {
      server_status = app::kExitConnectionFailed;
    } else if (!outcome.failed_list.empty()) {
      server_status = app::kExitChangeFailed;
    }
    status = Worse(status, server_status);
    outcomes.push_back(outcome);
    statuses.push_back(server_status);
  }
  platform::SetDriver(nullptr);
  if (const int signal = signals.Signal(); signal != 0) {
    status = signal == SIGTERM  ? app::kExitTerminated
             : signal == SIGHUP ? app::kExitHangUp
                                : app::kExitInterrupted;
    // The server under way when the signal came, even if it got to the end of
    // its list.
    outcomes.back().interrupted = true;
  }

  if (options->report_path) {
    std::ostream& out = report_on_stdout ? std::cout : report_file;
    nlohmann::json report;
    if (!several) {
      report = recorders.front()->Report(outcomes.front(), status);
    } else {
      report = app::FleetReport(recorders, outcomes, statuses, status);
    }
    out << report.dump(2) << '\n' << std::flush;
    if (!out) {
      std::cerr << "tavinor-convert: the report could not be written\n";
      return app::kExitInternalError;
    }
  }
  return status;
}

}  // namespace

// An error nothing else handled is reported, never left to end the process
// uncaught (which would abort and dump core).
int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << "tavinor-convert: internal error: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "tavinor-convert: internal error\n";
  }
  return app::kExitInternalError;
}
