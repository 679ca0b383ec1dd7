// standin: a TDS server on 127.0.0.1 that answers as SQL Server does for the statements of the maintenance
// tool. Usage is in standin/README.md.
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <memory>
#include <thread>

#include "catalog/scenario.h"
#include "wire/server.h"
#include "wire/session.h"

namespace {

struct Options {
  int port = 1433;
  int control_port = 0;
  std::string scenario;
  std::string log_file;
  bool stdin_lifetime = false;
  int generate_fleet = -1;
  std::string password = "Tavinor#2024";
  std::string tls_cert, tls_key;
  bool require_encryption = false;
};

Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
      return argv[++i];
    };
    if (a == "--port")
      o.port = std::stoi(next());
    else if (a == "--control-port")
      o.control_port = std::stoi(next());
    else if (a == "--scenario")
      o.scenario = next();
    else if (a == "--log")
      o.log_file = next();
    else if (a == "--stdin-lifetime")
      o.stdin_lifetime = true;
    else if (a == "--generate-fleet")
      o.generate_fleet = std::stoi(next());
    else if (a == "--sa-password")
      o.password = next();
    else if (a == "--tls-cert")
      o.tls_cert = next();
    else if (a == "--tls-key")
      o.tls_key = next();
    else if (a == "--require-encryption")
      o.require_encryption = true;
    else
      throw std::invalid_argument("unknown option " + a);
  }
  if (o.tls_cert.empty() != o.tls_key.empty())
    throw std::invalid_argument("--tls-cert and --tls-key go together");
  if (o.require_encryption && o.tls_cert.empty())
    throw std::invalid_argument("--require-encryption needs --tls-cert and --tls-key");
  return o;
}

int Run(const Options& o) {
  using namespace standin;
  if (o.generate_fleet >= 0) {
    FleetOptions fleet;
    fleet.count = o.generate_fleet;
    std::cout << FleetScenario(fleet, o.password).dump(2) << std::endl;
    return 0;
  }
  if (o.scenario.empty()) throw std::invalid_argument("--scenario FILE is required");
  Scenario scenario = LoadScenarioFile(o.scenario);
  ServerState state(scenario.catalog, scenario.faults);
  if (!o.log_file.empty()) {
    state.log_file.open(o.log_file, std::ios::app);
    if (!state.log_file) throw std::runtime_error("cannot write " + o.log_file);
  }

  // SIGTERM/SIGINT are taken by sigwait below; every thread inherits the blocked mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<TlsServerContext> tls;
  if (!o.tls_cert.empty())
    tls = std::make_unique<TlsServerContext>(o.tls_cert, o.tls_key, o.require_encryption);
  Listener tds("tds", [&state, &tls](int fd) { Session(state, fd, "", tls.get()).Run(); });
  Listener control("control", [&state](int fd) { ServeControl(state, fd); });
  int port = tds.Start(o.port);
  int control_port = control.Start(o.control_port);
  std::cout << "listening 127.0.0.1:" << port << " control " << control_port << std::endl;

  if (o.stdin_lifetime) {
    std::thread([] {
      char buf[256];
      while (::read(STDIN_FILENO, buf, sizeof buf) > 0) {
      }
      ::kill(::getpid(), SIGTERM);
    }).detach();
  }
  int sig = 0;
  sigwait(&signals, &sig);
  tds.Stop();
  control.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(ParseOptions(argc, argv));
  } catch (const std::exception& e) {
    std::cerr << "standin: " << e.what() << std::endl;
    return 2;
  }
}
