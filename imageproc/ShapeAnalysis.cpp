#include "imageproc/ShapeAnalysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/imgproc.hpp>

#include "imageproc/HarrisCorners.h"
#include "imageproc/SideBySide.h"

namespace corvantis {

namespace {

using Histogram = std::array<std::int64_t, 256>;

// Harris corner parameters the reference signatures in the cells' stores were made with;
// the corner count is part of the signature, so they cannot change independently.
constexpr double kCornerQuality = 0.005;
constexpr double kCornerMinDistance = 7.0;
constexpr int kCornerBlockSize = 5;
constexpr double kHarrisK = 0.1;

// Deliberately not 180/pi: every stored reference Angle was computed with this truncated
// factor, and the +360 applied to negative angles means the image error of current
// against reference would drift if only one side used the exact value.
constexpr double kDegreesPerRadian = 57.295;

constexpr std::uint8_t kObject = 255;
constexpr std::uint8_t kBackground = 0;
constexpr int kCornerCircleRadius = 5;
constexpr std::uint8_t kCornerCircleLevel = 120;

Histogram histogramOf(const cv::Mat& image) {
  CV_Assert(image.type() == CV_8UC1);
  Histogram histogram{};
  for (int r = 0; r < image.rows; ++r) {
    const std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    for (int c = 0; c < image.cols; ++c) ++histogram[pixel[c]];
  }
  return histogram;
}

std::int32_t thresholdOf(const Histogram& histogram, std::int64_t pixelCount) {
  const auto target = static_cast<std::int64_t>(0.75 * static_cast<double>(pixelCount));
  std::int32_t level = 0;
  std::int64_t sum = histogram[0];
  while (sum < target && level < 255) sum += histogram[++level];
  return std::max(level - 1, 0);
}

// True when the 3x3 block around (row, col), cut at the image edge, holds a background
// pixel. Outside the image does not count as background: an object reaching the edge is
// not bordered there.
bool touchesBackground(const cv::Mat& image, int row, int col) {
  const int firstRow = std::max(row - 1, 0);
  const int lastRow = std::min(row + 1, image.rows - 1);
  const int firstCol = std::max(col - 1, 0);
  const int lastCol = std::min(col + 1, image.cols - 1);
  for (int r = firstRow; r <= lastRow; ++r) {
    const std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    for (int c = firstCol; c <= lastCol; ++c) {
      if (pixel[c] == kBackground) return true;
    }
  }
  return false;
}

}  // namespace

FeatureVector ShapeMeasures::featureVector() const {
  return {static_cast<double>(area), static_cast<double>(perimeter),
          static_cast<double>(cornerCount), angle, radius};
}

std::int32_t computeThreshold(const cv::Mat& equalized) {
  return thresholdOf(histogramOf(equalized), static_cast<std::int64_t>(equalized.total()));
}

std::int64_t binarize(cv::Mat& image, std::int64_t* brightestCount) {
  const Histogram histogram = histogramOf(image);
  if (brightestCount != nullptr) {
    int brightest = 255;
    while (brightest > 0 && histogram[brightest] == 0) --brightest;
    *brightestCount = histogram[brightest];
  }
  const std::int32_t threshold = thresholdOf(histogram, static_cast<std::int64_t>(image.total()));
  for (int r = 0; r < image.rows; ++r) {
    std::uint8_t* pixel = image.ptr<std::uint8_t>(r);
    for (int c = 0; c < image.cols; ++c) pixel[c] = pixel[c] > threshold ? kBackground : kObject;
  }
  std::int64_t objectCount = 0;
  for (std::int32_t level = 0; level <= threshold; ++level) objectCount += histogram[level];
  return objectCount;
}

namespace {

// The kEdge* bits of the edges of `binary` that hold an object pixel.
std::uint8_t edgesTouched(const cv::Mat& binary) {
  CV_Assert(binary.type() == CV_8UC1);
  if (binary.empty()) return 0;
  const auto holdsObject = [](const std::uint8_t* first, const std::uint8_t* last) {
    return std::find(first, last, kObject) != last;
  };
  std::uint8_t edges = 0;
  const std::uint8_t* top = binary.ptr<std::uint8_t>(0);
  const std::uint8_t* bottom = binary.ptr<std::uint8_t>(binary.rows - 1);
  if (holdsObject(top, top + binary.cols)) edges |= kEdgeTop;
  if (holdsObject(bottom, bottom + binary.cols)) edges |= kEdgeBottom;
  for (int r = 0; r < binary.rows && (edges & (kEdgeLeft | kEdgeRight)) != (kEdgeLeft | kEdgeRight);
       ++r) {
    const std::uint8_t* pixel = binary.ptr<std::uint8_t>(r);
    if (pixel[0] == kObject) edges |= kEdgeLeft;
    if (pixel[binary.cols - 1] == kObject) edges |= kEdgeRight;
  }
  return edges;
}

}  // namespace

BorderSums extractBorder(const cv::Mat& binary, cv::Mat* borderImage) {
  CV_Assert(binary.type() == CV_8UC1);
  if (borderImage != nullptr) *borderImage = cv::Mat::zeros(binary.size(), CV_8UC1);
  const int centreRow = binary.rows / 2;
  const int centreCol = binary.cols / 2;
  BorderSums sums;
  for (int r = 0; r < binary.rows; ++r) {
    const std::uint8_t* pixel = binary.ptr<std::uint8_t>(r);
    const bool innerRow = r > 0 && r < binary.rows - 1;
    const std::uint8_t* above = innerRow ? binary.ptr<std::uint8_t>(r - 1) : nullptr;
    const std::uint8_t* below = innerRow ? binary.ptr<std::uint8_t>(r + 1) : nullptr;
    std::uint8_t* drawn = borderImage != nullptr ? borderImage->ptr<std::uint8_t>(r) : nullptr;
    std::int64_t rowCount = 0;
    std::int64_t rowRight = 0;
    for (int c = 0; c < binary.cols; ++c) {
      if (pixel[c] != kObject) continue;
      bool bordered;
      if (innerRow && c > 0 && c < binary.cols - 1) {
        bordered = above[c - 1] == kBackground || above[c] == kBackground ||
                   above[c + 1] == kBackground || pixel[c - 1] == kBackground ||
                   pixel[c + 1] == kBackground || below[c - 1] == kBackground ||
                   below[c] == kBackground || below[c + 1] == kBackground;
      } else {
        bordered = touchesBackground(binary, r, c);
      }
      if (!bordered) continue;
      ++rowCount;
      rowRight += c - centreCol;
      if (drawn != nullptr) drawn[c] = kObject;
    }
    sums.count += rowCount;
    sums.up += rowCount * (centreRow - r);
    sums.right += rowRight;
  }
  return sums;
}

namespace {

// Up to kCornerCapacity Harris corners of `binary`, strongest first.
std::vector<cv::Point2f> detectCorners(const cv::Mat& binary) {
  std::vector<cv::Point2f> found =
      findHarrisCorners(binary, {static_cast<int>(kCornerCapacity), kCornerQuality,
                                 kCornerMinDistance, kCornerBlockSize, kHarrisK});
  if (found.size() > kCornerCapacity) found.resize(kCornerCapacity);
  return found;
}

}  // namespace

void computeAngleAndRadius(const BorderSums& border, double* angle, double* radius) {
  if (border.count == 0) {
    *angle = 0.0;
    *radius = 0.0;
    return;
  }
  // The sums are integers, exact in double for any image that fits in memory, so the
  // means do not depend on the order the border was visited in.
  const double count = static_cast<double>(border.count);
  const double meanUp = static_cast<double>(border.up) / count;
  const double meanRight = static_cast<double>(border.right) / count;
  *radius = std::sqrt(meanUp * meanUp + meanRight * meanRight);
  *angle = std::atan2(meanUp, meanRight) * kDegreesPerRadian;
  if (*angle < 0.0) *angle += 360.0;
}

cv::Mat drawCorners(const cv::Mat& binary, const std::vector<cv::Point2f>& corners) {
  cv::Mat image = binary.clone();
  for (const cv::Point2f& corner : corners) {
    // cvRound rounds halves to even, so a corner at x = 10.5 is drawn on column 10.
    const cv::Point centre(cvRound(corner.x), cvRound(corner.y));
    cv::circle(image, centre, kCornerCircleRadius, cv::Scalar(kCornerCircleLevel), 1, cv::LINE_8);
  }
  return image;
}

namespace {

// The measures of the equalised `binary`, which is binarised in place; fills `stages`
// but for the source and the equalised image.
ShapeMeasures measureEqualized(cv::Mat& binary, StageImages* stages) {
  ShapeMeasures measures;
  measures.pixelCount = static_cast<std::int64_t>(binary.total());
  measures.area = binarize(binary, &measures.brightestCount);
  measures.touchedEdges = edgesTouched(binary);
  if (stages != nullptr) {
    stages->binary = binary;
    stages->corners = cv::Mat::zeros(binary.size(), CV_8UC1);
    stages->border = cv::Mat::zeros(binary.size(), CV_8UC1);
  }
  if (measures.area == 0) return measures;

  // The corner search and the border scan only read the binary image, so the corners
  // (the Harris step, most of the time of an analysis) are found on a second core
  // meanwhile.
  BorderSums border;
  runSideBySide(
      [&] { border = extractBorder(binary, stages != nullptr ? &stages->border : nullptr); },
      [&] { measures.corners = detectCorners(binary); });

  measures.perimeter = border.count;
  measures.cornerCount = static_cast<std::int32_t>(measures.corners.size());
  computeAngleAndRadius(border, &measures.angle, &measures.radius);
  if (stages != nullptr) stages->corners = drawCorners(binary, measures.corners);
  return measures;
}

}  // namespace

ShapeMeasures measureShape(const cv::Mat& source, StageImages* stages) {
  CV_Assert(source.type() == CV_8UC1 && !source.empty());
  cv::Mat work;
  cv::equalizeHist(source, work);
  if (stages != nullptr) {
    // A copy: the check's own analysis later works in the loaded pixels, and the source
    // shown must stay what was loaded.
    stages->source = source.clone();
    stages->equalized = work.clone();
  }
  return measureEqualized(work, stages);
}

ShapeMeasures measureShapeInPlace(cv::Mat* source) {
  CV_Assert(source->type() == CV_8UC1 && !source->empty());
  cv::Mat work = *source;
  source->release();
  cv::equalizeHist(work, work);
  return measureEqualized(work, nullptr);
}

}  // namespace corvantis
