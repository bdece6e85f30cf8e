#include "workspace/StoreRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace corvantis {
namespace {

// The time field reads as a decimal integer held at the signed range; a value field as
// its longest leading number, or -1 when it does not begin with one.
TEST(StoreRecordTest, FieldsReadTheirLeadingNumber) {
  const std::uint64_t max = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::string field;
    std::uint64_t time;
    double value;
  } cases[] = {
      {"1700000000", 1700000000, 1700000000.0},
      {"  +7", 7, 7.0},
      {"12.5abc", 12, 12.5},
      {"", 0, -1.0},
      {"-1", std::numeric_limits<std::uint64_t>::max(), -1.0},
      {"9223372036854775808", max, 9223372036854775808.0},
      {"-99999999999999999999999", max + 1, -99999999999999999999999.0},
      {"1.0000000000000001e-005", 1, 0.000010000000000000001},
      {"2e+", 2, 2.0},
      {".5", 0, 0.5},
      {"inf", 0, -1.0},
      {"0x10", 0, 0.0},
      {"1e999", 1, -1.0},
  };
  for (const auto& c : cases) {
    const StoreRecord record = parseRecord("k," + c.field + "," + c.field + ",2,3,4,5", "k");
    EXPECT_EQ(c.time, record.time) << "time field '" << c.field << "'";
    ASSERT_EQ(5u, record.values.size()) << c.field;
    EXPECT_EQ(c.value, record.values[0]) << "value field '" << c.field << "'";
  }
}

// Lines end at LF, with a CR before it dropped; a CR elsewhere belongs to the line.
TEST(StoreRecordTest, UpdateReplacesEveryLineOfTheKeyAndDropsShortLines) {
  const std::string record = "part.bmp,9,1,2,3,4,5\r\n";
  // Keys that only share a part with part.bmp are other keys.
  const std::string other = "mypart.bmp,1,1,2,3,4,5\r\n";
  const std::string similar = "part.bmpx,1,1,2,3,4,5\r\n";
  const struct {
    std::string name;
    std::string before;
    std::string after;
  } cases[] = {
      {"empty store", "", record},
      {"key absent keeps short lines, no final line end", "\r\n;c\r\n" + similar + "x.bmp,1",
       "\r\n;c\r\n" + similar + "x.bmp,1\r\n" + record},
      {"key present in the middle", other + "part.bmp,1,0,0,0,0,0\r\n;z.bmp,1\r1,2,3\r\n" + similar,
       other + record + ";z.bmp,1\r1,2,3\r\n" + similar},
      {"lines of ten characters dropped", "\r\n0123456789\r\n01234567890\r\npart.bmp,1\r\n",
       "01234567890\r\n" + record},
      {"duplicates both replaced, LF-only lines get CR LF",
       "part.bmp,1,0\n" + other + "part.bmp,2,0\n", record + other + record},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.after, updatedStore(c.before, "part.bmp", record)) << c.name;
}

}  // namespace
}  // namespace corvantis
