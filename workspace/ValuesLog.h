// The values log of a cell: one CSV row per check with both signatures, the error, the
// tolerance, the verdict and the entries that snapped, for finding out afterwards why a
// check rejected and which tolerance would suit the cell.
//
// It is switched on by creating debug/corvantis.csv below the base directory, and is
// rotated, locked and appended to like the journal (one appending write per row). The
// switch never goes off by itself: a rotation starts the new file, header and all, before
// it lets go of its lock, and a first generation found without the log (a rotation cut
// short) has the log started anew.
// The row's columns and their text are ValuesRow's, which the report reads back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"
#include "workspace/Platform.h"
#include "workspace/ValuesRow.h"

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
  // The image advice codes, "reference:<code>" (only when the check analysed the
  // reference itself) and "current:<code>", separated by blanks.
  std::string advice;
};

// The row of `record` checked at `time`, CR LF included: ISO 8601 local time with its
// offset, step, reference and current file names, five reference and five current
// values, error, tolerance, "accepted" or "rejected", the snapped entries' names
// separated by blanks, and the advice codes.
std::string valuesLogRow(const LocalTime& time, const CheckRecord& record);

// When the log at `logPath` exists (or its first generation does), rotates it as the
// journal and appends the row of `record` (with the header first when the file is empty
// or new). A failure to write is told on `diagnostics` in one line.
void appendValuesRow(Platform& platform, const std::string& logPath, const CheckRecord& record,
                     std::ostream& diagnostics);

}  // namespace corvantis
