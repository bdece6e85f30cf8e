#include "cell/Explanation.h"

#include <algorithm>
#include <array>

#include "cell/Markup.h"
#include "workspace/NumberText.h"

namespace corvantis {
namespace {

std::string entryName(std::size_t i) {
  return i < kFeatureCount ? kEntryNames[i] : "Entry " + std::to_string(i + 1);
}

const char* className(ValueClass c) {
  switch (c) {
    case ValueClass::kWhole:
      return "whole";
    case ValueClass::kFractional:
      return "fractional";
    case ValueClass::kNeither:
      break;
  }
  return "neither";
}

const char* adjustmentName(Adjustment a) {
  switch (a) {
    case Adjustment::kBothWhole:
      return "both whole, ratio 1";
    case Adjustment::kCurrentWhole:
      return "current snapped, ratio 0.5";
    case Adjustment::kReferenceWhole:
      return "reference snapped, ratio 2";
    case Adjustment::kNone:
      break;
  }
  return "none";
}

// The adjustment in the JSON, one word each.
const char* adjustmentKey(Adjustment a) {
  switch (a) {
    case Adjustment::kBothWhole:
      return "bothWhole";
    case Adjustment::kCurrentWhole:
      return "currentWhole";
    case Adjustment::kReferenceWhole:
      return "referenceWhole";
    case Adjustment::kNone:
      break;
  }
  return "none";
}

}  // namespace

Explanation explainSignatures(const std::string& referenceName, const std::string& currentName,
                              const FeatureVector& reference, const FeatureVector& current,
                              const std::optional<std::string>& toleranceText) {
  Explanation e;
  e.referenceName = referenceName;
  e.currentName = currentName;
  e.reference = reference;
  e.current = current;
  e.terms = errorTerms(reference, current);
  e.error = imageError(reference, current);
  if (toleranceText) {
    e.tolerance = parseTolerance(*toleranceText);
    e.accepted = isAccepted(e.error, *e.tolerance);
  }
  return e;
}

std::vector<TextRow> entryRows(const Explanation& e) {
  std::vector<TextRow> rows = {
      {"entry", "reference", "class", "current", "class", "adjustment", "term"}};
  for (std::size_t i = 0; i < e.terms.size(); ++i) {
    const ErrorTerm& t = e.terms[i];
    rows.push_back({entryName(i), formatNumber(t.reference), className(t.referenceClass),
                    formatNumber(t.current), className(t.currentClass),
                    adjustmentName(t.adjustment), formatNumber(t.term)});
  }
  return rows;
}

std::vector<std::string> snapSentences(const Explanation& e) {
  std::vector<std::string> sentences;
  for (std::size_t i = 0; i < e.terms.size(); ++i) {
    const ErrorTerm& t = e.terms[i];
    if (!t.snapped()) continue;
    const bool current = t.adjustment == Adjustment::kCurrentWhole;
    sentences.push_back(entryName(i) + " " + formatNumber(current ? t.current : t.reference) +
                        (current ? " of the capture" : " of the reference") +
                        " counts as a whole number: this entry alone adds " + formatNumber(t.term) +
                        " to the squared error.");
  }
  return sentences;
}

std::vector<TextRow> explanationRows(const Explanation& e) {
  std::vector<TextRow> rows = {{"Reference: " + e.referenceName}, {"Current: " + e.currentName}};
  for (TextRow& row : entryRows(e)) rows.push_back(std::move(row));
  rows.push_back({"Image error: " + formatNumber(e.error)});
  if (e.tolerance) {
    rows.push_back({"Tolerance: " + formatNumber(*e.tolerance) +
                    (e.accepted ? ", Status: accepted" : ", Status: rejected")});
  }
  for (std::string& sentence : snapSentences(e)) rows.push_back({std::move(sentence)});
  for (const auto& [side, advice] : {std::pair{"reference", &e.referenceAdvice},
                                     std::pair{"capture", &e.currentAdvice}}) {
    for (const Advice& finding : *advice)
      rows.push_back({std::string("Advice on the ") + side + ", " + finding.code + ": " + finding.text});
  }
  return rows;
}

std::vector<std::string> alignedLines(const std::vector<TextRow>& rows) {
  std::vector<std::size_t> widths;
  for (const TextRow& row : rows) {
    if (row.size() < 2) continue;
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::vector<std::string> lines;
  for (const TextRow& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line.append(widths[c] + 2 - row[c].size(), ' ');
    }
    lines.push_back(line);
  }
  return lines;
}

std::string explanationJson(const Explanation& e) {
  std::vector<double> terms;
  for (const ErrorTerm& t : e.terms) terms.push_back(t.term);
  const auto entry = [&](const ErrorTerm& t) {
    return std::string("{\"referenceClass\": \"") + className(t.referenceClass) +
           "\", \"currentClass\": \"" + className(t.currentClass) + "\", \"adjustment\": \"" +
           adjustmentKey(t.adjustment) + "\", \"snapped\": " + (t.snapped() ? "true" : "false") +
           "}";
  };
  std::string json = "{\"referenceImage\": " + jsonString(e.referenceName) +
                     ", \"currentImage\": " + jsonString(e.currentName) +
                     ", \"reference\": " + jsonArray(e.reference, jsonNumber) +
                     ", \"current\": " + jsonArray(e.current, jsonNumber) +
                     ", \"terms\": " + jsonArray(terms, jsonNumber) +
                     ", \"entries\": " + jsonArray(e.terms, entry) +
                     ", \"error\": " + jsonNumber(e.error);
  if (e.tolerance) {
    json += ", \"tolerance\": " + jsonNumber(*e.tolerance) +
            ", \"accepted\": " + (e.accepted ? "true" : "false");
  }
  json += ", \"snaps\": " + jsonArray(snapSentences(e), jsonString);
  const auto finding = [](const Advice& a) {
    return "{\"code\": " + jsonString(a.code) + ", \"text\": " + jsonString(a.text) + "}";
  };
  json += ", \"advice\": {\"reference\": " + jsonArray(e.referenceAdvice, finding) +
          ", \"current\": " + jsonArray(e.currentAdvice, finding) + "}";
  return json + "}\n";
}

}  // namespace corvantis
