#include "convert_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace e2e {

namespace {

std::string Slurp(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
  close(fd);
  return text;
}

}  // namespace

Finished RunConvert(std::vector<std::string> args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    // No terminal: a password prompt would fall back to empty instead of waiting.
    setsid();
    unsetenv("TAVINOR_PASSWORD");
    std::vector<char*> argv{const_cast<char*>(CONVERT_EXECUTABLE)};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(CONVERT_EXECUTABLE, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0)
    throw std::runtime_error("write failed");
  close(in[1]);
  Finished finished;
  finished.out = Slurp(out[0]);
  finished.err = Slurp(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  finished.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return finished;
}

}  // namespace e2e
