// The image error between two signatures and the verdict drawn from it.
//
// The error is relative: each entry of the current signature is taken as a multiple of
// the reference entry. Entries that hold whole numbers are treated apart from entries
// with a fractional part, so the three counts of a signature never add to the error and
// the verdict rests on the angle and the radius. Pure functions; no OpenCV.
#pragma once

#include <string>
#include <vector>

#include "workspace/FeatureVector.h"

namespace corvantis {

// Fractional parts within this margin of 0 count as whole numbers.
constexpr double kWholeMargin = 0.01;

// How one value counts: a fractional part below the margin is whole (every negative value
// is), above it fractional; exactly the margin, or not a number, is neither.
enum class ValueClass { kWhole, kFractional, kNeither };

// What the whole / fractional rule did to one pair of entries before their ratio.
enum class Adjustment {
  kNone,            // ratio of the values as they stand
  kBothWhole,       // both whole: ratio 1, term 0
  kCurrentWhole,    // fractional reference, whole current: ratio 0.5, term 0.25
  kReferenceWhole,  // whole reference, fractional current: ratio 2, term 1
};

// One entry of the error: the two values, their classes, the adjustment and the squared
// term it adds. A snap is one of the two mixed adjustments: the term is fixed however
// close the two values are.
struct ErrorTerm {
  double reference = 0;
  double current = 0;
  ValueClass referenceClass = ValueClass::kNeither;
  ValueClass currentClass = ValueClass::kNeither;
  Adjustment adjustment = Adjustment::kNone;
  double term = 0;
  bool snapped() const {
    return adjustment == Adjustment::kCurrentWhole || adjustment == Adjustment::kReferenceWhole;
  }
};

// The terms of imageError, one per reference entry, in order; empty when `current` has
// fewer entries than `reference`. imageError is the square root of their sum, added in
// this order, so the two agree to the last bit.
std::vector<ErrorTerm> errorTerms(const FeatureVector& reference, const FeatureVector& current);

// sqrt of the sum of (1 - c/r)^2 over the reference's entries, after the whole /
// fractional adjustments. `current` must have at least as many entries as `reference`;
// entries beyond are ignored. NaN when it has fewer.
double imageError(const FeatureVector& reference, const FeatureVector& current);

// Accepted exactly when error <= tolerance; a NaN on either side rejects.
bool isAccepted(double error, double tolerance);

// The tolerance argument read as atof does in the "C" locale: leading blanks skipped,
// the longest number at the start taken, 0 when there is none.
double parseTolerance(const std::string& text);
// What the person who set the tolerance `text` should be told, one sentence each without
// a line end: text that is no plain number, and what it was read as; a tolerance that
// decides every check alike (negative or not a number: all rejected; infinite: all
// accepted). Empty for a plain, finite, non-negative number. The verdict is unaffected.
std::vector<std::string> toleranceWarnings(const std::string& text);

}  // namespace corvantis
