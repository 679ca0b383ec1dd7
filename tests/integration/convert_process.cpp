#include "convert_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
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

ConvertProcess::ConvertProcess(std::vector<std::string> args, const std::string& input,
                               const std::map<std::string, std::string>& environment) {
  int in[2], out[2], err[2];
  if (pipe(in) || pipe(out) || pipe(err)) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    setsid();
    unsetenv("TAVINOR_PASSWORD");
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv{const_cast<char*>(CONVERT_EXECUTABLE)};
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    execv(CONVERT_EXECUTABLE, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Read while the process runs, so that a full pipe never holds it up.
  out_reader_ = std::thread([this, fd = out[0]] { out_ = Slurp(fd); });
  err_reader_ = std::thread([this, fd = err[0]] { err_ = Slurp(fd); });
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
    close(in[1]);
    throw std::runtime_error("write failed");
  }
  close(in[1]);
}

ConvertProcess::~ConvertProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
}

void ConvertProcess::Signal(int signal) const {
  kill(pid_, signal);
}

Finished ConvertProcess::Wait() {
  Finished finished;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  out_reader_.join();
  err_reader_.join();
  finished.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  finished.out = std::move(out_);
  finished.err = std::move(err_);
  return finished;
}

Finished RunConvert(std::vector<std::string> args, const std::string& input,
                    const std::map<std::string, std::string>& environment) {
  return ConvertProcess(std::move(args), input, environment).Wait();
}

void ExpectValidReport(const std::string& report) {
  const auto path =
      std::filesystem::temp_directory_path() / ("tavinor-report-" + std::to_string(getpid()) + ".json");
  std::ofstream(path) << report;
  const std::string schema = std::string(SOURCE_DIR) + "/app/cli/report.schema.json";
  const std::string command =
      std::string(SYSTEM_PYTHON3) +
      " -c 'import json,sys,jsonschema; jsonschema.validate(json.load(open(sys.argv[1])), "
      "json.load(open(sys.argv[2])))' " +
      path.string() + " " + schema;
  EXPECT_EQ(std::system(command.c_str()), 0) << report;
  std::filesystem::remove(path);
}

}  // namespace e2e
