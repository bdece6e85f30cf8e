#include "workspace/RejectArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "test/FakePlatform.h"

namespace corvantis {
namespace {

using Op = test::FakePlatform::Op;

constexpr char kRejects[] = "/cell/robots/R1/debug/rejects";
constexpr char kCapture[] = "/cell/cap/cap_0001.bmp";

class RejectArchiveTest : public ::testing::Test {
 protected:
  RejectArchiveTest() { platform_.putFile(kCapture, "pixels"); }
  void archive(const std::string& step = "12", const ArchiveLimits& limits = ArchiveLimits()) {
    archiveReject(platform_, kRejects, kCapture, step, diagnostics_, limits);
  }
  std::vector<std::string> archived() const {
    std::vector<DirectoryEntry> entries;
    platform_.listDirectory(kRejects, &entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) names.push_back(entry.name);
    return names;
  }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST(ArchiveName, StartsWithTheTimeAndMakesTheStepSafe) {
  const LocalTime time{2026, 12, 5, 7, 4, 9, 60};
  const struct {
    const char* step;
    const char* name;
  } cases[] = {
      {"12", "20261205-070409_12_cap.bmp"},
      {"left, top/2", "20261205-070409_left__top_2_cap.bmp"},
      {"..\\x:*?", "20261205-070409_.._x____cap.bmp"},
      {"", "20261205-070409__cap.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, archiveName(time, c.step, "cap.bmp")) << c.step;
  EXPECT_EQ(kArchiveMaxStepChars, safeStepName(std::string(300, 's')).size());
}

TEST_F(RejectArchiveTest, KeepsTheCaptureOnlyWhileTheDirectoryExists) {
  archive();
  EXPECT_FALSE(platform_.contentOf(std::string(kRejects) + "/20261205-070409_12_cap_0001.bmp"));
  platform_.addDirectory(kRejects);
  archive("left, top");
  archive("left, top");
  EXPECT_EQ(std::vector<std::string>{"20261205-070409_left__top_cap_0001.bmp"}, archived());
  EXPECT_EQ("pixels",
            platform_.contentOf(std::string(kRejects) + "/20261205-070409_left__top_cap_0001.bmp"));
  EXPECT_EQ("", diagnostics_.str());
}

TEST_F(RejectArchiveTest, DropsTheOldestToStayWithinTheFileCount) {
  platform_.addDirectory(kRejects);
  for (std::size_t i = 0; i < kArchiveMaxFiles; ++i)
    platform_.putFile(std::string(kRejects) + "/2025" + std::to_string(1000 + i) + "_old.bmp", "");
  archive();
  const std::vector<std::string> names = archived();
  EXPECT_EQ(kArchiveMaxFiles, names.size());
  EXPECT_EQ(0, std::count(names.begin(), names.end(), "20251000_old.bmp"));
  EXPECT_EQ(1, std::count(names.begin(), names.end(), "20261205-070409_12_cap_0001.bmp"));
}

TEST_F(RejectArchiveTest, DropsTheOldestToStayWithinTheSize) {
  platform_.addDirectory(kRejects);
  platform_.putFile(std::string(kRejects) + "/20250101-000000_1_a.bmp", "0123456789");
  platform_.putFile(std::string(kRejects) + "/20250102-000000_1_b.bmp", "0123456789");
  archive("12", ArchiveLimits{kArchiveMaxFiles, 20});  // the capture has 6 bytes
  EXPECT_EQ(
      (std::vector<std::string>{"20250102-000000_1_b.bmp", "20261205-070409_12_cap_0001.bmp"}),
      archived());
}

TEST_F(RejectArchiveTest, AFailedCopyIsToldAndDropsNothing) {
  platform_.addDirectory(kRejects);
  platform_.putFile(std::string(kRejects) + "/20250101-000000_1_a.bmp", "");
  platform_.failOn(Op::linkOrCopy, "cap_0001", "No space left on device");
  archive();
  EXPECT_EQ(std::vector<std::string>{"20250101-000000_1_a.bmp"}, archived());
  EXPECT_NE(std::string::npos, diagnostics_.str().find("No space left on device"));
}

}  // namespace
}  // namespace corvantis
