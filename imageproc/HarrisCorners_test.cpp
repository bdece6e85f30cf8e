// The corner search against one cv::goodFeaturesToTrack call.
#include "imageproc/HarrisCorners.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <string>

namespace corvantis {
namespace {

// Binary pictures like the analyser's, and a few that are not.
cv::Mat picture(const std::string& kind, cv::Size size) {
  cv::Mat image(size, CV_8UC1, cv::Scalar(0));
  cv::RNG rng(size.area());
  if (kind == "parts") {
    for (int i = 0; i < 12; ++i) {
      const cv::Point centre(rng.uniform(0, size.width), rng.uniform(0, size.height));
      cv::ellipse(image, centre, cv::Size(rng.uniform(5, 90), rng.uniform(5, 60)),
                  rng.uniform(0, 180), 0, rng.uniform(90, 360), cv::Scalar(255), cv::FILLED);
      cv::rectangle(image, cv::Rect(centre, cv::Size(rng.uniform(3, 70), rng.uniform(3, 50))),
                    cv::Scalar(255), cv::FILLED);
    }
  } else if (kind == "speckle") {  // thousands of candidates: the limit and distance decide
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    image = image > 200;
  } else if (kind == "grey") {
    rng.fill(image, cv::RNG::NORMAL, 128, 40);
    cv::GaussianBlur(image, image, cv::Size(7, 7), 2);
  } else if (kind == "tiles") {  // equal responses everywhere: ties decide the order
    for (int y = 8; y + 8 < size.height; y += 16) {
      for (int x = 8; x + 8 < size.width; x += 16) image(cv::Rect(x, y, 8, 8)).setTo(255);
    }
  } else if (kind == "full") {
    image.setTo(255);
  }
  return image;
}

TEST(HarrisCornersTest, SameCornersAsOneLibraryCall) {
  // The analyser's parameters, with and without its limit (all corners show every
  // difference in the response), and other block sizes and distances.
  const CornerParameters kinds[] = {{500, 0.005, 7.0, 5, 0.1},
                                    {0, 0.0001, 0.5, 5, 0.1},
                                    {0, 0.01, 0.5, 3, 0.04},
                                    {40, 0.05, 12.0, 7, 0.1}};
  // Narrow and wide, split into strips or not, and every remainder of the vector widths.
  const cv::Size sizes[] = {{37, 23},    {193, 61},  {200, 127}, {300, 129}, {641, 481},
                            {1001, 517}, {2593, 43}, {3, 3},     {1, 400}};
  for (const char* kind : {"parts", "speckle", "grey", "tiles", "full", "empty"}) {
    for (const cv::Size size : sizes) {
      for (const CornerParameters& p : kinds) {
        const cv::Mat image = picture(kind, size);
        std::vector<cv::Point2f> expected;
        cv::goodFeaturesToTrack(image, expected, p.maxCorners, p.quality, p.minDistance,
                                cv::noArray(), p.blockSize, true, p.harrisK);
        EXPECT_EQ(expected, findHarrisCorners(image, p))
            << kind << " " << size << " max " << p.maxCorners;
      }
    }
  }
}

}  // namespace
}  // namespace corvantis
