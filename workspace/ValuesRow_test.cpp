#include "workspace/ValuesRow.h"

#include <gtest/gtest.h>

#include <cmath>

namespace corvantis {
namespace {

std::vector<std::string> fieldsOf(const std::string& text) {
  std::size_t pos = 0;
  const auto fields = readCsvRecord(text, &pos);
  EXPECT_TRUE(fields) << text;
  EXPECT_EQ(text.size(), pos) << text;
  return fields.value_or(std::vector<std::string>{});
}

const std::vector<std::string> kHeader = fieldsOf(valuesLogHeader());

TEST(ValuesRowTest, ReadsQuotedFieldsAndRefusesARecordCutShort) {
  const std::string text = "a,\"b, \"\"c\"\"\",\"two\r\nlines\"\r\nx,\"cut";
  std::size_t pos = 0;
  EXPECT_EQ((std::vector<std::string>{"a", "b, \"c\"", "two\r\nlines"}), readCsvRecord(text, &pos));
  EXPECT_FALSE(readCsvRecord(text, &pos));
  EXPECT_EQ(text.size(), pos);
  // A line that ends in LF alone ends its record there too.
  const std::string unix = "p\nq\n";
  pos = 0;
  EXPECT_EQ(std::vector<std::string>{"p"}, readCsvRecord(unix, &pos));
  EXPECT_EQ(std::vector<std::string>{"q"}, readCsvRecord(unix, &pos));
}

// Whatever a row holds, the reader gets back what the writer was given, to the last bit.
TEST(ValuesRowTest, WrittenRowsReadBackExactly) {
  ValuesRow quoted;
  quoted.time = "2026-12-05T07:04:09+01:00";
  quoted.step = "12, \"left\"\r\nupper";
  quoted.reference = " part.png";
  quoted.current = "cap,1.png";
  quoted.referenceValues = {5000, 300, 4, 45.3, 12.7};
  quoted.currentValues = {5000, 300, 4, 45.005, 0.1 + 0.2};
  quoted.error = 0.7071067811865476;
  quoted.tolerance = 0.1;
  quoted.snapped = "Angle Radius";
  quoted.advice = "reference:speckle current:corner-cap";
  ValuesRow odd = quoted;
  odd.referenceValues = {};
  odd.currentValues = {1, 2};
  odd.error = INFINITY;
  odd.accepted = true;
  odd.snapped = "";
  odd.advice = "";
  for (const ValuesRow& row : {quoted, odd}) {
    const std::optional<ValuesRow> read = readValuesRow(kHeader, fieldsOf(valuesRowText(row)));
    ASSERT_TRUE(read) << valuesRowText(row);
    EXPECT_EQ(valuesRowText(row), valuesRowText(*read));
    EXPECT_EQ(row.advice, read->advice);
  }
}

// Columns are found by the header's names: a log written before the advice column
// existed reads without advice; a row that does not fit, or holds what no writer writes,
// is none.
TEST(ValuesRowTest, ColumnsAreReadByTheHeadersNames) {
  std::string row = valuesRowText(ValuesRow{});
  row.resize(row.size() - 3);  // the empty advice field and the line end
  const std::vector<std::string> older(kHeader.begin(), kHeader.end() - 1);
  ASSERT_EQ("advice", kHeader.back());
  const auto advised =
      readValuesRow(kHeader, fieldsOf(row + ",reference:speckle current:corner-cap\r\n"));
  ASSERT_TRUE(advised);
  EXPECT_EQ("reference:speckle current:corner-cap", advised->advice.value_or("?"));
  EXPECT_EQ("?", readValuesRow(older, fieldsOf(row + "\r\n"))->advice.value_or("?"));

  const std::pair<std::string, std::string> bad[] = {
      {"0,rejected,", "0,maybe,"}, {"0,rejected,", "x,rejected,"}, {",0,0,", ",0,0,0,"}};
  for (const auto& [from, to] : bad) {
    std::string wrong = row;
    const std::size_t at = wrong.rfind(from);
    ASSERT_NE(std::string::npos, at) << row;
    wrong.replace(at, from.size(), to);
    EXPECT_FALSE(readValuesRow(kHeader, fieldsOf(wrong + "\r\n"))) << wrong;
  }
  EXPECT_FALSE(readValuesRow(kHeader, {"2026-12-05T07:04:09+01:00", "s"}));
}

}  // namespace
}  // namespace corvantis
