#include "workspace/StoreRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace corvantis {
namespace {

class StoreRecordTest : public ::testing::Test {};

TEST_F(StoreRecordTest, TimeIsADecimalIntegerHeldAtTheSignedRange) {
  const std::uint64_t max = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::string field;
    std::uint64_t time;
  } cases[] = {{"1700000000", 1700000000},
               {"  42", 42},
               {"+7", 7},
               {"12abc", 12},
               {"abc", 0},
               {"", 0},
               {"-1", std::numeric_limits<std::uint64_t>::max()},
               {"9223372036854775807", max},
               {"9223372036854775808", max},
               {"99999999999999999999999", max},
               {"-99999999999999999999999", max + 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.time, parseRecord("k," + c.field + ",1,2,3,4,5", "k").time)
        << "time field " << c.field;
  }
}

TEST_F(StoreRecordTest, ValueIsTheLongestLeadingNumberOrMinusOne) {
  const struct {
    std::string field;
    double value;
  } cases[] = {{"937", 937.0},
               {"0.66666666666666663", 2.0 / 3.0},
               {"-1", -1.0},
               {" 17.5", 17.5},
               {"+3", 3.0},
               {"1.5e+3", 1500.0},
               {"1.0000000000000001e-005", 0.000010000000000000001},
               {"1e", 1.0},
               {"2e+", 2.0},
               {".5", 0.5},
               {"5.", 5.0},
               {"12.5abc", 12.5},
               {"abc", -1.0},
               {"", -1.0},
               {"-", -1.0},
               {".", -1.0},
               {"inf", -1.0},
               {"nan", -1.0},
               {"0x10", 0.0},
               {"1e999", -1.0}};
  for (const auto& c : cases) {
    const StoreRecord record = parseRecord("k,1," + c.field + ",2,3,4,5", "k");
    ASSERT_EQ(5u, record.values.size()) << c.field;
    EXPECT_EQ(c.value, record.values[0]) << "value field '" << c.field << "'";
  }
}

TEST_F(StoreRecordTest, RecordsReadBackWhatWasFormatted) {
  const FeatureVector values = {937, 312, 4, 123.456, 2.0 / 3.0};
  const std::string record = formatRecord("part.bmp", values, 1700000000);
  EXPECT_EQ("part.bmp,1700000000,937,312,4,123.456,0.66666666666666663\r\n", record);
  std::size_t pos = 0;
  std::string line;
  ASSERT_TRUE(readLine(record, &pos, &line));
  const StoreRecord parsed = parseRecord(line, "part.bmp");
  EXPECT_EQ(1700000000u, parsed.time);
  EXPECT_EQ(values, parsed.values);
  // Only the first five values are written.
  EXPECT_EQ("k,1,1,2,3,4,5\r\n", formatRecord("k", {1, 2, 3, 4, 5, 6}, 1));
}

TEST_F(StoreRecordTest, LinesEndAtLfWithACrBeforeItDropped) {
  const std::string content = "a\r\nb\nc\rd\r\n\r\ne";
  std::size_t pos = 0;
  std::string line;
  std::vector<std::string> lines;
  while (readLine(content, &pos, &line)) lines.push_back(line);
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c\rd", "", "e"}), lines);
}

TEST_F(StoreRecordTest, UpdateReplacesEveryLineOfTheKeyAndDropsShortLines) {
  const std::string record = "part.bmp,9,1,2,3,4,5\r\n";
  const struct {
    std::string name;
    std::string before;
    std::string after;
  } cases[] = {
      {"empty store", "", record},
      {"key absent", "other.bmp,1,1,2,3,4,5\r\n", "other.bmp,1,1,2,3,4,5\r\n" + record},
      {"key absent, no final line end", "other.bmp,1,1,2,3,4,5",
       "other.bmp,1,1,2,3,4,5\r\n" + record},
      {"key absent keeps short lines", "\r\n;c\r\n", "\r\n;c\r\n" + record},
      {"key present in the middle",
       "a.bmp,1,1,2,3,4,5\r\npart.bmp,1,0,0,0,0,0\r\nz.bmp,1,1,2,3,4,5\r\n",
       "a.bmp,1,1,2,3,4,5\r\n" + record + "z.bmp,1,1,2,3,4,5\r\n"},
      {"short lines dropped on rewrite",
       "\r\n;short\r\npart.bmp,1,0,0,0,0,0\r\n; a longer comment\r\n",
       record + "; a longer comment\r\n"},
      {"line of exactly ten characters dropped", "0123456789\r\n01234567890\r\npart.bmp,1\r\n",
       "01234567890\r\n" + record},
      {"duplicates both replaced", "part.bmp,1,0\r\nx.bmp,1,1,2,3,4,5\r\npart.bmp,2,0\r\n",
       record + "x.bmp,1,1,2,3,4,5\r\n" + record},
      {"record cut short is replaced", "part.bmp,1\r\n", record},
      {"LF-only lines get CR LF", "x.bmp,1,1,2,3,4,5\npart.bmp,1,0\n",
       "x.bmp,1,1,2,3,4,5\r\n" + record},
      {"mypart.bmp untouched", "mypart.bmp,1,1,2,3,4,5\r\npart.bmp,1,0\r\n",
       "mypart.bmp,1,1,2,3,4,5\r\n" + record},
      {"part.bmpx untouched", "part.bmpx,1,1,2,3,4,5\r\npart.bmp,1,0\r\n",
       "part.bmpx,1,1,2,3,4,5\r\n" + record},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.after, updatedStore(c.before, "part.bmp", record)) << c.name;
}

}  // namespace
}  // namespace corvantis
