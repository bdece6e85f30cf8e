// The figures of each step: percentiles, snaps, advice and the what-if rows. The journal
// prints errors and tolerances to 6 significant digits; where the values log holds the
// check's row, its 17-digit error takes the printed one's place.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>

#include "app/Verdict.h"
#include "cell/Report.h"
#include "workspace/NumberText.h"

namespace corvantis {

namespace {

// The what-if rows around the tolerance in use, as multiples of it.
constexpr double kWhatIfFactors[] = {0.5, 0.75, 1.0, 1.5, 2.0};

// `value` as the report prints it, so that a row shows the tolerance it counted with.
double printed(double value) { return std::strtod(formatNumber(value).c_str(), nullptr); }

// The next number above `value` that prints differently; `value` itself when there is none.
double nextPrinted(double value) {
  if (!(value > 0) || !std::isfinite(value)) return value;
  const double step = std::pow(10.0, std::floor(std::log10(value)) - 5);
  for (const double factor : {1.0, 10.0}) {
    const double next = printed(value + factor * step);
    if (next > value) return next;
  }
  return value;
}

// What a row and a journal line of the same check have in common: the printed numbers.
std::string checkKey(const std::string& image, bool accepted, double error, double tolerance) {
  return image + '\n' + (accepted ? "a" : "r") + formatNumber(error) + '\n' +
         formatNumber(tolerance);
}

// Each check takes the error of the first unused row of its step that prints as it does.
void matchLoggedErrors(StepReport* step) {
  std::map<std::string, std::deque<double>> errors;
  for (const ValuesRow& row : step->logged)
    errors[checkKey(row.current, row.accepted, row.error, row.tolerance)].push_back(row.error);
  for (VerdictEntry& check : step->checks) {
    const auto found =
        errors.find(checkKey(check.image, check.accepted, check.error, check.tolerance));
    if (found == errors.end() || found->second.empty()) continue;
    check.error = found->second.front();
    check.exactError = true;
    found->second.pop_front();
  }
}

// Whether the check would have been accepted at `tolerance`. A printed error equal to the
// tolerance hides on which side the true one lay; the verdict the check recorded tells
// where it can (rejected at this tolerance or a larger one: rejected).
bool acceptedAt(const VerdictEntry& check, double tolerance) {
  if (!check.exactError && check.error == tolerance) {
    if (check.accepted && check.tolerance <= tolerance) return true;
    if (!check.accepted && check.tolerance >= tolerance) return false;
  }
  return isAccepted(check.error, tolerance);
}

WhatIf whatIf(const std::vector<VerdictEntry>& checks, double tolerance) {
  WhatIf row;
  row.tolerance = tolerance;
  for (const VerdictEntry& check : checks) {
    const bool accepted = acceptedAt(check, tolerance);
    if (accepted) ++row.accepted;
    if (check.accepted && !accepted) ++row.acceptedToRejected;
    if (!check.accepted && accepted) ++row.rejectedToAccepted;
  }
  return row;
}

// The smallest printed tolerance that would have accepted 99 % of the checks; nothing
// when more than 1 % of them have no number for an error.
std::optional<double> ninetyNineTolerance(const std::vector<VerdictEntry>& checks,
                                          const std::vector<double>& sortedErrors) {
  const auto needed = static_cast<std::size_t>(std::ceil(0.99 * checks.size()));
  if (needed > sortedErrors.size()) return std::nullopt;
  double tolerance = printed(sortedErrors[std::max<std::size_t>(needed, 1) - 1]);
  // The error may print below itself, or tie with a tolerance that rejected it.
  for (int i = 0; i < 2 && whatIf(checks, tolerance).accepted < needed; ++i)
    tolerance = nextPrinted(tolerance);
  if (whatIf(checks, tolerance).accepted < needed) return std::nullopt;
  return tolerance;
}

// Nearest rank: the smallest value with at least p % of the values at or below it.
double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * sorted.size()));
  return sorted[std::max<std::size_t>(rank, 1) - 1];
}

void countAdvice(StepReport* step) {
  step->advised = 0;
  step->advice.clear();
  for (const ValuesRow& row : step->logged) {
    if (!row.advice) continue;
    ++step->advised;
    std::size_t pos = 0;
    while (pos < row.advice->size()) {
      const std::size_t end = std::min(row.advice->find(' ', pos), row.advice->size());
      const std::string token = row.advice->substr(pos, end - pos);
      pos = end + 1;
      if (token.empty()) continue;
      const auto found = std::find_if(step->advice.begin(), step->advice.end(),
                                      [&](const AdviceCount& a) { return a.token == token; });
      if (found != step->advice.end()) {
        ++found->checks;
      } else {
        step->advice.push_back(AdviceCount{token, 1});
      }
    }
  }
}

void addWhatIfs(StepReport* step, const std::vector<double>& sortedErrors) {
  step->whatIfs.clear();
  if (step->checks.empty()) return;
  const double inUse = step->checks.back().tolerance;
  std::vector<double> candidates;
  if (inUse > 0 && std::isfinite(inUse)) {
    for (const double factor : kWhatIfFactors) candidates.push_back(printed(inUse * factor));
  } else {
    candidates.push_back(inUse);
  }
  const std::optional<double> ninetyNine = ninetyNineTolerance(step->checks, sortedErrors);
  if (ninetyNine) candidates.push_back(*ninetyNine);
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  for (const double candidate : candidates) {
    step->whatIfs.push_back(whatIf(step->checks, candidate));
    step->whatIfs.back().acceptsNinetyNine = ninetyNine && candidate == *ninetyNine;
  }
}

// Fills in the figures of one step from its checks and logged rows.
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
                    [](const ValuesRow& row) { return !row.snapped.empty(); }));
  countAdvice(step);
  addWhatIfs(step, errors);
}

}  // namespace

void summariseReport(CellReport* report) {
  for (StepReport& step : report->steps) {
    matchLoggedErrors(&step);
    summariseStep(&step);
  }
}

}  // namespace corvantis
