#include "workspace/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace corvantis {
namespace {

struct NumberCase {
  double value;
  const char* text;
};

class NumberTextTest : public ::testing::Test {
 protected:
  // A double from random bits, so every exponent and mantissa shows up.
  static double randomDouble(std::mt19937_64& random) {
    for (;;) {
      const std::uint64_t bits = random();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      if (std::isfinite(value)) return value;
    }
  }

  // What %g gives, with the exponent widened to three digits.
  static std::string printfWithWideExponent(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    std::string text = buffer;
    const std::size_t e = text.find('e');
    if (e != std::string::npos && text.size() - e - 2 < 3)
      text.insert(e + 2, 3 - (text.size() - e - 2), '0');
    return text;
  }
};

TEST_F(NumberTextTest, FormatNumberWritesSixSignificantDigitsWithWideExponents) {
  // Ordinary values are compared with printf below; these are its edges.
  const NumberCase cases[] = {
      {0.0, "0"},
      {0.0000123, "1.23e-005"},
      {0.0001, "0.0001"},
      {0.00001, "1e-005"},
      {123456.0, "123456"},
      {999999.5, "1e+006"},
      {1e100, "1e+100"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {std::numeric_limits<double>::quiet_NaN(), "nan"},
      {-std::numeric_limits<double>::quiet_NaN(), "nan"},
  };
  for (const NumberCase& c : cases) EXPECT_EQ(c.text, formatNumber(c.value)) << "value " << c.value;
}

TEST_F(NumberTextTest, FormatNumberAgreesWithPrintfOnRandomDoubles) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> error(0.0, 2.0);
  for (int i = 0; i < 20000; ++i) {
    for (const double value : {randomDouble(random), error(random)})
      ASSERT_EQ(printfWithWideExponent("%.6g", value), formatNumber(value)) << "value " << value;
  }
}

TEST_F(NumberTextTest, FormatStoreNumberWritesSeventeenDigitsPlainBelowTwentyDigits) {
  const NumberCase cases[] = {
      {2.0 / 3.0, "0.66666666666666663"},
      {937.0, "937"},
      {123.456, "123.456"},
      {17.5, "17.5"},
      {-1.0, "-1"},
      {0.0, "0"},
      {0.1, "0.10000000000000001"},
      {0.0001, "0.0001"},
      {0.00001, "1.0000000000000001e-005"},
      {1e19, "10000000000000000000"},
      {1e20, "1e+020"},
      {123456789012345678.0, "123456789012345680"},
      {1.5e300, "1.5000000000000001e+300"},
      {1180591620717411303424.0, "1.1805916207174113e+021"},
  };
  for (const NumberCase& c : cases)
    EXPECT_EQ(c.text, formatStoreNumber(c.value)) << "value " << c.value;
}

TEST_F(NumberTextTest, FormatStoreNumberReadsBackAsTheSameDouble) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> angle(0.0, 360.0);
  for (int i = 0; i < 20000; ++i) {
    for (const double value : {randomDouble(random), angle(random)}) {
      const std::string text = formatStoreNumber(value);
      ASSERT_EQ(value, std::strtod(text.c_str(), nullptr)) << text;
    }
  }
}

}  // namespace
}  // namespace corvantis
