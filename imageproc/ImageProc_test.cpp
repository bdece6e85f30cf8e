#include "imageproc/ImageProc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "test/TestUtil.h"

namespace corvantis {

void PrintTo(const PixelPoint& p, std::ostream* os) { *os << "(" << p.row << "," << p.col << ")"; }

namespace {

using Points = std::vector<PixelPoint>;

// Grey levels row by row.
cv::Mat grey(int rows, int cols, const std::vector<int>& levels) {
  cv::Mat image(rows, cols, CV_8UC1);
  for (int i = 0; i < rows * cols; ++i) image.at<std::uint8_t>(i / cols, i % cols) = levels[i];
  return image;
}

// A binarised analyser: '#' is an object pixel, anything else background.
void setBinary(ImageProc& proc, const std::vector<std::string>& rows) {
  proc.binaryImage = cv::Mat(rows.size(), rows[0].size(), CV_8UC1);
  for (int r = 0; r < proc.binaryImage.rows; ++r) {
    for (int c = 0; c < proc.binaryImage.cols; ++c) {
      const bool object = rows[r][c] == '#';
      proc.binaryImage.at<std::uint8_t>(r, c) = object ? 255 : 0;
      if (object) proc.objectPoints.push_back({r, c});
    }
  }
}

// A light image with a dark rectangle; equalisation maps them to 255 and 0.
cv::Mat darkRect(int rows, int cols, const cv::Rect& rect) {
  cv::Mat image(rows, cols, CV_8UC1, cv::Scalar(200));
  image(rect).setTo(0);
  return image;
}

TEST(ImageProcTest, ThresholdIsOneBelowTheThreeQuarterLevel) {
  struct Case {
    const char* name;
    int rows, cols;
    std::vector<int> levels;
    int threshold;
    std::size_t objectPixels;
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
    ImageProc proc;
    proc.equalizedImage = grey(c.rows, c.cols, c.levels);
    EXPECT_EQ(c.threshold, proc.computeThreshold());
    proc.binarize();
    EXPECT_EQ(c.objectPixels, proc.objectPoints.size());
    EXPECT_EQ(static_cast<int>(c.objectPixels), cv::countNonZero(proc.binaryImage));
  }
}

TEST(ImageProcTest, BinarizeListsObjectPixelsRowByRow) {
  ImageProc proc;
  proc.equalizedImage = grey(3, 4, {9, 0, 0, 9, 0, 9, 9, 0, 0, 9, 0, 9});
  proc.binarize();
  EXPECT_EQ((Points{{0, 1}, {0, 2}, {1, 0}, {1, 3}, {2, 0}, {2, 2}}), proc.objectPoints);
  const cv::Mat expected = grey(3, 4, {0, 255, 255, 0, 255, 0, 0, 255, 255, 0, 255, 0});
  EXPECT_EQ(0, cv::countNonZero(proc.binaryImage != expected));
  // Without a binary image of its own, the equalised pixels are binarised in place.
  EXPECT_EQ(proc.equalizedImage.data, proc.binaryImage.data);
}

TEST(ImageProcTest, LoadMakesWidthAndHeightOdd) {
  struct Case {
    int width, height, oddWidth, oddHeight;
  };
  const Case cases[] = {{640, 480, 641, 481},
                        {641, 481, 641, 481},
                        {640, 481, 641, 481},
                        {641, 480, 641, 481},
                        {1, 2, 1, 3}};
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::string name =
        "w" + std::to_string(c.width) + "h" + std::to_string(c.height) + ".png";
    // Colour on disk: the analyser must still get one 8-bit channel.
    ASSERT_TRUE(
        cv::imwrite(dir.file(name), cv::Mat(c.height, c.width, CV_8UC3, cv::Scalar(9, 80, 200))));
    ImageProc proc;
    ASSERT_TRUE(proc.load(dir.file(name)));
    EXPECT_EQ(cv::Size(c.oddWidth, c.oddHeight), proc.sourceImage.size());
    EXPECT_EQ(CV_8UC1, proc.sourceImage.type());
    EXPECT_EQ(name, proc.getFileName());
    EXPECT_NE(0u, proc.fileTime);
  }
}

TEST(ImageProcTest, FailedLoadKeepsFileNameAndTime) {
  test::TempDir dir;
  ASSERT_TRUE(cv::imwrite(dir.file("good.png"), cv::Mat(3, 3, CV_8UC1, cv::Scalar(1))));
  test::writeFile(dir.file("bad.png"), "not an image");
  ImageProc proc;
  ASSERT_TRUE(proc.load(dir.file("good.png")));
  const std::uint64_t time = proc.fileTime;
  for (const std::string& path : {dir.file("missing.png"), dir.file("bad.png")}) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(proc.load(path));
    EXPECT_EQ("good.png", proc.fileName);
    EXPECT_EQ(time, proc.fileTime);
  }
  EXPECT_EQ(0u, proc.readFileTime(dir.file("missing.png")));
  EXPECT_EQ(0u, proc.fileTime);
}

