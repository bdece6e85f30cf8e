// The analysis of one grey image, as pure functions: equalisation, the threshold and
// binarisation, the Harris corners, the border and the measures of its centroid, and
// from them the shape signature.
//
// `measureShape` is the one pipeline. A check asks it for the measures alone; the view
// mode also hands it a `StageImages` to fill, so that what a person sees comes from the
// very code that made the check's numbers. The steps are exported for the tests and the
// display. Thread-safe: nothing is shared between calls. OpenCV errors are not caught
// here and reach the caller as cv::Exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

#include "workspace/FeatureVector.h"

namespace corvantis {

// Most corners one image can report.
constexpr std::size_t kCornerCapacity = 500;

// The border pixels as running sums: how many, and their offsets from the image centre
// (upwards and to the right) added up.
struct BorderSums {
  std::int64_t count = 0;
  std::int64_t up = 0;
  std::int64_t right = 0;
};

// The image edges, as bits of ShapeMeasures::touchedEdges.
constexpr std::uint8_t kEdgeTop = 1;
constexpr std::uint8_t kEdgeBottom = 2;
constexpr std::uint8_t kEdgeLeft = 4;
constexpr std::uint8_t kEdgeRight = 8;
constexpr std::uint8_t kEveryEdge = kEdgeTop | kEdgeBottom | kEdgeLeft | kEdgeRight;

// What the analysis of one image found. The not-computed markers (`cornerCount` -1,
// `angle` and `radius` -1.0) stay in an image without object pixels.
struct ShapeMeasures {
  std::int64_t area = 0;
  std::int64_t perimeter = 0;
  std::int32_t cornerCount = -1;
  double angle = -1.0;
  double radius = -1.0;
  // The corners found, strongest first, (x, y) with x the column.
  std::vector<cv::Point2f> corners;
  // What tells a shape from the background's noise (Advice.h); not in the signature.
  // The image's pixels, and how many of them sit at its brightest grey level.
  std::int64_t pixelCount = 0;
  std::int64_t brightestCount = 0;
  // The kEdge* bits of the edges that object pixels lie on.
  std::uint8_t touchedEdges = 0;

  // (Area, Perimeter, Corners, Angle, Radius); (0, 0, -1, -1, -1) without an object.
  FeatureVector featureVector() const;
};

// The images the view mode shows, each of the source's size, 8-bit grey: the source,
// its equalisation, the binary image (255 object, 0 background), the binary image with
// a circle (grey level 120) around each corner, and the border alone (255 on black).
struct StageImages {
  cv::Mat source;
  cv::Mat equalized;
  cv::Mat binary;
  cv::Mat corners;
  cv::Mat border;
};

// The measures of `source` (8-bit grey, odd width and height). When `stages` is given,
// it is filled with the stage images as well.
ShapeMeasures measureShape(const cv::Mat& source, StageImages* stages = nullptr);
// The same measures, with the pixels of *source (which no one else may share) as the
// working image: one full-size image less. *source is left empty.
ShapeMeasures measureShapeInPlace(cv::Mat* source);

// One below the lowest grey level of `equalized` at which three quarters of the pixels
// are reached; never below 0.
std::int32_t computeThreshold(const cv::Mat& equalized);

// Binarises the equalised `image` in place (255 object at or below the threshold, 0
// background above it) and returns the number of object pixels; when `brightestCount`
// is given, it receives the number of pixels at the brightest grey level.
std::int64_t binarize(cv::Mat& image, std::int64_t* brightestCount = nullptr);

// The object pixels of `binary` with a background pixel among their eight neighbours
// inside the image (the image edge is not background), as sums. When `borderImage` is
// given, it becomes the border alone.
BorderSums extractBorder(const cv::Mat& binary, cv::Mat* borderImage = nullptr);

// Direction (degrees, [0, 360)) and distance of the border centroid from the image
// centre; both 0 when there is no border.
void computeAngleAndRadius(const BorderSums& border, double* angle, double* radius);

// `binary` with a circle of radius 5 and grey level 120 around each of `corners`.
cv::Mat drawCorners(const cv::Mat& binary, const std::vector<cv::Point2f>& corners);

}  // namespace corvantis
