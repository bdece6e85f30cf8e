// Advice on one analysed image: whether its signature describes a shape or the noise
// of the background, and what to change in the cell when it does not.
//
// The object is every pixel at or below the grey level under the one where three
// quarters of the equalised histogram is reached. That separates a part from its
// background only when a quarter or more of the frame sits at one brightest level (a
// backlight, or a white background exposed until it clips); otherwise the threshold
// falls inside the background's noise. Pure functions.
#pragma once

#include <string>
#include <vector>

#include "imageproc/AdviceFinding.h"
#include "imageproc/ShapeAnalysis.h"

namespace corvantis {

// The codes of the findings.
constexpr char kAdviceNoObject[] = "no-object";
constexpr char kAdviceSpeckle[] = "speckle";
constexpr char kAdviceCornerCap[] = "corner-cap";
constexpr char kAdviceFillsFrame[] = "fills-frame";

// The findings on an image with these measures, most important first; empty when the
// signature describes a shape.
std::vector<Advice> adviseOn(const ShapeMeasures& measures);

// The codes of `advice` separated by blanks.
std::string adviceCodes(const std::vector<Advice>& advice);

// "advice on <file name>, <code>: <text>", as the programs tell a finding on stderr.
std::string adviceLine(const std::string& fileName, const Advice& finding);

}  // namespace corvantis
