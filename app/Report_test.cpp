#include "app/Report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>

#include "test/TestUtil.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

TEST(ParseVerdictLine, TakesVerdictLinesApartAndRefusesEverythingElse) {
  const struct {
    const char* line;
    const char* step;
    const char* image;
    bool accepted;
    double error, tolerance;
  } cases[] = {
      {"[05/12/2026 07:04:09] - Step: 12, Image: cap_0001.bmp, Status: accepted, Image error: "
       "0.0523, Tolerance: 0.1",
       "12", "cap_0001.bmp", true, 0.0523, 0.1},
      {"[05/12/2026 07:04:09] - Step: left, top 2, Image: cap, 1.bmp, Status: rejected, Image "
       "error: 0.707107, Tolerance: 1e+006",
       "left, top 2", "cap, 1.bmp", false, 0.707107, 1e6},
      {"[05/12/2026 07:04:09] - Step: 3, Image: , Status: rejected, Image error: 1.23e-005, "
       "Tolerance: -0.5",
       "3", "", false, 1.23e-5, -0.5},
  };
  for (const auto& c : cases) {
    const std::optional<VerdictEntry> entry = parseVerdictLine(c.line);
    ASSERT_TRUE(entry) << c.line;
    EXPECT_EQ("05/12/2026 07:04:09", entry->time);
    EXPECT_EQ(c.step, entry->step) << c.line;
    EXPECT_EQ(c.image, entry->image) << c.line;
    EXPECT_EQ(c.accepted, entry->accepted) << c.line;
    EXPECT_EQ(c.error, entry->error) << c.line;
    EXPECT_EQ(c.tolerance, entry->tolerance) << c.line;
  }
  for (const char* other :
       {"[05/12/2026 07:04:09] - Step: 3, Image: a.bmp, Status: accepted, Image error: 0.0",
        "Step: 3, Image: a.bmp, Status: accepted, Image error: 0, Tolerance: 0"})
    EXPECT_FALSE(parseVerdictLine(other)) << other;
}

TEST(ReadCsvRecord, ReadsQuotedFieldsAndRefusesARecordCutShort) {
  const std::string text = "a,\"b, \"\"c\"\"\",\"two\r\nlines\"\r\nx,\"cut";
  std::size_t pos = 0;
  EXPECT_EQ((std::vector<std::string>{"a", "b, \"c\"", "two\r\nlines"}), readCsvRecord(text, &pos));
  EXPECT_FALSE(readCsvRecord(text, &pos));
  EXPECT_EQ(text.size(), pos);
}

std::string verdict(const std::string& step, bool accepted, const std::string& error,
                    const std::string& tolerance = "0.1") {
  return "[05/12/2026 07:04:09] - Step: " + step +
         ", Image: cap.bmp, Status: " + (accepted ? "accepted" : "rejected") +
         ", Image error: " + error + ", Tolerance: " + tolerance + "\r\n";
}

