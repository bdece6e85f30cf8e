// End-to-end runs of corvantis-cell beside corvantis on a copy of the sample cell: explain
// against the check's own journal and store, forget followed by a check, the sheet, and
// what goes wrong when paths are mistyped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <regex>
#include <string>
#include <vector>

#include "test/RunProgram.h"
#include "test/TestUtil.h"
#include "workspace/NumberText.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::runProgram;
using test::RunResult;

// The numbers of the JSON array under `key`.
std::vector<double> jsonNumbers(const std::string& json, const std::string& key) {
  std::vector<double> numbers;
  std::size_t at = json.find("\"" + key + "\": [");
  if (at == std::string::npos) return numbers;
  at = json.find('[', at) + 1;
  const std::size_t end = json.find(']', at);
  for (char* next = nullptr; at < end; at = static_cast<std::size_t>(next - json.c_str()) + 1) {
    numbers.push_back(std::strtod(json.c_str() + at, &next));
  }
  return numbers;
}

class ExplainTest : public ::testing::Test {
 protected:
  ExplainTest() {
    fs::copy(fs::path(CORVANTIS_SOURCE_DIR) / "examples/cell", cell_.path(),
             fs::copy_options::recursive);
    fs::remove(cell_.path() / "robots/R1/corvantis.dat");
  }
  std::string path(const std::string& relative) const { return cell_.file(relative); }
  std::string base() const { return path("robots/R1"); }
  std::string ref() const { return path("robots/R1/ref/part.png"); }
  std::string cap(int n) const {
    return path("robots/R1/cap/cap_000" + std::to_string(n) + ".png");
  }

  RunResult check(const std::string& reference, const std::string& current) const {
    return runProgram(CORVANTIS_EXE, {"7", reference, current, "0.1"}, path("bin"));
  }
  RunResult cell(const std::vector<std::string>& args) const {
    return runProgram(CORVANTIS_CELL_EXE, args, path("bin"));
  }

  test::TempDir cell_;
};

TEST_F(ExplainTest, AgreesWithTheJournalAndTheStoreOfACheck) {
  for (const int n : {1, 2}) {
    SCOPED_TRACE(cap(n));
    const RunResult verdict = check(ref(), cap(n));
    ASSERT_EQ(0, verdict.status) << verdict.err;
    std::smatch journalled;
    const std::string journal = readFile(path("robots/R1/debug/corvantis.log"));
    ASSERT_TRUE(std::regex_search(journal, journalled,
                                  std::regex("Status: (\\w+), Image error: ([^,]+), "
                                             "Tolerance: 0.1\r\n$")))
        << journal;

    const RunResult json = cell({"explain", ref(), cap(n), "0.1", "--json"});
    ASSERT_EQ(0, json.status) << json.err;
    const std::size_t at = json.out.find("\"error\": ");
    ASSERT_NE(std::string::npos, at) << json.out;
    EXPECT_EQ(journalled[2].str(), formatNumber(std::strtod(json.out.c_str() + at + 9, nullptr)));
    const bool accepted = verdict.out == "1";
    EXPECT_NE(std::string::npos,
              json.out.find(accepted ? "\"accepted\": true" : "\"accepted\": false"));
    EXPECT_EQ(5u, jsonNumbers(json.out, "terms").size()) << json.out;

    const RunResult text = cell({"explain", ref(), cap(n), "0.1"});
    EXPECT_NE(std::string::npos, text.out.find("Image error: " + journalled[2].str() +
                                               "\nTolerance: 0.1, Status: " + journalled[1].str()))
        << text.out;

    // The reference values are the very numbers the check stored.
    std::string values;
    for (const double v : jsonNumbers(json.out, "reference")) values += "\t" + formatStoreNumber(v);
    const std::string listed = cell({"store", base()}).out;
    ASSERT_EQ(0u, listed.find("part.png\t")) << listed;
    const std::string record = listed.substr(0, listed.find('\n'));
    EXPECT_EQ(values, record.substr(record.find('\t', 9))) << record;
  }
}

TEST_F(ExplainTest, ForgetMakesTheNextCheckComputeTheReferenceAgain) {
  const std::string odd = path("robots/R1/ref/part left (v2).png");
  fs::copy_file(ref(), odd);
  ASSERT_EQ("1", check(odd, cap(1)).out);
  const std::string store = path("robots/R1/corvantis.dat");
  const std::string taught = readFile(store);
  // A record of another part with the reference's own time: no check would ever
  // compute it again on its own.
  const std::string time = taught.substr(taught.find(',') + 1, 10);
  test::writeFile(store, "part left (v2).png," + time + ",1,2,3,4.5,6.5\r\n");
  ASSERT_EQ("0", check(odd, cap(1)).out);

  const RunResult forget = cell({"forget", base(), "part left (v2).png"});
  EXPECT_EQ(0, forget.status) << forget.err;
  EXPECT_EQ("", readFile(store));
  EXPECT_EQ("1", check(odd, cap(1)).out);
  EXPECT_EQ(taught, readFile(store));
}

TEST_F(ExplainTest, SheetIsTheOnlyFileWrittenAndMistypedPathsFail) {
  const std::string sheetPath = path("bin/explain.png");
  const RunResult run = cell({"explain", "--sheet", sheetPath, ref(), cap(2)});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Image error: ")) << run.out;
  EXPECT_EQ(std::string::npos, run.out.find("Status")) << run.out;  // no tolerance, no verdict
  const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(CV_8UC3, sheet.type());
  cv::Mat cornerPixels;
  cv::inRange(sheet, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), cornerPixels);
  EXPECT_GT(cv::countNonZero(cornerPixels), 0);
  fs::remove(sheetPath);
  EXPECT_FALSE(fs::exists(path("robots/R1/corvantis.dat")));
  EXPECT_FALSE(fs::exists(path("robots/R1/debug/corvantis.log")));

  // Each message names what is missing.
  const struct {
    std::vector<std::string> args;
    const char* message;
  } failures[] = {
      {{"explain", ref(), path("robots/R1/cap/cap_0003.png")}, "cap_0003.png"},
      {{"explain", path("robots/R2/ref/part.png"), cap(1)}, "R2"},
      {{"explain", ref(), cap(1), "--sheet", path("nowhere/s.png")}, "nowhere"},
  };
  for (const auto& f : failures) {
    const RunResult failed = cell(f.args);
    EXPECT_EQ(1, failed.status) << f.message;
    EXPECT_NE(std::string::npos, failed.err.find(f.message)) << failed.err;
  }
}

}  // namespace
}  // namespace corvantis
