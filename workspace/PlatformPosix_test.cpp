#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"
#include "workspace/Platform.h"

namespace corvantis {
namespace {

class PlatformPosixTest : public ::testing::Test {
 protected:
  void setModificationTime(const std::string& path, time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), times, 0));
  }

  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformPosixTest, FileTimeIsWholeSecondsOfTheLastWrite) {
  const std::string path = dir_.file("ref.bmp");
  test::writeFile(path, "image");
  setModificationTime(path, 0);
  EXPECT_EQ(0u, fileTimeOf(path));
  setModificationTime(path, 1);
  EXPECT_EQ(1u, fileTimeOf(path));
  const struct timespec late[2] = {{1700000000, 999999999}, {1700000000, 999999999}};
  ASSERT_EQ(0, ::utimensat(AT_FDCWD, path.c_str(), late, 0));
  EXPECT_EQ(1700000000u, fileTimeOf(path));
  EXPECT_EQ(0u, fileTimeOf(dir_.file("missing.bmp")));
}

TEST_F(PlatformPosixTest, SizeAndExistenceOfFiles) {
  test::writeFile(dir_.file("a"), std::string(3000, 'a'));
  EXPECT_EQ(3000u, platform_.fileSize(dir_.file("a")));
  EXPECT_FALSE(platform_.fileSize(dir_.file("missing")));
  EXPECT_TRUE(platform_.fileExists(dir_.file("a")));
  EXPECT_FALSE(platform_.fileExists(dir_.file("missing")));
}

TEST_F(PlatformPosixTest, MoveNoReplaceRefusesAnExistingTarget) {
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

TEST_F(PlatformPosixTest, WriteNewFileRefusesAnExistingFile) {
  EXPECT_TRUE(platform_.writeNewFile(dir_.file("t"), "a\r\nb").ok());
  EXPECT_EQ("a\r\nb", test::readFile(dir_.file("t")));
  const Status again = platform_.writeNewFile(dir_.file("t"), "other");
  EXPECT_FALSE(again.ok());
  EXPECT_NE(std::string::npos, again.message().find(dir_.file("t"))) << again.message();
  EXPECT_EQ("a\r\nb", test::readFile(dir_.file("t")));
}

TEST_F(PlatformPosixTest, ReplaceFilePutsTheNewFileInPlace) {
  test::writeFile(dir_.file("store"), "old");
  test::writeFile(dir_.file("store.tmp"), "new");
  EXPECT_TRUE(platform_.replaceFile(dir_.file("store.tmp"), dir_.file("store")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("store")));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("store.tmp")));
  EXPECT_FALSE(platform_.replaceFile(dir_.file("store.tmp"), dir_.file("store")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("store")));
}

TEST_F(PlatformPosixTest, AppendDurablyCreatesAndAppends) {
  const std::string path = dir_.file("journal.log");
  EXPECT_TRUE(platform_.appendDurably(path, "one\r\n").ok());
  EXPECT_TRUE(platform_.appendDurably(path, "two\r\n").ok());
  EXPECT_EQ("one\r\ntwo\r\n", test::readFile(path));
  EXPECT_FALSE(platform_.appendDurably(dir_.file("missing/journal.log"), "x").ok());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
}

TEST_F(PlatformPosixTest, CreateFileKeepsAnExistingFileAndReadFileGivesAllBytes) {
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

TEST_F(PlatformPosixTest, LockIsExclusiveAndWaitsOnlyTheGivenTime) {
  const std::string path = dir_.file("corvantis.lock");
  std::unique_ptr<FileLock> first, second;
  ASSERT_TRUE(platform_.lockFile(path, 0, &first).ok());
  // flock() locks belong to the open file, so a second open in this process competes
  // just as another process would.
  EXPECT_FALSE(platform_.lockFile(path, 20, &second).ok());
  EXPECT_EQ(nullptr, second);
  first.reset();
  EXPECT_TRUE(platform_.lockFile(path, 0, &second).ok());
  EXPECT_FALSE(platform_.lockFile(dir_.file("missing/corvantis.lock"), 0, &first).ok());
}

}  // namespace
}  // namespace corvantis