TEST(ImageProcTest, BorderIsObjectPixelsTouchingBackgroundInsideTheImage) {
  struct Case {
    const char* name;
    std::vector<std::string> rows;
    Points border;
  };
  const Case cases[] = {
      {"isolated pixel", {"...", ".#.", "..."}, {{1, 1}}},
      {"diagonal background only", {".##", "###", "###"}, {{0, 1}, {1, 0}, {1, 1}}},
      {"image edge is not background", {"##.", "##.", "##."}, {{0, 1}, {1, 1}, {2, 1}}},
      {"every pixel object", {"###", "###"}, {}},
      {"one row", {"#.##.###"}, {{0, 0}, {0, 2}, {0, 3}, {0, 5}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageProc proc;
    setBinary(proc, c.rows);
    proc.extractBorder();
    EXPECT_EQ(c.border, proc.borderPoints);
  }
}

TEST(ImageProcTest, AngleAndRadiusOfTheBorderCentroid) {
  struct Case {
    const char* name;
    Points border;
    double angle, radius;
  };
  const double root8 = std::sqrt(8.0);
  const Case cases[] = {
      {"up right", {{0, 4}}, 44.99939, root8}, {"down left", {{4, 0}}, 225.00184, root8},
      {"up", {{0, 2}}, 89.99878, 2},           {"left", {{2, 0}}, 179.99755, 2},
      {"down", {{4, 2}}, 270.00122, 2},        {"right", {{2, 4}}, 0, 2},
      {"symmetric", {{0, 2}, {4, 2}}, 0, 0},   {"no border", {}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageProc proc;
    proc.sourceImage = cv::Mat(5, 5, CV_8UC1, cv::Scalar(0));
    proc.borderPoints = c.border;
    proc.computeAngleAndRadius();
    EXPECT_NEAR(c.angle, proc.angle, 5e-6);
    EXPECT_NEAR(c.radius, proc.radius, 1e-12);
  }
}

TEST(ImageProcTest, CentroidJustBelowTheRightAxisStaysBelow360) {
  ImageProc proc;
  proc.sourceImage = cv::Mat(5, 5, CV_8UC1);
  proc.borderPoints.assign(100000, {2, 4});
  proc.borderPoints.push_back({3, 4});
  proc.computeAngleAndRadius();
  EXPECT_LT(proc.angle, 360.0);
  EXPECT_GT(proc.angle, 359.999);
}

TEST(ImageProcTest, FeaturePathFindsWhatPrepareFinds) {
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
               {"one row", darkRect(1, 9, cv::Rect(2, 0, 3, 1))}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ImageProc prepared;
    prepared.sourceImage = c.source.clone();
    prepared.prepare();
    ImageProc featured;
    featured.sourceImage = c.source.clone();
    featured.getFeatureVector();
    EXPECT_EQ(prepared.objectPoints, featured.objectPoints);
    EXPECT_EQ(prepared.borderPoints, featured.borderPoints);
    EXPECT_EQ(prepared.cornerCount, featured.cornerCount);
    EXPECT_EQ(prepared.angle, featured.angle);
    EXPECT_EQ(prepared.radius, featured.radius);
  }
}

TEST(ImageProcTest, CornersAreCappedAndMatchTheLibrary) {
  // A grid of small dark blocks of varied shapes has far more corner candidates than
  // the capacity, with responses that rank differently under other corner measures.
  cv::Mat source(401, 401, CV_8UC1, cv::Scalar(200));
  cv::RNG rng(7);
  for (int r = 4; r < 390; r += 8) {
    for (int c = 4; c < 390; c += 8)
      source(cv::Rect(c, r, rng.uniform(1, 7), rng.uniform(1, 7))).setTo(0);
  }
  ImageProc proc;
  proc.sourceImage = source;
  proc.prepare();
  std::vector<cv::Point2f> direct;
  cv::goodFeaturesToTrack(proc.binaryImage, direct, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  ASSERT_EQ(static_cast<int>(kCornerCapacity), proc.cornerCount);
  ASSERT_EQ(direct.size(), kCornerCapacity);
  for (std::size_t i = 0; i < direct.size(); ++i) EXPECT_EQ(direct[i], proc.corners[i]) << i;
}

TEST(ImageProcTest, CornerCirclesAreCentredWithHalvesRoundedToEvenAndClipped) {
  struct Case {
    float x, y;
    int col, row;
  };
  const Case cases[] = {{10.5f, 20.5f, 10, 20}, {11.5f, 21.5f, 12, 22}, {1.5f, 38.5f, 2, 38}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
    ImageProc proc;
    proc.cornersImage = cv::Mat(40, 40, CV_8UC1, cv::Scalar(0));
    proc.cornerCount = 1;
    proc.corners[0] = {c.x, c.y};
    // The same circle on a canvas with room around it, cut back to the image.
    cv::Mat padded(56, 56, CV_8UC1, cv::Scalar(0));
    cv::circle(padded, cv::Point(c.col + 8, c.row + 8), 5, cv::Scalar(120), 1, cv::LINE_8);
    const cv::Mat expected = padded(cv::Rect(8, 8, 40, 40));

    const cv::Mat first = proc.getCornersImage().clone();
    EXPECT_EQ(0, cv::countNonZero(first != expected));
    EXPECT_EQ(0, cv::countNonZero(proc.getCornersImage() != first));  // drawn again, same
  }
}

TEST(ImageProcTest, BorderImageIsRedrawnAsTheBorderAlone) {
  ImageProc proc;
  proc.sourceImage = darkRect(21, 21, cv::Rect(3, 5, 9, 6));
  cv::Mat outline(21, 21, CV_8UC1, cv::Scalar(0));
  cv::rectangle(outline, cv::Rect(3, 5, 9, 6), cv::Scalar(255));
  EXPECT_EQ(0, cv::countNonZero(proc.getBorderImage() != outline));
  EXPECT_EQ(0, cv::countNonZero(proc.getBorderImage() != outline));
  // Redrawing the border image leaves the binary image's object intact.
  EXPECT_EQ(54, cv::countNonZero(proc.getBinaryImage()));
}

}  // namespace
}  // namespace corvantis
