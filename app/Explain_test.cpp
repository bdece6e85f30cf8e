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

namespace fs = std::filesystem;
using test::RunResult;

class ExplainTest : public ::testing::Test {
 protected:
  std::string ref() const { return cell_.file("robots/R1/ref/part.png"); }
  std::string cap(int n) const {
    return cell_.file("robots/R1/cap/cap_000" + std::to_string(n) + ".png");
  }
  RunResult check(const std::string& reference) const {
    return cell_.run({"7", reference, cap(1), "0.1"});
  }
  RunResult cell(const std::vector<std::string>& args) const {
    return cell_.run(args, {}, CORVANTIS_CELL_EXE);
  }

  const test::TestCell cell_{CORVANTIS_SOURCE_DIR "/examples/cell"};
};

TEST_F(ExplainTest, AgreesWithTheJournalAndTheStoreOfACheck) {
  for (const int n : {1, 2}) {
    SCOPED_TRACE(cap(n));
    const RunResult verdict = cell_.run({"7", ref(), cap(n), "0.1"});
    ASSERT_EQ(0, verdict.status) << verdict.err;
    const std::string journal = cell_.journal();
    std::smatch journalled;
    ASSERT_TRUE(std::regex_search(journal, journalled,
                                  std::regex("(Image error: [^,]+), Tolerance: 0.1\r\n$")))
        << journal;
    const std::string status = verdict.out == "1" ? "accepted" : "rejected";
    EXPECT_NE(std::string::npos,
              cell({"explain", ref(), cap(n), "0.1"})
                  .out.find(journalled[1].str() + "\nTolerance: 0.1, Status: " + status));

    // The reference values are the very numbers the check stored.
    const std::string json = cell({"explain", ref(), cap(n), "0.1", "--json"}).out;
    const std::string store = cell_.store();
    std::smatch listed, stored;
    ASSERT_TRUE(std::regex_search(json, listed, std::regex(R"("reference": \[([^\]]*)\])")));
    ASSERT_TRUE(std::regex_search(store, stored, std::regex(R"(^part\.png,\d+,([^\r]*))")));
    EXPECT_EQ(stored[1].str(), std::regex_replace(listed[1].str(), std::regex(", "), ","));
  }
}

// A record of another part with the reference's own time: no check would ever compute
// it again on its own.
TEST_F(ExplainTest, ForgetMakesTheNextCheckComputeTheReferenceAgain) {
  const std::string odd = cell_.file("robots/R1/ref/part left (v2).png");
  fs::copy_file(ref(), odd);
  ASSERT_EQ("1", check(odd).out);
  const std::string taught = cell_.store();
  const std::string time = taught.substr(taught.find(',') + 1, 10);
  test::writeFile(cell_.file("robots/R1/corvantis.dat"),
                  "part left (v2).png," + time + ",1,2,3,4.5,6.5\r\n");
  ASSERT_EQ("0", check(odd).out);

  const RunResult forget = cell({"forget", cell_.file("robots/R1"), "part left (v2).png"});
  EXPECT_EQ(0, forget.status) << forget.err;
  EXPECT_EQ("", cell_.store());
  EXPECT_EQ("1", check(odd).out);
  EXPECT_EQ(taught, cell_.store());
}

// Without a tolerance there is no verdict. Each message names what is missing.
TEST_F(ExplainTest, SheetIsTheOnlyFileWrittenAndMistypedPathsFail) {
  const std::string sheetPath = cell_.file("bin/explain.png");
  const RunResult run = cell({"explain", "--sheet", sheetPath, ref(), cap(2)});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Image error: ")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Status")) << run.out;
  const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(CV_8UC3, sheet.type());
  cv::Mat cornerPixels;
  cv::inRange(sheet, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), cornerPixels);
  EXPECT_GT(cv::countNonZero(cornerPixels), 0);
  fs::remove(sheetPath);
  for (const char* file : {"robots/R1/corvantis.dat", "robots/R1/debug/corvantis.log"})
    EXPECT_FALSE(fs::exists(cell_.file(file))) << file;

  const std::pair<std::vector<std::string>, const char*> failures[] = {
      {{"explain", ref(), cell_.file("robots/R1/cap/cap_0003.png")}, "cap_0003.png"},
      {{"explain", cell_.file("robots/R2/ref/part.png"), cap(1)}, "R2"},
      {{"explain", ref(), cap(1), "--sheet", cell_.file("nowhere/s.png")}, "nowhere"},
  };
  for (const auto& [args, message] : failures) {
    const RunResult failed = cell(args);
    EXPECT_EQ(1, failed.status) << message;
    EXPECT_NE(std::string::npos, failed.err.find(message)) << failed.err;
  }
}

}  // namespace
}  // namespace corvantis
