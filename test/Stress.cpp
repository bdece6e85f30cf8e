// Runs many checks of one cell at once and kills checks at random moments, then reads
// every file they wrote: each completed check must have left exactly one whole journal
// line, and the store must parse with one complete record per key. POSIX only.
//
//   corvantis_stress <program> [processes] [rounds] [kills]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "test/TestUtil.h"
#include "workspace/Journal.h"
#include "workspace/Paths.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

constexpr int kReferences = 4;
constexpr int kOtherParts = 6;
constexpr std::uint64_t kFirstTime = 1700000000;

int failures = 0;

#define REQUIRE(condition, what)                                              \
  do {                                                                        \
    if (!(condition)) {                                                       \
      std::fprintf(stderr, "FAILED %s:%d: %s\n", __FILE__, __LINE__, (what)); \
      ++failures;                                                             \
    }                                                                         \
  } while (0)

struct Cell {
  test::TempDir dir;
  std::string ref(int n) const {
    return dir.file("robots/R1/ref/ref" + std::to_string(n) + ".png");
  }
  std::string cap() const { return dir.file("robots/R1/cap/cap.png"); }
  std::string store() const { return dir.file("robots/R1/corvantis.dat"); }
  std::string journal() const { return dir.file("robots/R1/debug/corvantis.log"); }
  std::string out(int n) const { return dir.file("out/" + std::to_string(n)); }
};

void setFileTime(const std::string& path, std::uint64_t seconds) {
  const utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
  if (utime(path.c_str(), &times) != 0) std::perror(path.c_str());
}

