// End-to-end runs of the built program in temporary cells with the values log and the
// reject archive switched on, and the report page as a browser draws it.
#include <gtest/gtest.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "app/Report.h"
#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::runProgram;
using test::RunResult;

// A dark part on a noisy colour frame, offset by (dx, dy). Offsets of 30 and more turn
// the frame over, so that the object lies elsewhere and the check rejects.
cv::Mat colourFrame(int dx, int seed) {
  cv::Mat image(120, 160, CV_8UC3);
  cv::RNG rng(seed);
  rng.fill(image, cv::RNG::NORMAL, cv::Scalar(170, 180, 160), cv::Scalar(12, 12, 12));
  cv::rectangle(image, cv::Rect(40 + dx, 30, 60, 40), cv::Scalar(30, 40, 20), cv::FILLED);
  if (dx >= 30) cv::flip(image, image, -1);
  return image;
}

class CellDiagnosticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin"})
      fs::create_directories(cell_.path() / dir);
    ASSERT_TRUE(cv::imwrite(ref(), colourFrame(0, 1)));
    ASSERT_TRUE(cv::imwrite(cap(), colourFrame(2, 1)));
    ASSERT_TRUE(cv::imwrite(moved(), colourFrame(40, 3)));
  }

  std::string cell(const std::string& relative) const { return cell_.file(relative); }
  std::string ref() const { return cell("robots/R1/ref/part.png"); }
  // Names with commas and blanks, as operators give them.
  std::string cap() const { return cell("robots/R1/cap/cap 1,a.png"); }
  std::string moved() const { return cell("robots/R1/cap/moved part.png"); }
  std::string valuesLog() const { return cell("robots/R1/debug/corvantis.csv"); }
  std::string rejects() const { return cell("robots/R1/debug/rejects"); }

  RunResult check(const std::string& current, test::ChildEnv env = {}) {
    return runProgram(CORVANTIS_EXE, {"left, 2", ref(), current, "0.1"}, cell("bin"), env);
  }

  test::TempDir cell_;
};

TEST_F(CellDiagnosticsTest, ValuesLogGetsAHeaderAndOneRowPerCheckThatFitsAndTheReportReadsIt) {
  test::writeFile(valuesLog(), "");
  const RunResult accepted = check(cap());
  const RunResult rejected = check(moved());
  EXPECT_EQ(0, accepted.status + rejected.status);
  EXPECT_EQ("10", accepted.out + rejected.out);
  EXPECT_EQ("", accepted.err + rejected.err);

  const std::vector<std::string> rows = test::crLfLines(readFile(valuesLog()));
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ(0u, rows[0].find("time,step,reference,current,reference Area,"));
  const char* const expected[] = {"left, 2|part.png|cap 1,a.png|accepted",
                                  "left, 2|part.png|moved part.png|rejected"};
  for (std::size_t i = 1; i < rows.size(); ++i) {
    std::size_t pos = 0;
    const auto f = readCsvRecord(rows[i] + "\n", &pos);
    ASSERT_TRUE(f && f->size() == 18u) << rows[i];
    EXPECT_EQ(expected[i - 1], (*f)[1] + "|" + (*f)[2] + "|" + (*f)[3] + "|" + (*f)[16]);
  }
  // The report reads both files of the cell and finds the two logged checks.
  const RunResult report = runProgram(CORVANTIS_CELL_EXE, {"report", cell("robots/R1")}, cell(""));
  EXPECT_EQ(0, report.status) << report.err;
  EXPECT_NE(std::string::npos, report.out.find("checks 2, accepted 1, rejected 1")) << report.out;
  EXPECT_NE(std::string::npos, report.out.find("of 2 logged check(s)")) << report.out;

  // A row that does not fit below the file size limit is told; the verdict stands, and
  // the journal has room for its line.
  const auto logged = fs::file_size(valuesLog());
  test::ChildEnv limited;
  limited.fileSizeLimit = static_cast<long>(logged) + 10;
  const RunResult full = check(cap(), limited);
  EXPECT_EQ(0, full.status);
  EXPECT_EQ("1", full.out);
  EXPECT_NE(std::string::npos, full.err.find("values log row not written")) << full.err;
  EXPECT_EQ(logged, fs::file_size(valuesLog()));
  EXPECT_EQ(3u, test::crLfLines(readFile(cell("robots/R1/debug/corvantis.log"))).size());
}

TEST_F(CellDiagnosticsTest, OnlyRejectedCapturesAreLinkedIntoTheArchive) {
  ASSERT_EQ("0", check(moved()).out);
  fs::create_directories(rejects());
  const RunResult accepted = check(cap());
  const RunResult rejected = check(moved());
  EXPECT_EQ("1", accepted.out);
  EXPECT_EQ("0", rejected.out);
  EXPECT_EQ(0, rejected.status);
  EXPECT_EQ("", rejected.err);

  const std::vector<std::string> names = test::fileNamesIn(rejects());
  ASSERT_EQ(1u, names.size());
  const std::string kept = names.back();
  EXPECT_TRUE(std::regex_match(kept, std::regex(R"(\d{8}-\d{6}_left__2_moved part\.png)"))) << kept;
  // Linked, not copied: the same file under two names.
  EXPECT_EQ(2u, fs::hard_link_count(rejects() + "/" + kept));
}

TEST_F(CellDiagnosticsTest, ReportPageDrawsInAHeadlessBrowser) {
  const std::string chromium = test::findOnPath("chromium");
  ASSERT_FALSE(chromium.empty()) << "chromium missing: run scripts/install-deps.sh --test";
  std::string journal;
  for (int i = 0; i < 60; ++i) {
    const bool accepted = i % 20 != 7;
    journal += "[05/12/2026 07:" + std::to_string(10 + i % 50) + ":00] - Step: left, 2, Image: c" +
               std::to_string(i) + ".png, Status: " + (accepted ? "accepted" : "rejected") +
               ", Image error: " + (accepted ? "0.0" + std::to_string(1 + i % 9) : "0.5") +
               ", Tolerance: 0.1\r\n";
  }
  test::writeFile(cell("robots/R1/debug/corvantis.log"), journal);
  const std::string page = cell("report.html");
  std::ostringstream out, err;
  ASSERT_EQ(0, runReport({cell("robots/R1"), "--html", page}, out, err)) << err.str();

  const std::string shot = cell("report.png");
  const RunResult run =
      runProgram(chromium,
                 {"--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--user-data-dir=" + cell("browser"), "--screenshot=" + shot,
                  "--window-size=900,700", "file://" + page},
                 cell("bin"));
  ASSERT_EQ(0, run.status) << run.err;
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
