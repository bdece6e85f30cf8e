#include "workspace/TimeText.h"

#include <cstdio>
#include <cstdlib>

namespace corvantis {

namespace {

// The date and time of day with `zone` after them; the year as wide as it needs.
std::string dateAndTime(std::uint64_t year, unsigned month, unsigned day, unsigned hour,
                        unsigned minute, unsigned second, const char* zone) {
  char text[64];
  std::snprintf(text, sizeof text, "%04llu-%02u-%02uT%02u:%02u:%02u%s",
                static_cast<unsigned long long>(year), month, day, hour, minute, second, zone);
  return text;
}

}  // namespace

std::string isoTime(const LocalTime& time) {
  const int offset = std::abs(time.utcOffsetMinutes);
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", time.utcOffsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return dateAndTime(time.year, time.month, time.day, time.hour, time.minute, time.second, zone);
}

std::string isoUtcTime(std::uint64_t seconds) {
  // Days to civil date after Howard Hinnant's days_from_civil inverse, with years
  // counted in eras of 400 so that the arithmetic stays exact.
  const std::uint64_t days = seconds / 86400;
  const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
  const std::uint64_t z = days + 719468;
  const std::uint64_t era = z / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  const std::uint64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  return dateAndTime(year, month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60,
                     "Z");
}

}  // namespace corvantis
