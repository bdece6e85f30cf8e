#include "app/Verdict.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace corvantis {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

TEST(ImageErrorTest, WorkedCases) {
  const struct {
    const char* what;
    FeatureVector reference, current;
    double expected;
  } cases[] = {
      {"reference without object", {0, 0, -1, -1, -1}, {5000, 300, 4, 45.3, 12.7}, std::sqrt(2.0)},
      {"both fractional", {1, 1, 1, 40.5, 12.5}, {1, 1, 1, 50.5, 12.5}, std::fabs(1 - 50.5 / 40.5)},
      {"extra current entries ignored", {1.5}, {1.5, 99.5, 7.25}, 0.0},
      {"empty reference", {}, {1.5}, 0.0},
      // 0.01 against a whole current value: no adjustment, so 5 / 0.01 stays a ratio of 500.
      {"margin value is neither whole nor fractional", {0.01}, {5}, 499.0},
      // An infinite reference entry (only a damaged store holds one) counts as a ratio of 0.
      {"infinite reference entry", {1, 1, 1, kInf, 2.5}, {1, 1, 1, 3.5, 2.5}, 1.0},
      // Beyond the 64-bit range a double is whole; it must not go through the integer cast.
      {"beyond the 64-bit range", {1e300, -1e300}, {3, 4}, 0.0},
  };
  for (const auto& c : cases)
    EXPECT_DOUBLE_EQ(c.expected, imageError(c.reference, c.current)) << c.what;
}

// Non-finite signature entries and zero references that are not replaced give errors no
// tolerance accepts; a current signature shorter than the reference gives no number.
TEST(VerdictTest, AcceptsUpToTheToleranceInclusiveAndNeverWhatIsNoNumber) {
  const std::vector<std::vector<double>> accepted = {{0, 0}, {0.1, 0.1}},
                                         rejected = {
                                             {0.10000001, 0.1}, {0, -0.5}, {kNaN, 1}, {0, kNaN}};
  for (const auto& c : accepted) EXPECT_TRUE(isAccepted(c[0], c[1])) << c[0] << " " << c[1];
  for (const auto& c : rejected) EXPECT_FALSE(isAccepted(c[0], c[1])) << c[0] << " " << c[1];
  for (const double error :
       {imageError({1, 1, 1, kNaN, 2.5}, {1, 1, 1, 3.5, 2.5}),
        imageError({1, 1, 1, 3.5, 2.5}, {1, 1, 1, kInf, 2.5}), imageError({0}, {0.01})})
    EXPECT_FALSE(isAccepted(error, 1e300)) << error;
  EXPECT_TRUE(std::isnan(imageError({1.5, 2.5}, {1.5})));
}

// Odd text is told with what it was read as; a tolerance that decides every check alike
// is told with which way. Nothing is said about a plain, usable number.
TEST(VerdictTest, ToleranceReadsLikeAtofAndWhatIsOddAboutItIsTold) {
  const struct {
    const char* text;
    double value;
    std::vector<std::string> told;
  } cases[] = {
      {"0.1", 0.1, {}},
      {"  0.25 ", 0.25, {}},
      {"0", 0.0, {}},
      {"1e6", 1e6, {}},
      {"0.05abc", 0.05, {"tolerance \"0.05abc\" is not a plain number; read as 0.05"}},
      {"abc", 0.0, {"tolerance \"abc\" is not a plain number; read as 0"}},
      {"", 0.0, {"tolerance \"\" is not a plain number; read as 0"}},
      {"0,5", 0.0, {"tolerance \"0,5\" is not a plain number; read as 0"}},
      {"-1", -1.0, {"tolerance \"-1\" is negative: every check is rejected"}},
      {"-0.1x",
       -0.1,
       {"tolerance \"-0.1x\" is not a plain number; read as -0.1",
        "tolerance \"-0.1x\" is negative: every check is rejected"}},
      {"inf", kInf, {"tolerance \"inf\" is infinite: every check is accepted"}},
      {"1e999", kInf, {"tolerance \"1e999\" is infinite: every check is accepted"}},
      {"-inf", -kInf, {"tolerance \"-inf\" is negative: every check is rejected"}},
      {"nan", kNaN, {"tolerance \"nan\" is not a number: every check is rejected"}},
  };
  for (const auto& c : cases) {
    const double read = parseTolerance(c.text);
    EXPECT_TRUE(read == c.value || (std::isnan(read) && std::isnan(c.value))) << c.text;
    EXPECT_EQ(c.told, toleranceWarnings(c.text)) << c.text;
  }
}

}  // namespace
}  // namespace corvantis
