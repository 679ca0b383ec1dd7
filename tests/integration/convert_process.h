// tavinor-convert run as a child process, as a user runs it, for the end-to-end tests of the command line.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct Finished {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs the command line with `args` and `input` on its standard input, without a terminal; the password
// variable is cleared so that only what the test passes counts.
Finished RunConvert(std::vector<std::string> args, const std::string& input);

}  // namespace e2e