std::string valuesRow(const std::string& step, const std::string& error,
                      const std::string& snapped) {
  return "2026-12-05T07:04:09+01:00," + step + ",ref.bmp,cap.bmp,5000,300,4,45.3,12.7," +
         "5000,300,4,45.005,12.7," + error + ",0.10000000000000001,rejected," + snapped + "\r\n";
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() : base_(dir_.file("robots/R1")) {
    std::filesystem::create_directories(base_ + "/debug");
  }
  std::string journal(int generation = 0) const {
    const std::string path = journalPathOf(base_);
    return generation == 0 ? path : rotatedNames(path)[generation - 1];
  }
  int run(std::vector<std::string> args = {}) {
    args.insert(args.begin(), base_);
    out_.str("");
    err_.str("");
    return runReport(args, out_, err_);
  }
  bool says(const std::string& text) const { return out_.str().find(text) != std::string::npos; }

  test::TempDir dir_;
  std::string base_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ReportTest, CountsPercentilesAndWhatIfOverAllGenerations) {
  // 100 checks of step "left, 2" over two generations: 97 errors of 0.01 to 0.097,
  // two snapped ones of 0.5 and one with no object at all.
  std::string older, newer;
  for (int i = 1; i <= 97; ++i)
    (i <= 50 ? older : newer) += verdict("left, 2", true, std::to_string(i / 1000.0));
  newer += "[05/12/2026 07:05:00] - cell restarted by the operator\r\n";
  newer += verdict("left, 2", false, "0.5") + verdict("left, 2", false, "0.5");
  newer += verdict("left, 2", false, "0.707107", "0.2");
  newer += verdict("9", true, "0");
  newer += "[05/12/2026 07:06:00] - Step: 9, Image: cap.bmp, Status: acc";
  test::writeFile(journal(1), older);
  test::writeFile(journal(), newer);

  EXPECT_EQ(0, run());
  EXPECT_EQ("", err_.str());
  EXPECT_TRUE(says("Journal: 2 file(s), 101 verdict line(s), 2 other line(s) skipped"));
  EXPECT_TRUE(says("Step left, 2\n  checks 100, accepted 97, rejected 3\n  tolerance 0.1 0.2\n"));
  EXPECT_TRUE(says("error p50 0.05, p90 0.09, p99 0.5, max 0.707107"));
  EXPECT_TRUE(says("errors from a snap: unknown"));
  // The tolerance in use is the last one, 0.2; 0.5 accepts 99 of the 100.
  EXPECT_TRUE(says("             0.1        97                   0                   0\n"));
  EXPECT_TRUE(says("             0.2        97                   0                   0\n"));
  EXPECT_TRUE(says("99 %               0.5        99                   0                   2\n"));
  EXPECT_TRUE(says("Step 9\n  checks 1, accepted 1, rejected 0"));
  // One check alone is the 99 % of its step.
  EXPECT_TRUE(says("99 %                 0         1                   0                   0\n"));
}

TEST_F(ReportTest, CountsSnapsFromTheValuesLog) {
  test::writeFile(journal(), verdict("7", false, "0.5") + verdict("7", true, "0.05"));
  test::writeFile(base_ + "/debug/corvantis.csv", "time,step,reference,current\r\n" +
                                                      valuesRow("7", "0.5", "Angle") +
                                                      valuesRow("7", "0.05", "") + "not,a,row\r\n" +
                                                      "2026-12-05T07:04:10+01:00,7,ref");
  EXPECT_EQ(0, run());
  EXPECT_TRUE(says("Values log: 1 file(s), 2 row(s), 2 other row(s) skipped"));
  EXPECT_TRUE(says("errors from a snap: 1 of 2 logged check(s)"));
}

TEST_F(ReportTest, BadInputIsToldAndNeverFatal) {
  EXPECT_EQ(0, run());
  EXPECT_TRUE(says("Journal: 0 file(s), 0 verdict line(s)"));
  EXPECT_TRUE(says("Values log: off"));

  // A journal generation that cannot be read: the others are still reported.
  std::filesystem::create_directories(journal(2));
  test::writeFile(journal(), verdict("7", true, "0.05"));
  EXPECT_EQ(1, run());
  EXPECT_NE(std::string::npos, err_.str().find(journal(2)));
  EXPECT_TRUE(says("checks 1, accepted 1"));

  const std::string missing = dir_.file("robots/R9");
  std::ostringstream out, err;
  EXPECT_EQ(1, runReport({missing}, out, err));
  EXPECT_NE(std::string::npos, err.str().find(missing));
  EXPECT_EQ("", out.str());
  EXPECT_EQ(1, runReport({}, out, err));
  EXPECT_EQ(1, runReport({base_, "--html"}, out, err));
}

TEST_F(ReportTest, PageIsSelfContainedWithAChartPerStep) {
  test::writeFile(journal(), verdict("a<b", true, "0.05") + verdict("a<b", false, "0.5") +
                                 verdict("c", true, "0.01"));
  const std::string page = dir_.file("report.html");
  EXPECT_EQ(0, run({"--html", page}));
  const std::string html = test::readFile(page);
  const std::regex chart("<svg");
  EXPECT_EQ(2, std::distance(std::sregex_iterator(html.begin(), html.end(), chart),
                             std::sregex_iterator()));
  EXPECT_NE(std::string::npos, html.find("Step a&lt;b"));
  for (const char* external : {"<script", "src=", "href=", "url("})
    EXPECT_EQ(std::string::npos, html.find(external)) << external;
  EXPECT_EQ(1, run({"--html", dir_.file("no/such/dir/report.html")}));
}

}  // namespace
}  // namespace corvantis
