#include "cell/Explanation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "test/TestUtil.h"
#include "workspace/JournalLine.h"

namespace corvantis {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Known shape changes against the error the rule documents: the relative change of the
// angle and the radius, nothing for the counts, 0.25 for a capture entry and 1 for a
// reference entry that counts as whole. What is printed is what the check journals, and
// the JSON reads back as the check's error and verdict.
TEST(ExplanationTest, KnownShapeChangesGiveTheDocumentedErrorAsTheCheckJournalsIt) {
  const FeatureVector part = {5000, 300, 4, 45.3, 12.5};
  const auto snap = [](const std::string& entry, const char* term) {
    return entry + " counts as a whole number: this entry alone adds " + term +
           " to the squared error.";
  };
  const struct {
    const char* name;
    FeatureVector reference, current;
    double error;
    bool accepted;  // at a tolerance of 0.15
    std::vector<std::string> sentences;
  } cases[] = {
      {"the same image", part, part, 0, true, {}},
      {"only the counts changed", part, {4000, 350, 9, 45.3, 12.5}, 0, true, {}},
      {"angle 10 % larger", part, {5000, 300, 4, 49.83, 12.5}, 0.1, true, {}},
      {"angle 10 % larger, radius 30 % smaller",
       part,
       {5000, 300, 4, 49.83, 8.75},
       std::sqrt(0.01 + 0.09),
       false,
       {}},
      {"capture angle on a whole number",
       part,
       {5001, 301, 4, 45.005, 12.5},
       0.5,
       false,
       {snap("Angle 45.005 of the capture", "0.25")}},
      {"reference radius on a whole number",
       {5000, 300, 4, 45.3, 13},
       {5000, 300, 4, 45.3, 12.9},
       1,
       false,
       {snap("Radius 13 of the reference", "1")}},
      {"no object in the capture",
       part,
       {0, 0, -1, -1, -1},
       std::sqrt(0.5),
       false,
       {snap("Angle -1 of the capture", "0.25"), snap("Radius -1 of the capture", "0.25")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Explanation e =
        explainSignatures("part.png", "cap \"1\".png", c.reference, c.current, std::string("0.15"));
    EXPECT_NEAR(c.error, e.error, 1e-12);
    EXPECT_EQ(c.accepted, e.accepted);
    EXPECT_EQ(c.sentences, snapSentences(e));

    const std::string journalled =
        composeVerdictLine("7", "cap.png", c.accepted, imageError(c.reference, c.current), 0.15);
    const std::string text = joined(alignedLines(explanationRows(e)));
    const std::string said = journalled.substr(journalled.find("Image error: "));
    EXPECT_TRUE(test::holds(text, said.substr(0, said.find(','))));
    EXPECT_TRUE(test::holds(text, c.accepted ? "Status: accepted" : "Status: rejected"));

    const std::string json = explanationJson(e);
    EXPECT_NE(std::string::npos, json.find("\"currentImage\": \"cap \\\"1\\\".png\"")) << json;
    const std::size_t at = json.find("\"error\": ");
    ASSERT_NE(std::string::npos, at) << json;
    EXPECT_EQ(imageError(c.reference, c.current), std::strtod(json.c_str() + at + 9, nullptr));
    EXPECT_NE(std::string::npos,
              json.find(std::string("\"accepted\": ") + (c.accepted ? "true" : "false")));
  }
}

}  // namespace
}  // namespace corvantis
