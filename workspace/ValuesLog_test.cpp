#include "workspace/ValuesLog.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test/FakePlatform.h"
#include "workspace/Paths.h"

namespace corvantis {
namespace {

using Op = test::FakePlatform::Op;

constexpr char kLog[] = "/cell/robots/R1/debug/corvantis.csv";

CheckRecord rejectedRecord() {
  return CheckRecord{"12, left",
                     "/cell/robots/R1/ref/part.bmp",
                     "/cell/cap/cap 0001.bmp",
                     {5000, 300, 4, 45.3, 12.7},
                     {5000, 300, 4, 45.005, 0.1 + 0.2},
                     0.7071067811865476,
                     0.1,
                     false,
                     {3}};
}

class ValuesLogTest : public ::testing::Test {
 protected:
  ValuesLogTest() { platform_.setLocalTime(LocalTime{2026, 12, 5, 7, 4, 9, -90}); }
  void append() { appendValuesRow(platform_, kLog, rejectedRecord(), diagnostics_); }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST(CsvField, QuotesOnlyWhatRfc4180Needs) {
  const struct {
    const char* text;
    const char* field;
  } cases[] = {
      {"", ""},
      {"cap_0001.bmp", "cap_0001.bmp"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {" padded ", "\" padded \""},
      {"inner blank", "inner blank"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.field, csvField(c.text)) << c.text;
}

TEST_F(ValuesLogTest, RowHoldsLocalTimeWithOffsetNamesValuesAsStoredVerdictAndSnaps) {
  EXPECT_EQ(
      "2026-12-05T07:04:09-01:30,\"12, left\",part.bmp,cap 0001.bmp,"
      "5000,300,4,45.299999999999997,12.699999999999999,"
      "5000,300,4,45.005000000000003,0.30000000000000004,"
      "0.70710678118654757,0.10000000000000001,rejected,Angle\r\n",
      valuesLogRow(platform_.localTime(), rejectedRecord()));
  CheckRecord twoSnaps = rejectedRecord();
  twoSnaps.snapped = {3, 4};
  twoSnaps.accepted = true;
  const std::string row = valuesLogRow(LocalTime{2027, 1, 2, 3, 4, 5, 60}, twoSnaps);
  EXPECT_EQ("2027-01-02T03:04:05+01:00", row.substr(0, 25));
  EXPECT_NE(std::string::npos, row.find(",accepted,Angle Radius\r\n"));
}

TEST_F(ValuesLogTest, IsWrittenOnlyWhileTheFileExistsWithTheHeaderFirst) {
  platform_.addDirectory("/cell/robots/R1/debug");
  append();
  EXPECT_FALSE(platform_.contentOf(kLog));

  platform_.putFile(kLog, "");
  append();
  append();
  const std::string row = valuesLogRow(platform_.localTime(), rejectedRecord());
  EXPECT_EQ(valuesLogHeader() + row + row, platform_.contentOf(kLog));
  EXPECT_EQ("", diagnostics_.str());
}

TEST_F(ValuesLogTest, RotatesLikeTheJournalAndStartsTheNewFileWithTheHeader) {
  const std::string full(5120 * 1024, 'x');
  platform_.putFile(kLog, full);
  append();
  EXPECT_EQ(full, platform_.contentOf(rotatedNames(kLog)[0]));
  EXPECT_EQ("/cell/robots/R1/debug/corvantis_1.csv", rotatedNames(kLog)[0]);
  EXPECT_EQ(valuesLogHeader() + valuesLogRow(platform_.localTime(), rejectedRecord()),
            platform_.contentOf(kLog));
}

TEST_F(ValuesLogTest, AFailedWriteIsToldAndLeavesTheFileAsItWas) {
  platform_.putFile(kLog, "");
  platform_.failOn(Op::appendDurably, "corvantis.csv", "No space left on device");
  append();
  EXPECT_EQ("", platform_.contentOf(kLog));
  EXPECT_NE(std::string::npos, diagnostics_.str().find("values log row not written"));
  EXPECT_NE(std::string::npos, diagnostics_.str().find("No space left on device"));
}

}  // namespace
}  // namespace corvantis
