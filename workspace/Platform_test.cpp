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

namespace corvantis {
namespace {

class PlatformTest : public ::testing::Test {
 protected:
  std::string read(const std::string& name) const { return test::readFile(dir_.file(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_.file(name)); }

  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformTest, SizeTimeAndExistenceOfFilesTheWorkingDirectoryAndTheLocalTime) {
  EXPECT_EQ(std::filesystem::current_path().string(), platform_.workingDirectory());
  const LocalTime local = platform_.localTime();
  const std::time_t now = std::time(nullptr);
  char expected[32], got[32];
  std::strftime(expected, sizeof expected, "%Y-%m-%d %H", std::localtime(&now));
  std::snprintf(got, sizeof got, "%04u-%02u-%02u %02u", local.year, local.month, local.day,
                local.hour);
  EXPECT_EQ(std::string(expected), got);
  test::writeFile(dir_.file("a"), std::string(3000, 'a'));
  EXPECT_EQ(3000u, platform_.fileSize(dir_.file("a")));
  EXPECT_TRUE(platform_.fileExists(dir_.file("a")));
  EXPECT_FALSE(platform_.fileSize(dir_.file("missing")));
  EXPECT_FALSE(platform_.fileExists(dir_.file("missing")));
  EXPECT_EQ(0u, fileTimeOf(dir_.file("missing")));
  EXPECT_EQ(0u, fileTimeOf(dir_.path().string()));
}

// The moves and copies that must not replace refuse an existing target and leave both
// files as they were; replaceFile takes its place.
TEST_F(PlatformTest, OnlyReplaceFileReplacesAnExistingFile) {
  test::writeFile(dir_.file("from"), "new");
  test::writeFile(dir_.file("to"), "old");
  EXPECT_FALSE(platform_.moveNoReplace(dir_.file("from"), dir_.file("to")).ok());
  EXPECT_FALSE(platform_.linkOrCopy(dir_.file("from"), dir_.file("to")).ok());
  const Status again = platform_.writeNewFile(dir_.file("to"), "other");
  EXPECT_TRUE(test::holds(again.message(), dir_.file("to") + ": "));
  EXPECT_TRUE(test::holds(again.message(), "exists"));
  EXPECT_EQ("new", read("from"));
  EXPECT_EQ("old", read("to"));

  EXPECT_TRUE(platform_.moveNoReplace(dir_.file("from"), dir_.file("moved")).ok());
  EXPECT_FALSE(exists("from"));
  EXPECT_TRUE(platform_.linkOrCopy(dir_.file("moved"), dir_.file("kept")).ok());
  EXPECT_TRUE(platform_.replaceFile(dir_.file("moved"), dir_.file("to")).ok());
  EXPECT_EQ("new", read("to"));
  EXPECT_EQ("new", read("kept"));
  EXPECT_FALSE(platform_.replaceFile(dir_.file("moved"), dir_.file("to")).ok());
  EXPECT_FALSE(platform_.linkOrCopy(dir_.file("moved"), dir_.file("new")).ok());
  EXPECT_FALSE(exists("new"));
  EXPECT_EQ("new", read("to"));
}

TEST_F(PlatformTest, ListsTheRegularFilesOfADirectory) {
  test::writeFile(dir_.file("d/capture 1,a.bmp"), "pixels");
  test::writeFile(dir_.file("d/sub/hidden"), "");
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(platform_.listDirectory(dir_.file("d"), &entries).ok());
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("capture 1,a.bmp", entries[0].name);
  EXPECT_EQ(6u, entries[0].size);
  EXPECT_FALSE(platform_.listDirectory(dir_.file("missing"), &entries).ok());
}

TEST_F(PlatformTest, WritesCreateOnlyInExistingDirectoriesAndReadGivesAllBytes) {
  const std::string content = std::string("a\r\n\0b", 5) + std::string(100000, 'x');
  EXPECT_TRUE(platform_.writeNewFile(dir_.file("store"), content).ok());
  EXPECT_TRUE(platform_.createFile(dir_.file("store")).ok());
  std::string got;
  EXPECT_TRUE(platform_.readFile(dir_.file("store"), &got).ok());
  EXPECT_EQ(content, got);
  EXPECT_TRUE(platform_.createFile(dir_.file("new")).ok());
  EXPECT_TRUE(platform_.readFile(dir_.file("new"), &got).ok());
  EXPECT_EQ("", got);
  EXPECT_TRUE(platform_.appendDurably(dir_.file("journal.log"), "one\r\n").ok());
  EXPECT_TRUE(platform_.appendDurably(dir_.file("journal.log"), "two\r\n").ok());
  EXPECT_EQ("one\r\ntwo\r\n", read("journal.log"));

  EXPECT_FALSE(platform_.readFile(dir_.file("absent"), &got).ok());
  EXPECT_FALSE(platform_.createFile(dir_.file("missing/store")).ok());
  EXPECT_FALSE(platform_.appendDurably(dir_.file("missing/journal.log"), "x").ok());
  EXPECT_FALSE(platform_.writeNewFile(dir_.file("missing/store"), "x").ok());
  EXPECT_FALSE(exists("missing"));
}

TEST_F(PlatformTest, LockIsExclusiveAndWaitsOnlyTheGivenTime) {
  const std::string path = dir_.file("corvantis.lock");
  std::unique_ptr<FileLock> first, second;
  ASSERT_TRUE(platform_.lockFile(path, 0, &first).ok());
  // Locks belong to the open file, so a second open in this process competes just as
  // another process would.
  EXPECT_FALSE(platform_.lockFile(path, 20, &second).ok());
  EXPECT_EQ(nullptr, second);
  // Only those asking for the lock are kept out; the file itself stays readable.
  std::string content = "x";
  EXPECT_TRUE(platform_.readFile(path, &content).ok());
  EXPECT_EQ("", content);
  first.reset();
  EXPECT_TRUE(platform_.lockFile(path, 0, &second).ok());
  EXPECT_FALSE(platform_.lockFile(dir_.file("missing/corvantis.lock"), 0, &first).ok());
}

}  // namespace
}  // namespace corvantis
