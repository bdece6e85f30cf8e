#include "app/Report.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <regex>
#include <sstream>

#include "test/TestUtil.h"

namespace corvantis {
namespace {

TEST(ParseVerdictLine, TakesVerdictLinesApartAndRefusesEverythingElse) {
  const std::string time = "[05/12/2026 07:04:09] - ";
  const std::pair<std::string, const char*> cases[] = {
      {"Step: 12, Image: cap_0001.bmp, Status: accepted, Image error: 0.0523, Tolerance: 0.1",
       "12|cap_0001.bmp|1|0.0523|0.1"},
      {"Step: left, top 2, Image: cap, 1.bmp, Status: rejected, Image error: 0.707107, "
       "Tolerance: 1e+006",
       "left, top 2|cap, 1.bmp|0|0.707107|1e+06"},
      {"Step: 3, Image: , Status: rejected, Image error: 1.23e-005, Tolerance: -0.5",
       "3||0|1.23e-05|-0.5"},
      {"Step: 3, Image: a.bmp, Status: accepted, Image error: 0.0", "none"},
  };
  for (const auto& [line, expected] : cases) {
    std::ostringstream parsed;
    if (const auto e = parseVerdictLine(time + line)) {
      parsed << e->step << "|" << e->image << "|" << e->accepted << "|" << e->error << "|"
             << e->tolerance;
      EXPECT_EQ("05/12/2026 07:04:09", e->time);
    }
    EXPECT_EQ(expected, parsed.str().empty() ? "none" : parsed.str()) << line;
  }
  EXPECT_FALSE(parseVerdictLine(cases[0].first));  // no time stamp
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

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() { std::filesystem::create_directories(base_ + "/debug"); }
  std::string journal(const char* generation = "") const {
    return base_ + "/debug/corvantis" + generation + ".log";
  }
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

// 100 checks of step "left, 2" over two generations: 97 errors of 0.001 to 0.097, two
// snapped ones of 0.5 and one with no object at all. The tolerance in use is the last
// one, 0.2; 0.5 accepts 99 of the 100. One check alone is the 99 % of its step.
TEST_F(ReportTest, CountsPercentilesAndWhatIfOverAllGenerations) {
  std::string older, newer;
  for (int i = 1; i <= 97; ++i)
    (i <= 50 ? older : newer) += verdict("left, 2", true, std::to_string(i / 1000.0));
  newer += "[05/12/2026 07:05:00] - cell restarted by the operator\r\n";
  newer += verdict("left, 2", false, "0.5") + verdict("left, 2", false, "0.5");
  newer += verdict("left, 2", false, "0.707107", "0.2") + verdict("9", true, "0");
  newer += "[05/12/2026 07:06:00] - Step: 9, Image: cap.bmp, Status: acc";
  test::writeFile(journal("_1"), older);
  test::writeFile(journal(), newer);
  const std::string row = "        97                   0                   0\n", said = run();
  const std::string parts[] = {
      "Journal: 2 file(s), 101 verdict line(s), 2 other line(s) skipped\n",
      "Step left, 2\n  checks 100, accepted 97, rejected 3\n  tolerance 0.1 0.2\n"
      "  error p50 0.05, p90 0.09, p99 0.5, max 0.707107\n  errors from a snap: unknown",
      " 0.1" + row,
      " 0.2" + row,
      "99 %               0.5        99                   0                   2\n\nStep 9\n"
      "  checks 1, accepted 1, rejected 0\n",
      "99 %                 0         1                   0                   0\n"};
  for (const std::string& part : parts)
    EXPECT_NE(std::string::npos, said.find(part)) << part << "\nin\n" << said;
  EXPECT_EQ("", err_.str());
}

// A journal generation that cannot be read: the others are still reported.
TEST_F(ReportTest, BadInputIsToldAndNeverFatal) {
  EXPECT_NE(std::string::npos, run().find("0\nCell " + base_ +
                                          "\nJournal: 0 file(s), 0 verdict line(s), 0 other line(s)"
                                          " skipped\nValues log: off"));
  std::filesystem::create_directories(journal("_2"));
  test::writeFile(journal(), verdict("7", true, "0.05"));
  const std::string said = run();
  EXPECT_EQ(0u, said.find("1\n"));
  EXPECT_NE(std::string::npos, said.find("checks 1, accepted 1"));
  EXPECT_NE(std::string::npos, err_.str().find("corvantis_2.log"));

  const std::string missing = dir_.file("robots/R9");
  std::ostringstream out, err;
  EXPECT_EQ(1, runReport({missing}, out, err));
  EXPECT_NE(std::string::npos, err.str().find(missing));
  EXPECT_EQ("11", std::to_string(runReport({}, out, err)) +
                      std::to_string(runReport({base_, "--html"}, out, err)));
  EXPECT_EQ("", out.str());
}

// One chart of the usual size per step, and nothing the page would fetch.
TEST_F(ReportTest, PageIsSelfContainedWithAChartPerStep) {
  test::writeFile(journal(), verdict("a<b", true, "0.05") + verdict("a<b", false, "0.5") +
                                 verdict("c", true, "0.01"));
  const std::string page = dir_.file("report.html");
  EXPECT_EQ(0u, run({"--html", page}).find("0\n"));
  const std::string html = test::readFile(page);
  const std::regex chart("<svg [^>]*height=\"220\"");
  EXPECT_EQ(2, std::distance(std::sregex_iterator(html.begin(), html.end(), chart),
                             std::sregex_iterator()));
  EXPECT_NE(std::string::npos, html.find("Step a&lt;b"));
  EXPECT_NE(std::string::npos, html.find("Error p50 0.01, p90 0.01, p99 0.01, max 0.01."));
  for (const char* external : {"<script", "src=", "href=", "url("})
    EXPECT_EQ(std::string::npos, html.find(external)) << external;
  EXPECT_EQ(0u, run({"--html", dir_.file("no/such/dir/report.html")}).find("1\n"));
}

}  // namespace
}  // namespace corvantis
