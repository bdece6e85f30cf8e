// The sample cell in examples/: its captures as a set-up for the check sees them, and
// the copy of it that the end-to-end tests work in.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "test/RunProgram.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::RunResult;

// The sample cell shows a camera set up for the check: every good capture is accepted
// well below the demo's tolerance of 0.1 (at 0.065) and every bad one rejected well
// above it (at 0.15).
TEST(SampleCellTest, GoodCapturesPassAndBadOnesFailAtTheDemosToleranceWithAMargin) {
  const test::TestCell cell(CORVANTIS_SOURCE_DIR "/examples/cell");
  const std::string ref = cell.file("robots/R1/ref/part.png");
  const std::string good = cell.file("robots/R1/cap/good/"), bad = cell.file("robots/R1/cap/bad/");
  EXPECT_EQ(6u, test::fileNamesIn(good).size());
  EXPECT_EQ((std::vector<std::string>{"hole_missing.png", "mirrored.png", "part_absent.png",
                                      "screw_on_tray.png", "turned_180.png"}),
            test::fileNamesIn(bad));
  for (const auto& [dir, tolerance, verdict] :
       {std::tuple(good, "0.065", "1"), std::tuple(bad, "0.15", "0")}) {
    for (const std::string& name : test::fileNamesIn(dir))
      EXPECT_EQ(verdict, cell.run({"12", ref, dir + name, tolerance}).out) << name;
  }
}

// A cell that has run checks holds a journal, a store, a values log and archived
// rejects beside its images (the demo used to leave the first two in the sample cell);
// the tests' copy of it starts with the images alone, as on a fresh clone.
TEST(SampleCellTest, CopyOfACellThatRanChecksHoldsItsImagesAlone) {
  test::TempDir used;
  fs::copy(CORVANTIS_SOURCE_DIR "/examples/cell", used.path(), fs::copy_options::recursive);
  const std::string r1 = used.file("robots/R1/");
  test::writeFile(r1 + "debug/corvantis.csv", "");
  fs::create_directories(r1 + "debug/rejects");
  const RunResult run = test::runProgram(
      test::programUnderTest(), {"12", r1 + "ref/part.png", r1 + "cap/bad/mirrored.png", "0.1"},
      used.file("bin"));
  ASSERT_EQ("0", run.out + run.err);
  ASSERT_EQ(1u, test::fileNamesIn(r1 + "debug/rejects").size());

  std::vector<std::string> images;
  for (const std::string& file : test::filesBelow(used.file("robots/R1")))
    if (file.rfind("ref/", 0) == 0 || file.rfind("cap/", 0) == 0)
      images.push_back("robots/R1/" + file);
  const test::TestCell copy(used.path().string());
  EXPECT_EQ(images, test::filesBelow(copy.dir_.path().string()));
  EXPECT_EQ("", copy.journal() + copy.store());
}

}  // namespace
}  // namespace corvantis
