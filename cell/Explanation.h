// Why a check accepts or rejects: the image error taken apart entry by entry, as text
// for a person and as JSON for a program. The numbers are those of errorTerms and
// imageError themselves, so they agree with the check's to the last bit. No OpenCV.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/Verdict.h"
#include "imageproc/AdviceFinding.h"

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
  // What the image advice says of each image; empty when its signature describes a shape.
  std::vector<Advice> referenceAdvice;
  std::vector<Advice> currentAdvice;
};

// The explanation of `current` against `reference`; `toleranceText` is read as the
// check reads its tolerance argument.
Explanation explainSignatures(const std::string& referenceName, const std::string& currentName,
                              const FeatureVector& reference, const FeatureVector& current,
                              const std::optional<std::string>& toleranceText);

// One line of text in cells; rows of more than one cell line up in columns.
using TextRow = std::vector<std::string>;

// One plain sentence per entry whose term a snap to a whole number fixed.
std::vector<std::string> snapSentences(const Explanation& e);
// The whole explanation for a person: the two file names; a header row and one row per
// entry (name, both values with their classes, the adjustment, the term); the error,
// the verdict when there is a tolerance, the snaps, and one row per finding of advice.
std::vector<TextRow> explanationRows(const Explanation& e);
// `rows` as lines, the cells of multi-cell rows padded into columns two blanks apart.
std::vector<std::string> alignedLines(const std::vector<TextRow>& rows);
// One JSON object; numbers with 17 significant digits, so they read back exactly, and
// null for those that are not finite. "advice" holds "reference" and "current", each a
// list of {"code", "text"}.
std::string explanationJson(const Explanation& e);

}  // namespace corvantis
