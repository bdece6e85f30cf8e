// What only the Windows platform layer has; its shared contract, doubled separators
// included, is in Platform_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <limits>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"

namespace corvantis {
namespace {

// Windows keeps a file's time in 100-ns intervals since 1601; a time before 1970 wraps.
TEST(PlatformWindowsTest, FileTimeIsWholeSecondsFromIntervalsSince1601) {
  constexpr std::uint64_t k1970 = 116444736000000000;
  constexpr std::uint64_t kSecond = 10000000;
  const struct {
    std::uint64_t intervals;
    std::uint64_t seconds;
  } cases[] = {
      {k1970, 0},
      {k1970 + kSecond, 1},
      {k1970 + 1700000000 * kSecond + kSecond - 1, 1700000000},
      {k1970 - kSecond, std::numeric_limits<std::uint64_t>::max()},
  };
  test::TempDir dir;
  const std::string path = dir.file("ref.bmp");
  test::writeFile(path, "image");
  for (const auto& c : cases) {
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const FILETIME time{static_cast<DWORD>(c.intervals), static_cast<DWORD>(c.intervals >> 32)};
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
    ::CloseHandle(file);
    EXPECT_EQ(c.seconds, fileTimeOf(path)) << "intervals " << c.intervals;
  }
}

}  // namespace
}  // namespace corvantis
