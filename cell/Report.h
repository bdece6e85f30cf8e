// The report of a cell: what its checks decided per step, how the errors spread, how
// often a snap of the whole-number rule made the error, what the image advice found, and
// what another tolerance would have changed. Read from every journal generation and,
// when present, the values log, each through the unit that writes it; as text, as JSON
// for an integrator's tools, or as one self-contained HTML page with charts.
//
// Lines that are not verdict lines (another tool's, a line cut short) are counted and
// skipped. No OpenCV; builds on every platform.
#pragma once

#include <cstddef>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "workspace/JournalLine.h"
#include "workspace/Platform.h"
#include "workspace/ValuesRow.h"

namespace corvantis {

// One verdict line of the journal. Where a values log row matches it, the error is the
// row's to 17 digits instead of the printed 6.
struct VerdictEntry : VerdictLine {
  bool exactError = false;
};

// How many past verdicts one tolerance would have changed.
struct WhatIf {
  double tolerance = 0;
  // The smallest tolerance that would have accepted 99 % of the past checks, defects
  // among them: a fact about the past, no recommendation.
  bool acceptsNinetyNine = false;
  std::size_t accepted = 0;
  std::size_t acceptedToRejected = 0;
  std::size_t rejectedToAccepted = 0;
};

// How often one advice token ("current:speckle") came with the step's logged checks.
struct AdviceCount {
  std::string token;
  std::size_t checks = 0;
};

// One step's checks and what they add up to.
struct StepReport {
  std::string step;
  std::vector<VerdictEntry> checks;  // in the order they were journalled
  std::vector<ValuesRow> logged;     // values log rows of the step
  std::size_t accepted = 0;
  std::vector<double> tolerances;  // in the order of first use
  // Error percentiles 50, 90, 99 and the maximum, over the errors that are numbers.
  double p50 = 0, p90 = 0, p99 = 0, max = 0;
  std::size_t snapped = 0;          // logged rows whose error came from a snap
  std::size_t advised = 0;          // logged rows from a log that has the advice column
  std::vector<AdviceCount> advice;  // in the order of first appearance
  std::vector<WhatIf> whatIfs;
};

// What the what-if row marked "past 99 %" is, as the text and the page say it.
inline constexpr char kNinetyNineNote[] =
    "past 99 %: the tolerance that would have accepted 99 % of the past checks, defects "
    "included. No recommendation: commission a step with corvantis-cell tune, and watch "
    "drift here.";

// Everything read from one cell.
struct CellReport {
  std::string base;
  std::size_t journalFiles = 0;
  std::size_t verdictLines = 0;
  std::size_t skippedLines = 0;
  std::size_t valuesFiles = 0;
  std::size_t valuesRows = 0;
  std::size_t skippedRows = 0;
  std::vector<std::string> unreadable;           // one line per file that exists but cannot be read
  std::vector<StepReport> steps;                 // in the order of each step's first check
  std::map<std::string, std::size_t> stepIndex;  // where each step is in `steps`
};

// Adds the lines of one journal file's content (a last line without its line end was cut
// short and is skipped).
void readJournalText(const std::string& content, CellReport* report);
// Adds the rows of one values log file's content. A row that cannot be read is skipped;
// the next is looked for on the line after the one where it began, so that a row cut
// short inside quotes does not swallow the rows after it.
void readValuesLogText(const std::string& content, CellReport* report);

// Matches the logged rows of each step to its checks, then fills in its figures.
void summariseReport(CellReport* report);

// `text` with each control character written as \r, \n, \t or \xNN, so that a step or a
// file name cannot move or forge lines of a report read on a terminal.
std::string printable(const std::string& text);

// The report as text.
void writeReportText(const CellReport& report, std::ostream& out);
// The report as one JSON object: {"steps": [{"step", "checks", "accepted", "rejected",
// "tolerances", "whatif": [{"tolerance", "accepted", "to_rejected", "to_accepted"}],
// "advice" (only when the step's values log rows have the column): [{"image", "code",
// "checks"}]}], "skipped_lines", "skipped_rows"}.
void writeReportJson(const CellReport& report, std::ostream& out);
// The report as one HTML page: no script, no external file, charts as inline SVG.
void writeReportHtml(const CellReport& report, std::ostream& out);

// `corvantis-cell report BASE [--json] [--html FILE]`: `args` are the words after
// "report". Prints the text report (or the JSON) on `out`; returns 0, 1 when BASE is no
// directory, a file of the cell cannot be read or FILE cannot be written, 2 for wrong
// use (each told on `err`).
int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// The same, reading the cell's files and writing the page through `platform`.
int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
              Platform& platform);

}  // namespace corvantis
