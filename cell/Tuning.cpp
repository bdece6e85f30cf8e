#include "cell/Tuning.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "cell/Explanation.h"
#include "cell/Markup.h"
#include "workspace/NumberText.h"
#include "workspace/ValuesLog.h"

namespace corvantis {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();
// formatNumber's significant digits: a tolerance with more would not print as itself.
constexpr int kPrintedDigits = 6;

// Not-a-number is rejected under any tolerance, so among errors it ranks as infinity.
double ranked(double error) { return std::isnan(error) ? kInfinity : error; }

double roundedTo(double value, int digits) {
  char text[40];
  std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
  return std::strtod(text, nullptr);
}

// True when `t` lies strictly between the bounds and so does its printed text, read as
// a check reads its tolerance, and neither bound prints as it does.
bool printsApart(double t, double maxGood, double minBad) {
  const std::string text = formatNumber(t);
  return maxGood < t && t < minBad && parseTolerance(text) == t && text != formatNumber(maxGood) &&
         text != formatNumber(minBad);
}

std::string ratioText(double ratio) {
  if (!std::isfinite(ratio)) return "unbounded";
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", ratio);
  return text;
}

std::string entryName(std::size_t i) {
  return i < kFeatureCount ? kEntryNames[i] : "Entry " + std::to_string(i + 1);
}

std::string snappedNames(const TunedCapture& c) {
  std::string names;
  for (const std::size_t i : c.snapped) names += (names.empty() ? "" : ", ") + entryName(i);
  return names;
}

std::string named(const TunedCapture& c) { return c.file + " (" + formatNumber(c.error) + ")"; }

void addOverlapLines(const Tuning& t, std::vector<std::string>* lines) {
  if (!(t.maxGood < t.minBad)) {
    lines->push_back("Cannot separate: the largest good error " + formatNumber(t.maxGood) +
                     " is not below the smallest bad error " + formatNumber(t.minBad) + ".");
  } else {
    lines->push_back(
        "Cannot separate: the largest good error and the smallest bad error are "
        "too close for a tolerance printed with six digits to lie between them.");
  }
  for (const bool good : {true, false}) {
    std::string list;
    for (const TunedCapture& c : good ? t.good : t.bad)
      if (overlaps(t, c, good)) list += (list.empty() ? "" : ", ") + named(c);
    if (list.empty()) continue;
    lines->push_back(good ? "Good captures at or above the smallest bad error: " + list
                          : "Bad captures at or below the largest good error: " + list);
  }
}

// The advice on the reference, then each finding on the captures once, with the
// captures it was raised on.
void addAdviceLines(const Tuning& t, std::vector<std::string>* lines) {
  if (!t.referenceAdvice.empty()) lines->push_back("Advice on the reference " + t.reference + ":");
  for (const Advice& a : t.referenceAdvice) lines->push_back("  " + a.code + ": " + a.text);
  std::vector<std::pair<Advice, std::string>> findings;  // each code with its captures
  for (const bool good : {true, false}) {
    for (const TunedCapture& c : good ? t.good : t.bad) {
      for (const Advice& a : c.advice) {
        std::size_t k = 0;
        while (k < findings.size() && findings[k].first.code != a.code) ++k;
        if (k == findings.size()) findings.push_back({a, ""});
        findings[k].second += (findings[k].second.empty() ? "" : ", ") +
                              std::string(good ? "good " : "bad ") + c.file;
      }
    }
  }
  if (!findings.empty()) lines->push_back("Advice on the captures:");
  for (const auto& [a, files] : findings)
    lines->push_back("  " + a.code + " (" + files + "): " + a.text);
}

std::string adviceJson(const std::vector<Advice>& advice) {
  return jsonArray(advice, [](const Advice& a) {
    return "{\"code\": " + jsonString(a.code) + ", \"text\": " + jsonString(a.text) + "}";
  });
}

}  // namespace

TunedCapture tunedCapture(const std::string& file, const FeatureVector& reference,
                          const FeatureVector& current, std::vector<Advice> advice) {
  TunedCapture c;
  c.file = file;
  c.error = imageError(reference, current);
  c.advice = std::move(advice);
  const std::vector<ErrorTerm> terms = errorTerms(reference, current);
  double rest = 0;
  for (std::size_t i = 0; i < terms.size(); ++i) {
    if (terms[i].snapped()) {
      c.snapped.push_back(i);
    } else {
      rest += terms[i].term;
    }
  }
  c.unsnappedError = terms.empty() ? c.error : std::sqrt(rest);
  return c;
}

Tuning tuneTolerance(const std::string& reference, std::vector<Advice> referenceAdvice,
                     std::vector<TunedCapture> good, std::vector<TunedCapture> bad) {
  Tuning t;
  t.reference = reference;
  t.referenceAdvice = std::move(referenceAdvice);
  t.good = std::move(good);
  t.bad = std::move(bad);
  const auto range = [](const std::vector<TunedCapture>& set, double* low, double* high) {
    *low = kInfinity;
    *high = -kInfinity;
    for (const TunedCapture& c : set) {
      *low = std::min(*low, ranked(c.error));
      *high = std::max(*high, ranked(c.error));
    }
  };
  range(t.good, &t.minGood, &t.maxGood);
  range(t.bad, &t.minBad, &t.maxBad);
  t.tolerance = recommendTolerance(t.maxGood, t.minBad);
  for (TunedCapture& c : t.good) {
    c.failsOnlyThroughSnap =
        !c.snapped.empty() && ranked(c.error) >= t.minBad && c.unsnappedError < t.minBad;
  }
  return t;
}

