#include "app/Report.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>

#include "app/CellFolder.h"
#include "app/Verdict.h"
#include "workspace/NumberText.h"
#include "workspace/Paths.h"
#include "workspace/Platform.h"

namespace corvantis {

namespace {

constexpr char kStepTag[] = "Step: ";
constexpr char kImageTag[] = ", Image: ";
constexpr char kAcceptedTag[] = ", Status: accepted, Image error: ";
constexpr char kRejectedTag[] = ", Status: rejected, Image error: ";
constexpr char kToleranceTag[] = ", Tolerance: ";
// "[dd/mm/yyyy hh:mm:ss] - "
constexpr std::size_t kStampLength = 24;
// The what-if rows around the tolerance in use, as multiples of it.
constexpr double kWhatIfFactors[] = {0.5, 0.75, 1.0, 1.5, 2.0};

// The whole text as a number, as the journal prints numbers (inf and nan included).
std::optional<double> wholeNumber(const std::string& text) {
  if (text.empty() || text[0] == ' ') return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// Oldest first: generation 5 down to 1, then the file itself.
std::vector<std::string> generationsOldestFirst(const std::string& path) {
  std::vector<std::string> names = rotatedNames(path);
  std::reverse(names.begin(), names.end());
  names.push_back(path);
  return names;
}

// The content of each existing generation, oldest first; unreadable ones are noted.
std::vector<std::string> readGenerations(const Platform& platform, const std::string& path,
                                         CellReport* report) {
  std::vector<std::string> contents;
  for (const std::string& name : generationsOldestFirst(path)) {
    if (!platform.fileSize(name)) continue;
    std::string content;
    const Status status = platform.readFile(name, &content);
    if (!status.ok()) {
      report->unreadable.push_back(status.message());
      continue;
    }
    contents.push_back(content);
  }
  return contents;
}

StepReport& stepOf(CellReport* report, std::map<std::string, std::size_t>* index,
                   const std::string& step) {
  const auto found = index->find(step);
  if (found != index->end()) return report->steps[found->second];
  index->emplace(step, report->steps.size());
  report->steps.push_back(StepReport{});
  report->steps.back().step = step;
  return report->steps.back();
}

void readJournal(const Platform& platform, CellReport* report,
                 std::map<std::string, std::size_t>* index) {
  const std::vector<std::string> files =
      readGenerations(platform, journalPathOf(report->base), report);
  report->journalFiles = files.size();
  for (const std::string& content : files) {
    std::size_t pos = 0;
    while (pos < content.size()) {
      const std::size_t end = content.find('\n', pos);
      // A last line without its line end was cut short: it is no verdict.
      std::string line = content.substr(pos, end == std::string::npos ? end : end - pos);
      pos = end == std::string::npos ? content.size() : end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::optional<VerdictEntry> entry =
          end == std::string::npos ? std::nullopt : parseVerdictLine(line);
      if (!entry) {
        ++report->skippedLines;
        continue;
      }
      ++report->verdictLines;
      stepOf(report, index, entry->step).checks.push_back(*entry);
    }
  }
}

void readValuesLog(const Platform& platform, CellReport* report,
                   std::map<std::string, std::size_t>* index) {
  const std::vector<std::string> files =
      readGenerations(platform, valuesLogPathOf(report->base), report);
  report->valuesFiles = files.size();
  for (const std::string& content : files) {
    std::size_t pos = 0;
    while (pos < content.size()) {
      const std::optional<std::vector<std::string>> fields = readCsvRecord(content, &pos);
      if (fields && !fields->empty() && (*fields)[0] == "time") continue;
      std::optional<double> error;
      // Rows written before the advice column have one field fewer.
      if (fields && (fields->size() == 18 || fields->size() == 19))
        error = wholeNumber((*fields)[14]);
      if (!error) {
        ++report->skippedRows;
        if (!fields) break;
        continue;
      }
      ++report->valuesRows;
      const std::vector<std::string>& f = *fields;
      stepOf(report, index, f[1]).logged.push_back(ValuesEntry{f[0], f[1], f[3], *error, f[17]});
    }
  }
}

// Nearest rank: the smallest value with at least p % of the values at or below it.
double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * sorted.size()));
  return sorted[std::max<std::size_t>(rank, 1) - 1];
}

