#include "workspace/RejectArchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

constexpr char kKept[] = "20261205-070409_12_cap_0001.bmp";

class RejectArchiveTest : public ::testing::Test {
 protected:
  RejectArchiveTest() { test::writeFile(capture_, "pixels"); }
  void archive(const ArchiveLimits& limits = ArchiveLimits()) {
    archiveReject(platform_, rejects_, capture_, "12", told_, limits);
  }
  // Puts a file of 10 bytes into the archive.
  void put(const std::string& name) const { test::writeFile(rejects_ + "/" + name, "0123456789"); }

  test::TempDir dir_;
  const std::string rejects_ = dir_.file("robots/R1/debug/rejects");
  const std::string capture_ = dir_.file("cap/cap_0001.bmp");
  test::TestPlatform platform_;
  std::ostringstream told_;
};

// Names stay within 255 bytes, the capture's name losing bytes before its extension and
// never half a UTF-8 character ("\xc3\xa9" is an e with an accent).
TEST(ArchiveName, StartsWithTheTimeMakesTheStepSafeAndKeepsWithin255Bytes) {
  const std::string s64(64, 's'), e2 = "\xc3\xa9";
  const std::string e65 = "_" + s64 + "_";
  const struct {
    std::string step, file, name;
  } cases[] = {
      {"..\\x:*?", "cap.bmp", "_.._x____cap.bmp"},
      {"", "cap.bmp", "__cap.bmp"},
      {"AZaz09.-_@[`{/", "cap.bmp", "_AZaz09.-_______cap.bmp"},
      {std::string(300, 's'), "cap.bmp", e65 + "cap.bmp"},
      {s64, std::string(174, 'c'), e65 + std::string(174, 'c')},
      {s64, std::string(175, 'c'), e65 + std::string(174, 'c')},
      {s64, std::string(300, 'c') + ".bmp", e65 + std::string(170, 'c') + ".bmp"},
      {s64, std::string(168, 'c') + e2 + e2 + "c.bmp", e65 + std::string(168, 'c') + e2 + ".bmp"},
      {s64, std::string(169, 'c') + e2 + e2 + "c.bmp", e65 + std::string(169, 'c') + ".bmp"},
      {s64, "c." + std::string(300, 'x'), e65 + "c." + std::string(172, 'x')},
  };
  for (const auto& c : cases) {
    const std::string name = archiveName(LocalTime{2026, 12, 5, 7, 4, 9, 60}, c.step, c.file);
    EXPECT_EQ("20261205-070409" + c.name, name) << c.step << " " << c.file;
    EXPECT_GE(kArchiveMaxNameBytes, name.size());
  }
}

// Only while the archive directory exists; then the capture (6 bytes) joins two archived
// files of 10 bytes each, once however often it is rejected in one second, and the oldest
// go to keep the directory within the file count and the size. Files of other names are
// neither counted nor dropped; an archived file that cannot be deleted is told and passed
// over for the next oldest.
TEST_F(RejectArchiveTest, KeepsTheCaptureOnceAndDropsTheOldestToStayWithinTheLimits) {
  archive();
  EXPECT_EQ(std::vector<std::string>{"cap/cap_0001.bmp"}, test::filesBelow(dir_.path().string()));
  const std::string a = "20250101-000000_1_a.bmp", b = "20250102-000000_1_b.bmp";
  const std::string notes = "0-notes.txt", bare = "20250101-000000.bmp",
                    c = "20250103-0000_1_x.bmp";
  const struct {
    ArchiveLimits limits;
    std::vector<std::string> others;  // put there by a person, each of 10 bytes
    const char* undeletable;          // empty: all can be deleted
    std::vector<std::string> after;
  } cases[] = {
      {{3, 26}, {}, "", {a, b, kKept}},
      {{2, 1000}, {}, "", {b, kKept}},
      {{5, 25}, {}, "", {b, kKept}},
      {{2, 1000}, {notes, bare, c}, "", {notes, bare, b, c, kKept}},
      {{2, 1000}, {}, "_a.bmp", {a, kKept}},
      {{1, 1000}, {}, "_a.bmp", {a}},
  };
  for (const auto& t : cases) {
    std::filesystem::remove_all(rejects_);
    for (const std::string& name : t.others) put(name);
    put(a);
    put(b);
    test::TestPlatform platform;
    if (*t.undeletable != '\0') platform.failOn("deleteFile", t.undeletable);
    std::ostringstream told;
    archiveReject(platform, rejects_, capture_, "12", told, t.limits);
    archiveReject(platform, rejects_, capture_, "12", told, t.limits);
    EXPECT_EQ(t.after, test::fileNamesIn(rejects_))
        << t.limits.maxFiles << ", " << t.limits.maxBytes << ", " << t.others.size();
    EXPECT_EQ(*t.undeletable != '\0', test::holds(told.str(), "injected failure")) << told.str();
  }
}

TEST_F(RejectArchiveTest, AFailedCopyIsToldAndDropsNothing) {
  put("20250101-000000_1_a.bmp");
  platform_.failOn("copyFile", "cap_0001", "No space left on device");
  archive(ArchiveLimits{1, 1000});
  EXPECT_EQ(std::vector<std::string>{"20250101-000000_1_a.bmp"}, test::fileNamesIn(rejects_));
  EXPECT_TRUE(test::holds(told_.str(), "No space left on device"));
}

}  // namespace
}  // namespace corvantis
