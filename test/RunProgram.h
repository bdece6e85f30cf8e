// Runs programs as child processes for the end-to-end tests (POSIX only), and the
// temporary cells they run in. Every wait is bounded, so a hanging child fails its test.
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
  std::string out, err;
};

// Defaults throughout, so that a brace list may end after any field.
struct ChildEnv {
  std::string cwd = {};  // empty: the test's own
  std::vector<std::string> unsetVars = {};
  std::vector<std::pair<std::string, std::string>> setVars = {};
  long fileSizeLimit = -1;  // RLIMIT_FSIZE, with SIGXFSZ at its default as in a cell
  bool wrapped = true;      // through CORVANTIS_TEST_WRAPPER (valgrind, wine) when set
};

// A running child whose standard output and error go to files; killed and reaped with
// the object if still running.
class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args, const ChildEnv& env);
  ~Child() { kill(); }

  bool waitFor(std::chrono::milliseconds limit);  // false: still running
  void kill();
  RunResult result() const {
    return {status_, readFile(capture_.file("out")), readFile(capture_.file("err"))};
  }

 private:
  TempDir capture_;
  pid_t pid_ = -1;
  int status_ = -1;
};

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, ChildEnv env = {},
                     std::chrono::seconds limit = std::chrono::seconds(120));
// Draws the local HTML file `page` in headless Chromium, as a person opening it would see
// it, into the PNG `shot`; the browser keeps its profile in `scratch`, a directory it may
// create. The run's status is 0 when the browser ran; its stderr tells why not.
RunResult drawPageInBrowser(const std::string& page, const std::string& shot,
                            const std::string& scratch);
// Sets the file's access and modification times, in seconds since the epoch.
bool setFileTime(const std::string& path, long seconds);
// CORVANTIS_TEST_PROGRAM when set (the Windows build's program, say), else this build's.
std::string programUnderTest();

// robots/R1 with ref/, cap/ and debug/, var/tmp, and bin/ to run from; with a `source`
// cell, a copy of the images below its robots' ref/ and cap/ folders, with their file
// times, and nothing else.
struct TestCell {
  explicit TestCell(const std::string& source = "");
  std::string file(const std::string& relative) const { return dir_.file(relative); }
  std::string journal() const { return readFile(file("robots/R1/debug/corvantis.log")); }
  std::string store() const { return readFile(file("robots/R1/corvantis.dat")); }
  RunResult run(const std::vector<std::string>& args, ChildEnv env = {},
                const std::string& program = programUnderTest()) const {
    return runProgram(program, args, file("bin"), std::move(env));
  }
  TempDir dir_;
};

}  // namespace corvantis::test
