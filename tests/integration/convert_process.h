// tavinor-convert as a child process of a test: started with arguments, standard
// input, and environment variables of the test's choosing, signalled, and waited
// for, its standard output and error gathered while it runs.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct Finished {
  int exit_code = -1;  // -1 when it did not exit normally
  std::string out;
  std::string err;
};

class ConvertProcess {
 public:
  // Starts the command line with `input` on its standard input, in a session of
  // its own (no terminal, so no password prompt and no progress line), with
  // TAVINOR_PASSWORD cleared and `environment` set.
  ConvertProcess(std::vector<std::string> args, const std::string& input,
                 const std::map<std::string, std::string>& environment = {});
  ~ConvertProcess();
  ConvertProcess(const ConvertProcess&) = delete;
  ConvertProcess& operator=(const ConvertProcess&) = delete;

  void Signal(int signal) const;
  // What the process printed, once it has ended.
  Finished Wait();

 private:
  pid_t pid_ = -1;
  std::string out_, err_;
  std::thread out_reader_, err_reader_;
};

// Runs the command line to its end.
Finished RunConvert(std::vector<std::string> args, const std::string& input,
                    const std::map<std::string, std::string>& environment = {});

// Checks `report` against the report's JSON Schema with python3-jsonschema.
void ExpectValidReport(const std::string& report);

}  // namespace e2e