WhatIf whatIf(const std::vector<VerdictEntry>& checks, double tolerance) {
  WhatIf row;
  row.tolerance = tolerance;
  for (const VerdictEntry& check : checks) {
    const bool accepted = isAccepted(check.error, tolerance);
    if (accepted) ++row.accepted;
    if (check.accepted && !accepted) ++row.acceptedToRejected;
    if (!check.accepted && accepted) ++row.rejectedToAccepted;
  }
  return row;
}

std::string column(const std::string& text, int width) {
  std::ostringstream out;
  out << std::setw(width) << text;
  return out.str();
}

}  // namespace

std::optional<VerdictEntry> parseVerdictLine(const std::string& line) {
  if (line.size() < kStampLength || line[0] != '[' || line.compare(20, 4, "] - ") != 0)
    return std::nullopt;
  const std::string text = line.substr(kStampLength);
  if (text.compare(0, sizeof kStepTag - 1, kStepTag) != 0) return std::nullopt;
  VerdictEntry entry;
  entry.time = line.substr(1, 19);
  // Step and image are free text: the status, which neither can forge in a way that
  // matters here, is found from the end.
  std::size_t status = text.rfind(kAcceptedTag);
  entry.accepted = status != std::string::npos;
  if (!entry.accepted) status = text.rfind(kRejectedTag);
  if (status == std::string::npos) return std::nullopt;
  const std::string head = text.substr(sizeof kStepTag - 1, status - (sizeof kStepTag - 1));
  const std::size_t image = head.find(kImageTag);
  if (image == std::string::npos) return std::nullopt;
  entry.step = head.substr(0, image);
  entry.image = head.substr(image + sizeof kImageTag - 1);
  const std::string tail = text.substr(status + sizeof kAcceptedTag - 1);
  const std::size_t tol = tail.find(kToleranceTag);
  if (tol == std::string::npos) return std::nullopt;
  const std::optional<double> error = wholeNumber(tail.substr(0, tol));
  const std::optional<double> tolerance = wholeNumber(tail.substr(tol + sizeof kToleranceTag - 1));
  if (!error || !tolerance) return std::nullopt;
  entry.error = *error;
  entry.tolerance = *tolerance;
  return entry;
}

std::optional<std::vector<std::string>> readCsvRecord(const std::string& text, std::size_t* pos) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = *pos; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        fields.back() += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\n') {
      *pos = i + 1;
      if (!fields.back().empty() && fields.back().back() == '\r') fields.back().pop_back();
      return fields;
    } else {
      fields.back() += c;
    }
  }
  *pos = text.size();
  return std::nullopt;
}

void summariseStep(StepReport* step) {
  std::vector<double> errors;
  step->accepted = 0;
  step->tolerances.clear();
  for (const VerdictEntry& check : step->checks) {
    if (check.accepted) ++step->accepted;
    if (!std::isnan(check.error)) errors.push_back(check.error);
    if (std::find(step->tolerances.begin(), step->tolerances.end(), check.tolerance) ==
        step->tolerances.end())
      step->tolerances.push_back(check.tolerance);
  }
  std::sort(errors.begin(), errors.end());
  step->p50 = percentile(errors, 50);
  step->p90 = percentile(errors, 90);
  step->p99 = percentile(errors, 99);
  step->max = errors.empty() ? 0 : errors.back();
  step->snapped = static_cast<std::size_t>(
      std::count_if(step->logged.begin(), step->logged.end(),
                    [](const ValuesEntry& row) { return !row.snapped.empty(); }));

  step->whatIfs.clear();
  if (step->checks.empty()) return;
  const double inUse = step->checks.back().tolerance;
  std::vector<double> candidates;
  if (inUse > 0 && std::isfinite(inUse)) {
    for (const double factor : kWhatIfFactors) candidates.push_back(inUse * factor);
  } else {
    candidates.push_back(inUse);
  }
  // Checks whose error is no number are never accepted, whatever the tolerance.
  const auto needed = static_cast<std::size_t>(std::ceil(0.99 * step->checks.size()));
  std::optional<double> ninetyNine;
  if (needed <= errors.size()) ninetyNine = errors[std::max<std::size_t>(needed, 1) - 1];
  if (ninetyNine) candidates.push_back(*ninetyNine);
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  for (const double candidate : candidates) {
    step->whatIfs.push_back(whatIf(step->checks, candidate));
    step->whatIfs.back().acceptsNinetyNine = ninetyNine && candidate == *ninetyNine;
  }
}

