// The streamed response against one cv::cornerHarris call, bit for bit.
#include "imageproc/HarrisResponse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <opencv2/imgproc.hpp>
#include <string>

namespace corvantis {
namespace {

TEST(HarrisResponseTest, RowsAreTheLibrarysResponseToTheLastBit) {
  // Every remainder of the vector widths in the width and in the pixel count, bands cut
  // short at the bottom, and column ranges at the edges, across the middle and inside.
  const cv::Size sizes[] = {{8, 8}, {67, 9}, {129, 66}, {255, 131}, {641, 129}, {1003, 71}};
  for (const cv::Size size : sizes) {
    cv::Mat grey(size, CV_8UC1);
    cv::RNG(size.area()).fill(grey, cv::RNG::NORMAL, 128, 60);
    for (const cv::Mat& image : {grey, cv::Mat(grey > 150)}) {
      for (const int blockSize : {3, 5}) {
        cv::Mat expected;
        cv::cornerHarris(image, expected, blockSize, 3, 0.1);
        const int w = size.width;
        const std::pair<int, int> ranges[] = {{0, w}, {0, w / 2}, {w / 2, w}, {w / 3, w / 3 + 5}};
        for (const auto& [first, last] : ranges) {
          SCOPED_TRACE(cv::format("%dx%d block %d columns %d-%d %s", w, size.height, blockSize,
                                  first, last, image.data == grey.data ? "grey" : "binary"));
          HarrisResponseRows rows(image, first, last, blockSize, 0.1);
          for (int y = 0; y < size.height; ++y) {
            const float* row = rows.next();
            ASSERT_EQ(0, std::memcmp(row, expected.ptr<float>(y) + first,
                                     sizeof(float) * static_cast<std::size_t>(last - first)))
                << "row " << y;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvantis
