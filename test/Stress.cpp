// Runs many checks of one cell at once, then reads every file they wrote: each check
// must have left exactly one whole journal line (the journal rotating once on the way),
// and the store must parse with one complete record per key, each reference with its
// last time. What a killed check leaves is tested in ReferenceStoreKillPosix_test.cpp.
// POSIX only.
//
//   corvantis_stress <program> [processes] [rounds]
#include <utime.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "test/RunProgram.h"
#include "test/TestUtil.h"
#include "workspace/Journal.h"
#include "workspace/Paths.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

constexpr int kReferences = 4;
constexpr int kOtherParts = 6;
constexpr std::uint64_t kFirstTime = 1700000000;

int failures = 0;

void require(bool condition, const std::string& what) {
  if (condition) return;
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  ++failures;
}

// The lines of a file in which every line must end in CR LF.
std::vector<std::string> crLfLinesOf(const std::string& path) {
  const std::string text = test::readFile(path);
  const std::vector<std::string> lines = test::crLfLines(text);
  require(!lines.empty() || text.empty(), "torn or stray line end in " + path);
  return lines;
}

void concurrentChecks(const std::string& program, int processes, int rounds) {
  test::TempDir dir;
  const auto ref = [&](int n) {
    return dir.file("robots/R1/ref/ref" + std::to_string(n) + ".png");
  };
  const std::string cap = dir.file("robots/R1/cap/cap.png");
  const std::string store = dir.file("robots/R1/corvantis.dat");
  const std::string journal = dir.file("robots/R1/debug/corvantis.log");
  for (const char* d : {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin", "var/tmp"})
    std::filesystem::create_directories(dir.path() / d);
  // Small images, so that a check is quick; references shifted apart.
  for (int n = 0; n <= kReferences; ++n) {
    cv::Mat image(31, 41, CV_8U, cv::Scalar(210));
    cv::rectangle(image, cv::Rect(5 + 3 * n, 6 + n, 14, 9), cv::Scalar(25), cv::FILLED);
    cv::imwrite(n < kReferences ? ref(n) : cap, image);
  }
  // Records of other parts before stale ones of the references: every check stores.
  std::string records = "; cell R1 under stress\r\n";
  for (int n = 0; n < kOtherParts + kReferences; ++n) {
    records += n < kOtherParts ? "other" + std::to_string(n) + ".png,1,7,2,3,4.5,6.5\r\n"
                               : "ref" + std::to_string(n - kOtherParts) + ".png,1,1,1,1,1,1\r\n";
  }
  test::writeFile(store, records);
  // Whole filler lines up to a little below the rotation size: the rotation falls in
  // the middle of the first round.
  const std::string filler = "[01/01/2026 00:00:00] - filler " + std::string(70, 'f');
  std::string lines;
  while (lines.size() + 2 * filler.size() < kRotateKiB * 1024) lines += filler + "\r\n";
  test::writeFile(journal, lines);

  test::ChildEnv inBin;  // the working directory only places var/tmp
  inBin.cwd = dir.file("bin");
  for (int round = 0; round < rounds; ++round) {
    // Each round makes every reference newer than its record.
    const utimbuf times{static_cast<time_t>(kFirstTime + round),
                        static_cast<time_t>(kFirstTime + round)};
    for (int n = 0; n < kReferences; ++n) utime(ref(n).c_str(), &times);
    std::vector<std::unique_ptr<test::Child>> children;
    for (int p = 0; p < processes; ++p) {
      const std::string step = std::to_string(round) + "-" + std::to_string(p);
      children.push_back(std::make_unique<test::Child>(
          program, std::vector<std::string>{step, ref(p % kReferences), cap, "0.1"}, inBin));
    }
    for (auto& child : children) {
      child->waitFor(std::chrono::seconds(120));
      const test::RunResult run = child->result();
      require(run.status == 0 && (run.out == "1" || run.out == "0") && run.err.empty(),
              "check " + run.out + ": " + run.err);
    }
  }

  const std::regex verdict(
      R"(\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] - Step: (\d+-\d+), Image: cap\.png, )"
      R"(Status: (accepted|rejected), Image error: [^,]+, Tolerance: 0\.1)");
  std::set<std::string> steps;
  std::size_t fillers = 0;
  const std::vector<std::string> generations = rotatedNames(journal);
  for (const std::string& file : {journal, generations[0]}) {
    for (const std::string& line : crLfLinesOf(file)) {
      std::smatch m;
      if (line == filler) {
        ++fillers;
      } else {
        require(std::regex_match(line, m, verdict) && steps.insert(m[1]).second,
                "journal line, or a second one of its step: " + line);
      }
    }
  }
  require(fillers == lines.size() / (filler.size() + 2), "filler lines lost");
  require(steps.size() == static_cast<std::size_t>(processes) * rounds, "steps journalled");
  require(!std::filesystem::exists(generations[1]), "rotated exactly once");

  std::map<std::string, StoreRecord> parsed;
  for (const std::string& line : crLfLinesOf(store)) {
    if (line[0] == ';') continue;
    const std::string key = line.substr(0, line.find(','));
    require(parsed.count(key) == 0, "second record of " + key);
    parsed[key] = parseRecord(line, key);
    require(parsed[key].values.size() == kFeatureCount, "record of " + key);
  }
  require(parsed.size() == kOtherParts + kReferences, "keys in the store");
  for (int n = 0; n < kReferences; ++n)
    require(parsed["ref" + std::to_string(n) + ".png"].time == kFirstTime + rounds - 1,
            "every reference stored with its last time");
  std::printf("concurrent: %d checks at once x %d rounds; %zu journal lines\n", processes, rounds,
              fillers + steps.size());
}

}  // namespace
}  // namespace corvantis

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvantis_stress <program> [processes] [rounds]\n");
    return 2;
  }
  const std::string program = std::filesystem::absolute(argv[1]).string();
  corvantis::concurrentChecks(program, argc > 2 ? std::atoi(argv[2]) : 16,
                              argc > 3 ? std::atoi(argv[3]) : 50);
  std::printf("%s\n", corvantis::failures == 0 ? "stress: passed" : "stress: FAILED");
  return corvantis::failures == 0 ? 0 : 1;
}
