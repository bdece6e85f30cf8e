#include "workspace/Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "test/FakePlatform.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

using Op = test::FakePlatform::Op;

constexpr char kJournal[] = "/cell/robots/R1/debug/corvantis.log";
constexpr std::size_t kRotateBytes = 5120 * 1024;

class JournalTest : public ::testing::Test {
 protected:
  JournalTest() {
    platform_.addDirectory("/cell/robots/R1/debug");
    platform_.setLocalTime(LocalTime{2027, 2, 1, 0, 0, 5});
  }

  void write(const std::string& text) { writeJournalLine(platform_, kJournal, text, diagnostics_); }
  std::string generation(int n) const { return rotatedNames(kJournal)[n - 1]; }
  std::optional<std::string> content(const std::string& path) const {
    return platform_.contentOf(path);
  }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST_F(JournalTest, LineHasAZeroPaddedTimeStampBlanksForLineBreaksAndEndsInCrLf) {
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            journalLine(LocalTime{2026, 12, 5, 7, 4, 9}, "Step: 3"));
  EXPECT_EQ("[01/02/2027 00:00:05] - \r\n", journalLine(LocalTime{2027, 2, 1, 0, 0, 5}, ""));
  EXPECT_EQ("[31/10/0999 23:59:59] - x\r\n", journalLine(LocalTime{999, 10, 31, 23, 59, 59}, "x"));
  // A step with line breaks cannot forge journal lines.
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 1  forged line \r\n",
            journalLine(LocalTime{2027, 2, 1, 0, 0, 5}, "Step: 1\r\nforged line\n"));
}

TEST_F(JournalTest, AppendsOneLinePerCall) {
  write("Step: 1");
  platform_.setLocalTime(LocalTime{2027, 2, 1, 0, 0, 6});
  write("Step: 2");
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 1\r\n[01/02/2027 00:00:06] - Step: 2\r\n",
            content(kJournal));
  EXPECT_EQ("", diagnostics_.str());
}

TEST_F(JournalTest, RotatesAtExactlyFiveMebibytes) {
  const std::string justBelow(kRotateBytes - 1, 'x');
  platform_.putFile(kJournal, justBelow);
  write("Step: 1");
  EXPECT_EQ(justBelow + "[01/02/2027 00:00:05] - Step: 1\r\n", content(kJournal));
  EXPECT_FALSE(content(generation(1)));

  const std::string full(kRotateBytes, 'x');
  platform_.putFile(kJournal, full);
  write("Step: 2");
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 2\r\n", content(kJournal));
  EXPECT_EQ(full, content(generation(1)));
}

TEST_F(JournalTest, RotationHeldUpByAnotherCheckAppendsToTheFullJournal) {
  const std::string full(kRotateBytes, 'x');
  platform_.putFile(kJournal, full);
  platform_.putFile(generation(1), "generation 1");
  std::unique_ptr<FileLock> other;
  ASSERT_TRUE(platform_.lockFile(journalLockPath(kJournal), 0, &other).ok());
  write("Step: 1");
  EXPECT_EQ(full + "[01/02/2027 00:00:05] - Step: 1\r\n", content(kJournal));
  EXPECT_NE(std::string::npos, diagnostics_.str().find("journal not rotated"))
      << diagnostics_.str();
  EXPECT_EQ("generation 1", content(generation(1)));
  EXPECT_FALSE(content(generation(2)));

  other.reset();
  write("Step: 2");
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 2\r\n", content(kJournal));
  EXPECT_EQ("generation 1", content(generation(2)));
  EXPECT_FALSE(platform_.isLocked(journalLockPath(kJournal)));
}

// Generations n = 1..5 start as "gN"; "J" stands for the full journal, "" for no file.
TEST_F(JournalTest, RotationShiftsTheGenerationsItCanAndTellsWhatItCannot) {
  const std::string full(kRotateBytes, 'j');
  const std::string line = "[01/02/2027 00:00:05] - Step: 1\r\n";
  const std::vector<std::string> untouched = {"g1", "g2", "g3", "g4", "g5"};
  const struct {
    const char* name;
    bool journal;
    std::vector<int> present;
    Op op;                  // this operation fails
    const char* failingOn;  // on paths holding this; nullptr: nothing fails
    std::string after;
    std::vector<std::string> generations;
    bool told;  // a failed step is on the diagnostics stream
  } cases[] = {
      {"all: the oldest dropped",
       true,
       {1, 2, 3, 4, 5},
       Op::fileExists,
       nullptr,
       line,
       {"J", "g1", "g2", "g3", "g4"},
       false},
      {"one missing",
       true,
       {1, 2, 4},
       Op::fileExists,
       nullptr,
       line,
       {"J", "g1", "g2", "", "g4"},
       false},
      {"no journal yet", false, {1}, Op::fileExists, nullptr, line, {"g1", "", "", "", ""}, false},
      // The oldest generation is deleted without being opened.
      {"5 unreadable",
       true,
       {1, 2, 3, 4, 5},
       Op::fileExists,
       "_5",
       line,
       {"J", "g1", "g2", "g3", "g4"},
       false},
      {"5 cannot be deleted",
       true,
       {1, 2, 3, 4, 5},
       Op::deleteFile,
       "_5",
       full + line,
       untouched,
       true},
      // Another check left generation 2 in place; the journal cannot become 1 either.
      {"2 cannot move",
       true,
       {1, 2},
       Op::moveNoReplace,
       "_2",
       full + line,
       {"g1", "g2", "", "", ""},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::FakePlatform platform;
    platform.addDirectory("/cell/robots/R1/debug");
    platform.setLocalTime(LocalTime{2027, 2, 1, 0, 0, 5});
    if (c.journal) platform.putFile(kJournal, full);
    for (const int n : c.present) platform.putFile(generation(n), "g" + std::to_string(n));
    if (c.failingOn != nullptr) platform.failOn(c.op, c.failingOn, "Permission denied");
    std::ostringstream told;
    writeJournalLine(platform, kJournal, "Step: 1", told);
    EXPECT_EQ(c.after, platform.contentOf(kJournal));
    for (int n = 1; n <= 5; ++n) {
      const std::string& expected = c.generations[n - 1];
      EXPECT_EQ(expected == "J" ? full : expected, platform.contentOf(generation(n)).value_or(""))
          << "generation " << n;
    }
    EXPECT_EQ(c.told, told.str().find("journal not fully rotated: ") != std::string::npos)
        << told.str();
    if (c.told) {
      EXPECT_NE(std::string::npos, told.str().find("Permission denied")) << told.str();
    }
  }
}

TEST_F(JournalTest, MissingDebugDirectoryCreatesNothingAndSaysSo) {
  const std::string journal = "/cell/robots/R2/debug/corvantis.log";
  platform_.addDirectory("/cell/robots/R2");
  const std::vector<std::string> before = platform_.fileNames();
  writeJournalLine(platform_, journal, "Step: 1", diagnostics_);
  EXPECT_EQ(before, platform_.fileNames());
  const std::string told = diagnostics_.str();
  EXPECT_NE(std::string::npos, told.find("journal line not written")) << told;
  EXPECT_NE(std::string::npos, told.find(journal)) << told;
  EXPECT_EQ(1, std::count(told.begin(), told.end(), '\n')) << told;
}

}  // namespace
}  // namespace corvantis
