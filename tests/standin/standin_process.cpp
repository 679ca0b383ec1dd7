#include "standin_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace standin::testing {

StandinProcess::StandinProcess(const std::string& binary, const std::string& scenario) {
  int in_pipe[2], out_pipe[2];
  if (pipe(in_pipe) != 0 || pipe(out_pipe) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in_pipe[0], STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    close(in_pipe[1]);
    close(out_pipe[0]);
    execl(binary.c_str(), binary.c_str(), "--port", "0", "--control-port", "0", "--scenario",
          scenario.c_str(), "--stdin-lifetime", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  stdin_fd_ = in_pipe[1];
  std::string line;
  char c;
  while (read(out_pipe[0], &c, 1) == 1 && c != '\n') line.push_back(c);
  close(out_pipe[0]);
  if (std::sscanf(line.c_str(), "listening 127.0.0.1:%d control %d", &port_, &control_port_) != 2) {
    throw std::runtime_error("unexpected first line from standin: '" + line + "'");
  }
  control_fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(control_port_));
  if (connect(control_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    throw std::runtime_error("cannot reach the control channel");
  }
}

StandinProcess::~StandinProcess() {
  if (control_fd_ >= 0) close(control_fd_);
  if (stdin_fd_ >= 0) close(stdin_fd_);  // end of stdin stops the server
  if (pid_ > 0) {
    int status = 0;
    waitpid(pid_, &status, 0);
  }
}

std::string StandinProcess::Control(const std::string& command) {
  std::string line = command + "\n";
  if (send(control_fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
    throw std::runtime_error("control channel write failed");
  }
  std::string reply;
  char c;
  while (recv(control_fd_, &c, 1, 0) == 1 && c != '\n') reply.push_back(c);
  return reply;
}

std::string StandinProcess::ConnectionString(const std::string& database, const std::string& password,
                                             const std::string& login) const {
  return "DRIVER=FreeTDS;SERVER=127.0.0.1," + std::to_string(port_) + ";DATABASE=" + database +
         ";UID=" + login + ";PWD=" + password + ";TDS_Version=7.4;Encryption=off;ClientCharset=UTF-8;";
}

}  // namespace standin::testing
