#include "test/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "test/TestUtil.h"

namespace corvantis::test {

namespace {

// The user and group nobody of Debian.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const std::vector<std::string>& unsetVars) {
  RunOptions options;
  options.unsetVars = unsetVars;
  return runProgram(program, args, cwd, options);
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, const RunOptions& options) {
  // Output goes through files rather than pipes, so a chatty child never blocks.
  TempDir capture;
  const std::string outPath = capture.file("out");
  const std::string errPath = capture.file("err");

  // CORVANTIS_TEST_WRAPPER (say "valgrind -q --error-exitcode=99") runs the program
  // under a tool; its words go before the program path.
  std::vector<std::string> argvStrings;
  if (const char* wrapper = std::getenv("CORVANTIS_TEST_WRAPPER")) {
    std::istringstream words(wrapper);
    for (std::string word; words >> word;) argvStrings.push_back(word);
  }
  argvStrings.push_back(program);
  argvStrings.insert(argvStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argvStrings) argv.push_back(s.data());
  argv.push_back(nullptr);

  RunResult result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    for (const auto& name : options.unsetVars) unsetenv(name.c_str());
    if (options.fileSizeLimit >= 0) {
      signal(SIGXFSZ, SIG_IGN);  // stays ignored across exec
      const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                         static_cast<rlim_t>(options.fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (options.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNoGroup) != 0 || setuid(kNobody) != 0)) {
      _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int wstatus = 0;
  if (pid > 0 && waitpid(pid, &wstatus, 0) == pid && WIFEXITED(wstatus)) {
    result.status = WEXITSTATUS(wstatus);
  }
  result.out = readFile(outPath);
  result.err = readFile(errPath);
  return result;
}

}  // namespace corvantis::test
