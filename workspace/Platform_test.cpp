// The contract of the real platform layer on real files; the same cases run on every
// system. What only one system has sits in PlatformPosix_test.cpp and
// PlatformWindows_test.cpp.
#include "workspace/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

class PlatformTest : public ::testing::Test {
 protected:
  // The platform is handed paths as the workspace derives them: backslashes doubled and a
  // doubled separator before the name, which every system must read as one separator.
  // The files are read and written behind its back under their plain names.
  std::string at(const std::string& name) const {
    return doubleBackslashes(dir_.path().string()) + kPathSeparator + kPathSeparator + name;
  }
  std::string read(const std::string& name) const { return test::readFile(dir_.file(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_.file(name)); }

  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformTest, WorkingDirectoryAndLocalTime) {
  // A root keeps its separator ("/", "C:\"), which the temporary files' root then drops.
  const std::filesystem::path before = std::filesystem::current_path();
  for (const std::filesystem::path& cwd : {before, before.root_path()}) {
    std::filesystem::current_path(cwd);
    EXPECT_EQ(cwd.string(), platform_.workingDirectory());
  }
  std::filesystem::current_path(before);
  const LocalTime local = platform_.localTime();
  const std::time_t now = std::time(nullptr);
  char expected[32], got[32];
  std::strftime(expected, sizeof expected, "%Y-%m-%d %H", std::localtime(&now));
  std::snprintf(got, sizeof got, "%04u-%02u-%02u %02u", local.year, local.month, local.day,
                local.hour);
  EXPECT_EQ(std::string(expected), got);
}

// The moves and copies that must not replace refuse an existing target and leave both
// files as they were; replaceFile takes its place.
TEST_F(PlatformTest, OnlyReplaceFileReplacesAnExistingFile) {
  test::writeFile(dir_.file("from"), "new");
  test::writeFile(dir_.file("to"), "old");
  EXPECT_FALSE(platform_.moveNoReplace(at("from"), at("to")).ok());
  EXPECT_FALSE(platform_.linkOrCopy(at("from"), at("to")).ok());
  const Status again = platform_.writeNewFile(at("to"), "other");
  EXPECT_TRUE(test::holds(again.message(), at("to") + ": "));
  EXPECT_TRUE(test::holds(again.message(), "exists"));
  EXPECT_EQ("new", read("from"));
  EXPECT_EQ("old", read("to"));

  EXPECT_TRUE(platform_.moveNoReplace(at("from"), at("moved")).ok());
  EXPECT_FALSE(exists("from"));
  EXPECT_TRUE(platform_.linkOrCopy(at("moved"), at("kept")).ok());
  EXPECT_TRUE(platform_.replaceFile(at("moved"), at("to")).ok());
  EXPECT_EQ("new", read("to"));
  EXPECT_EQ("new", read("kept"));
  EXPECT_FALSE(platform_.replaceFile(at("moved"), at("to")).ok());
  EXPECT_FALSE(platform_.linkOrCopy(at("moved"), at("new")).ok());
  EXPECT_FALSE(exists("new"));
  EXPECT_TRUE(platform_.deleteFile(at("kept")).ok());
  EXPECT_FALSE(exists("kept"));
}

// Bytes go to disk and come back as they are: CR LF stays CR LF, a NUL stays a NUL.
TEST_F(PlatformTest, WritesCreateOnlyInExistingDirectoriesAndReadListAndSizeGiveAllBytes) {
  const std::string content = std::string("a\r\n\0b", 5) + std::string(100000, 'x');
  EXPECT_TRUE(platform_.writeNewFile(at("store"), content).ok());
  EXPECT_TRUE(platform_.createFile(at("store")).ok());
  EXPECT_EQ(content, read("store"));
  EXPECT_EQ(content.size(), platform_.fileSize(at("store")));
  EXPECT_TRUE(platform_.fileExists(at("store")));
  // File times and the current time count the same seconds since 1970.
  EXPECT_NEAR(platform_.currentTime(), fileTimeOf(at("store")), 60.0);
  EXPECT_TRUE(platform_.createFile(at("new")).ok());
  EXPECT_EQ(0u, platform_.fileSize(at("new")));
  EXPECT_TRUE(platform_.appendDurably(at("journal.log"), "one\r\n").ok());
  EXPECT_TRUE(platform_.appendDurably(at("journal.log"), "two\r\n").ok());
  EXPECT_EQ("one\r\ntwo\r\n", read("journal.log"));

  // Only the regular files of a directory are listed.
  test::writeFile(dir_.file("d/capture 1,a.bmp"), content);
  test::writeFile(dir_.file("d/sub/hidden"), "");
  std::string got;
  EXPECT_TRUE(platform_.readFile(at("d/capture 1,a.bmp"), &got).ok());
  EXPECT_EQ(content, got);
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(platform_.listDirectory(at("d"), &entries).ok());
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("capture 1,a.bmp", entries[0].name);
  EXPECT_EQ(content.size(), entries[0].size);

  EXPECT_FALSE(platform_.readFile(at("missing"), &got).ok());
  EXPECT_FALSE(platform_.fileSize(at("missing")));
  EXPECT_FALSE(platform_.fileExists(at("missing")));
  EXPECT_EQ(0u, fileTimeOf(at("missing")));
  EXPECT_EQ(0u, fileTimeOf(at("d")));
  EXPECT_FALSE(platform_.listDirectory(at("missing"), &entries).ok());
  EXPECT_FALSE(platform_.createFile(at("missing/store")).ok());
  EXPECT_FALSE(platform_.appendDurably(at("missing/journal.log"), "x").ok());
  EXPECT_FALSE(platform_.writeNewFile(at("missing/store"), "x").ok());
  std::unique_ptr<FileLock> lock;
  EXPECT_FALSE(platform_.lockFile(at("missing/corvantis.lock"), 0, &lock).ok());
  EXPECT_FALSE(exists("missing"));
}

TEST_F(PlatformTest, LockIsExclusiveAndWaitsOnlyTheGivenTime) {
  std::unique_ptr<FileLock> first, second;
  ASSERT_TRUE(platform_.lockFile(at("corvantis.lock"), 0, &first).ok());
  // Locks belong to the open file, so a second open in this process competes just as
  // another process would.
  EXPECT_FALSE(platform_.lockFile(at("corvantis.lock"), 20, &second).ok());
  EXPECT_EQ(nullptr, second);
  // Only those asking for the lock are kept out; the file itself stays readable.
  std::string content = "x";
  EXPECT_TRUE(platform_.readFile(at("corvantis.lock"), &content).ok());
  EXPECT_EQ("", content);
  first.reset();
  EXPECT_TRUE(platform_.lockFile(at("corvantis.lock"), 0, &second).ok());
}

}  // namespace
}  // namespace corvantis