// A cell with small images, so that a check is quick; references shifted apart.
void makeCell(const Cell& cell, std::size_t otherRecordBytes) {
  for (const char* d :
       {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin", "var/tmp", "out"})
    fs::create_directories(cell.dir.path() / d);
  for (int n = 0; n <= kReferences; ++n) {
    cv::Mat image(31, 41, CV_8U, cv::Scalar(210));
    cv::rectangle(image, cv::Rect(5 + 3 * n, 6 + n, 14, 9), cv::Scalar(25), cv::FILLED);
    cv::imwrite(n < kReferences ? cell.ref(n) : cell.cap(), image);
  }
  // Records of other parts around stale ones of the references: every check computes
  // and stores its reference again.
  std::string store = "; cell R1 under stress\r\n";
  const std::string padding(otherRecordBytes, '7');
  for (int n = 0; n < kOtherParts; ++n)
    store += "other" + std::to_string(n) + ".png,1," + padding + ",2,3,4.5,6.5\r\n";
  for (int n = 0; n < kReferences; ++n)
    store += "ref" + std::to_string(n) + ".png,1,1,1,1,1.5,1.5\r\n";
  writeFile(cell.store(), store);
}

pid_t spawnCheck(const std::string& program, const Cell& cell, const std::string& step, int ref,
                 int slot) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string out = cell.out(slot);
  const std::string err = out + ".err";
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string cwd = cell.dir.file("bin");
  std::vector<std::string> args = {program, step, cell.ref(ref), cell.cap(), "0.1"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  // The program finds its cell from the paths; the working directory only places var/tmp.
  if (chdir(cwd.c_str()) != 0 ||
      posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
    pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// The lines of a text in which every line ends in CR LF; a stray CR or LF, or text
// after the last line end, counts as a torn line.
std::vector<std::string> crLfLines(const std::string& text, const std::string& what) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = text.substr(start, end - start);
    REQUIRE(line.find_first_of("\r\n") == std::string::npos, ("stray line end in " + what).c_str());
    lines.push_back(line);
  }
  REQUIRE(start == text.size(), ("torn last line in " + what).c_str());
  return lines;
}

// Every line of the store: one record per key, five values each. Returns key -> record.
std::map<std::string, StoreRecord> parseStore(const std::string& text, std::size_t* parsed) {
  std::map<std::string, StoreRecord> records;
  for (const std::string& line : crLfLines(text, "store")) {
    if (!line.empty() && line[0] == ';') continue;
    const std::string key = line.substr(0, line.find(','));
    const StoreRecord record = parseRecord(line, key);
    REQUIRE(record.values.size() == kFeatureCount, ("record of " + key).c_str());
    REQUIRE(records.count(key) == 0, ("second record of " + key).c_str());
    records[key] = record;
    ++*parsed;
  }
  return records;
}

void concurrentChecks(const std::string& program, int processes, int rounds) {
  Cell cell;
  makeCell(cell, 8);
  // Whole filler lines up to a little below the rotation size: the rotation falls in
  // the middle of the first round.
  const std::size_t rotateBytes = kRotateKiB * 1024;
  const std::string filler = "[01/01/2026 00:00:00] - filler " + std::string(70, 'f') + "\r\n";
  std::string journal;
  while (journal.size() + 2 * filler.size() < rotateBytes) journal += filler;
  const std::size_t fillerLines = journal.size() / filler.size();
  writeFile(cell.journal(), journal);

  std::size_t completed = 0;
  std::regex verdict(R"(\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] - Step: (\d+-\d+), Image: cap\.png, )"
                     R"(Status: (accepted|rejected), Image error: [^,]+, Tolerance: 0\.1)");
  for (int round = 0; round < rounds; ++round) {
    // Each round makes every reference newer than its record: all checks store.
    for (int n = 0; n < kReferences; ++n) setFileTime(cell.ref(n), kFirstTime + round);
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p)
      children.push_back(spawnCheck(program, cell, std::to_string(round) + "-" + std::to_string(p),
                                    p % kReferences, p));
    for (int p = 0; p < processes; ++p) {
      int status = 0;
      REQUIRE(children[p] > 0 && waitpid(children[p], &status, 0) == children[p], "wait");
      const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
      const std::string out = readFile(cell.out(p));
      const std::string err = readFile(cell.out(p) + ".err");
      REQUIRE(ok && (out == "1" || out == "0"), ("check " + out + ": " + err).c_str());
      REQUIRE(err.empty(), err.c_str());
      completed += ok;
    }
  }

  std::set<std::string> steps;
  std::size_t lines = 0;
  std::vector<std::string> files = {cell.journal()};
  for (const std::string& g : rotatedNames(cell.journal())) files.push_back(g);
  for (const std::string& file : files) {
    for (const std::string& line : crLfLines(readFile(file), file)) {
      ++lines;
      std::smatch m;
      if (line == filler.substr(0, filler.size() - 2)) continue;
      REQUIRE(std::regex_match(line, m, verdict), ("journal line: " + line).c_str());
      REQUIRE(m.size() < 2 || steps.insert(m[1]).second, ("second line of step " + line).c_str());
    }
  }
  REQUIRE(lines == fillerLines + completed, "journal lines != filler + completed checks");
  REQUIRE(steps.size() == completed, "steps journalled != completed checks");
  REQUIRE(fs::exists(files[1]) && !fs::exists(files[2]), "rotated exactly once");

  std::size_t parsed = 0;
  const auto records = parseStore(readFile(cell.store()), &parsed);
  REQUIRE(records.size() == kOtherParts + kReferences, "keys in the store");
  for (int n = 0; n < kReferences; ++n) {
    const auto r = records.find("ref" + std::to_string(n) + ".png");
    REQUIRE(r != records.end() && r->second.time == kFirstTime + rounds - 1,
            "every reference stored with its last time");
  }
  std::printf(
      "concurrent: %d checks at once x %d rounds, %zu completed; %zu journal lines in %zu "
      "files (%zu of checks); %zu store records parsed\n",
      processes, rounds, completed, lines, files.size(), lines - fillerLines, parsed);
}

// Kills checks at random moments while they rewrite a large store: afterwards the store
// is the old or the new file, complete, each time.
void killedChecks(const std::string& program, int kills) {
  Cell cell;
  makeCell(cell, 150000);  // about a mebibyte: the rewrite takes a while
  std::mt19937 random(20261206);
  setFileTime(cell.ref(0), kFirstTime);
  const auto start = std::chrono::steady_clock::now();
  int status = 0;
  waitpid(spawnCheck(program, cell, "measure", 0, 0), &status, 0);
  const auto runTime = std::chrono::steady_clock::now() - start;
  REQUIRE(WIFEXITED(status) && WEXITSTATUS(status) == 0, "unkilled check");

  int killed = 0;
  std::size_t parsed = 0;
  int killedAfterRename = 0;
  for (int k = 1; k <= kills; ++k) {
    const std::string before = readFile(cell.store());
    const auto old = parseStore(before, &parsed);
    const std::uint64_t time = kFirstTime + k;
    setFileTime(cell.ref(0), time);
    const pid_t pid = spawnCheck(program, cell, "kill", 0, 0);
    // Up to half again the time of a whole check, so that some checks finish.
    std::uniform_int_distribution<long long> delay(
        0, std::chrono::duration_cast<std::chrono::microseconds>(runTime).count() * 3 / 2);
    std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    const bool wasKilled = WIFSIGNALED(status);
    killed += wasKilled;

    const std::string after = readFile(cell.store());
    auto now = parseStore(after, &parsed);
    REQUIRE(now.size() == old.size(), "store lost records");
    const std::uint64_t stored = now["ref0.png"].time;
    REQUIRE(stored == old.at("ref0.png").time || stored == time, "record neither old nor new");
    killedAfterRename += wasKilled && stored == time;
    now["ref0.png"] = old.at("ref0.png");
    for (const auto& [key, record] : old)
      REQUIRE(now[key].time == record.time && now[key].values == record.values,
              "other record changed");
    crLfLines(readFile(cell.journal()), "journal");
  }
  std::printf(
      "killed: %d of %d checks killed by SIGKILL (%d after their store update), "
      "store old or new each time; %zu store records parsed\n",
      killed, kills, killedAfterRename, parsed);
}

}  // namespace
}  // namespace corvantis

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: corvantis_stress <program> [processes] [rounds] [kills]\n");
    return 2;
  }
  const std::string program = corvantis::fs::absolute(argv[1]).string();
  const int processes = argc > 2 ? std::atoi(argv[2]) : 16;
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 50;
  const int kills = argc > 4 ? std::atoi(argv[4]) : 100;
  corvantis::concurrentChecks(program, processes, rounds);
  corvantis::killedChecks(program, kills);
  std::printf("%s\n", corvantis::failures == 0 ? "stress: passed" : "stress: FAILED");
  return corvantis::failures == 0 ? 0 : 1;
}
