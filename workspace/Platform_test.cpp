// The contract of the real platform layer on real files; the same cases run on every
// system. What only one system has sits in PlatformPosix_test.cpp and
// PlatformWindows_test.cpp.
#include "workspace/Platform.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"

namespace corvantis {
namespace {

class PlatformTest : public ::testing::Test {
 protected:
  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformTest, FileTimeOfAMissingFileOrADirectoryIsZero) {
  EXPECT_EQ(0u, fileTimeOf(dir_.file("missing.bmp")));
  EXPECT_EQ(0u, fileTimeOf(dir_.path().string()));
}

TEST_F(PlatformTest, SizeAndExistenceOfFiles) {
  test::writeFile(dir_.file("a"), std::string(3000, 'a'));
  EXPECT_EQ(3000u, platform_.fileSize(dir_.file("a")));
  EXPECT_FALSE(platform_.fileSize(dir_.file("missing")));
  EXPECT_TRUE(platform_.fileExists(dir_.file("a")));
  EXPECT_FALSE(platform_.fileExists(dir_.file("missing")));
}

TEST_F(PlatformTest, MoveNoReplaceRefusesAnExistingTarget) {
  test::writeFile(dir_.file("from"), "new");
  test::writeFile(dir_.file("to"), "old");
  EXPECT_FALSE(platform_.moveNoReplace(dir_.file("from"), dir_.file("to")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("from")));
  EXPECT_EQ("old", test::readFile(dir_.file("to")));

  EXPECT_TRUE(platform_.moveNoReplace(dir_.file("from"), dir_.file("free")).ok());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("from")));
  EXPECT_EQ("new", test::readFile(dir_.file("free")));
  EXPECT_FALSE(platform_.moveNoReplace(dir_.file("from"), dir_.file("other")).ok());
}

TEST_F(PlatformTest, ListsTheFilesOfADirectoryAndLinksOneWithoutReplacing) {
  test::writeFile(dir_.file("d/capture 1,a.bmp"), "pixels");
  test::writeFile(dir_.file("d/sub/hidden"), "");
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(platform_.listDirectory(dir_.file("d"), &entries).ok());
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("capture 1,a.bmp", entries[0].name);
  EXPECT_EQ(6u, entries[0].size);
  EXPECT_FALSE(platform_.listDirectory(dir_.file("missing"), &entries).ok());

  EXPECT_TRUE(platform_.linkOrCopy(dir_.file("d/capture 1,a.bmp"), dir_.file("kept")).ok());
  EXPECT_EQ("pixels", test::readFile(dir_.file("kept")));
  test::writeFile(dir_.file("other"), "other");
  EXPECT_FALSE(platform_.linkOrCopy(dir_.file("other"), dir_.file("kept")).ok());
  EXPECT_EQ("pixels", test::readFile(dir_.file("kept")));
  EXPECT_FALSE(platform_.linkOrCopy(dir_.file("missing"), dir_.file("new")).ok());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("new")));
}

TEST_F(PlatformTest, WriteNewFileRefusesAnExistingFile) {
  EXPECT_TRUE(platform_.writeNewFile(dir_.file("t"), "a\r\nb").ok());
  EXPECT_EQ("a\r\nb", test::readFile(dir_.file("t")));
  const Status again = platform_.writeNewFile(dir_.file("t"), "other");
  EXPECT_FALSE(again.ok());
  EXPECT_NE(std::string::npos, again.message().find(dir_.file("t"))) << again.message();
  EXPECT_EQ("a\r\nb", test::readFile(dir_.file("t")));
}

TEST_F(PlatformTest, ReplaceFilePutsTheNewFileInPlace) {
  test::writeFile(dir_.file("store"), "old");
  test::writeFile(dir_.file("store.tmp"), "new");
  EXPECT_TRUE(platform_.replaceFile(dir_.file("store.tmp"), dir_.file("store")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("store")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("store.tmp")));
  EXPECT_FALSE(platform_.replaceFile(dir_.file("store.tmp"), dir_.file("store")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("store")));
}

TEST_F(PlatformTest, AppendDurablyCreatesAndAppends) {
  const std::string path = dir_.file("journal.log");
  EXPECT_TRUE(platform_.appendDurably(path, "one\r\n").ok());
  EXPECT_TRUE(platform_.appendDurably(path, "two\r\n").ok());
  EXPECT_EQ("one\r\ntwo\r\n", test::readFile(path));
  EXPECT_FALSE(platform_.appendDurably(dir_.file("missing/journal.log"), "x").ok());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
}

TEST_F(PlatformTest, CreateFileKeepsAnExistingFileAndReadFileGivesAllBytes) {
  const std::string content = std::string("a\r\n\0b", 5) + std::string(100000, 'x');
  test::writeFile(dir_.file("store"), content);
  EXPECT_TRUE(platform_.createFile(dir_.file("store")).ok());
  std::string read;
  EXPECT_TRUE(platform_.readFile(dir_.file("store"), &read).ok());
  EXPECT_EQ(content, read);

  EXPECT_TRUE(platform_.createFile(dir_.file("new")).ok());
  EXPECT_TRUE(platform_.readFile(dir_.file("new"), &read).ok());
  EXPECT_EQ("", read);
  EXPECT_FALSE(platform_.createFile(dir_.file("missing/store")).ok());
  EXPECT_FALSE(platform_.readFile(dir_.file("absent"), &read).ok());
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
