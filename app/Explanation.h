// Why a check accepts or rejects: the image error taken apart entry by entry, as text
// for a person and as JSON for a program. The numbers are those of errorTerms and
// imageError themselves, so they agree with the check's to the last bit. No OpenCV.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Verdict.h"

namespace corvantis {

struct Explanation {
  std::string referenceName;
  std::string currentName;
  FeatureVector reference;
  FeatureVector current;
  std::vector<ErrorTerm> terms;
  double error = 0;
  std::optional<double> tolerance;  // with it, `accepted` is the verdict
  bool accepted = false;
};

// The explanation of `current` against `reference`; `toleranceText` is read as the
// check reads its tolerance argument.
Explanation explainSignatures(const std::string& referenceName, const std::string& currentName,
                              const FeatureVector& reference, const FeatureVector& current,
                              const std::optional<std::string>& toleranceText);

// A header line and one line per entry: name, both values with their classes, the
// adjustment, the term.
std::vector<std::string> entryTable(const Explanation& e);
// One plain sentence per entry whose term a snap to a whole number fixed.
std::vector<std::string> snapSentences(const Explanation& e);
// The whole explanation for a person: the table, the error, the verdict, the snaps.
std::vector<std::string> explanationLines(const Explanation& e);
// One JSON object; numbers with 17 significant digits, so they read back exactly, and
// null for those that are not finite.
std::string explanationJson(const Explanation& e);

}  // namespace corvantis
