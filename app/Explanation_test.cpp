#include "app/Explanation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace corvantis {
namespace {

TEST(ExplanationTest, EachSnapGetsItsSentenceAndTheJsonReadsBackExactly) {
  const FeatureVector reference = {5000, 300, 4, 45.3, 12.7};
  const auto snap = [](const std::string& entry) {
    return entry +
           " of the capture counts as a whole number: this entry alone adds 0.25 to the "
           "squared error.";
  };
  const struct {
    const char* name;
    FeatureVector current;
    std::vector<std::string> sentences;
  } cases[] = {
      {"capture angle snapped", {5000, 301, 4, 45.005, 12.9}, {snap("Angle 45.005")}},
      {"no object in the capture", {0, 0, -1, -1, -1}, {snap("Angle -1"), snap("Radius -1")}},
      {"nothing snapped", {5001, 299, 5, 45.31, 12.71}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Explanation e =
        explainSignatures("part.png", "cap \"1\".png", reference, c.current, std::string("0.1"));
    EXPECT_EQ(c.sentences, snapSentences(e));
    EXPECT_EQ(imageError(reference, c.current), e.error);
    EXPECT_EQ(isAccepted(e.error, 0.1), e.accepted);

    const std::string json = explanationJson(e);
    EXPECT_NE(std::string::npos, json.find("\"currentImage\": \"cap \\\"1\\\".png\"")) << json;
    const std::size_t at = json.find("\"error\": ");
    ASSERT_NE(std::string::npos, at) << json;
    EXPECT_EQ(e.error, std::strtod(json.c_str() + at + 9, nullptr)) << json;
  }
}

}  // namespace
}  // namespace corvantis
