#include "workspace/Journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

using Op = test::TestPlatform::Op;

TEST(JournalTest, LineHasAZeroPaddedTimeStampBlanksForLineBreaksAndEndsInCrLf) {
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            journalLine(LocalTime{2026, 12, 5, 7, 4, 9}, "Step: 3"));
  EXPECT_EQ("[31/10/0999 23:59:59] - \r\n", journalLine(LocalTime{999, 10, 31, 23, 59, 59}, ""));
  // A step with line breaks cannot forge journal lines.
  EXPECT_EQ("[01/02/2027 00:00:05] - Step: 1  forged line \r\n",
            journalLine(LocalTime{2027, 2, 1, 0, 0, 5}, "Step: 1\r\nforged line\n"));
}

// The journal is "F" when full (exactly 5 MiB), "B" one byte below, "-" missing; the
// generations n = 1..5 named in `present` start as "gN". In `after` the journal comes
// first: "L" the new line alone, "F" or "B" with the line appended, "-" no file; then
// the generations: "N" for gN, "J" for the full journal, "-" for no file.
TEST(JournalTest, RotationShiftsTheGenerationsItCanAndTellsWhatItCannot) {
  const std::string full(kRotateKiB * 1024, 'j'), below(full.size() - 1, 'b');
  const std::string line = "[05/12/2026 07:04:09] - Step: 1\r\n";
  const struct {
    const char* name;
    char journal;
    std::string present;
    const char* failingOn;  // the fault's path part; nullptr: nothing fails
    Op op;
    std::string after;
    std::string told;  // empty: nothing is told
  } cases[] = {
      {"all: the oldest dropped", 'F', "12345", nullptr, Op::fileExists, "LJ1234", ""},
      {"one missing", 'F', "124", nullptr, Op::fileExists, "LJ12-4", ""},
      {"below the size", 'B', "1", nullptr, Op::fileExists, "B1----", ""},
      {"no journal yet", '-', "1", nullptr, Op::fileExists, "L1----", ""},
      // The oldest generation is deleted without being opened.
      {"5 unreadable", 'F', "12345", "_5", Op::fileExists, "LJ1234", ""},
      {"5 cannot be deleted", 'F', "12345", "_5", Op::deleteFile, "F12345",
       "not fully rotated: corvantis_5.log: Permission denied"},
      // Another check left generation 2 in place; the journal cannot become 1 either.
      {"2 cannot move", 'F', "12", "_2", Op::moveNoReplace, "F12---",
       "not fully rotated: corvantis_2.log: Permission denied"},
      // Another check holds the rotation's lock past the wait: the line is appended.
      {"rotation held up", 'F', "1", "corvantis.log.lock", Op::lockFile, "F1----",
       "journal not rotated: corvantis.log.lock: Permission denied"},
      // Nothing is created where the debug directory is missing (each file of a case makes
      // its directories).
      {"no debug directory", '-', "", nullptr, Op::fileExists, "------",
       "journal line not written: corvantis.log: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    test::TestPlatform platform;
    const std::string path = dir.file("debug/corvantis.log");
    const std::vector<std::string> generations = rotatedNames(path);
    if (c.journal != '-') test::writeFile(path, c.journal == 'F' ? full : below);
    for (const char n : c.present) test::writeFile(generations[n - '1'], std::string("g") + n);
    if (c.failingOn != nullptr) platform.failOn(c.op, c.failingOn, "Permission denied");
    std::ostringstream told;
    writeJournalLine(platform, path, "Step: 1", told);
    std::string toldNames = told.str();  // paths as told, named by the file alone
    for (std::size_t at; (at = toldNames.find(dir.file("debug/"))) != std::string::npos;)
      toldNames.erase(at, dir.file("debug/").size());
    const auto contentOf = [](const std::string& file) {
      return std::filesystem::exists(file) ? test::readFile(file) : "-";
    };
    const std::string journal = contentOf(path);
    std::string after = journal == "-"            ? "-"
                        : journal == line         ? "L"
                        : journal == full + line  ? "F"
                        : journal == below + line ? "B"
                                                  : "?";
    for (const std::string& generation : generations) {
      const std::string g = contentOf(generation);
      after += g == full ? "J" : g.substr(g.size() - 1);
    }
    EXPECT_EQ(c.after, after);
    EXPECT_TRUE(test::holds(toldNames, c.told));
    EXPECT_EQ(c.told.empty(), toldNames.empty()) << toldNames;
  }
}

}  // namespace
}  // namespace corvantis
