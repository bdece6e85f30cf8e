#include "imageproc/Advice.h"

#include <cmath>

namespace corvantis {
namespace {

// Calibrated with bench/AdviceCalibration.cpp on drawn backlit and tray scenes (noise 0
// to 8 grey levels, parts from a tenth to most of the frame, grey and colour, PNG, JPEG
// and BMP) and on the sample cell's photographs.
//
// Grains of background noise are nearly all border; a part's body is not. Two ratios
// together, because each alone mistakes a part for grains: border pixels per object
// pixel (P/A) is large for any small part (a bracket 50 pixels wide reaches 0.30 in a
// JPEG), and P/sqrt(A), which does not change with the part's size, is large for a
// part with many holes (a plate with 196 holes reaches 47 at P/A 0.12). A backlight
// that clips over only part of the frame gives at least 0.15 and 64 with 2 grey
// levels of noise, and far more with 4.
constexpr double kSpeckleBorderPerPixel = 0.15;
constexpr double kSpeckleBorderPerSide = 20;
// The share of the frame an object may cover before it leaves too little background
// to tell its outline from the frame's. With a quarter of the frame at the brightest
// level the object covers three quarters at most, so this is nearly all it can.
constexpr double kFillsFrameShare = 0.7;

// True when the threshold lies below the brightest grey level, so that the object is
// all but the pixels at that level. The same three-quarter target as the threshold
// (ShapeAnalysis.cpp): the pixels below the brightest level must fall short of it.
bool brightestLevelIsBackground(const ShapeMeasures& m) {
  const auto target = static_cast<std::int64_t>(0.75 * static_cast<double>(m.pixelCount));
  return m.pixelCount - m.brightestCount < target;
}

bool isSpeckle(const ShapeMeasures& m) {
  if (!brightestLevelIsBackground(m)) return true;
  const double area = static_cast<double>(m.area);
  const double border = static_cast<double>(m.perimeter);
  return border > kSpeckleBorderPerPixel * area && border > kSpeckleBorderPerSide * std::sqrt(area);
}

bool fillsFrame(const ShapeMeasures& m) {
  return m.touchedEdges == kEveryEdge ||
         static_cast<double>(m.area) >= kFillsFrameShare * static_cast<double>(m.pixelCount);
}

}  // namespace

std::vector<Advice> adviseOn(const ShapeMeasures& m) {
  // Stray pixels of an empty backlight, each its own border, are no object either.
  if (m.area == 0 || m.perimeter == m.area) {
    return {{kAdviceNoObject,
             "There is no object, or only stray pixels: put the part in view, with the "
             "light on, against a background that clips to pure white."}};
  }
  // Speckle explains a capped corner count and an object that reaches every edge, so
  // those are not told beside it.
  if (isSpeckle(m)) {
    return {{kAdviceSpeckle,
             "The object is speckle of the background, not the part: light the part against "
             "a backlight or a white background exposed until it clips to pure white, over "
             "at least a quarter of the frame."}};
  }
  std::vector<Advice> advice;
  if (fillsFrame(m)) {
    advice.push_back(
        {kAdviceFillsFrame,
         "The object touches every edge of the image or fills nearly all of it: move the "
         "camera back or use a larger backlight, so that pure white surrounds the part."});
  }
  if (m.cornerCount >= static_cast<std::int32_t>(kCornerCapacity)) {
    advice.push_back(
        {kAdviceCornerCap,
         "The corner count reached its cap of 500, so the outline is ragged: focus on the "
         "part and let the background clip to pure white right up to its edge."});
  }
  return advice;
}

std::string adviceLine(const std::string& fileName, const Advice& finding) {
  return "advice on " + fileName + ", " + finding.code + ": " + finding.text;
}

std::string adviceCodes(const std::vector<Advice>& advice) {
  std::string codes;
  for (const Advice& finding : advice) {
    if (!codes.empty()) codes += ' ';
    codes += finding.code;
  }
  return codes;
}

}  // namespace corvantis
