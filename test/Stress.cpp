// Runs many checks of one cell at once, then reads every file they wrote: each check
// must have left exactly one whole journal line (the journal rotating once on the way),
// and the store one complete record per key, each reference's with its last time. What
// a killed check leaves is tested in ReferenceStoreKillPosix_test.cpp. POSIX only.
//
//   corvantis_stress <program> <processes> <rounds>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cell/Report.h"
#include "test/RunProgram.h"
#include "workspace/Journal.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

constexpr int kReferences = 4;
constexpr long kFirstTime = 1700000000;
int failures = 0;

void require(bool condition, const std::string& what) {
  if (condition) return;
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  ++failures;
}

// One round: every reference made newer than its record, then `processes` checks at
// once, each of a step of its own.
void checkRound(const std::string& program, const test::TestCell& cell,
                const std::function<std::string(int)>& ref, const std::string& cap, int round,
                int processes) {
  for (int n = 0; n < kReferences; ++n) test::setFileTime(ref(n), kFirstTime + round);
  std::deque<test::Child> children;
  for (int p = 0; p < processes; ++p) {
    const std::vector<std::string> args = {std::to_string(round) + "-" + std::to_string(p),
                                           ref(p % kReferences), cap, "0.1"};
    children.emplace_back(program, args, test::ChildEnv{cell.file("bin")});
  }
  for (auto& child : children) {
    child.waitFor(std::chrono::seconds(120));
    const test::RunResult run = child.result();
    require(run.status == 0 && (run.out == "1" || run.out == "0") && run.err.empty(),
            "check " + run.out + ": " + run.err);
  }
}

void concurrentChecks(const std::string& program, int processes, int rounds) {
  const test::TestCell cell;
  const auto ref = [&](int n) {
    return cell.file("robots/R1/ref/ref" + std::to_string(n) + ".png");
  };
  const std::string cap = cell.file("robots/R1/cap/cap.png");
  // Small images, so that a check is quick; references shifted apart.
  for (int n = 0; n <= kReferences; ++n) {
    cv::Mat image(31, 41, CV_8U, cv::Scalar(210));
    cv::rectangle(image, cv::Rect(5 + 3 * n, 6 + n, 14, 9), cv::Scalar(25), cv::FILLED);
    cv::imwrite(n < kReferences ? ref(n) : cap, image);
  }
  // Records of other parts before stale ones of the references: every check stores.
  std::string records = "; cell R1 under stress\r\nother0,1,7,2,3,4,6\r\nother1,1,7,2,3,4,6\r\n";
  std::string expected = records;
  for (int n = 0; n < kReferences; ++n) {
    records += "ref/ref" + std::to_string(n) + ".png,1,1,1,1,1,1\r\n";
    expected += "ref/ref" + std::to_string(n) + "\\.png," +
                std::to_string(kFirstTime + rounds - 1) + "(,[-+.e0-9]+){5}\r\n";
  }
  test::writeFile(cell.file("robots/R1/corvantis.dat"), records);
  // Whole lines up to a little below the rotation size: the rotation falls in the middle
  // of the first round.
  std::string lines;
  while (lines.size() < kRotateKiB * 1024 - 200) lines += "[01/01/2026 00:00:00] - filler\r\n";
  const std::string journal = cell.file("robots/R1/debug/corvantis.log");
  test::writeFile(journal, lines);

  for (int round = 0; round < rounds; ++round)
    checkRound(program, cell, ref, cap, round, processes);

  // The journal before, whole, then one verdict line of each check, in either generation.
  const std::vector<std::string> generations = rotatedNames(journal);
  const std::string written = test::readFile(generations[0]) + test::readFile(journal);
  require(written.rfind(lines, 0) == 0, "journal before the checks kept");
  std::set<std::string> steps;
  std::istringstream tail(written.substr(lines.size()));
  for (std::string line; std::getline(tail, line);) {
    const bool whole = !line.empty() && line.back() == '\r';  // a stray CR breaks the image
    if (whole) line.pop_back();
    const auto entry = parseVerdictLine(line);
    require(whole && entry && entry->image == "cap.png" && entry->tolerance == 0.1 &&
                steps.insert(entry->step).second,
            "journal line, or a second one of its step: " + line);
  }
  require(steps.size() == static_cast<std::size_t>(processes) * rounds,
          "a line of every check, and no torn or stray line end");
  require(std::filesystem::exists(generations[0]) && !std::filesystem::exists(generations[1]),
          "rotated exactly once");
  require(std::regex_match(cell.store(), std::regex(expected)),
          "one whole record per key, each reference's with its last time:\n" + cell.store());
}

}  // namespace
}  // namespace corvantis

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corvantis_stress <program> <processes> <rounds>\n");
    return 2;
  }
  corvantis::concurrentChecks(std::filesystem::absolute(argv[1]).string(), std::atoi(argv[2]),
                              std::atoi(argv[3]));
  std::printf("stress: %s\n", corvantis::failures == 0 ? "passed" : "FAILED");
  return corvantis::failures == 0 ? 0 : 1;
}
