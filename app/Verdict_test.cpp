#include "app/Verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvantis {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct ErrorCase {
  const char* what;
  FeatureVector reference;
  FeatureVector current;
  double expected;
};

TEST(ImageErrorTest, WorkedCases) {
  const double sq = (1 - 50.5 / 40.5) * (1 - 50.5 / 40.5);
  const ErrorCase cases[] = {
      {"identical", {937, 312, 4, 123.456, 17.5}, {937, 312, 4, 123.456, 17.5}, 0.0},
      {"counts only differ", {937, 312, 4, 123.456, 17.5}, {10, 2, 400, 123.456, 17.5}, 0.0},
      {"current without object", {5000, 300, 4, 45.3, 12.7}, {0, 0, -1, -1, -1}, std::sqrt(0.5)},
      {"reference without object", {0, 0, -1, -1, -1}, {5000, 300, 4, 45.3, 12.7}, std::sqrt(2.0)},
      {"angle almost whole counts as whole", {1, 1, 1, 45.3, 12.5}, {1, 1, 1, 45.005, 12.5}, 0.5},
      {"whole reference, fractional current", {1, 1, 1, 40, 12.5}, {1, 1, 1, 50.5, 12.5}, 1.0},
      {"both fractional", {1, 1, 1, 40.5, 12.5}, {1, 1, 1, 50.5, 12.5}, std::sqrt(sq)},
      {"zero reference and zero current", {0}, {0}, 0.0},
      {"extra current entries ignored", {1.5}, {1.5, 99.5, 7.25}, 0.0},
      {"empty reference", {}, {1.5}, 0.0},
      // 0.01 against a whole current value: no adjustment, so 5 / 0.01 stays a ratio of 500.
      {"margin value is neither whole nor fractional", {0.01}, {5}, 499.0},
      // An infinite reference entry (only a damaged store holds one) counts as a ratio of 0.
      {"infinite reference entry", {1, 1, 1, kInf, 2.5}, {1, 1, 1, 3.5, 2.5}, 1.0},
      // Beyond the 64-bit range a double is whole; it must not go through the integer cast.
      {"beyond the 64-bit range", {1e300, -1e300}, {3, 4}, 0.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.expected, imageError(c.reference, c.current)) << c.what;
  }
}

TEST(ImageErrorTest, TermsNameTheSnapsAndSumToTheError) {
  const FeatureVector reference = {5000, 300, 4, 45.3, 12.7};
  const FeatureVector current = {5004, 301, 4, 45.005, 13.2};
  const std::vector<ErrorTerm> terms = errorTerms(reference, current);
  ASSERT_EQ(5u, terms.size());
  EXPECT_EQ(Adjustment::kBothWhole, terms[0].adjustment);
  EXPECT_EQ(Adjustment::kCurrentWhole, terms[3].adjustment);
  EXPECT_TRUE(terms[3].snapped());
  EXPECT_EQ(0.25, terms[3].term);
  EXPECT_EQ(Adjustment::kNone, terms[4].adjustment);
  EXPECT_FALSE(terms[4].snapped());
  EXPECT_EQ(Adjustment::kReferenceWhole, errorTerms({40}, {50.5})[0].adjustment);
  EXPECT_EQ(ValueClass::kNeither, classifyValue(0.01));
  double sum = 0;
  for (const ErrorTerm& t : terms) sum += t.term;
  EXPECT_EQ(imageError(reference, current), std::sqrt(sum));
}

TEST(ImageErrorTest, NonFiniteValuesAndUnreplacedZerosNeverCrashAndReject) {
  EXPECT_FALSE(isAccepted(imageError({1, 1, 1, kNaN, 2.5}, {1, 1, 1, 3.5, 2.5}), 1e300));
  EXPECT_FALSE(isAccepted(imageError({1, 1, 1, 3.5, 2.5}, {1, 1, 1, kInf, 2.5}), 1e300));
  // A zero reference that is not replaced makes the error infinite.
  EXPECT_FALSE(isAccepted(imageError({0}, {0.01}), 1e300));
  // A current signature shorter than the reference gives no number.
  EXPECT_TRUE(std::isnan(imageError({1.5, 2.5}, {1.5})));
}

TEST(VerdictTest, AcceptsUpToTheToleranceInclusive) {
  EXPECT_TRUE(isAccepted(0.0, 0.0));
  EXPECT_TRUE(isAccepted(0.1, 0.1));
  EXPECT_FALSE(isAccepted(0.10000001, 0.1));
  EXPECT_FALSE(isAccepted(0.0, -0.5));
  EXPECT_FALSE(isAccepted(kNaN, 1.0));
  EXPECT_FALSE(isAccepted(0.0, kNaN));
}

TEST(VerdictTest, ToleranceReadsLikeAtofAndKnowsWhenTextWasLeftOver) {
  const struct {
    const char* text;
    double value;
    bool plain;
  } cases[] = {{"0.1", 0.1, true},  {"  0.25 ", 0.25, true}, {"0.05abc", 0.05, false},
               {"abc", 0.0, false}, {"", 0.0, false},        {"-1", -1.0, true},
               {"1e6", 1e6, true},  {"0,5", 0.0, false},     {"0.5x", 0.5, false},
               {"  ", 0.0, false}};
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(c.value, parseTolerance(c.text)) << c.text;
    EXPECT_EQ(c.plain, isPlainNumber(c.text)) << c.text;
  }
}

TEST(VerdictTest, LineHasTheFixedPiecesInOrder) {
  EXPECT_EQ("Step: 12, Image: cap_0001.bmp, Status: accepted, Image error: 0.0523, Tolerance: 0.1",
            composeVerdictLine("12", "cap_0001.bmp", true, 0.0523, parseTolerance("0.10")));
  EXPECT_EQ("Step: a, b c, Image: , Status: rejected, Image error: 1.41421, Tolerance: 1e+006",
            composeVerdictLine("a, b c", "", false, std::sqrt(2.0), 1000000));
}

}  // namespace
}  // namespace corvantis
