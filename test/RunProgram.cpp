#include "test/RunProgram.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

namespace corvantis::test {

// The user and group nobody of Debian.
constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const ChildEnv& env) {
  // Output goes through files rather than pipes, so a chatty child never blocks.
  const std::string outPath = capture_.file("out");
  const std::string errPath = capture_.file("err");

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

  pid_ = fork();
  if (pid_ == 0) {
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    if (!env.cwd.empty() && chdir(env.cwd.c_str()) != 0) _exit(126);
    for (const auto& name : env.unsetVars) unsetenv(name.c_str());
    for (const auto& [name, value] : env.setVars) setenv(name.c_str(), value.c_str(), 1);
    // As a cell starts it: the test process itself may have set SIGXFSZ aside.
    signal(SIGXFSZ, SIG_DFL);
    if (env.fileSizeLimit >= 0) {
      const rlimit limit{static_cast<rlim_t>(env.fileSizeLimit),
                         static_cast<rlim_t>(env.fileSizeLimit)};
      if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
    }
    if (env.unprivileged && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(kNoGroup) != 0 || setuid(kNobody) != 0)) {
      _exit(126);
    }
    execvp(argv[0], argv.data());
    _exit(127);
  }
}

Child::~Child() { kill(); }

bool Child::waitFor(std::chrono::milliseconds limit) {
  if (pid_ <= 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int wstatus = 0;
    const pid_t done = waitpid(pid_, &wstatus, WNOHANG);
    if (done == pid_ || done < 0) {
      if (done == pid_ && WIFEXITED(wstatus)) status_ = WEXITSTATUS(wstatus);
      pid_ = -1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void Child::kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

RunResult Child::result() const {
  RunResult result;
  result.status = status_;
  result.out = readFile(capture_.file("out"));
  result.err = readFile(capture_.file("err"));
  return result;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, ChildEnv env, std::chrono::seconds limit) {
  env.cwd = cwd;
  Child child(program, args, env);
  if (!child.waitFor(limit)) child.kill();
  return child.result();
}

std::string programUnderTest() {
  const char* program = std::getenv("CORVANTIS_TEST_PROGRAM");
  return program != nullptr && program[0] != '\0' ? program : CORVANTIS_EXE;
}

std::string findOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

}  // namespace corvantis::test
