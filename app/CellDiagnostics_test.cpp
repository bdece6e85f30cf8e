// End-to-end runs of the built program in temporary cells with the values log and the
// reject archive switched on, and the report page as a browser draws it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/Report.h"
#include "test/RunProgram.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::RunResult;

class CellDiagnosticsTest : public ::testing::Test {
 protected:
  const test::TestCell cell_{CORVANTIS_SOURCE_DIR "/examples/cell"};
};

// Names with commas and blanks, as operators give them; the moved part is out of its
// capture altogether. Only rejected captures are archived, linked rather than copied:
// the same file under two names.
TEST_F(CellDiagnosticsTest, ValuesLogAndRejectArchiveTakeTheirChecksAndTheReportReadsThem) {
  const std::string cap = cell_.file("robots/R1/cap/cap 1,a.png");
  const std::string moved = cell_.file("robots/R1/cap/moved part.png");
  const std::string valuesLog = cell_.file("robots/R1/debug/corvantis.csv");
  fs::copy_file(cell_.cap(), cap);
  ASSERT_TRUE(cv::imwrite(moved, cv::Mat(40, 60, CV_8U, cv::Scalar(128))));
  const auto check = [&](const std::string& current, test::ChildEnv env = {}) {
    return cell_.run({"left, 2", cell_.ref(), current, "0.1"}, env);
  };
  ASSERT_EQ("0", check(moved).out);  // neither logged nor archived before the files exist
  const std::string rejects = cell_.file("robots/R1/debug/rejects");
  fs::create_directories(rejects);
  test::writeFile(valuesLog, "");
  const RunResult accepted = check(cap);
  const RunResult rejected = check(moved);
  EXPECT_EQ(0, accepted.status + rejected.status);
  EXPECT_EQ("10", accepted.out + rejected.out + accepted.err + rejected.err);
  // Ten values, the error and the tolerance between the names and the verdict.
  EXPECT_TRUE(std::regex_match(
      test::readFile(valuesLog),
      std::regex(R"(time,step,reference,current,reference Area,[^\r]*\r\n)"
                 R"([^,]+,"left, 2",part\.png,"cap 1,a\.png",([^,]*,){12}accepted,[^\r]*\r\n)"
                 R"([^,]+,"left, 2",part\.png,moved part\.png,([^,]*,){12}rejected,[^\r]*\r\n)")))
      << test::readFile(valuesLog);
  const std::vector<std::string> names = test::fileNamesIn(rejects);
  ASSERT_EQ(1u, names.size());
  EXPECT_TRUE(std::regex_match(names[0], std::regex(R"(\d{8}-\d{6}_left__2_moved part\.png)")))
      << names[0];
  EXPECT_EQ(2u, fs::hard_link_count(rejects + "/" + names[0]));

  // The report counts both logged checks, and passes over a row that is none.
  std::ofstream(valuesLog, std::ios::app) << "not,a,row\r\n";
  const RunResult report = cell_.run({"report", cell_.file("robots/R1")}, {}, CORVANTIS_CELL_EXE);
  EXPECT_EQ(0, report.status) << report.err;
  for (const char* said : {"Values log: 1 file(s), 2 row(s), 1 other row(s) skipped",
                           "checks 3, accepted 1, rejected 2", "errors from a snap: 1 of 2 logged"})
    EXPECT_TRUE(test::holds(report.out, said));

  // A row that does not fit below the file size limit is told; the verdict stands, and
  // the journal has room for its line.
  const auto logged = fs::file_size(valuesLog);
  const RunResult full = check(cap, test::ChildEnv{"", {}, {}, static_cast<long>(logged) + 10});
  EXPECT_EQ(0, full.status);
  EXPECT_EQ("1", full.out);
  EXPECT_TRUE(test::holds(full.err, "values log row not written"));
  EXPECT_EQ(logged, fs::file_size(valuesLog));
  EXPECT_EQ(4u, test::crLfLines(cell_.journal()).size());
}

TEST_F(CellDiagnosticsTest, ReportPageDrawsInAHeadlessBrowser) {
  std::string journal;
  for (int i = 0; i < 60; ++i) {
    const bool accepted = i % 20 != 7;
    journal += "[05/12/2026 07:" + std::to_string(10 + i % 50) + ":00] - Step: left, 2, Image: c" +
               std::to_string(i) + ".png, Status: " + (accepted ? "accepted" : "rejected") +
               ", Image error: " + (accepted ? "0.0" + std::to_string(1 + i % 9) : "0.5") +
               ", Tolerance: 0.1\r\n";
  }
  test::writeFile(cell_.file("robots/R1/debug/corvantis.log"), journal);
  const std::string page = cell_.file("report.html"), shot = cell_.file("report.png");
  std::ostringstream out, err;
  ASSERT_EQ(0, runReport({cell_.file("robots/R1"), "--html", page}, out, err)) << err.str();

  const RunResult run = test::runProgram(
      "chromium",
      {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
       "--disable-background-networking", "--disable-component-update", "--disable-sync",
       "--user-data-dir=" + cell_.file("browser"), "--screenshot=" + shot, "--window-size=900,700",
       "file://" + page},
      cell_.file("bin"), test::ChildEnv{"", {}, {}, -1, false, false});
  ASSERT_EQ(0, run.status) << "scripts/install-deps.sh --test installs chromium: " << run.err;
  const cv::Mat image = cv::imread(shot, cv::IMREAD_COLOR);
  ASSERT_FALSE(image.empty()) << run.err;
  // Text and chart are drawn, and the rejects stand out in red.
  cv::Mat dark, red;
  cv::inRange(image, cv::Scalar(0, 0, 0), cv::Scalar(120, 120, 120), dark);
  cv::inRange(image, cv::Scalar(0, 0, 170), cv::Scalar(90, 90, 255), red);
  EXPECT_GT(cv::countNonZero(dark), 2000);
  EXPECT_GT(cv::countNonZero(red), 20);
}

}  // namespace
}  // namespace corvantis
