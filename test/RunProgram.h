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

// What the child process is given besides its arguments.
struct RunOptions {
  std::vector<std::string> unsetVars;  // removed from the child's environment
  // Largest file the child may write (RLIMIT_FSIZE), with SIGXFSZ ignored so that a
  // write beyond it fails with EFBIG instead of ending the child; negative: no limit.
  long fileSizeLimit = -1;
  // Run as the user nobody when started as root, for whom read-only directories are
  // read-only too.
  bool unprivileged = false;
};

// Runs `program` with `args` (argument 0 is added) in the working directory `cwd` and
// waits for it. `unsetVars` are removed from the child's environment. The environment
// variable CORVANTIS_TEST_WRAPPER, when set, names a tool (with its options) that runs
// the program, such as valgrind.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::vector<std::string>& unsetVars = {});
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const RunOptions& options);

}  // namespace corvantis::test
