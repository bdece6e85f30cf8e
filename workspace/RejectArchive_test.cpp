#include "workspace/RejectArchive.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test/FakePlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

constexpr char kRejects[] = "/cell/robots/R1/debug/rejects";
constexpr char kCapture[] = "/cell/cap/cap_0001.bmp";
constexpr char kKept[] = "20261205-070409_12_cap_0001.bmp";

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
    std::string step;
    std::string name;
  } cases[] = {
      {"12", "20261205-070409_12_cap.bmp"},
      {"left, top/2", "20261205-070409_left__top_2_cap.bmp"},
      {"..\\x:*?", "20261205-070409_.._x____cap.bmp"},
      {"", "20261205-070409__cap.bmp"},
      {"AZaz09.-_@[`{/", "20261205-070409_AZaz09.-_______cap.bmp"},
      {std::string(300, 's'), "20261205-070409_" + std::string(64, 's') + "_cap.bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.name, archiveName(time, c.step, "cap.bmp")) << c.step;
}

TEST_F(RejectArchiveTest, KeepsTheCaptureOnceOnlyWhileTheDirectoryExists) {
  archive();
  EXPECT_EQ(std::vector<std::string>{kCapture}, platform_.fileNames());
  platform_.addDirectory(kRejects);
  archive();
  archive();
  EXPECT_EQ(std::vector<std::string>{kKept}, archived());
  EXPECT_EQ("pixels", platform_.contentOf(std::string(kRejects) + "/" + kKept));
  EXPECT_EQ("", diagnostics_.str());
}

// Two archived files of 10 bytes each, then the capture of 6.
TEST_F(RejectArchiveTest, DropsTheOldestToStayWithinTheFileCountAndTheSize) {
  const std::string a = "20250101-000000_1_a.bmp", b = "20250102-000000_1_b.bmp";
  const struct {
    ArchiveLimits limits;
    std::vector<std::string> after;
  } cases[] = {
      {{3, 26}, {a, b, kKept}},
      {{2, 1000}, {b, kKept}},
      {{5, 25}, {b, kKept}},
      {{1, 1000}, {kKept}},
  };
  for (const auto& c : cases) {
    platform_.putFile(std::string(kRejects) + "/" + a, "0123456789");
    platform_.putFile(std::string(kRejects) + "/" + b, "0123456789");
    platform_.deleteFile(std::string(kRejects) + "/" + kKept);
    archive("12", c.limits);
    EXPECT_EQ(c.after, archived()) << c.limits.maxFiles << " files, " << c.limits.maxBytes;
  }
}

TEST_F(RejectArchiveTest, AFailedCopyIsToldAndDropsNothing) {
  platform_.putFile(std::string(kRejects) + "/20250101-000000_1_a.bmp", "");
  platform_.failOn(test::FakePlatform::Op::linkOrCopy, "cap_0001", "No space left on device");
  archive("12", ArchiveLimits{1, 1000});
  EXPECT_EQ(std::vector<std::string>{"20250101-000000_1_a.bmp"}, archived());
  EXPECT_TRUE(test::holds(diagnostics_.str(), "No space left on device"));
}

}  // namespace
}  // namespace corvantis
