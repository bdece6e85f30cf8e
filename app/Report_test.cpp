#include "app/Report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>

#include "app/Verdict.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

TEST(ReadCsvRecord, ReadsQuotedFieldsAndRefusesARecordCutShort) {
  const std::string text = "a,\"b, \"\"c\"\"\",\"two\r\nlines\"\r\nx,\"cut";
  std::size_t pos = 0;
  EXPECT_EQ((std::vector<std::string>{"a", "b, \"c\"", "two\r\nlines"}), readCsvRecord(text, &pos));
  EXPECT_FALSE(readCsvRecord(text, &pos));
  EXPECT_EQ(text.size(), pos);
}

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
      "99 %               0.5        99                   0                   2\n\nStep a<b\n"
      "  checks 1, accepted 1, rejected 0\n",
      "99 %                 0         1                   0                   0\n"};
  for (const std::string& part : parts) EXPECT_TRUE(test::holds(said, part));
  EXPECT_TRUE(test::holds(err_.str(), "corvantis_2.log"));

  // The page: a chart of the usual size per step, the latest check at its right edge, and
  // nothing the page would fetch.
  const std::string html = test::readFile(page);
  const std::regex chart("<svg [^>]*height=\"220\"");
  EXPECT_EQ(2, std::distance(std::sregex_iterator(html.begin(), html.end(), chart),
                             std::sregex_iterator()));
  for (const char* part : {"Step a&lt;b", "Error p50 0.05, p90 0.09, p99 0.5, max 0.707107.",
                           "<path d=\"M750.0 ", "<title>05/12/2026 07:04:09 cap, 1.bmp 0.707107<"})
    EXPECT_TRUE(test::holds(html, part));
  for (const char* external : {"<script", "src=", "href=", "url("})
    EXPECT_EQ(std::string::npos, html.find(external)) << external;
}

// An empty cell whose page cannot be written (wrong use: CellTest's command line).
TEST_F(ReportTest, BadInputIsToldAndNeverFatal) {
  EXPECT_EQ(0u, run({"--html", dir_.file("no/such/dir/report.html")})
                    .find("1\nBase " + base_ +
                          "\nJournal: 0 file(s), 0 verdict line(s), 0 other line(s) skipped\n"
                          "Values log: off"));
  EXPECT_TRUE(test::holds(err_.str(), "cannot write"));
}

}  // namespace
}  // namespace corvantis
