#include "app/Explanation.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "workspace/NumberText.h"

namespace corvantis {
namespace {

const std::array<const char*, kFeatureCount> kEntryNames = {"Area", "Perimeter", "Corners", "Angle",
                                                            "Radius"};

std::string entryName(std::size_t i) {
  return i < kEntryNames.size() ? kEntryNames[i] : "Entry " + std::to_string(i + 1);
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

std::string padded(std::string text, std::size_t width) {
  if (text.size() < width) text.resize(width, ' ');
  return text + " ";
}

std::string jsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string jsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

template <typename T, typename F>
std::string jsonArray(const std::vector<T>& items, F toJson) {
  std::string text = "[";
  for (std::size_t i = 0; i < items.size(); ++i) text += (i ? ", " : "") + toJson(items[i]);
  return text + "]";
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

std::vector<std::string> entryTable(const Explanation& e) {
  std::vector<std::string> lines = {padded("entry", 10) + padded("reference", 12) +
                                    padded("class", 11) + padded("current", 12) +
                                    padded("class", 11) + padded("adjustment", 27) + "term"};
  for (std::size_t i = 0; i < e.terms.size(); ++i) {
    const ErrorTerm& t = e.terms[i];
    lines.push_back(padded(entryName(i), 10) + padded(formatNumber(t.reference), 12) +
                    padded(className(t.referenceClass), 11) + padded(formatNumber(t.current), 12) +
                    padded(className(t.currentClass), 11) +
                    padded(adjustmentName(t.adjustment), 27) + formatNumber(t.term));
  }
  return lines;
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

std::vector<std::string> explanationLines(const Explanation& e) {
  std::vector<std::string> lines = {"Reference: " + e.referenceName, "Current: " + e.currentName};
  for (const std::string& line : entryTable(e)) lines.push_back(line);
  lines.push_back("Image error: " + formatNumber(e.error));
  if (e.tolerance) {
    lines.push_back("Tolerance: " + formatNumber(*e.tolerance) +
                    (e.accepted ? ", Status: accepted" : ", Status: rejected"));
  }
  for (const std::string& line : snapSentences(e)) lines.push_back(line);
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
  return json + "}\n";
}

}  // namespace corvantis
