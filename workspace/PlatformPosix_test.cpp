// What only the POSIX platform layer can be asked: the offset of a zone set by TZ, copies
// of symbolic links and across file systems in little memory, and an append cut short at
// the file size limit.
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
#include <filesystem>
#include <fstream>
#include <future>

#include "test/TestUtil.h"
#include "workspace/Platform.h"
#include "workspace/PosixFiles.h"

namespace corvantis {
namespace {

// A replaced file's directory is synced: the root's own for a file in it, and a
// one-letter directory is no root.
TEST(PlatformPosixTest, DirectoryOfAFileIsThePathUpToItsName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/corvantis.dat", "/"}, {"R/corvantis.dat", "R"}, {"/cell/R", "/cell"}, {"x.dat", "."}};
  for (const auto& [path, directory] : cases) EXPECT_EQ(directory, posix::directoryOf(path));
}

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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

// A capture given by a relative symbolic link is kept as the bytes it points to, not as
// a link that would point nowhere from the archive.
TEST(PlatformPosixTest, CopyOfASymbolicLinkHoldsItsTargetsBytes) {
  test::TempDir dir;
  test::writeFile(dir.file("cam/frames/cap.png"), "pixels");
  std::filesystem::create_symlink("frames/cap.png", dir.file("cam/cap.png"));
  std::filesystem::create_directories(dir.file("rejects"));
  EXPECT_TRUE(defaultPlatform().copyFile(dir.file("cam/cap.png"), dir.file("rejects/k.png")).ok());
  EXPECT_TRUE(
      std::filesystem::is_regular_file(std::filesystem::symlink_status(dir.file("rejects/k.png"))));
  EXPECT_EQ("pixels", test::readFile(dir.file("rejects/k.png")));
}

// A capture of 64 MiB on another file system (/dev/shm), copied by a process that may
// take only 24 MiB more memory than it has: the copy goes piece by piece.
TEST(PlatformPosixTest, CopyAcrossFileSystemsTakesLittleMemory) {
  test::TempDir dir;
  struct stat shm, tmp;
  if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &tmp) != 0 ||
      shm.st_dev == tmp.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  const std::string elsewhere = "/dev/shm/corvantis-" + std::to_string(::getpid()) + ".bmp";
  const std::uint64_t size = 64u << 20;
  test::writeFile(elsewhere, "BM");
  std::filesystem::resize_file(elsewhere, size);  // sparse: no memory of its own
  const pid_t child = fork();
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlimit memory{static_cast<rlim_t>(pages * ::sysconf(_SC_PAGESIZE) + (24 << 20)),
                        RLIM_INFINITY};
    // The sanitizer reserves address space of its own: there the copy runs unlimited.
    if (!kSanitized) ::setrlimit(RLIMIT_AS, &memory);
    _exit(defaultPlatform().copyFile(elsewhere, dir.file("kept.bmp")).ok() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(child, waitpid(child, &status, 0));
  std::remove(elsewhere.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(size, defaultPlatform().fileSize(dir.file("kept.bmp")).value_or(0));
}

// The piece of a line cut short is taken back while it ends the file; once another
// check's line follows it, that line stays whole and the piece with it.
TEST(PlatformPosixTest, AppendCutShortIsTakenBackOnlyWhileItEndsTheFile) {
  test::TempDir dir;
  const std::string path = dir.file("corvantis.log");
  const std::string line = "[01/01/2026 00:00:01] - Step: 1\r\n";
  const std::size_t limit = line.size() + 10;
  rlimit unlimited;
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &unlimited));
  for (const bool followed : {false, true}) {
    SCOPED_TRACE(followed ? "another line follows" : "alone");
    test::writeFile(path, line);
    // Another check in the middle of its own append.
    const int peer = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_EQ(0, ::flock(peer, LOCK_SH));
    const rlimit fileSize{limit, unlimited.rlim_max};
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &fileSize));
    std::future<Status> appended =
        std::async(std::launch::async, [&] { return defaultPlatform().appendDurably(path, line); });
    // Until the piece is in the file, or the append has given up without one.
    while (defaultPlatform().fileSize(path).value_or(0) < limit &&
           appended.wait_for(std::chrono::milliseconds(1)) == std::future_status::timeout) {
    }
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    const std::string next = followed ? line : "";
    EXPECT_EQ(static_cast<ssize_t>(next.size()), ::write(peer, next.data(), next.size()));
    ::close(peer);
    const Status status = appended.get();
    // The failure is told, and whether the piece stays.
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(followed, status.message().find("they stay") != std::string::npos);
    EXPECT_EQ(followed ? line + line.substr(0, 10) + line : line, test::readFile(path));
  }
}

// A page that does not fit on the disk, or under the file size limit, is told with the
// system's reason; the half of it that did fit goes again, and a device named as the
// page stays where it is.
TEST(PlatformPosixTest, PageWrittenOnlyInPartIsToldAndRemoved) {
  const Status full = defaultPlatform().writeFile("/dev/full", "<html></html>");
  EXPECT_EQ("/dev/full: No space left on device", full.message());
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));

  test::TempDir dir;
  const std::string page = dir.file("report.html");
  test::writeFile(page, "the page of yesterday");
  rlimit unlimited;
  ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &unlimited));
  const rlimit fileSize{1000, unlimited.rlim_max};
  ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &fileSize));
  const Status tooLarge = defaultPlatform().writeFile(page, std::string(5000, 'x'));
  ::setrlimit(RLIMIT_FSIZE, &unlimited);
  EXPECT_EQ(page + ": File too large", tooLarge.message());
  EXPECT_FALSE(std::filesystem::exists(page));
  EXPECT_TRUE(defaultPlatform().writeFile(page, "today").ok());
  EXPECT_EQ("today", test::readFile(page));
}

}  // namespace
}  // namespace corvantis
