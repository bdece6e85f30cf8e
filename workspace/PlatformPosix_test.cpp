// What only the POSIX platform layer has; its shared contract is in Platform_test.cpp.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"

namespace corvantis {
namespace {

class PlatformPosixTest : public ::testing::Test {
 protected:
  void setModificationTime(const std::string& path, time_t seconds, long nanoseconds = 0) {
    const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
  }

  test::TempDir dir_;
};

TEST_F(PlatformPosixTest, FileTimeIsWholeSecondsOfTheLastWrite) {
  const std::string path = dir_.file("ref.bmp");
  test::writeFile(path, "image");
  setModificationTime(path, 0);
  EXPECT_EQ(0u, fileTimeOf(path));
  setModificationTime(path, 1);
  EXPECT_EQ(1u, fileTimeOf(path));
  setModificationTime(path, 1700000000, 999999999);
  EXPECT_EQ(1700000000u, fileTimeOf(path));
}

}  // namespace
}  // namespace corvantis
