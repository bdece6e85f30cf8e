// The check on the sample cell's photographs, against a hand computation of every step
// made by other means: the threshold from sorted grey levels, the border by erosion,
// the centroid from a mask.
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

std::vector<double> handComputation(const std::string& path) {
  cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
  cv::resize(image, image, cv::Size(image.cols | 1, image.rows | 1), 0, 0, cv::INTER_AREA);
  cv::Mat equalized;
  cv::equalizeHist(image, equalized);

  // The threshold is one below the grey level at which three quarters are reached.
  std::vector<uchar> levels(equalized.begin<uchar>(), equalized.end<uchar>());
  std::sort(levels.begin(), levels.end());
  const std::size_t target = levels.size() * 3 / 4;
  const int threshold = std::max(0, levels[target - 1] - 1);
  const cv::Mat object = equalized <= threshold;

  // Border: object pixels that an erosion removes. The erosion's default border value
  // keeps the outside of the image from counting as background.
  cv::Mat inner;
  cv::erode(object, inner, cv::Mat::ones(3, 3, CV_8U));
  const cv::Mat border = object & ~inner;

  double sumY = 0, sumX = 0;
  const int cy = object.rows / 2, cx = object.cols / 2;
  for (int r = 0; r < border.rows; ++r) {
    for (int c = 0; c < border.cols; ++c) {
      if (border.at<uchar>(r, c)) {
        sumY += cy - r;
        sumX += c - cx;
      }
    }
  }
  const double n = cv::countNonZero(border);
  std::vector<cv::Point2f> corners;
  cv::goodFeaturesToTrack(object, corners, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  double angle = std::atan2(sumY / n, sumX / n) * 57.295;
  if (angle < 0) angle += 360;
  return {static_cast<double>(cv::countNonZero(object)), n, static_cast<double>(corners.size()),
          angle, std::hypot(sumY / n, sumX / n)};
}

std::vector<double> storedValues(const std::string& record) {
  std::vector<double> values;
  std::istringstream fields(record);
  std::string field;
  for (int i = 0; std::getline(fields, field, ','); ++i) {
    if (i >= 2) values.push_back(std::stod(field));
  }
  return values;
}

TEST(PhotographTest, StoredSignaturesMatchAHandComputation) {
  test::TempDir dir;
  const fs::path cell = dir.path() / "cell";
  fs::copy(fs::path(CORVANTIS_SOURCE_DIR) / "examples/cell", cell, fs::copy_options::recursive);
  fs::remove(cell / "robots/R1/corvantis.dat");
  const std::string capDir = (cell / "robots/R1/cap").string();

  // Each photograph serves once as the reference, so its signature lands in the store.
  for (const char* name : {"cap_0001.png", "cap_0002.png"}) {
    const std::string reference = capDir + "/" + name;
    const auto run = test::runProgram(CORVANTIS_EXE, {"1", reference, reference, "0"},
                                      (cell / "bin").string());
    ASSERT_EQ("1", run.out) << run.err;
  }
  const auto run = test::runProgram(
      CORVANTIS_EXE, {"1", (cell / "robots/R1/ref/part.png").string(), capDir + "/cap_0001.png", "0.1"},
      (cell / "bin").string());
  ASSERT_EQ("1", run.out) << run.err;

  std::istringstream store(test::readFile((cell / "robots/R1/corvantis.dat").string()));
  std::string line;
  int records = 0;
  while (std::getline(store, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string name = line.substr(0, line.find(','));
    const std::string path = name == "part.png" ? (cell / "robots/R1/ref/part.png").string()
                                                : capDir + "/" + name;
    const auto expected = handComputation(path);
    const auto stored = storedValues(line);
    ASSERT_EQ(5u, stored.size()) << line;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(expected[i], stored[i]) << name << " entry " << i;
    for (int i = 3; i < 5; ++i) EXPECT_NEAR(expected[i], stored[i], 1e-9) << name << " entry " << i;
    ++records;
  }
  EXPECT_EQ(3, records);
}

}  // namespace
}  // namespace corvantis
