#include "cell/Report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>

#include "app/Verdict.h"
#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

const char kStamp[] = "[05/12/2026 07:04:09] - ";

// A journal line as the check writes it.
std::string verdict(const std::string& step, bool accepted, double error, double tolerance = 0.1) {
  return kStamp + composeVerdictLine(step, "cap, 1.bmp", accepted, error, tolerance) + "\r\n";
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() { std::filesystem::create_directories(base_ + "/debug"); }
  // The status, then what the report says on stdout.
  std::string run(std::vector<std::string> args = {}) {
    args.insert(args.begin(), base_);
    std::ostringstream out;
    err_.str("");
    const int status = runReport(args, out, err_);
    return std::to_string(status) + "\n" + out.str();
  }

  test::TempDir dir_;
  const std::string base_ = dir_.file("robots/R1");
  std::ostringstream err_;
};

// 100 checks of step "left, 2" over the generations that can be read: 97 errors of 0.001
// to 0.097, two snapped ones of 0.5 and one with no object at all. The tolerance in use
// is the last one, 0.2; 0.5 accepts 99 of the 100. One check alone is the 99 % of its
// step. Lines that are no verdict, or were cut short, are passed over.
TEST_F(ReportTest, CountsPercentilesAndWhatIfOverAllGenerationsInTextAndPage) {
  std::string older, newer;
  for (int i = 1; i <= 97; ++i) (i <= 50 ? older : newer) += verdict("left, 2", true, i / 1000.0);
  newer += std::string(kStamp) + "cell restarted by the operator\r\n";
  newer += verdict("left, 2", false, 0.5) + verdict("left, 2", false, 0.5);
  newer += "Step: 3, Image: a.bmp, Status: accepted, Image error: 0, Tolerance: 0.1\r\n";
  newer += verdict("left, 2", false, 0.707107, 0.2) + verdict("a<b", true, 0);
  newer += std::string(kStamp) + "Step: 3, Image: a.bmp, Status: accepted, Image error: 0\r\n";
  newer += std::string(kStamp) + "Step: 9, Image: cap.bmp, Status: acc";
  test::writeFile(base_ + "/debug/corvantis_1.log", older);
  std::filesystem::create_directories(base_ + "/debug/corvantis_2.log");  // cannot be read
  test::writeFile(base_ + "/debug/corvantis.log", newer);
  const std::string page = dir_.file("report.html"), said = run({"--html", page});
  const std::string row = "        97                   0                   0\n";
  const std::string parts[] = {
      "1\nBase " + base_ + "\nJournal: 2 file(s), 101 verdict line(s), 4 other line(s) skipped\n",
      "Step left, 2\n  checks 100, accepted 97, rejected 3\n  tolerance 0.1 0.2\n"
      "  error p50 0.05, p90 0.09, p99 0.5, max 0.707107\n  errors from a snap: unknown",
      " 0.1" + row,
      " 0.2" + row,
      "past 99 %          0.5        99                   0                   2\n"
      "  past 99 %: the tolerance that would have accepted 99 % of the past checks, defects "
      "included. No recommendation",
      "\n\nStep a<b\n  checks 1, accepted 1, rejected 0\n",
      "past 99 %            0         1                   0                   0\n"};
  for (const std::string& part : parts) EXPECT_TRUE(test::holds(said, part));
  EXPECT_TRUE(test::holds(err_.str(), "corvantis_2.log"));

  // The page: a chart of the usual size per step, the latest check at its right edge, and
  // nothing the page would fetch.
  const std::string html = test::readFile(page);
  const std::regex chart("<svg [^>]*height=\"220\"");
  EXPECT_EQ(2, std::distance(std::sregex_iterator(html.begin(), html.end(), chart),
                             std::sregex_iterator()));
  for (const char* part : {"Step a&lt;b", "100 checks, 97 accepted, 3 rejected. Tolerance 0.1 0.2.",
                           "Error p50 0.05, p90 0.09, p99 0.5, max 0.707107.", "<path d=\"M750.0 ",
                           "<title>05/12/2026 07:04:09 cap, 1.bmp 0.707107<"})
    EXPECT_TRUE(test::holds(html, part));
  // The latest check's time ends where its mark stands, inside the chart.
  EXPECT_TRUE(std::regex_search(html, std::regex("<text x=\"750\"[^>]*\"end\"[^>]*>05/12/2026")));
  for (const char* external : {"<script", "src=", "href=", "url("})
    EXPECT_EQ(std::string::npos, html.find(external)) << external;
}

