// Commissioning a step: from the errors of captures known to be good and known to be
// bad against one reference, the tolerance that accepts every good one and rejects every
// bad one, or why none can. The errors are those of imageError itself, so a check with
// the recommended tolerance decides each capture as told here. Pure functions.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Verdict.h"
#include "imageproc/Advice.h"

namespace corvantis {

// One capture against the reference, as a check would score it.
struct TunedCapture {
  std::string file;  // the path as given
  double error = 0;
  // Entries whose term the whole-number rule fixed, and the error without their terms.
  std::vector<std::size_t> snapped;
  double unsnappedError = 0;
  std::vector<Advice> advice;
  // A good capture that is rejected by every tolerance that rejects the bad ones, but
  // would not be without its snaps.
  bool failsOnlyThroughSnap = false;
};

// The captures, their ranges and the decision.
struct Tuning {
  std::string reference;
  std::vector<Advice> referenceAdvice;
  std::vector<TunedCapture> good;
  std::vector<TunedCapture> bad;
  // Ranges of the errors; an error that is not a number counts as infinite, as it is
  // rejected under any tolerance.
  double minGood = 0, maxGood = 0, minBad = 0, maxBad = 0;
  std::optional<double> tolerance;  // set exactly when the two sets separate
};

// `file`'s score against `reference` with its advice.
TunedCapture tunedCapture(const std::string& file, const FeatureVector& reference,
                          const FeatureVector& current, std::vector<Advice> advice);

// The decision on non-empty sets of good and bad captures.
Tuning tuneTolerance(const std::string& reference, std::vector<Advice> referenceAdvice,
                     std::vector<TunedCapture> good, std::vector<TunedCapture> bad);

// A tolerance strictly above `maxGood` and strictly below `minBad` (0 <= maxGood, minBad
// may be infinite) that formatNumber prints as itself and as neither bound, so that the
// printed text, given to a check, decides as the value does: the roundest such number
// near the geometric mean of the two, which is the middle of the gap on a log axis.
// nullopt when no such number exists (maxGood >= minBad, or the two print alike).
std::optional<double> recommendTolerance(double maxGood, double minBad);

// Whether a capture is in the other set's range: a good one at or above the smallest bad
// error, a bad one at or below the largest good error.
bool overlaps(const Tuning& t, const TunedCapture& capture, bool good);

// The result for a person, line by line.
std::vector<std::string> tuningLines(const Tuning& t);
// The result as one JSON object, numbers with 17 significant digits.
std::string tuningJson(const Tuning& t);
// The result as one HTML page with no script and no external files: both sets on a
// log-scaled axis of the error, the tolerance across them.
void writeTuningHtml(const Tuning& t, std::ostream& out);

}  // namespace corvantis
