// The contract of the real platform layer on real files, the same on every system; what
// only one system has is in PlatformPosix_test.cpp and PlatformWindows_test.cpp.
#include "workspace/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <set>

#include "test/TestUtil.h"
#include "workspace/FileNames.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

class PlatformTest : public ::testing::Test {
 protected:
  // The platform is handed paths as the workspace derives them, with doubled separators
  // that every system must read as one; the tests look at the files by their plain names.
  std::string at(const std::string& name) const {
    return doubleBackslashes(dir_.path().string()) + kPathSeparator + kPathSeparator + name;
  }

  Platform& platform_ = defaultPlatform();
  test::TempDir dir_;
};

TEST_F(PlatformTest, WorkingDirectoryAndLocalTime) {
  // A root keeps its separator ("/", "C:\"), which the temporary files' root then drops.
  const std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(cwd.root_path());
  EXPECT_EQ(cwd.root_path().string(), platform_.workingDirectory());
  std::filesystem::current_path(cwd);
  // Read between two clock readings, the local time is the hour of one of them, even
  // when the clock passes the hour in between.
  const auto hourAt = [](std::time_t t) {
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H", std::localtime(&t));
    return std::string(text);
  };
  const std::time_t before = std::time(nullptr);
  const LocalTime local = platform_.localTime();
  const std::time_t after = std::time(nullptr);
  char got[32];
  std::snprintf(got, sizeof got, "%04u-%02u-%02u %02u", local.year, local.month, local.day,
                local.hour);
  EXPECT_TRUE(got == hourAt(before) || got == hourAt(after)) << got;
}

// The moves and copies that must not replace refuse an existing target and leave both
// files as they were; replaceFile takes its place.
TEST_F(PlatformTest, OnlyReplaceFileReplacesAnExistingFile) {
  test::writeFile(dir_.file("from"), "new");
  test::writeFile(dir_.file("to"), "old");
  EXPECT_FALSE(platform_.moveNoReplace(at("from"), at("to")).ok());
  EXPECT_FALSE(platform_.copyFile(at("from"), at("to")).ok());
  const Status again = platform_.writeNewFile(at("to"), "other");
  EXPECT_TRUE(test::holds(again.message(), at("to") + ": "));
  EXPECT_TRUE(test::holds(again.message(), "exists"));
  EXPECT_EQ("old", test::readFile(dir_.file("to")));

  EXPECT_TRUE(platform_.moveNoReplace(at("from"), at("moved")).ok());
  EXPECT_TRUE(platform_.replaceFile(at("moved"), at("to")).ok());
  EXPECT_FALSE(platform_.replaceFile(at("moved"), at("to")).ok());
  EXPECT_FALSE(platform_.copyFile(at("moved"), at("new")).ok());
  EXPECT_EQ("new", test::readFile(dir_.file("to")));
  EXPECT_EQ(std::vector<std::string>{"to"}, test::fileNamesIn(dir_.path().string()));
}

// A copy keeps the bytes the file had, in pieces beyond one buffer too, when the camera
// then rewrites its capture in place (as a hard link would not); a copy that fails leaves
// nothing behind.
TEST_F(PlatformTest, CopyKeepsTheBytesOfItsMomentOrLeavesNothing) {
  std::string large;
  for (std::size_t n = 0; large.size() < (3u << 20) + 5; ++n) large += std::to_string(n) + ",";
  const struct {
    const char* name;
    std::string content;  // empty: no file to copy
    bool copied;
  } cases[] = {{"small", "pixels", true}, {"large", large, true}, {"missing", "", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.content.empty()) test::writeFile(dir_.file("cap.bmp"), c.content);
    EXPECT_EQ(c.copied, platform_.copyFile(at("cap.bmp"), at("kept.bmp")).ok());
    if (!c.content.empty()) test::writeFile(dir_.file("cap.bmp"), "next capture");
    EXPECT_EQ(c.content, test::readFile(dir_.file("kept.bmp")));
    EXPECT_EQ(c.copied, std::filesystem::exists(dir_.file("kept.bmp")));
    std::filesystem::remove(dir_.file("kept.bmp"));
    std::filesystem::remove(dir_.file("cap.bmp"));
  }
}

