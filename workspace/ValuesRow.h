// The row of the values log: one table of columns, read by the writer of a row, of the
// header, and by the reader of both. A column renamed or added here is written and read
// alike; the reader finds columns by the names in the file's header, so logs written
// before a column existed still read.
//
// Rows are CSV as RFC 4180 has it, ending in CR LF. Numbers are written as the store
// writes them, so they read back to the same doubles. Pure functions; no OpenCV.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "workspace/FeatureVector.h"

namespace corvantis {

// What one row holds, as text where the file holds text.
struct ValuesRow {
  std::string time;  // ISO 8601 local time with its offset
  std::string step;
  std::string reference;  // file names
  std::string current;
  FeatureVector referenceValues;  // as many entries as the row has, at most five
  FeatureVector currentValues;
  double error = 0;
  double tolerance = 0;
  bool accepted = false;
  std::string snapped;  // entry names separated by blanks; empty when nothing snapped
  // Blank-separated findings about the images ("reference:<code>", "current:<code>");
  // empty when all was well, nothing in a log written before the column existed.
  std::optional<std::string> advice;
};

// `text` as one CSV field: as it stands, or in double quotes (with inner quotes doubled)
// when it holds a comma, a quote, a CR or an LF, or begins or ends with a blank.
std::string csvField(const std::string& text);

// The fields of one CSV record starting at *pos in `text` (quoted fields may hold commas,
// doubled quotes and line ends); *pos moves past the record's line end. Nothing when the
// record has no line end (cut short or a quote left open), *pos then at the end.
std::optional<std::vector<std::string>> readCsvRecord(const std::string& text, std::size_t* pos);

// The header row, CR LF included.
std::string valuesLogHeader();
// The header's column names, in the order rows are written.
std::vector<std::string> valuesLogColumns();
// Whether `fields` are a header row rather than a row of a check.
bool isValuesHeader(const std::vector<std::string>& fields);

// The row's text, CR LF included.
std::string valuesRowText(const ValuesRow& row);

// The row in `fields`, their columns named by `header` (a file's header row). A row
// whose field count does not fit the header (a newer check appending to an older file)
// is read by the table's own columns, with or without its optional ones. Nothing when
// a column the row needs is missing or holds no value it can have.
std::optional<ValuesRow> readValuesRow(const std::vector<std::string>& header,
                                       const std::vector<std::string>& fields);

}  // namespace corvantis
