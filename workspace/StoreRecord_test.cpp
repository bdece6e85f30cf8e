#include "workspace/StoreRecord.h"

#include <gtest/gtest.h>

namespace corvantis {
namespace {

// A check trusts exactly what the store writes; anything else (a value that is no finite
// number, a sixth value, a field edited by hand) makes it compute the signature again.
// The key ends at the first comma, as a lookup, which never asks for a key with one,
// reads it.
TEST(StoreRecordTest, ParseTrustsOnlyTheFieldsAsTheStoreWritesThem) {
  const struct {
    std::string line;
    bool record;
    std::string key;
    std::string distrust;  // empty: trusted
  } cases[] = {
      {"ref/st10/part.png,1700000000,937,312,4,123.456,17.5", true, "ref/st10/part.png", ""},
      {"k,18446744073709551615,1.0000000000000001e-005,-2,.5,0,5", true, "k", ""},
      {"k,1,inf,2,3,4,5", true, "k", "value 1 (\"inf\") is no finite number"},
      {"k,1,1,2,3,4,-nan", true, "k", "value 5 (\"-nan\") is no finite number"},
      {"k,1,1,2,3,4,1e999", true, "k", "value 5 (\"1e999\") is no finite number"},
      {"k,1,1,,3,4,5", true, "k", "value 2 (\"\") is no finite number"},
      {"k,1,12.5abc,2,3,4,5", true, "k", "value 1 (\"12.5abc\") is no finite number"},
      {"k,1,+7,2,3,4,5", true, "k", "value 1 (\"+7\") is no finite number"},
      {"k,1,1,2,3,4,5,6", true, "k", "6 values instead of 5"},
      {"k,0,1,2,3,4,5", true, "k", "time 0"},
      {"k,17x,1,2,3,4,5", true, "k", "time \"17x\" is no whole number"},
      {"k,-1,1,2,3,4,5", true, "k", "time \"-1\" is no whole number"},
      {"left, upper part.png,1,1,2,3,4,5", true, "left",
       "time \" upper part.png\" is no whole number"},
      {"; k,1,1,2,3,4,5", false, "", ""},
      {"no comma", false, "", ""},
      {"", false, "", ""},
  };
  for (const auto& c : cases) {
    StoreRecord record;
    EXPECT_EQ(c.record, parseRecord(c.line, &record)) << c.line;
    EXPECT_EQ(c.key, record.key) << c.line;
    EXPECT_EQ(c.distrust, record.distrust) << c.line;
    // Only a trusted record has a time and values.
    EXPECT_EQ(c.record && c.distrust.empty() ? kFeatureCount : 0, record.values.size()) << c.line;
    EXPECT_EQ(c.record && c.distrust.empty(), record.time != 0) << c.line;
  }
  // What the store writes reads back exactly.
  const FeatureVector values = {937, 312, 4, 2.0 / 3.0, 1e-5};
  StoreRecord record;
  const std::string line = formatRecord("ref/part.png", values, 1700000000);
  ASSERT_TRUE(parseRecord(line.substr(0, line.size() - 2), &record));
  EXPECT_EQ(values, record.values);
  EXPECT_EQ(1700000000u, record.time);
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
