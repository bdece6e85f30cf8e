#include "workspace/TimeText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

namespace corvantis {
namespace {

// A local time keeps its offset, whatever its sign, and UTC as +00:00.
TEST(TimeTextTest, LocalTimeCarriesItsOffset) {
  const std::vector<std::pair<LocalTime, const char*>> cases = {
      {{2026, 12, 5, 7, 4, 9, 60}, "2026-12-05T07:04:09+01:00"},
      {{2026, 12, 5, 7, 4, 9, -90}, "2026-12-05T07:04:09-01:30"},
      {{2027, 1, 2, 23, 59, 59, 0}, "2027-01-02T23:59:59+00:00"},
      {{2024, 2, 29, 0, 0, 0, 345}, "2024-02-29T00:00:00+05:45"},
  };
  for (const auto& [time, text] : cases) EXPECT_EQ(text, isoTime(time));
}

// Store times read from a file may be anything: the epoch, a leap day, the end of a
// century that is no leap year, and the largest time a record can hold.
TEST(TimeTextTest, UtcSecondsGiveTheCivilDateForEveryValue) {
  const std::vector<std::pair<std::uint64_t, const char*>> cases = {
      {0, "1970-01-01T00:00:00Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {4107542399, "2100-02-28T23:59:59Z"},
      {4107542400, "2100-03-01T00:00:00Z"},
      {UINT64_MAX, "584554051223-11-09T07:00:15Z"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(text, isoUtcTime(seconds)) << seconds;
}

}  // namespace
}  // namespace corvantis
