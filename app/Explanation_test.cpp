#include "app/Explanation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvantis {
namespace {

// The terms an explanation lists add up to its error to the last bit.
TEST(ExplanationTest, EachSnapGetsItsSentenceAndTheJsonReadsBackExactly) {
  const FeatureVector reference = {5000, 300, 4, 45.3, 13};
  const auto snap = [](const std::string& entry, const char* term) {
    return entry + " counts as a whole number: this entry alone adds " + term +
           " to the squared error.";
  };
  const struct {
    const char* name;
    FeatureVector current;
    std::vector<std::string> sentences;
  } cases[] = {
      {"capture angle and reference radius snapped",
       {5000, 301, 4, 45.005, 12.9},
       {snap("Angle 45.005 of the capture", "0.25"), snap("Radius 13 of the reference", "1")}},
      {"no object in the capture", {0, 0, -1, -1, -1}, {snap("Angle -1 of the capture", "0.25")}},
      {"nothing snapped", {5001, 299, 5, 45.31, 13.004}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Explanation e =
        explainSignatures("part.png", "cap \"1\".png", reference, c.current, std::string("0.1"));
    EXPECT_EQ(c.sentences, snapSentences(e));
    double sum = 0;
    for (const ErrorTerm& t : e.terms) sum += t.term;
    EXPECT_EQ(std::sqrt(sum), e.error);

    const std::string json = explanationJson(e);
    EXPECT_NE(std::string::npos, json.find("\"currentImage\": \"cap \\\"1\\\".png\"")) << json;
    const std::size_t at = json.find("\"error\": ");
    ASSERT_NE(std::string::npos, at) << json;
    EXPECT_EQ(e.error, std::strtod(json.c_str() + at + 9, nullptr)) << json;
  }
}

}  // namespace
}  // namespace corvantis