void writeReportText(const CellReport& report, std::ostream& out) {
  out << "Base " << report.base << "\n";
  out << "Journal: " << report.journalFiles << " file(s), " << report.verdictLines
      << " verdict line(s), " << report.skippedLines << " other line(s) skipped\n";
  if (report.valuesFiles == 0) {
    out << "Values log: off (create debug/corvantis.csv in the base directory to switch it on)\n";
  } else {
    out << "Values log: " << report.valuesFiles << " file(s), " << report.valuesRows << " row(s), "
        << report.skippedRows << " other row(s) skipped\n";
  }
  for (const std::string& line : report.unreadable) out << "Unreadable: " << line << "\n";
  for (const StepReport& step : report.steps) {
    out << "\nStep " << step.step << "\n";
    out << "  checks " << step.checks.size() << ", accepted " << step.accepted << ", rejected "
        << step.checks.size() - step.accepted << "\n";
    out << "  tolerance";
    for (const double t : step.tolerances) out << " " << formatNumber(t);
    out << "\n";
    if (!step.checks.empty()) {
      out << "  error p50 " << formatNumber(step.p50) << ", p90 " << formatNumber(step.p90)
          << ", p99 " << formatNumber(step.p99) << ", max " << formatNumber(step.max) << "\n";
    }
    if (step.logged.empty()) {
      out << "  errors from a snap: unknown (no values log rows for this step; an error of 0.5"
             " or 0.707107 in the journal alone is no proof)\n";
    } else {
      out << "  errors from a snap: " << step.snapped << " of " << step.logged.size()
          << " logged check(s)\n";
    }
    if (step.whatIfs.empty()) continue;
    out << "  what-if      tolerance  accepted  accepted->rejected  rejected->accepted\n";
    for (const WhatIf& row : step.whatIfs) {
      out << "  " << (row.acceptsNinetyNine ? "99 %    " : "        ")
          << column(formatNumber(row.tolerance), 14) << column(std::to_string(row.accepted), 10)
          << column(std::to_string(row.acceptedToRejected), 20)
          << column(std::to_string(row.rejectedToAccepted), 20) << "\n";
    }
  }
}

int runReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<std::string> htmlPath;
  std::vector<std::string> words;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--html" && i + 1 < args.size()) {
      htmlPath = args[++i];
    } else {
      words.push_back(args[i]);
    }
  }
  if (words.size() != 1 || words[0].rfind("--", 0) == 0) {
    err << "usage: corvantis-cell report BASE [--html FILE]\n";
    return 1;
  }
  const Platform& platform = defaultPlatform();
  CellReport report;
  if (const int status = resolveBaseDirectory(words[0], &report.base, err)) return status;
  std::vector<DirectoryEntry> entries;
  const Status base = platform.listDirectory(report.base, &entries);
  if (!base.ok()) {
    err << "corvantis-cell: no base directory: " << base.message() << "\n";
    return 1;
  }
  std::map<std::string, std::size_t> index;
  readJournal(platform, &report, &index);
  readValuesLog(platform, &report, &index);
  for (StepReport& step : report.steps) summariseStep(&step);
  writeReportText(report, out);

  int status = report.unreadable.empty() ? 0 : 1;
  for (const std::string& line : report.unreadable) err << "corvantis-cell: " << line << "\n";
  if (htmlPath) {
    std::ofstream html(*htmlPath, std::ios::binary | std::ios::trunc);
    writeReportHtml(report, html);
    html.close();
    if (!html) {
      err << "corvantis-cell: cannot write " << *htmlPath << "\n";
      status = 1;
    }
  }
  return status;
}

}  // namespace corvantis
