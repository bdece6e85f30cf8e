// What only the POSIX platform layer can be asked: file times set to the second.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"

namespace corvantis {
namespace {

TEST(PlatformPosixTest, FileTimeIsWholeSecondsOfTheLastWrite) {
  test::TempDir dir;
  const std::string path = dir.file("ref.bmp");
  test::writeFile(path, "image");
  for (const timespec time : {timespec{0, 0}, timespec{1, 0}, timespec{1700000000, 999999999}}) {
    const timespec times[2] = {time, time};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
    EXPECT_EQ(static_cast<std::uint64_t>(time.tv_sec), fileTimeOf(path)) << time.tv_sec;
  }
}

}  // namespace
}  // namespace corvantis
