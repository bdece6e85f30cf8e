// What only the Windows platform layer has; its shared contract is in Platform_test.cpp.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"
#include "workspace/Paths.h"
#include "workspace/Platform.h"

namespace corvantis {
namespace {

// 1970-01-01 00:00:00 UTC in 100-ns intervals since 1601.
constexpr std::uint64_t k1970 = 116444736000000000;
constexpr std::uint64_t kSecond = 10000000;

class PlatformWindowsTest : public ::testing::Test {
 protected:
  void setLastWriteTime(const std::string& path, std::uint64_t intervals) {
    HANDLE file = ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(intervals);
    time.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
    const BOOL set = ::SetFileTime(file, nullptr, nullptr, &time);
    ::CloseHandle(file);
    ASSERT_TRUE(set);
  }
  // What a text-mode C stream, as the cell's other tools use, reads from the file.
  static std::string readAsText(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
      for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
      std::fclose(file);
    }
    return text;
  }

  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformWindowsTest, FileTimeIsWholeSecondsFromIntervalsSince1601) {
  const std::string path = dir_.file("ref.bmp");
  test::writeFile(path, "image");
  const struct {
    std::uint64_t intervals;
    std::uint64_t seconds;
  } cases[] = {
      {k1970, 0},
      {k1970 + kSecond, 1},
      {k1970 + 1700000000 * kSecond + kSecond - 1, 1700000000},
      {k1970 - kSecond, std::numeric_limits<std::uint64_t>::max()},  // before 1970: wraps
  };
  for (const auto& c : cases) {
    setLastWriteTime(path, c.intervals);
    EXPECT_EQ(c.seconds, fileTimeOf(path)) << "intervals " << c.intervals;
  }
}

// The workspace keeps its derived paths with doubled backslashes. Its CR LF line ends
// are written as they are, and a text-mode C stream reads each as one line end.
TEST_F(PlatformWindowsTest, DoubledSeparatorsWorkAndCrLfIsWrittenOnce) {
  std::filesystem::create_directories(dir_.path() / "R1" / "debug");
  for (const std::string& sep : {std::string("\\\\"), std::string("/")}) {
    SCOPED_TRACE("separator " + sep);
    const std::string debug =
        doubleBackslashes(dir_.path().string()) + sep + "R1" + sep + sep + "debug" + sep;
    ASSERT_TRUE(platform_.appendDurably(debug + "corvantis.log", "one\r\n").ok());
    ASSERT_TRUE(platform_.appendDurably(debug + "corvantis.log", "two\r\n").ok());
    EXPECT_EQ(10u, platform_.fileSize(debug + "corvantis.log"));
    EXPECT_NE(0u, fileTimeOf(debug + "corvantis.log"));
    EXPECT_EQ("one\ntwo\n", readAsText(dir_.file("R1/debug/corvantis.log")));
    EXPECT_TRUE(platform_.moveNoReplace(debug + "corvantis.log", debug + "corvantis_1.log").ok());
    EXPECT_TRUE(platform_.deleteFile(debug + "corvantis_1.log").ok());
    ASSERT_TRUE(platform_.writeNewFile(debug + "new", "a,1\r\n").ok());
    EXPECT_TRUE(platform_.replaceFile(debug + "new", debug + "corvantis.dat").ok());
    EXPECT_TRUE(platform_.fileExists(debug + "corvantis.dat"));
    EXPECT_EQ("a,1\n", readAsText(dir_.file("R1/debug/corvantis.dat")));
  }
}

TEST_F(PlatformWindowsTest, DriveRootWorkingDirectoryGivesTheDriveAsTempRoot) {
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path().root_path());
  const std::string cwd = platform_.workingDirectory();
  std::filesystem::current_path(before);
  const std::string drive = dir_.path().root_name().string();
  EXPECT_EQ(drive + "\\", cwd);
  EXPECT_EQ(drive, deriveTempRoot(cwd));
}

}  // namespace
}  // namespace corvantis
