// The corner search against one cv::goodFeaturesToTrack call.
#include "imageproc/HarrisCorners.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <string>

namespace corvantis {
namespace {

// Pictures like the analyser's binary ones (blobs, speckle) and a few that are not.
cv::Mat picture(const std::string& kind, cv::Size size) {
  cv::Mat image(size, CV_8UC1, cv::Scalar(0)), grey(size, CV_8UC1);
  cv::RNG(size.area()).fill(grey, cv::RNG::NORMAL, 128, 40);
  if (kind == "speckle") image = grey > 200;  // thousands of candidates: limit and distance decide
  cv::GaussianBlur(grey, grey, cv::Size(7, 7), 2);
  if (kind == "grey") image = grey;
  if (kind == "blobs") image = grey > 135;
  for (int y = 8; kind == "tiles" && y + 8 < size.height; y += 16) {  // equal responses: ties
    for (int x = 8; x + 8 < size.width; x += 16) image(cv::Rect(x, y, 8, 8)).setTo(255);
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
  for (const char* kind : {"blobs", "speckle", "grey", "tiles", "empty"}) {
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
