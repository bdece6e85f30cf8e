// Feeds arbitrary journal and values log contents to the report's readers: reading,
// adding up and writing the report must neither crash nor read out of bounds; every
// line and row is either read or counted as skipped; what is read writes back to the
// same step, image and verdict through the unit that writes it; and the text report
// holds no control character but its own line ends.
//
// Input: the journal's content, a NUL byte, then the values log's content (no NUL: the
// whole input is both).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cell/Report.h"

namespace {

using corvantis::ValuesRow;

std::size_t linesIn(const std::string& text) {
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n' ? 1 : 0;
  return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

void checkVerdictWritesBack(const corvantis::VerdictLine& read) {
  const std::string text = corvantis::composeVerdictLine(read.step, read.image, read.accepted,
                                                         read.error, read.tolerance);
  const auto again = corvantis::parseVerdictLine(corvantis::journalStamp({}) + text);
  if (!again || again->step != read.step || again->image != read.image ||
      again->accepted != read.accepted)
    std::abort();
}

void checkRowWritesBack(const ValuesRow& row) {
  std::size_t pos = 0;
  const std::string text = corvantis::valuesRowText(row);
  const auto fields = corvantis::readCsvRecord(text, &pos);
  if (!fields || pos != text.size()) std::abort();
  const auto again = corvantis::readValuesRow(corvantis::valuesLogColumns(), *fields);
  if (!again || again->step != row.step || again->current != row.current ||
      again->accepted != row.accepted || !same(again->error, row.error) ||
      again->referenceValues.size() != row.referenceValues.size() ||
      again->snapped != row.snapped)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  const std::string journal = input.substr(0, nul);
  const std::string values = nul == std::string::npos ? input : input.substr(nul + 1);

  corvantis::CellReport report;
  corvantis::readJournalText(journal, &report);
  if (report.verdictLines + report.skippedLines != linesIn(journal)) std::abort();
  corvantis::readValuesLogText(values, &report);
  if (report.valuesRows + report.skippedRows > linesIn(values)) std::abort();
  for (const corvantis::StepReport& step : report.steps) {
    for (const corvantis::VerdictEntry& check : step.checks) checkVerdictWritesBack(check);
    for (const ValuesRow& row : step.logged) checkRowWritesBack(row);
  }
  corvantis::summariseReport(&report);

  std::ostringstream text, json, html;
  corvantis::writeReportText(report, text);
  corvantis::writeReportJson(report, json);
  corvantis::writeReportHtml(report, html);
  for (const char c : text.str())
    if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7f) std::abort();
  return 0;
}
