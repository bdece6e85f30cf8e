// Runs a program as a child process for the end-to-end tests (POSIX only).
#pragma once

#include <string>
#include <vector>

namespace corvantis::test {

struct RunResult {
  int status = -1;  // exit status; -1 when the child did not exit normally
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Runs `program` with `args` (argument 0 is added) in the working directory `cwd` and
// waits for it. `unsetVars` are removed from the child's environment.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::vector<std::string>& unsetVars = {});

}  // namespace corvantis::test
