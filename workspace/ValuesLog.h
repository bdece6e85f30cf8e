// The values log of a cell: one CSV row per check with both signatures, the error, the
// tolerance, the verdict and the entries that snapped, for finding out afterwards why a
// check rejected and which tolerance would suit the cell.
//
// It is switched on by creating debug/corvantis.csv below the base directory, and is
// rotated, locked and appended to like the journal (one appending write per row). The
// switch never goes off by itself: a rotation starts the new file, header and all, before
// it lets go of its lock, and a first generation found without the log (a rotation cut
// short) has the log started anew.
// Numbers are written as the store writes them, so they read back to the same doubles;
// text fields are quoted as RFC 4180 has it. Rows end in CR LF.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"
#include "workspace/Platform.h"

namespace corvantis {

// What one check decided and from what.
struct CheckRecord {
  std::string stepId;
  std::string referencePath;
  std::string currentPath;
  FeatureVector reference;
  FeatureVector current;
  double error = 0;
  double tolerance = 0;
  bool accepted = false;
  // Indexes of the entries whose term was fixed by the whole-number rule.
  std::vector<std::size_t> snapped;
};

// The names of the five entries, as the header and the snapped field write them.
extern const char* const kEntryNames[kFeatureCount];

// `text` as one CSV field: as it stands, or in double quotes (with inner quotes doubled)
// when it holds a comma, a quote, a CR or an LF, or begins or ends with a blank.
std::string csvField(const std::string& text);
// The header row, CR LF included.
std::string valuesLogHeader();
// The row of `record` checked at `time`, CR LF included: ISO 8601 local time with its
// offset, step, reference and current file names, five reference and five current
// values, error, tolerance, "accepted" or "rejected", and the snapped entries' names
// separated by blanks.
std::string valuesLogRow(const LocalTime& time, const CheckRecord& record);

// When the log at `logPath` exists (or its first generation does), rotates it as the
// journal and appends the row of `record` (with the header first when the file is empty
// or new). A failure to write is told on `diagnostics` in one line.
void appendValuesRow(Platform& platform, const std::string& logPath, const CheckRecord& record,
                     std::ostream& diagnostics);

}  // namespace corvantis
