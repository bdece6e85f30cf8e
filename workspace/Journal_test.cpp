#include "workspace/Journal.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

// The journal is "F" when full (exactly 5 MiB), "B" one byte below, "-" missing; the
// generations n = 1..5 named in `present` start as "gN". In `after` the journal comes
// first: "L" the new line alone, "F" or "B" with the line appended, "-" no file; then
// the generations: "N" for gN, "J" for the full journal, "-" for no file.
TEST(JournalTest, RotationShiftsTheGenerationsItCanAndTellsWhatItCannot) {
  const std::string full(kRotateKiB * 1024, 'j'), below(full.size() - 1, 'b');
  // A step with line breaks cannot forge journal lines.
  const std::string line = "[05/12/2026 07:04:09] - Step: 1  forged \r\n";
  const struct {
    const char* name;
    char journal;
    std::string present;
    const char* op;         // the operation that fails; empty: none
    const char* failingOn;  // on paths that hold this
    std::string after;
    std::string told;  // empty: nothing is told
  } cases[] = {
      {"one missing", 'F', "124", "", "", "LJ12-4", ""},
      {"below the size", 'B', "1", "", "", "B1----", ""},
      {"no journal yet", '-', "1", "", "", "L1----", ""},
      // The oldest generation is dropped, without being opened.
      {"5 unreadable", 'F', "12345", "readFile", "_5", "LJ1234", ""},
      {"5 cannot be deleted", 'F', "12345", "deleteFile", "_5", "F12345",
       "not fully rotated: corvantis_5.log: Permission denied"},
      // Another check left generation 2 in place; the journal cannot become 1 either.
      {"2 cannot move", 'F', "12", "moveNoReplace", "_2", "F12---",
       "not fully rotated: corvantis_2.log: Permission denied"},
      // Another check holds the rotation's lock past the wait: the line is appended.
      {"rotation held up", 'F', "1", "lockFile", "corvantis.log.lock", "F1----",
       "journal not rotated: corvantis.log.lock: Permission denied"},
      // Nothing is created where the debug directory is missing (each file of a case makes
      // its directories).
      {"no debug directory", '-', "", "", "", "------",
       "journal off:  does not exist; create it to switch the journal on"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    test::TestPlatform platform;
    const std::string path = dir.file("debug/corvantis.log");
    const std::vector<std::string> generations = rotatedNames(path);
    if (c.journal != '-') test::writeFile(path, c.journal == 'F' ? full : below);
    for (const char n : c.present) test::writeFile(generations[n - '1'], std::string("g") + n);
    if (*c.op != '\0') platform.failOn(c.op, c.failingOn, "Permission denied");
    std::ostringstream told;
    writeJournalLine(platform, path, "Step: 1\r\nforged\n", told);
    std::string toldNames = told.str();  // paths as told, named by the file alone
    for (std::size_t at; (at = toldNames.find(dir.file("debug/"))) != std::string::npos;)
      toldNames.erase(at, dir.file("debug/").size());
    const std::string journal = test::readFile(path);  // empty: missing
    std::string after = journal.empty()           ? "-"
                        : journal == line         ? "L"
                        : journal == full + line  ? "F"
                        : journal == below + line ? "B"
                                                  : "?";
    for (const std::string& generation : generations) {
      const std::string g = test::readFile(generation);
      after += g.empty() ? "-" : g == full ? "J" : g.substr(g.size() - 1);
    }
    EXPECT_EQ(c.after, after);
    EXPECT_TRUE(test::holds(toldNames, c.told));
    EXPECT_EQ(c.told.empty(), toldNames.empty()) << toldNames;
  }
}

}  // namespace
}  // namespace corvantis
