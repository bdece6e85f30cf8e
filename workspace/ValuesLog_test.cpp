#include "workspace/ValuesLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"
#include "workspace/Journal.h"

namespace corvantis {
namespace {

const CheckRecord kRejected{"12, left",
                            "/cell/robots/R1/ref/part.bmp",
                            "/cell/cap/cap 0001.bmp",
                            {5000, 300, 4, 45.3, 12.7},
                            {5000, 300, 4, 45.005, 0.1 + 0.2},
                            0.7071067811865476,
                            0.1,
                            false,
                            {3, 4},
                            "reference:speckle current:no-object"};

TEST(ValuesLogTest, FieldsAreQuotedOnlyWhereRfc4180NeedsIt) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {" padded ", "\" padded \""},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(field, csvField(text)) << text;
}

TEST(ValuesLogTest, RowHoldsLocalTimeWithOffsetNamesValuesAsStoredVerdictSnapsAndAdvice) {
  EXPECT_EQ(
      "2026-12-05T07:04:09-01:30,\"12, left\",part.bmp,cap 0001.bmp,"
      "5000,300,4,45.299999999999997,12.699999999999999,"
      "5000,300,4,45.005000000000003,0.30000000000000004,"
      "0.70710678118654757,0.10000000000000001,rejected,Angle Radius,"
      "reference:speckle current:no-object\r\n",
      valuesLogRow(LocalTime{2026, 12, 5, 7, 4, 9, -90}, kRejected));
  EXPECT_EQ("2027-01-02T03:04:05+01:00",
            valuesLogRow(LocalTime{2027, 1, 2, 3, 4, 5, 60}, kRejected).substr(0, 25));
}

// Only while the file (or its first generation) exists; a new file (an empty one, or
// after a rotation like the journal's) starts with the header; a failed write is told
// and leaves the file as it was.
TEST(ValuesLogTest, IsWrittenOnlyWhileTheFileExistsWithTheHeaderFirst) {
  test::TempDir dir;
  test::TestPlatform platform;
  std::ostringstream told;
  const std::string log = dir.file("corvantis.csv");
  const std::string row = valuesLogRow(platform.localTime(), kRejected);
  appendValuesRow(platform, log, kRejected, told);
  EXPECT_EQ(std::vector<std::string>{}, test::fileNamesIn(dir.path().string()));

  test::writeFile(log, "");
  appendValuesRow(platform, log, kRejected, told);
  appendValuesRow(platform, log, kRejected, told);
  EXPECT_EQ(valuesLogHeader() + row + row, test::readFile(log));

  const std::string full(5120 * 1024, 'x');
  test::writeFile(log, full);
  appendValuesRow(platform, log, kRejected, told);
  EXPECT_EQ(full, test::readFile(dir.file("corvantis_1.csv")));
  EXPECT_EQ(valuesLogHeader() + row, test::readFile(log));
  EXPECT_EQ("", told.str());

  // A first generation without the log: a rotation is under way (its lock held past the
  // wait: told), or was cut short by an older version (the log starts anew, told).
  std::filesystem::remove(log);
  {
    std::unique_ptr<FileLock> rotating;
    ASSERT_TRUE(defaultPlatform().lockFile(journalLockPath(log), 0, &rotating).ok());
    appendValuesRow(platform, log, kRejected, told);
  }
  EXPECT_FALSE(std::filesystem::exists(log));
  EXPECT_TRUE(test::holds(told.str(), "values log row not written: " + log + ".lock: "));
  appendValuesRow(platform, log, kRejected, told);
  EXPECT_EQ(valuesLogHeader() + row, test::readFile(log));
  EXPECT_TRUE(test::holds(told.str(), log + " started anew"));

  platform.failOn("appendDurably", "corvantis.csv", "No space left");
  appendValuesRow(platform, log, kRejected, told);
  EXPECT_EQ(valuesLogHeader() + row, test::readFile(log));
  EXPECT_TRUE(test::holds(told.str(), "values log row not written: " + log + ": No space left"));
}

// The real platform, with the check "killed" before its n-th file operation: an exception
// unwinds it, letting go of the rotation's lock as the system would.
class DyingPlatform : public test::TestPlatform {
 public:
  struct Killed {};
  explicit DyingPlatform(int operationsLeft) : left_(operationsLeft) {}

 protected:
  std::optional<Status> fault(const std::string& op, const std::string& path) const override {
    if (left_-- == 0) throw Killed();
    return TestPlatform::fault(op, path);
  }

 private:
  mutable int left_;
};

// A check killed at each step of rotating the full log, then the next check: its row is in
// the log after the header, and the full log is the first generation.
TEST(ValuesLogTest, RotationKilledAtAnyStepLeavesTheLogSwitchedOn) {
  const std::string full(kRotateKiB * 1024, 'x');
  int operations = 0;  // the kills before the rotation that ran through
  for (bool killed = true; killed; ++operations) {
    SCOPED_TRACE("killed before operation " + std::to_string(operations));
    test::TempDir dir;
    const std::string log = dir.file("debug/corvantis.csv");
    test::writeFile(log, full);
    std::ostringstream told;
    try {
      DyingPlatform dying(operations);
      appendValuesRow(dying, log, kRejected, told);
      killed = false;
    } catch (const DyingPlatform::Killed&) {
    }
    const bool cutShort = !std::filesystem::exists(log);
    test::TestPlatform platform;
    appendValuesRow(platform, log, kRejected, told);
    const std::string row = valuesLogRow(platform.localTime(), kRejected);
    EXPECT_EQ(valuesLogHeader() + row + (killed ? "" : row), test::readFile(log));
    EXPECT_EQ(full, test::readFile(dir.file("debug/corvantis_1.csv")));
    EXPECT_EQ(cutShort, test::holds(told.str(), "started anew")) << told.str();
  }
  EXPECT_GE(operations, 4) << "lock, oldest, move, new file, append";
}

}  // namespace
}  // namespace corvantis
