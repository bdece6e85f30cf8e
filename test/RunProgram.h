// Runs programs as child processes for the end-to-end tests (POSIX only). Every wait is
// bounded, so a child that hangs fails its test instead of the whole suite.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "test/TestUtil.h"

namespace corvantis::test {

struct RunResult {
  int status = -1;  // exit status; -1 when the child did not exit normally or in time
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// What the child process is given besides its arguments.
struct ChildEnv {
  std::string cwd;                                           // empty: the test's own
  std::vector<std::string> unsetVars;                        // removed from the environment
  std::vector<std::pair<std::string, std::string>> setVars;  // added or replaced
  // Largest file the child may write (RLIMIT_FSIZE); negative: no limit. SIGXFSZ has
  // its default action in the child, as in a cell.
  long fileSizeLimit = -1;
  // Run as the user nobody when started as root, for whom read-only directories are
  // read-only too.
  bool unprivileged = false;
};

// A running child whose standard output and error go to files. The destructor kills
// and reaps it if it is still running. The environment variable CORVANTIS_TEST_WRAPPER,
// when set, names a tool (with its options) that runs the program, such as valgrind.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args, const ChildEnv& env);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Waits up to `limit` for the child to end; false when it is still running.
  bool waitFor(std::chrono::milliseconds limit);
  // Kills the child (if running) and waits for it.
  void kill();
  // The result so far; status -1 until the child has exited normally.
  RunResult result() const;

 private:
  TempDir capture_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// Runs `program` with `args` (argument 0 is added) in the working directory `cwd`, with
// everything else `env` gives the child, and waits up to `limit` for it, killing it after.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, ChildEnv env = {},
                     std::chrono::seconds limit = std::chrono::seconds(120));

// The program the end-to-end tests run: CORVANTIS_TEST_PROGRAM when set (the Windows
// build's corvantis.exe, say, with CORVANTIS_TEST_WRAPPER naming wine64), else this
// build's corvantis.
std::string programUnderTest();

// The full path of `name` on PATH; empty when it is not there.
std::string findOnPath(const std::string& name);

}  // namespace corvantis::test
