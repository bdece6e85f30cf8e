// The analysis steps on hand-made cases, and each stage of the pipeline against the
// library operation that defines it (equalizeHist, erode, goodFeaturesToTrack).
#include "imageproc/ShapeAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace corvantis {
namespace {

bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

// The object pixels of `binary` with a background pixel among their eight neighbours:
// erosion counts the outside of the image as object.
cv::Mat borderOf(const cv::Mat& binary) {
  cv::Mat inner;
  cv::erode(binary, inner, cv::Mat());
  return binary & ~inner;
}

// A light image with a dark rectangle; equalisation maps them to 255 and 0.
cv::Mat darkRect(int rows, int cols, const cv::Rect& rect) {
  cv::Mat image(rows, cols, CV_8UC1, cv::Scalar(200));
  image(rect).setTo(0);
  return image;
}

TEST(ShapeAnalysisTest, ThresholdIsOneBelowTheThreeQuarterLevel) {
  // Only the histogram counts, so each image is one column.
  const struct {
    const char* name;
    std::vector<uchar> levels;
    int threshold;
  } cases[] = {
      {"uniform 7: nothing at or below 6", {7, 7, 7, 7}, 6},
      {"all zero: everything is object", {0, 0, 0, 0}, 0},
      {"7 of 9 zero: exactly the zeros", {0, 0, 0, 0, 200, 0, 0, 90, 0}, 0},
      {"target rounds down: 3 of 5", {5, 4, 3, 2, 1}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat image(c.levels, true);
    const cv::Mat object = image <= c.threshold;  // 255 at or below it, 0 above
    EXPECT_EQ(c.threshold, computeThreshold(image));
    EXPECT_EQ(cv::countNonZero(object), binarize(image));
    EXPECT_TRUE(sameImage(object, image));
  }
}

TEST(ShapeAnalysisTest, AngleAndRadiusOfTheBorderCentroid) {
  const double root8 = std::sqrt(8.0);
  const struct {
    std::vector<cv::Point> object;  // (column, row) in a 5 x 5 image
    double angle, radius;
  } cases[] = {{{{4, 0}}, 44.99939, root8}, {{{0, 4}}, 225.00184, root8},
               {{{0, 2}}, 179.99755, 2},    {{{4, 2}}, 0, 2},
               {{{2, 0}, {2, 4}}, 0, 0},    {{}, 0, 0}};
  for (const auto& c : cases) {
    cv::Mat binary(5, 5, CV_8UC1, cv::Scalar(0));
    for (const cv::Point& p : c.object) binary.at<uchar>(p) = 255;
    double angle = -1.0, radius = -1.0;
    computeAngleAndRadius(extractBorder(binary), &angle, &radius);
    EXPECT_NEAR(c.angle, angle, 5e-6) << cv::Mat(c.object);
    EXPECT_NEAR(c.radius, radius, 1e-12) << cv::Mat(c.object);
  }
  // 100000 border pixels two to the right of the centre and one more a row below them.
  double angle = 0.0, radius = 0.0;
  computeAngleAndRadius({100001, -1, 200002}, &angle, &radius);
  EXPECT_TRUE(angle > 359.999 && angle < 360.0) << angle;
}

TEST(ShapeAnalysisTest, StagesShowWhatTheMeasuresCount) {
  // Noise: far more corner candidates than the capacity.
  cv::Mat noise(401, 401, CV_8UC1);
  cv::RNG(3).fill(noise, cv::RNG::UNIFORM, 0, 256);
  cv::Mat edges = darkRect(31, 41, cv::Rect(0, 0, 41, 5));
  edges(cv::Rect(30, 0, 11, 31)).setTo(0);
  const struct {
    const char* name;
    cv::Mat source;
  } cases[] = {{"noise", noise},
               {"object along two edges", edges},
               {"one pixel in a corner", darkRect(5, 7, cv::Rect(6, 4, 1, 1))},
               {"one row", darkRect(1, 9, cv::Rect(2, 0, 3, 1))},
               {"one column", darkRect(9, 1, cv::Rect(0, 2, 1, 3))},
               {"no object", cv::Mat(9, 9, CV_8UC1, cv::Scalar(128))}};
  int full = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StageImages stages;
    const ShapeMeasures m = measureShape(c.source, &stages);
    cv::Mat own = c.source.clone();
    EXPECT_EQ(m.featureVector(), measureShapeInPlace(&own).featureVector());
    EXPECT_EQ(m.featureVector(), measureShape(c.source).featureVector());
    cv::Mat equalized;
    cv::equalizeHist(c.source, equalized);
    EXPECT_TRUE(sameImage(c.source, stages.source));
    EXPECT_TRUE(sameImage(equalized, stages.equalized));
    EXPECT_TRUE(sameImage(equalized <= computeThreshold(equalized), stages.binary));
    EXPECT_TRUE(sameImage(borderOf(stages.binary), stages.border));
    EXPECT_EQ(m.area, cv::countNonZero(stages.binary));
    EXPECT_EQ(m.perimeter, cv::countNonZero(stages.border));
    if (m.area == 0) {
      EXPECT_EQ(FeatureVector({0, 0, -1, -1, -1}), m.featureVector());
      continue;
    }
    std::vector<cv::Point2f> direct;
    cv::goodFeaturesToTrack(stages.binary, direct, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
    EXPECT_EQ(direct, m.corners);
    EXPECT_EQ(static_cast<int>(direct.size()), m.cornerCount);
    EXPECT_TRUE(sameImage(drawCorners(stages.binary, m.corners), stages.corners));
    full += m.corners.size() == kCornerCapacity;
  }
  EXPECT_EQ(1, full) << "the noise has more corners than the capacity";
}

}  // namespace
}  // namespace corvantis
