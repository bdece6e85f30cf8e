// The report of a cell: what its checks decided per step, how the errors spread, how
// often a snap of the whole-number rule made the error, and what another tolerance
// would have changed. Read from every journal generation and, when present, the values
// log; as text, or as one self-contained HTML page with charts.
//
// Lines that are not verdict lines (another tool's, a line cut short) are counted and
// skipped. No OpenCV; builds on every platform.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace corvantis {

// One verdict line of the journal.
struct VerdictEntry {
  std::string time;  // as the journal writes it, "dd/mm/yyyy hh:mm:ss"
  std::string step;
  std::string image;
  bool accepted = false;
  double error = 0;  // as printed, to 6 significant digits
  double tolerance = 0;
};

// The verdict in one journal line (without its line end); nothing when the line is no
// verdict line or was cut short.
std::optional<VerdictEntry> parseVerdictLine(const std::string& line);

// A row of the values log, as far as the report uses it.
struct ValuesEntry {
  std::string time;
  std::string step;
  std::string current;
  double error = 0;
  std::string snapped;  // entry names separated by blanks; empty when nothing snapped
};

// The fields of one CSV record starting at *pos in `text` (RFC 4180: quoted fields may
// hold commas, doubled quotes and line ends); *pos moves past the record's line end.
// Nothing when the record has no line end (cut short).
std::optional<std::vector<std::string>> readCsvRecord(const std::string& text, std::size_t* pos);

// How many past verdicts one tolerance would have changed.
struct WhatIf {
  double tolerance = 0;
  bool acceptsNinetyNine = false;  // the smallest tolerance accepting 99 % of the checks
  std::size_t accepted = 0;
  std::size_t acceptedToRejected = 0;
  std::size_t rejectedToAccepted = 0;
};

// One step's checks and what they add up to.
struct StepReport {
  std::string step;
  std::vector<VerdictEntry> checks;  // in the order they were journalled
  std::vector<ValuesEntry> logged;   // values log rows of the step
  std::size_t accepted = 0;
  std::vector<double> tolerances;  // in the order of first use
  // Error percentiles 50, 90, 99 and the maximum, over the errors that are numbers.
  double p50 = 0, p90 = 0, p99 = 0, max = 0;
  std::size_t snapped = 0;  // logged rows whose error came from a snap
  std::vector<WhatIf> whatIfs;
};

// Everything read from one cell.
struct CellReport {
  std::string base;
  std::size_t journalFiles = 0;
  std::size_t verdictLines = 0;
  std::size_t skippedLines = 0;
  std::size_t valuesFiles = 0;
  std::size_t valuesRows = 0;
  std::size_t skippedRows = 0;
  std::vector<std::string> unreadable;  // one line per file that exists but cannot be read
  std::vector<StepReport> steps;        // in the order of each step's first check
};

// Fills in the figures of each step from its checks and logged rows.
void summariseStep(StepReport* step);

// The report as text.
void writeReportText(const CellReport& report, std::ostream& out);
// The report as one HTML page: no script, no external file, charts as inline SVG.
void writeReportHtml(const CellReport& report, std::ostream& out);

// `corvantis-cell report BASE [--html FILE]`: `args` are the words after "report".
// Prints the text report on `out`; returns 0, or 1 when BASE is no directory, a file of
// the cell cannot be read or FILE cannot be written (told on `err`).
int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace corvantis
