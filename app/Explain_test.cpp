// End-to-end runs of corvantis-cell beside corvantis on a copy of the sample cell: explain
// against the check's own journal and store, forget followed by a check, the sheet, and
// what goes wrong when paths are mistyped.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <string>
#include <vector>

#include "test/RunProgram.h"

namespace corvantis {
namespace {

using test::RunResult;

class ExplainTest : public ::testing::Test {
 protected:
  RunResult cell(const std::vector<std::string>& args) const {
    return cell_.run(args, {}, CORVANTIS_CELL_EXE);
  }

  const test::TestCell cell_{CORVANTIS_SOURCE_DIR "/examples/cell"};
  const std::string ref_ = cell_.ref();
};

// Once the record is forgotten, the next check computes and stores it again.
TEST_F(ExplainTest, AgreesWithTheJournalAndTheStoreOfACheckAndForgetMakesItComputeAgain) {
  for (const std::string& cap : {cell_.cap(1), cell_.cap(2)}) {
    SCOPED_TRACE(cap);
    const RunResult verdict = cell_.run({"7", ref_, cap, "0.1"});
    ASSERT_EQ(0, verdict.status) << verdict.err;
    const std::string journal = cell_.journal();  // its last line: "Image error: e, Tolerance: 0.1"
    const std::string error = journal.substr(journal.rfind("Image error: "));
    const std::string status = verdict.out == "1" ? "accepted" : "rejected";
    EXPECT_TRUE(
        test::holds(cell({"explain", ref_, cap, "0.1"}).out,
                    error.substr(0, error.find(',')) + "\nTolerance: 0.1, Status: " + status));

    // The reference values are the very numbers the check stored after name and time.
    std::string stored = cell_.store().substr(cell_.store().find(',', 9) + 1);
    stored = std::regex_replace(stored.substr(0, stored.size() - 2), std::regex(","), ", ");
    EXPECT_TRUE(test::holds(cell({"explain", ref_, cap, "0.1", "--json"}).out,
                            "\"reference\": [" + stored + "]"));
  }
  // Without var/tmp the store's temporary file goes beside the store.
  std::filesystem::remove_all(cell_.file("var"));
  const std::string taught = cell_.store();
  const RunResult forget = cell({"forget", cell_.file("robots/R1"), "part.png"});
  EXPECT_EQ("0", std::to_string(forget.status) + forget.err);
  EXPECT_EQ("", cell_.store());
  const RunResult again = cell_.run({"7", ref_, cell_.cap(1), "0.1"});
  EXPECT_EQ("1", again.out + again.err);
  EXPECT_EQ(taught, cell_.store());
  // cap, debug, ref, the store and its lock: no temporary file is left.
  EXPECT_EQ(5u, test::fileNamesIn(cell_.file("robots/R1")).size());
}

// Without a tolerance there is no verdict. Each message names what is missing.
TEST_F(ExplainTest, SheetIsTheOnlyFileWrittenAndMistypedPathsFail) {
  const std::string sheetPath = cell_.file("bin/explain.png");
  const RunResult run = cell({"explain", "--sheet", sheetPath, ref_, cell_.cap(2)});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_TRUE(test::holds(run.out, "Image error: "));
  EXPECT_FALSE(test::holds(run.out, "Status"));
  const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(CV_8UC3, sheet.type());
  cv::Mat cornerPixels;
  cv::inRange(sheet, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), cornerPixels);
  EXPECT_GT(cv::countNonZero(cornerPixels), 0);
  for (const char* file : {"robots/R1/corvantis.dat", "robots/R1/debug/corvantis.log"})
    EXPECT_FALSE(std::filesystem::exists(cell_.file(file))) << file;

  const std::pair<std::vector<std::string>, const char*> failures[] = {
      {{"explain", ref_, cell_.file("robots/R1/cap/cap_0003.png")}, "cap_0003.png"},
      {{"explain", ref_, cell_.cap(), "--sheet", cell_.file("nowhere/s.png")}, "nowhere"},
  };
  for (const auto& [args, message] : failures) {
    const RunResult failed = cell(args);
    EXPECT_EQ(1, failed.status) << message;
    EXPECT_TRUE(test::holds(failed.err, message));
  }
}

}  // namespace
}  // namespace corvantis
