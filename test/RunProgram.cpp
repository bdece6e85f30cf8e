#include "test/RunProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <sstream>
#include <thread>

namespace corvantis::test {

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const ChildEnv& env) {
  // Files rather than pipes, so a chatty child never blocks.
  const std::string outPath = capture_.file("out"), errPath = capture_.file("err");
  const char* wrapper = std::getenv("CORVANTIS_TEST_WRAPPER");
  std::istringstream wrapperWords(env.wrapped && wrapper != nullptr ? wrapper : "");
  std::vector<std::string> words{std::istream_iterator<std::string>(wrapperWords), {}};
  words.push_back(program);
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : words) argv.push_back(s.data());
  argv.push_back(nullptr);

  if ((pid_ = fork()) != 0) return;
  const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
  if (!env.cwd.empty() && chdir(env.cwd.c_str()) != 0) _exit(126);
  for (const auto& name : env.unsetVars) unsetenv(name.c_str());
  for (const auto& [name, value] : env.setVars) setenv(name.c_str(), value.c_str(), 1);
  signal(SIGXFSZ, SIG_DFL);  // the test process itself may have set it aside
  const rlimit limit{static_cast<rlim_t>(env.fileSizeLimit),
                     static_cast<rlim_t>(env.fileSizeLimit)};
  if (env.fileSizeLimit >= 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  execvp(argv[0], argv.data());
  _exit(127);
}

bool Child::waitFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (int wstatus = 0; pid_ > 0; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
    const pid_t done = waitpid(pid_, &wstatus, WNOHANG);
    if (done == pid_ && WIFEXITED(wstatus)) status_ = WEXITSTATUS(wstatus);
    if (done == pid_ || done < 0) pid_ = -1;
    if (pid_ > 0 && std::chrono::steady_clock::now() >= deadline) return false;
  }
  return true;
}

void Child::kill() {
  if (pid_ > 0 && ::kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& cwd, ChildEnv env, std::chrono::seconds limit) {
  env.cwd = cwd;
  Child child(program, args, env);
  if (!child.waitFor(limit)) child.kill();
  return child.result();
}

RunResult drawPageInBrowser(const std::string& page, const std::string& shot,
                            const std::string& scratch) {
  return runProgram(
      "chromium",
      {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
       "--disable-background-networking", "--disable-component-update", "--disable-sync",
       "--user-data-dir=" + scratch + "/profile", "--screenshot=" + shot,
       "--window-size=900,700", "file://" + page},
      scratch, ChildEnv{"", {}, {}, -1, false});
}

bool setFileTime(const std::string& path, long seconds) {
  const utimbuf times{seconds, seconds};
  return utime(path.c_str(), &times) == 0;
}

std::string programUnderTest() {
  const char* program = std::getenv("CORVANTIS_TEST_PROGRAM");
  return program != nullptr && program[0] != '\0' ? program : CORVANTIS_EXE;
}

TestCell::TestCell(const std::string& source) {
  namespace fs = std::filesystem;
  // Only the images: a cell that has run checks (the demo's, an integrator's) also holds
  // a journal, a store, logs and archived rejects, which every test expects to start
  // without.
  if (!source.empty()) {
    for (const auto& entry : fs::recursive_directory_iterator(source)) {
      const fs::path relative = entry.path().lexically_relative(source);
      const std::vector<fs::path> parts(relative.begin(), relative.end());  // robots/R1/ref/...
      if (!entry.is_regular_file() || parts.size() < 4 || parts[0] != "robots" ||
          (parts[2] != "ref" && parts[2] != "cap"))
        continue;
      fs::create_directories((dir_.path() / relative).parent_path());
      fs::copy_file(entry.path(), dir_.path() / relative);
      // As `cp -p` would: a reference of the current second is not stored, and a cell
      // is rarely checked in the second it was copied.
      fs::last_write_time(dir_.path() / relative, entry.last_write_time());
    }
  }
  for (const char* dir : {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "var/tmp", "bin"})
    fs::create_directories(file(dir));
}

}  // namespace corvantis::test