// Bytes go to disk and come back as they are: CR LF stays CR LF, a NUL stays a NUL. Nothing
// is created where the directory is missing.
TEST_F(PlatformTest, WritesCreateOnlyInExistingDirectoriesAndReadListAndSizeGiveAllBytes) {
  const std::string content = std::string("a\r\n\0b", 5) + std::string(100000, 'x');
  test::writeFile(dir_.file("d/sub/hidden"), "");
  EXPECT_TRUE(platform_.writeNewFile(at("d/store"), content).ok());
  EXPECT_TRUE(platform_.appendDurably(at("d/store"), "one\r\n").ok());
  std::string got;
  EXPECT_TRUE(platform_.readFile(at("d/store"), &got).ok());
  EXPECT_EQ(content + "one\r\n", got);
  // Read in pieces, the file gives the same bytes, a short piece only at its end.
  std::unique_ptr<ReadableFile> file;
  ASSERT_TRUE(platform_.openForReading(at("d/store"), &file).ok());
  std::string pieces(got.size() + 7, '?');
  std::size_t first = 0, second = 0, after = 1;
  EXPECT_TRUE(file->read(&pieces[0], 3, &first).ok());
  EXPECT_TRUE(file->read(&pieces[first], pieces.size() - first, &second).ok());
  EXPECT_TRUE(file->read(&pieces[0], 1, &after).ok());
  EXPECT_EQ(3u, first);
  EXPECT_EQ(0u, after);
  EXPECT_EQ(got, pieces.substr(0, first + second));
  // File times and the current time count the same seconds since 1970.
  EXPECT_NEAR(platform_.currentTime(), fileTimeOf(at("d/store")), 60.0);
  // Only the regular files of a directory are listed.
  std::vector<DirectoryEntry> entries;
  ASSERT_TRUE(platform_.listDirectory(at("d"), &entries).ok());
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("store", entries[0].name);
  EXPECT_EQ(got.size(), entries[0].size);

  EXPECT_FALSE(platform_.readFile(at("missing"), &got).ok());
  EXPECT_FALSE(platform_.openForReading(at("missing"), &file).ok());
  EXPECT_FALSE(platform_.fileSize(at("missing")));
  EXPECT_FALSE(platform_.fileExists(at("missing")));
  EXPECT_EQ(0u, fileTimeOf(at("missing")));
  EXPECT_EQ(0u, fileTimeOf(at("d")));
  EXPECT_FALSE(platform_.listDirectory(at("missing"), &entries).ok());
  const Status noDirectory = platform_.createFile(at("missing/store"));
  EXPECT_FALSE(noDirectory.ok());
  EXPECT_FALSE(platform_.appendDurably(at("missing/journal.log"), "x").ok());
  EXPECT_FALSE(platform_.writeNewFile(at("missing/store"), "x").ok());
  std::unique_ptr<FileLock> lock, held;
  // Told for the missing directory, as the create is, not for a later step.
  EXPECT_EQ(noDirectory.reason(),
            platform_.lockFile(at("missing/corvantis.lock"), 0, &lock).reason());
  EXPECT_FALSE(std::filesystem::exists(dir_.file("missing")));
  // Locks belong to the open file, so a second open in this process competes just as
  // another process would, and gives up once the given time has passed.
  ASSERT_TRUE(platform_.lockFile(at("corvantis.lock"), 0, &held).ok());
  EXPECT_FALSE(platform_.lockFile(at("corvantis.lock"), 20, &lock).ok());
}

// Each unique file gets a name of its own after the prefix, with its whole content, so
// that writers who cannot tell each other apart never share one; without the directory
// there is none.
TEST_F(PlatformTest, UniqueFilesEachGetANameOfTheirOwn) {
  std::set<std::string> names;
  for (int n = 0; n < 20; ++n) {
    std::string path;
    ASSERT_TRUE(platform_.writeUniqueFile(at("a_kivro.tmp."), std::to_string(n), &path).ok());
    EXPECT_EQ(0u, path.rfind(at("a_kivro.tmp."), 0)) << path;
    EXPECT_EQ(std::to_string(n), test::readFile(path));
    names.insert(path);
  }
  EXPECT_EQ(20u, names.size());
  std::string path;
  EXPECT_FALSE(platform_.writeUniqueFile(at("missing/a_kivro.tmp."), "x", &path).ok());
  EXPECT_EQ(20u, test::fileNamesIn(dir_.path().string()).size());
}

}  // namespace
}  // namespace corvantis
