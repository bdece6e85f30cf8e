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

// Ordinary values are compared with printf below; these are the edges of both forms.
TEST(NumberTextTest, SixOrSeventeenSignificantDigitsWithWideExponents) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double value;
    const char* text;   // formatNumber
    const char* store;  // formatStoreNumber
  } cases[] = {
      {0.0, "0", "0"},
      {2.0 / 3.0, "0.666667", "0.66666666666666663"},
      {-0.0000123, "-1.23e-005", "-1.2300000000000001e-005"},
      {0.0001, "0.0001", "0.0001"},
      {999999.5, "1e+006", "999999.5"},
      {1e19, "1e+019", "10000000000000000000"},
      {1e20, "1e+020", "1e+020"},
      {123456789012345678.0, "1.23457e+017", "123456789012345680"},
      {1.5e300, "1.5e+300", "1.5000000000000001e+300"},
      {-inf, "-inf", "-inf"},
      {-nan, "nan", "nan"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.text, formatNumber(c.value)) << "value " << c.store;
    EXPECT_EQ(c.store, formatStoreNumber(c.value)) << "value " << c.store;
  }
}

// Doubles from random bits, so that every exponent and mantissa shows up, and values
// of the ranges an error and an angle take.
TEST(NumberTextTest, SixDigitsAgreeWithPrintfAndStoreDigitsReadBackAsTheSameDouble) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> angle(0.0, 360.0);
  for (int i = 0; i < 20000; ++i) {
    const std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    for (const double v : {value, angle(random), angle(random) / 180}) {
      if (!std::isfinite(v)) continue;
      // printf's %g, with the exponent widened to three digits.
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%.6g", v);
      std::string printed = buffer;
      const std::size_t e = printed.find('e');
      if (e != std::string::npos && printed.size() - e - 2 < 3) printed.insert(e + 2, "0");
      ASSERT_EQ(printed, formatNumber(v)) << "value " << v;
      ASSERT_EQ(v, std::strtod(formatStoreNumber(v).c_str(), nullptr)) << formatStoreNumber(v);
    }
  }
}

}  // namespace
}  // namespace corvantis
