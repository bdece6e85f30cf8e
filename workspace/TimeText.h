// Times as text in ISO 8601, the way the values log and the cell tool's store listing
// write them: "2026-12-05T07:04:09+01:00" for a local time with its offset,
// "2023-11-14T22:13:20Z" for UTC. The journal's own stamp belongs to the journal line
// (JournalLine.h). Pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "workspace/Platform.h"

namespace corvantis {

// "yyyy-mm-ddThh:mm:ss+hh:mm" (or "-hh:mm") with the time's offset from UTC.
std::string isoTime(const LocalTime& time);

// "yyyy-mm-ddThh:mm:ssZ" for `seconds` since 1970-01-01 00:00:00 UTC; exact for every
// value, so a store record's time from far ahead is shown as it is.
std::string isoUtcTime(std::uint64_t seconds);

}  // namespace corvantis