// A journal line through the writer's own unit, line end included.
std::string written(const std::string& step, const std::string& image, bool accepted, double error,
                    double tolerance) {
  return journalLine(LocalTime{2026, 12, 5, 7, 4, 9, 0},
                     composeVerdictLine(step, image, accepted, error, tolerance));
}

// A values log row of an accepted check of step "left, 2", as the check writes it.
std::string loggedRow(double error, const std::string& step = "left, 2") {
  ValuesRow row;
  row.time = "2026-12-05T07:04:09+01:00";
  row.step = step;
  row.current = "c.png";
  row.error = error;
  row.tolerance = 0.03;
  row.accepted = true;
  return valuesRowText(row);
}

// A row cut inside its quotes is passed over alone; the rows after it count.
TEST_F(ReportTest, ATornQuotedRowDoesNotSwallowTheRowsAfterIt) {
  const std::string good = loggedRow(0.01), torn = good.substr(0, good.find("left") + 2);
  test::writeFile(base_ + "/debug/corvantis.csv",
                  valuesLogHeader() + good + torn + "\r\n" + good + good + torn);
  EXPECT_TRUE(test::holds(run(), "Values log: 1 file(s), 3 row(s), 2 other row(s) skipped\n"));
}

// The JSON for an integrator's tools. Three rejects printed at the tolerance they were
// checked against stay rejected at that tolerance; the past 99 % needs the next one up.
// Where the values log holds a check's row, its exact error decides instead of the print.
TEST_F(ReportTest, JsonCountsStepsAndDecidesTiesByTheVerdictOrTheLoggedError) {
  std::string journal;
  // Words of the line inside an image name neither move the status nor hide it.
  for (const char* image : {"c.png", "c, Status: accepted.png", "c, Image error: 0, Tolerance: 1"})
    journal += written("s\t1", image, false, 0.0219775, 0.0219775);
  journal += written("left, 2", "c.png", true, 0.0219775000000001, 0.03) + "cut short";
  test::writeFile(base_ + "/debug/corvantis.log", journal);
  const std::string parts[] = {
      "0\n{\"steps\": [\n  {\"step\": \"s\\u00091\", \"checks\": 3, \"accepted\": 0, "
      "\"rejected\": 3, \"tolerances\": [0.0219775], \"whatif\": [",
      "{\"tolerance\": 0.0219775, \"accepted\": 0, \"to_rejected\": 0, \"to_accepted\": 0}, "
      "{\"tolerance\": 0.0219776, \"accepted\": 3, \"to_rejected\": 0, \"to_accepted\": 3}",
      "{\"step\": \"left, 2\", \"checks\": 1, \"accepted\": 1, \"rejected\": 0, \"tolerances\": "
      "[0.03], \"whatif\": [{\"tolerance\": 0.015, ",
      "{\"tolerance\": 0.0219775, \"accepted\": 1, \"to_rejected\": 0, \"to_accepted\": 0}",
      "\"skipped_lines\": 1, \"skipped_rows\": 0}\n"};
  const std::string said = run({"--json"});
  for (const std::string& part : parts) EXPECT_TRUE(test::holds(said, part));
  // Around the tolerance in use, 0.03, its multiples, and the past 99 % among them.
  const std::string left = said.substr(said.find("\"step\": \"left, 2\""));
  std::string tolerances;
  const std::regex row(R"(\{"tolerance": ([^,]+),)");
  for (std::sregex_iterator m(left.begin(), left.end(), row), end; m != end; ++m)
    tolerances += (*m)[1].str() + " ";
  EXPECT_EQ("0.015 0.0219775 0.0225 0.03 0.045 0.06 ", tolerances);
  test::writeFile(base_ + "/debug/corvantis.csv",
                  valuesLogHeader() + loggedRow(0.0219775000000001));
  EXPECT_TRUE(test::holds(run({"--json"}),
                          "{\"tolerance\": 0.0219776, \"accepted\": 1, "
                          "\"to_rejected\": 0, \"to_accepted\": 0}"));
}

