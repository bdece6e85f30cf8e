#include "workspace/Journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "workspace/FakePlatform.h"
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

TEST_F(JournalTest, LineHasAZeroPaddedTimeStampAndEndsInCrLf) {
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            journalLine(LocalTime{2026, 12, 5, 7, 4, 9}, "Step: 3"));
  EXPECT_EQ("[01/02/2027 00:00:05] - \r\n", journalLine(LocalTime{2027, 2, 1, 0, 0, 5}, ""));
  EXPECT_EQ("[31/10/0999 23:59:59] - x\r\n", journalLine(LocalTime{999, 10, 31, 23, 59, 59}, "x"));
}

TEST_F(JournalTest, LineBreaksInTheTextBecomeBlanks) {
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
  EXPECT_EQ("generation 1", content(generation(1)));
  EXPECT_FALSE(content(generation(2)));

  other.reset();
  write("Step: 2");
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 2\r\n", content(kJournal));
  EXPECT_EQ("generation 1", content(generation(2)));
  EXPECT_FALSE(platform_.isLocked(journalLockPath(kJournal)));
}

TEST_F(JournalTest, RotationWithAllGenerationsDropsTheOldest) {
  platform_.putFile(kJournal, std::string(kRotateBytes, 'j'));
  for (int n = 1; n <= 5; ++n) platform_.putFile(generation(n), "generation " + std::to_string(n));
  write("Step: 1");
  EXPECT_EQ(std::string(kRotateBytes, 'j'), content(generation(1)));
  for (int n = 2; n <= 5; ++n)
    EXPECT_EQ("generation " + std::to_string(n - 1), content(generation(n))) << n;
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 1\r\n", content(kJournal));
}

TEST_F(JournalTest, RotationWithAMissingGenerationShiftsTheOthers) {
  platform_.putFile(kJournal, std::string(kRotateBytes, 'j'));
  for (const int n : {1, 2, 4}) platform_.putFile(generation(n), "generation " + std::to_string(n));
  write("Step: 1");
  EXPECT_EQ(std::string(kRotateBytes, 'j'), content(generation(1)));
  EXPECT_EQ("generation 1", content(generation(2)));
  EXPECT_EQ("generation 2", content(generation(3)));
  EXPECT_FALSE(content(generation(4)));
  EXPECT_EQ("generation 4", content(generation(5)));
}

TEST_F(JournalTest, FirstLineWithoutJournalLeavesGenerationsAlone) {
  platform_.putFile(generation(1), "old");
  write("Step: 1");
  EXPECT_EQ("old", content(generation(1)));
  EXPECT_FALSE(content(generation(2)));
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 1\r\n", content(kJournal));
}

TEST_F(JournalTest, GenerationThatCannotMoveKeepsItsContent) {
  // Another check left generation 2 in place; the move of 1 onto it must not replace it.
  platform_.putFile(kJournal, std::string(kRotateBytes, 'j'));
  platform_.putFile(generation(1), "generation 1");
  platform_.putFile(generation(2), "generation 2");
  platform_.failOn(Op::moveNoReplace, "corvantis_2.log");
  write("Step: 1");
  EXPECT_EQ("generation 1", content(generation(1)));
  EXPECT_EQ("generation 2", content(generation(2)));
  // The journal could not become generation 1 either, so the line goes on its end.
  EXPECT_EQ(std::string(kRotateBytes, 'j') + "[01/02/2027 00:00:05] - Step: 1\r\n",
            content(kJournal));
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
