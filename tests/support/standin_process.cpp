#include "standin_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>
#include <stdexcept>

namespace testsupport {
namespace {

std::string ReadLineWithin(int fd, int timeout_ms) {
  std::string line;
  char c = 0;
  while (true) {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, timeout_ms) <= 0) throw std::runtime_error("stand-in did not answer in time");
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) throw std::runtime_error("stand-in closed its output");
    if (c == '\n') return line;
    line += c;
  }
}

}  // namespace

StandinProcess::StandinProcess(const std::string& executable, const std::string& scenario_path,
                               const std::vector<std::string>& extra_args) {
  std::vector<std::string> args = {executable, "--port",     "0",           "--control-port",
                                   "0",        "--scenario", scenario_path, "--stdin-lifetime"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int in[2], out[2];
  if (pipe(in) != 0) throw std::runtime_error("pipe failed");
  if (pipe(out) != 0) {
    close(in[0]);
    close(in[1]);
    throw std::runtime_error("pipe failed");
  }
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    execv(executable.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  stdin_fd_ = in[1];
  try {
    if (pid_ < 0) throw std::runtime_error("fork failed");
    const std::string first_line = ReadLineWithin(out[0], 10000);
    std::smatch match;
    static const std::regex kAnnouncement(R"(listening 127\.0\.0\.1:(\d+) control (\d+))");
    if (!std::regex_search(first_line, match, kAnnouncement)) {
      throw std::runtime_error("unexpected first line from the stand-in: " + first_line);
    }
    port_ = std::stoi(match[1]);
    control_port_ = std::stoi(match[2]);
    control_fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(control_port_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (control_fd_ < 0 || connect(control_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot reach the stand-in's control port");
    }
  } catch (...) {
    close(out[0]);
    Stop();
    throw;
  }
  close(out[0]);
}

void StandinProcess::Stop() {
  if (control_fd_ >= 0) close(control_fd_);
  control_fd_ = -1;
  if (stdin_fd_ >= 0) close(stdin_fd_);  // end of stdin stops the server
  stdin_fd_ = -1;
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

StandinProcess::~StandinProcess() {
  Stop();
}

std::string StandinProcess::Control(const std::string& command) {
  const std::string line = command + "\n";
  if (write(control_fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    throw std::runtime_error("control write failed");
  }
  const std::string reply = ReadLineWithin(control_fd_, 10000);
  if (reply.rfind("OK", 0) != 0) throw std::runtime_error("stand-in refused '" + command + "': " + reply);
  return reply.size() > 3 ? reply.substr(3) : std::string();
}

std::string StandinProcess::ConnectionString(const std::string& database, const std::string& password,
                                             const std::string& login) const {
  return "DRIVER=FreeTDS;SERVER=127.0.0.1," + std::to_string(port_) + ";DATABASE=" + database +
         ";UID=" + login + ";PWD=" + password + ";TDS_Version=7.4;Encryption=off;ClientCharset=UTF-8;";
}

}  // namespace testsupport
