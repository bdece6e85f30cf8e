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

TEST(ArchiveName, StartsWithTheTimeAndMakesTheStepSafe) {
  const std::pair<std::string, std::string> cases[] = {
      {"..\\x:*?", "20261205-070409_.._x____cap.bmp"},
      {"", "20261205-070409__cap.bmp"},
      {"AZaz09.-_@[`{/", "20261205-070409_AZaz09.-_______cap.bmp"},
      {std::string(300, 's'), "20261205-070409_" + std::string(64, 's') + "_cap.bmp"},
  };
  for (const auto& [step, name] : cases)
    EXPECT_EQ(name, archiveName(LocalTime{2026, 12, 5, 7, 4, 9, 60}, step, "cap.bmp")) << step;
}

// Only while the archive directory exists; then the capture (6 bytes) joins two archived
// files of 10 bytes each, once however often it is rejected in one second, and the oldest
// go to keep the directory within the file count and the size.
TEST_F(RejectArchiveTest, KeepsTheCaptureOnceAndDropsTheOldestToStayWithinTheLimits) {
  archive();
  EXPECT_EQ(std::vector<std::string>{"cap/cap_0001.bmp"}, test::filesBelow(dir_.path().string()));
  const std::string a = "20250101-000000_1_a.bmp", b = "20250102-000000_1_b.bmp";
  const std::pair<ArchiveLimits, std::vector<std::string>> cases[] = {
      {{3, 26}, {a, b, kKept}},
      {{2, 1000}, {b, kKept}},
      {{5, 25}, {b, kKept}},
  };
  for (const auto& [limits, after] : cases) {
    std::filesystem::remove_all(rejects_);
    put(a);
    put(b);
    archive(limits);
    archive(limits);
    EXPECT_EQ(after, test::fileNamesIn(rejects_)) << limits.maxFiles << ", " << limits.maxBytes;
  }
  EXPECT_EQ("pixels", test::readFile(rejects_ + "/" + kKept));
  EXPECT_EQ("", told_.str());
}

TEST_F(RejectArchiveTest, AFailedCopyIsToldAndDropsNothing) {
  put("20250101-000000_1_a.bmp");
  platform_.failOn("linkOrCopy", "cap_0001", "No space left on device");
  archive(ArchiveLimits{1, 1000});
  EXPECT_EQ(std::vector<std::string>{"20250101-000000_1_a.bmp"}, test::fileNamesIn(rejects_));
  EXPECT_TRUE(test::holds(told_.str(), "No space left on device"));
}

}  // namespace
}  // namespace corvantis
