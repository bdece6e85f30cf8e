#include "imageproc/ShapeAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace corvantis {
namespace {

// Grey levels row by row.
cv::Mat grey(int rows, int cols, const std::vector<int>& levels) {
  cv::Mat image(rows, cols, CV_8UC1);
  for (int i = 0; i < rows * cols; ++i) image.at<std::uint8_t>(i / cols, i % cols) = levels[i];
  return image;
}

// A binary image: '#' is an object pixel (255), anything else background.
cv::Mat binaryOf(const std::vector<std::string>& rows) {
  cv::Mat image(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()), CV_8UC1);
  for (int r = 0; r < image.rows; ++r) {
    for (int c = 0; c < image.cols; ++c) image.at<std::uint8_t>(r, c) = rows[r][c] == '#' ? 255 : 0;
  }
  return image;
}

// A light image with a dark rectangle; equalisation maps them to 255 and 0.
cv::Mat darkRect(int rows, int cols, const cv::Rect& rect) {
  cv::Mat image(rows, cols, CV_8UC1, cv::Scalar(200));
  image(rect).setTo(0);
  return image;
}

bool sameImage(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

TEST(ShapeAnalysisTest, ThresholdIsOneBelowTheThreeQuarterLevel) {
  struct Case {
    const char* name;
    int rows, cols;
    std::vector<int> levels;
    int threshold;
    std::int64_t objectPixels;
  };
  const Case cases[] = {
      {"uniform 7: nothing at or below 6", 3, 3, {7, 7, 7, 7, 7, 7, 7, 7, 7}, 6, 0},
      {"uniform 1", 2, 2, {1, 1, 1, 1}, 0, 0},
      {"all zero: everything is object", 3, 3, {0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 9},
      {"7 of 9 zero: exactly the zeros", 3, 3, {0, 0, 0, 0, 200, 0, 0, 90, 0}, 0, 7},
      {"exactly three quarters zero", 2, 2, {0, 9, 0, 0}, 0, 3},
      {"half zero", 2, 2, {0, 10, 20, 0}, 9, 2},
      {"target rounds down: 3 of 5", 1, 5, {5, 4, 3, 2, 1}, 2, 2},
      {"single pixel: target 0", 1, 1, {5}, 0, 0},
      {"levels 10..40", 4, 1, {40, 10, 30, 20}, 29, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat image = grey(c.rows, c.cols, c.levels);
    EXPECT_EQ(c.threshold, computeThreshold(image));
    EXPECT_EQ(c.objectPixels, binarize(image));
    EXPECT_EQ(c.objectPixels, cv::countNonZero(image));
  }
}

TEST(ShapeAnalysisTest, BinarizeMarksTheDarkPixelsAsObject) {
  cv::Mat image = grey(3, 4, {9, 0, 0, 9, 0, 9, 9, 0, 0, 9, 0, 9});
  EXPECT_EQ(6, binarize(image));
  EXPECT_TRUE(sameImage(grey(3, 4, {0, 255, 255, 0, 255, 0, 0, 255, 255, 0, 255, 0}), image));
}

TEST(ShapeAnalysisTest, BorderIsObjectPixelsTouchingBackgroundInsideTheImage) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    std::vector<std::string> border;
  };
  const Case cases[] = {
      {"isolated pixel", {"...", ".#.", "..."}, {"...", ".#.", "..."}},
      {"diagonal background only", {".##", "###", "###"}, {".#.", "##.", "..."}},
      {"image edge is not background", {"##.", "##.", "##."}, {".#.", ".#.", ".#."}},
      {"every pixel object", {"###", "###"}, {"...", "..."}},
      {"one row", {"#.##.###"}, {"#.##.#.."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    cv::Mat drawn;
    const BorderSums sums = extractBorder(binaryOf(c.rows), &drawn);
    EXPECT_TRUE(sameImage(binaryOf(c.border), drawn));
    EXPECT_EQ(cv::countNonZero(drawn), sums.count);
  }
}

TEST(ShapeAnalysisTest, AngleAndRadiusOfTheBorderCentroid) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    double angle, radius;
  };
  const double root8 = std::sqrt(8.0);
  const Case cases[] = {
      {"up right", {"....#", ".....", ".....", ".....", "....."}, 44.99939, root8},
      {"down left", {".....", ".....", ".....", ".....", "#...."}, 225.00184, root8},
      {"up", {"..#..", ".....", ".....", ".....", "....."}, 89.99878, 2},
      {"left", {".....", ".....", "#....", ".....", "....."}, 179.99755, 2},
      {"down", {".....", ".....", ".....", ".....", "..#.."}, 270.00122, 2},
      {"right", {".....", ".....", "....#", ".....", "....."}, 0, 2},
      {"symmetric", {"..#..", ".....", ".....", ".....", "..#.."}, 0, 0},
      {"no border", {"#####", "#####", "#####", "#####", "#####"}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    double angle = -1.0;
    double radius = -1.0;
    computeAngleAndRadius(extractBorder(binaryOf(c.rows)), &angle, &radius);
    EXPECT_NEAR(c.angle, angle, 5e-6);
    EXPECT_NEAR(c.radius, radius, 1e-12);
  }
}

TEST(ShapeAnalysisTest, CentroidJustBelowTheRightAxisStaysBelow360) {
  // 100000 border pixels two to the right of the centre and one more a row below them.
  BorderSums border;
  border.count = 100001;
  border.up = -1;
  border.right = 2 * border.count;
  double angle = 0.0;
  double radius = 0.0;
  computeAngleAndRadius(border, &angle, &radius);
  EXPECT_LT(angle, 360.0);
  EXPECT_GT(angle, 359.999);
}

TEST(ShapeAnalysisTest, StageImagesShowWhatTheMeasuresCount) {
  cv::Mat noise(61, 83, CV_8UC1);
  cv::RNG(3).fill(noise, cv::RNG::UNIFORM, 0, 256);
  cv::Mat edges = darkRect(31, 41, cv::Rect(0, 0, 41, 5));
  edges(cv::Rect(30, 0, 11, 31)).setTo(0);
  const struct {
    const char* name;
    cv::Mat source;
  } cases[] = {{"noise", noise},
               {"object along two edges", edges},
               {"rectangle", darkRect(21, 21, cv::Rect(3, 5, 9, 6))},
               {"one pixel in a corner", darkRect(5, 7, cv::Rect(6, 4, 1, 1))},
               {"one row", darkRect(1, 9, cv::Rect(2, 0, 3, 1))},
               {"no object", cv::Mat(9, 9, CV_8UC1, cv::Scalar(128))}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ShapeMeasures plain = measureShape(c.source);
    cv::Mat own = c.source.clone();
    EXPECT_EQ(plain.featureVector(), measureShapeInPlace(&own).featureVector());
    StageImages stages;
    const ShapeMeasures shown = measureShape(c.source, &stages);
    EXPECT_EQ(plain.featureVector(), shown.featureVector());
    EXPECT_EQ(plain.corners, shown.corners);
    EXPECT_TRUE(sameImage(c.source, stages.source));
    cv::Mat equalized;
    cv::equalizeHist(c.source, equalized);
    EXPECT_TRUE(sameImage(equalized, stages.equalized));
    EXPECT_EQ(shown.area, cv::countNonZero(stages.binary));
    EXPECT_EQ(shown.perimeter, cv::countNonZero(stages.border));
    EXPECT_TRUE(sameImage(drawCorners(stages.binary, shown.corners), stages.corners) ||
                shown.area == 0);
  }
}

TEST(ShapeAnalysisTest, CornersAreCappedAndMatchTheLibrary) {
  // A grid of small dark blocks of varied shapes has far more corner candidates than
  // the capacity, with responses that rank differently under other corner measures.
  cv::Mat source(401, 401, CV_8UC1, cv::Scalar(200));
  cv::RNG rng(7);
  for (int r = 4; r < 390; r += 8) {
    for (int c = 4; c < 390; c += 8)
      source(cv::Rect(c, r, rng.uniform(1, 7), rng.uniform(1, 7))).setTo(0);
  }
  StageImages stages;
  const ShapeMeasures measures = measureShape(source, &stages);
  std::vector<cv::Point2f> direct;
  cv::goodFeaturesToTrack(stages.binary, direct, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  ASSERT_EQ(static_cast<int>(kCornerCapacity), measures.cornerCount);
  ASSERT_EQ(direct.size(), kCornerCapacity);
  for (std::size_t i = 0; i < direct.size(); ++i) EXPECT_EQ(direct[i], measures.corners[i]) << i;
}

TEST(ShapeAnalysisTest, CornerCirclesAreCentredWithHalvesRoundedToEvenAndClipped) {
  struct Case {
    float x, y;
    int col, row;
  };
  const Case cases[] = {{10.5f, 20.5f, 10, 20}, {11.5f, 21.5f, 12, 22}, {1.5f, 38.5f, 2, 38}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    const cv::Mat binary(40, 40, CV_8UC1, cv::Scalar(0));
    // The same circle on a canvas with room around it, cut back to the image.
    cv::Mat padded(56, 56, CV_8UC1, cv::Scalar(0));
    cv::circle(padded, cv::Point(c.col + 8, c.row + 8), 5, cv::Scalar(120), 1, cv::LINE_8);
    EXPECT_TRUE(sameImage(padded(cv::Rect(8, 8, 40, 40)), drawCorners(binary, {{c.x, c.y}})));
    EXPECT_EQ(0, cv::countNonZero(binary));  // drawn on a copy
  }
}

TEST(ShapeAnalysisTest, BorderImageIsTheBorderAlone) {
  StageImages stages;
  measureShape(darkRect(21, 21, cv::Rect(3, 5, 9, 6)), &stages);
  cv::Mat outline(21, 21, CV_8UC1, cv::Scalar(0));
  cv::rectangle(outline, cv::Rect(3, 5, 9, 6), cv::Scalar(255));
  EXPECT_TRUE(sameImage(outline, stages.border));
  EXPECT_EQ(54, cv::countNonZero(stages.binary));
}

}  // namespace
}  // namespace corvantis
