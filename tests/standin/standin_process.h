// Starts the stand-in as a child process for wire tests, reads its port line, talks to its control channel,
// and stops it (closing its stdin, as --stdin-lifetime asks) when the fixture ends.
#pragma once

#include <sys/types.h>

#include <string>

namespace standin::testing {

class StandinProcess {
 public:
  StandinProcess(const std::string& binary, const std::string& scenario);
  ~StandinProcess();
  StandinProcess(const StandinProcess&) = delete;
  StandinProcess& operator=(const StandinProcess&) = delete;

  int port() const { return port_; }
  // Sends one control command and returns the reply line (without the newline).
  std::string Control(const std::string& command);
  std::string ConnectionString(const std::string& database, const std::string& password = "Tavinor#2024",
                               const std::string& login = "sa") const;

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int port_ = 0;
  int control_port_ = 0;
  int control_fd_ = -1;
};

}  // namespace standin::testing
