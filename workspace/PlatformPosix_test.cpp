// What only the POSIX platform layer can be asked: a link across file systems, an
// append cut short at the file size limit while another check appends, and the offset
// of a zone set by TZ.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

#include "test/TestUtil.h"
#include "workspace/Platform.h"

namespace corvantis {
namespace {

// The values log writes local times with their offset: a cell half an hour off a full
// hour west of Greenwich (POSIX counts west as positive) is at -09:30.
TEST(PlatformPosixTest, LocalTimeCarriesTheZonesOffset) {
  ::setenv("TZ", "CELL9:30", 1);
  ::tzset();
  const LocalTime local = defaultPlatform().localTime();
  ::unsetenv("TZ");
  ::tzset();
  EXPECT_EQ(-570, local.utcOffsetMinutes);
}

// A capture on another file system (/dev/shm) cannot be linked into the archive: it is
// copied whole.
TEST(PlatformPosixTest, LinkOrCopyCopiesAcrossFileSystems) {
  test::TempDir dir;
  struct stat shm, tmp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  const std::string elsewhere = "/dev/shm/corvantis-" + std::to_string(::getpid()) + ".png";
  const std::string content(100000, 'p');
  test::writeFile(elsewhere, content);
  EXPECT_TRUE(defaultPlatform().linkOrCopy(elsewhere, dir.file("kept.png")).ok());
  EXPECT_EQ(content, test::readFile(dir.file("kept.png")));
  std::remove(elsewhere.c_str());
}

// The piece of a line cut short is taken back while it ends the file; once another
// check's line follows it, that line stays whole and the piece with it.
TEST(PlatformPosixTest, AppendCutShortIsTakenBackOnlyWhileItEndsTheFile) {
  test::TempDir dir;
  const std::string path = dir.file("corvantis.log");
  const std::string before = "[01/01/2026 00:00:00] - Step: 0\r\n";
  const std::string line = "[01/01/2026 00:00:01] - Step: 1\r\n";
  const std::string other = "[01/01/2026 00:00:02] - Step: 2\r\n";
  const std::size_t limit = before.size() + 10;
  for (const bool followed : {false, true}) {
    SCOPED_TRACE(followed ? "another line follows" : "alone");
    test::writeFile(path, before);
    // Another check in the middle of its own append.
    const int peer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(0, ::flock(peer, LOCK_SH));
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(peer);  // the peer's lock is not this process's
      const rlimit fileSize{limit, limit};
      ::setrlimit(RLIMIT_FSIZE, &fileSize);
      const Status appended = defaultPlatform().appendDurably(path, line);
      ::_exit(appended.ok() ? 0 : 1 + (appended.message().find("they stay") != std::string::npos));
    }
    int status = 0;
    bool exited = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (defaultPlatform().fileSize(path).value_or(0) < limit && !exited &&
           std::chrono::steady_clock::now() < deadline) {
      exited = ::waitpid(child, &status, WNOHANG) == child;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (followed) {
      ASSERT_EQ(static_cast<ssize_t>(other.size()), ::write(peer, other.data(), other.size()));
    }
    ::close(peer);
    if (!exited) {
      ASSERT_EQ(child, ::waitpid(child, &status, 0));
    }
    // The failure is told, and whether the piece stays.
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (followed ? 2 : 1)) << status;
    EXPECT_EQ(followed ? before + line.substr(0, 10) + other : before, test::readFile(path));
  }
}

}  // namespace
}  // namespace corvantis
