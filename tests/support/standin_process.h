// Runs the SQL Server stand-in as a child process for a test (the wire tests of the stand-in and the
// end-to-end tests share it): starts it on free ports with a scenario, talks to its control channel, stops it
// at the end. The child runs with --stdin-lifetime on a pipe held here, so it cannot outlive a test process
// that dies without running destructors.
#pragma once

#include <sys/types.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace testsupport {

class StandinProcess {
 public:
  // Starts `executable` with `scenario_path` and `extra_args` (e.g. --tls-cert FILE); throws
  // std::runtime_error when it does not announce its ports within ten seconds.
  StandinProcess(const std::string& executable, const std::string& scenario_path,
                 const std::vector<std::string>& extra_args = {});
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  [[nodiscard]] int Port() const { return port_; }
  // The server as a connection string names it: "127.0.0.1,<port>".
  [[nodiscard]] std::string Server() const { return "127.0.0.1," + std::to_string(port_); }
  // A FreeTDS ODBC connection string to `database` on this stand-in.
  [[nodiscard]] std::string ConnectionString(const std::string& database,
                                             const std::string& password = "Tavinor#2024",
                                             const std::string& login = "sa") const;

  // Sends one control command; returns what follows "OK " on the reply line (empty for a bare "OK"), and
  // throws std::runtime_error on an "ERR" reply.
  std::string Control(const std::string& command);
  nlohmann::json ControlJson(const std::string& command) { return nlohmann::json::parse(Control(command)); }

 private:
  void Stop();

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int port_ = 0;
  int control_port_ = 0;
  int control_fd_ = -1;
};

}  // namespace testsupport
