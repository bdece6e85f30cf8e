#include "app/Verdict.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "workspace/NumberText.h"

namespace corvantis {

namespace {

ValueClass classifyValue(double x) {
  // Not-a-number and infinity have no fractional part to speak of; leaving them
  // unadjusted lets the ratio become non-finite, which rejects.
  if (!std::isfinite(x)) return ValueClass::kNeither;
  // Magnitudes of 2^63 and beyond are whole in a double and do not fit the integer
  // that the truncation goes through.
  const double d =
      std::fabs(x) < 9.2e18 ? x - static_cast<double>(static_cast<std::int64_t>(x)) : 0.0;
  // Negative values have a fractional part in (-1, 0], so they always count as whole.
  if (d < kWholeMargin) return ValueClass::kWhole;
  if (d > kWholeMargin) return ValueClass::kFractional;
  return ValueClass::kNeither;
}

}  // namespace

std::vector<ErrorTerm> errorTerms(const FeatureVector& reference, const FeatureVector& current) {
  std::vector<ErrorTerm> terms;
  if (current.size() < reference.size()) return terms;
  terms.reserve(reference.size());
  for (std::size_t i = 0; i < reference.size(); ++i) {
    ErrorTerm t;
    t.reference = reference[i];
    t.current = current[i];
    t.referenceClass = classifyValue(t.reference);
    t.currentClass = classifyValue(t.current);
    double r = t.reference;
    double c = t.current;
    // The two mixed cases are deliberately not symmetric: a current value that turned
    // whole costs 0.25, a whole reference against a fractional current value costs 1.
    if (t.referenceClass == ValueClass::kFractional && t.currentClass == ValueClass::kWhole) {
      t.adjustment = Adjustment::kCurrentWhole;
      c = r;
      r = 2 * r;
    } else if (t.referenceClass == ValueClass::kWhole &&
               t.currentClass == ValueClass::kFractional) {
      t.adjustment = Adjustment::kReferenceWhole;
      r = c;
      c = 2 * c;
    } else if (t.referenceClass == ValueClass::kWhole && t.currentClass == ValueClass::kWhole) {
      t.adjustment = Adjustment::kBothWhole;
      r = 1;
      c = 1;
    }
    const double diff = 1 - c / r;
    t.term = diff * diff;
    terms.push_back(t);
  }
  return terms;
}

double imageError(const FeatureVector& reference, const FeatureVector& current) {
  if (current.size() < reference.size()) return std::nan("");
  double sum = 0.0;
  for (const ErrorTerm& t : errorTerms(reference, current)) sum += t.term;
  return std::sqrt(sum);
}

bool isAccepted(double error, double tolerance) { return error <= tolerance; }

double parseTolerance(const std::string& text) {
  // The program never changes its locale, so strtod reads "." as the decimal point.
  return std::strtod(text.c_str(), nullptr);
}

namespace {

// True when `text` is one number and nothing else (blanks around it aside), so that
// parseTolerance read all of it; false for "0,5", "0.5x", "abc" and "".
bool isPlainNumber(const std::string& text) {
  const char* start = text.c_str();
  char* end = nullptr;
  std::strtod(start, &end);
  if (end == start) return false;
  while (std::isspace(static_cast<unsigned char>(*end))) ++end;
  return *end == '\0';
}

}  // namespace

std::vector<std::string> toleranceWarnings(const std::string& text) {
  std::vector<std::string> warnings;
  const double tolerance = parseTolerance(text);
  const std::string quoted = "tolerance \"" + text + "\"";
  // A controller that writes "0,5" gets a tolerance of 0 and sees every image rejected.
  if (!isPlainNumber(text))
    warnings.push_back(quoted + " is not a plain number; read as " + formatNumber(tolerance));
  // The error is never negative, so no check passes a negative tolerance or NaN, and an
  // infinite one passes every check whose error is a number.
  if (std::isnan(tolerance)) {
    warnings.push_back(quoted + " is not a number: every check is rejected");
  } else if (tolerance < 0) {
    warnings.push_back(quoted + " is negative: every check is rejected");
  } else if (std::isinf(tolerance)) {
    warnings.push_back(quoted + " is infinite: every check is accepted");
  }
  return warnings;
}

}  // namespace corvantis
