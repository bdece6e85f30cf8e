// The image error between two signatures and the verdict drawn from it.
//
// The error is relative: each entry of the current signature is taken as a multiple of
// the reference entry. Entries that hold whole numbers are treated apart from entries
// with a fractional part, so the three counts of a signature never add to the error and
// the verdict rests on the angle and the radius. Pure functions; no OpenCV.
#pragma once

#include <string>

#include "workspace/FeatureVector.h"

namespace corvantis {

// Fractional parts within this margin of 0 count as whole numbers.
constexpr double kWholeMargin = 0.01;

// sqrt of the sum of (1 - c/r)^2 over the reference's entries, after the whole /
// fractional adjustments. `current` must have at least as many entries as `reference`;
// entries beyond are ignored. NaN when it has fewer.
double imageError(const FeatureVector& reference, const FeatureVector& current);

// Accepted exactly when error <= tolerance; a NaN on either side rejects.
bool isAccepted(double error, double tolerance);

// The tolerance argument read as atof does in the "C" locale: leading blanks skipped,
// the longest number at the start taken, 0 when there is none.
double parseTolerance(const std::string& text);

// "Step: <id>, Image: <name>, Status: accepted|rejected, Image error: <e>, Tolerance: <t>"
std::string composeVerdictLine(const std::string& stepId, const std::string& imageName,
                               bool accepted, double error, double tolerance);

}  // namespace corvantis