std::optional<double> recommendTolerance(double maxGood, double minBad) {
  if (!(maxGood >= 0 && maxGood < minBad)) return std::nullopt;
  // An error of 0 or an infinite one has no place on a log axis: each stands in at two
  // decades from the other bound, which leaves a margin of ten on that side.
  double low = maxGood;
  double high = std::isfinite(minBad) ? minBad : (low > 0 ? low * 100 : 1);
  if (low <= 0) low = high / 100;
  const double middle = std::exp((std::log(low) + std::log(high)) / 2);
  // The roundest number in the middle half of the gap, else any that prints apart.
  const double reach = std::log(high / low) / 4;
  for (const bool nearMiddle : {true, false}) {
    for (int digits = 1; digits <= kPrintedDigits; ++digits) {
      const double t = roundedTo(middle, digits);
      if (printsApart(t, maxGood, minBad) &&
          (!nearMiddle || std::fabs(std::log(t / middle)) <= reach))
        return t;
    }
  }
  return std::nullopt;
}

bool overlaps(const Tuning& t, const TunedCapture& capture, bool good) {
  return good ? ranked(capture.error) >= t.minBad : ranked(capture.error) <= t.maxGood;
}

std::vector<std::string> tuningLines(const Tuning& t) {
  std::vector<TextRow> rows = {{"Reference: " + t.reference},
                               {"set", "capture", "error", "snapped"}};
  for (const bool good : {true, false}) {
    for (const TunedCapture& c : good ? t.good : t.bad)
      rows.push_back({good ? "good" : "bad", c.file, formatNumber(c.error), snappedNames(c)});
  }
  std::vector<std::string> lines = alignedLines(rows);
  for (std::string& line : lines) line.erase(line.find_last_not_of(' ') + 1);
  lines.push_back("Good errors: " + formatNumber(t.minGood) + " to " + formatNumber(t.maxGood) +
                  " (" + std::to_string(t.good.size()) + " captures)");
  lines.push_back("Bad errors: " + formatNumber(t.minBad) + " to " + formatNumber(t.maxBad) + " (" +
                  std::to_string(t.bad.size()) + " captures)");
  if (t.tolerance) {
    lines.push_back("Recommended tolerance: " + formatNumber(*t.tolerance));
    lines.push_back(
        "Margins: tolerance / largest good error = " + ratioText(*t.tolerance / t.maxGood) +
        ", smallest bad error / tolerance = " + ratioText(t.minBad / *t.tolerance));
  } else {
    addOverlapLines(t, &lines);
  }
  for (const TunedCapture& c : t.good) {
    if (!c.failsOnlyThroughSnap) continue;
    lines.push_back(c.file + " fails only through a snap of " + snappedNames(c) +
                    " to a whole number: without it its error is " +
                    formatNumber(c.unsnappedError) + ", below every bad error.");
  }
  const std::size_t before = lines.size();
  addAdviceLines(t, &lines);
  if (!t.tolerance && lines.size() == before) {
    lines.push_back(
        "No advice on these images: the analysis found a shape in each, but the "
        "good and bad parts move the angle and radius of its border alike. "
        "corvantis-cell explain REF CAPTURE shows which entry differs.");
  }
  return lines;
}

std::string tuningJson(const Tuning& t) {
  const auto captures = [&](bool good) {
    return jsonArray(good ? t.good : t.bad, [&](const TunedCapture& c) {
      std::vector<std::string> names;
      for (const std::size_t i : c.snapped) names.push_back(entryName(i));
      return "{\"file\": " + jsonString(c.file) + ", \"error\": " + jsonNumber(c.error) +
             ", \"snapped\": " + jsonArray(names, jsonString) +
             ", \"failsOnlyThroughSnap\": " + (c.failsOnlyThroughSnap ? "true" : "false") +
             ", \"overlaps\": " + (overlaps(t, c, good) ? "true" : "false") + "}";
    });
  };
  const auto adviceOf = [](const TunedCapture& c) { return adviceJson(c.advice); };
  std::string json = "{\"reference\": " + jsonString(t.reference) +
                     ", \"good\": " + captures(true) + ", \"bad\": " + captures(false) +
                     ", \"separable\": " + (t.tolerance ? "true" : "false");
  if (t.tolerance) {
    json += ", \"tolerance\": " + jsonNumber(*t.tolerance) +
            ", \"margins\": {\"good\": " + jsonNumber(*t.tolerance / t.maxGood) +
            ", \"bad\": " + jsonNumber(t.minBad / *t.tolerance) + "}";
  }
  json += ", \"advice\": {\"reference\": " + adviceJson(t.referenceAdvice) +
          ", \"good\": " + jsonArray(t.good, adviceOf) +
          ", \"bad\": " + jsonArray(t.bad, adviceOf) + "}";
  return json + "}\n";
}

}  // namespace corvantis