// Advice the values log holds is counted per step in text, JSON and page; a step or file
// name cannot forge lines of the text report, nor move or hide a reject with the line's
// own words.
TEST_F(ReportTest, AdviceIsShownAndControlCharactersAreEscaped) {
  const std::string step = "z, Status: accepted, Image error: 0, Tolerance: 1";
  test::writeFile(base_ + "/debug/corvantis.log",
                  written("a\x1b[2J", "c", false, 1, 0.1) + written(step, "c", false, 1, 0.1));
  std::string withAdvice = valuesLogHeader();
  for (const char* advice : {"reference:speckle current:corner-cap", "reference:speckle", ""}) {
    const std::string row = loggedRow(0.01);  // its advice field is the empty last one
    withAdvice += row.substr(0, row.size() - 2) + advice + "\r\n";
  }
  test::writeFile(base_ + "/debug/corvantis.csv",
                  withAdvice + valuesLogHeader() + loggedRow(0.02, "forged\r\nStep x"));
  const std::string page = dir_.file("report.html"), said = run({"--html", page});
  const std::string parts[] = {"\nStep a\\x1b[2J\n", "\nStep forged\\r\\nStep x\n",
                               "\nStep " + step + "\n  checks 1, accepted 0, rejected 1\n",
                               "image advice in 3 logged check(s): reference:speckle 2, "
                               "current:corner-cap 1\n"};
  for (const std::string& part : parts) EXPECT_TRUE(test::holds(said, part));
  EXPECT_EQ(std::string::npos, said.find('\x1b'));
  EXPECT_TRUE(test::holds(test::readFile(page),
                          "Image advice in 3 logged checks: "
                          "reference:speckle 2, current:corner-cap 1."));
  EXPECT_TRUE(test::holds(run({"--json"}),
                          "\"advice\": [{\"image\": \"reference\", \"code\": \"speckle\", "
                          "\"checks\": 2}, {\"image\": \"current\", \"code\": \"corner-cap\", "
                          "\"checks\": 1}]}"));
}

// Errors far below the tolerance stay apart from zero: the axis is logarithmic, with
// ticks at round numbers.
TEST_F(ReportTest, ChartShowsSmallErrorsOnALogAxisWithRoundTicks) {
  std::string journal;
  for (int i = 2; i <= 9; ++i) journal += written("s", "c.png", true, i / 1000.0, 0.1);
  test::writeFile(base_ + "/debug/corvantis.log", journal);
  const std::string page = dir_.file("report.html");
  run({"--html", page});
  const std::string html = test::readFile(page);
  for (const char* tick : {">0.001<", ">0.01<", ">0.1<", ">1<"})
    EXPECT_TRUE(test::holds(html, tick));
  const std::regex dot("<circle cx=\"[0-9.]+\" cy=\"([0-9.]+)\"");
  std::vector<double> heights;
  for (auto m = std::sregex_iterator(html.begin(), html.end(), dot); m != std::sregex_iterator();
       ++m)
    heights.push_back(std::stod((*m)[1]));
  ASSERT_EQ(8u, heights.size());
  // 0.002 a tenth of the way up a plot from 190 to 10; 0.004 and 0.008 equally apart.
  EXPECT_NEAR(172, heights[0], 0.1);
  EXPECT_NEAR(heights[0] - heights[2], heights[2] - heights[6], 0.2);
}

// An empty cell whose page cannot be written (wrong use: CellTest's command line).
TEST_F(ReportTest, BadInputIsToldAndNeverFatal) {
  EXPECT_EQ(0u, run({"--html", dir_.file("no/such/dir/report.html")})
                    .find("1\nBase " + base_ +
                          "\nJournal: 0 file(s), 0 verdict line(s), 0 other line(s) skipped\n"
                          "Values log: off"));
  EXPECT_TRUE(test::holds(err_.str(), "cannot write"));
}

// A journal the system fails to read and a page the disk has no room for are each told
// in the system's words, after what could be reported.
TEST_F(ReportTest, FilesTheSystemFailsOnAreToldWithItsReason) {
  test::writeFile(base_ + "/debug/corvantis.log", verdict("left, 2", true, 0.01));
  test::writeFile(base_ + "/debug/corvantis_1.log", verdict("left, 2", true, 0.02));
  test::TestPlatform platform;
  platform.failOn("readFile", "corvantis_1.log", "Input/output error");
  platform.failOn("writeFile", "report.html", "No space left on device");
  const std::string page = dir_.file("report.html");
  std::ostringstream out;
  EXPECT_EQ(1, runReport({base_, "--html", page}, out, err_, platform));
  EXPECT_TRUE(test::holds(out.str(), "checks 1, accepted 1")) << out.str();
  EXPECT_EQ("corvantis-cell: " + base_ + kPathSeparator + "debug" + kPathSeparator +
                "corvantis_1.log: Input/output error\n"
                "corvantis-cell: cannot write " +
                page + ": No space left on device\n",
            err_.str());
  EXPECT_FALSE(std::filesystem::exists(page));
}

}  // namespace
}  // namespace corvantis
