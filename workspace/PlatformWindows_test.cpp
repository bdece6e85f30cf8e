// What only the Windows platform layer has; its shared contract, doubled separators
// included, is in Platform_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <limits>
#include <utility>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"

namespace corvantis {
namespace {

// Windows keeps a file's time in 100-ns intervals since 1601; a time before 1970 wraps.
TEST(PlatformWindowsTest, FileTimeIsWholeSecondsFromIntervalsSince1601) {
  constexpr std::uint64_t k1970 = 116444736000000000, kSecond = 10000000;
  const std::pair<std::uint64_t, std::uint64_t> cases[] = {
      {k1970, 0},
      {k1970 + 1700000000 * kSecond + kSecond - 1, 1700000000},
      {k1970 - kSecond, std::numeric_limits<std::uint64_t>::max()},
  };
  test::TempDir dir;
  const std::string path = dir.file("ref.bmp");
  test::writeFile(path, "image");
  for (const auto& [intervals, seconds] : cases) {
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    const FILETIME time{static_cast<DWORD>(intervals), static_cast<DWORD>(intervals >> 32)};
    EXPECT_TRUE(::SetFileTime(file, nullptr, nullptr, &time));
    ::CloseHandle(file);
    EXPECT_EQ(seconds, fileTimeOf(path)) << "intervals " << intervals;
  }
}

}  // namespace
}  // namespace corvantis
