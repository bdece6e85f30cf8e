#include "imageproc/HarrisResponse.h"

#include <algorithm>
#include <opencv2/imgproc.hpp>

namespace corvantis {
namespace {

constexpr int kSobelSize = 3;
// Rows of gradients held at a time.
constexpr int kBandRows = 64;
// The gradients of a band are computed on columns starting and ending on a multiple of
// this (or at the image edge), a multiple of every vector width the library's Sobel
// uses: each column then falls into the same vector lanes, or the same scalar
// remainder, as in the whole image, and gets the same value to the last bit.
constexpr int kColumnAlignment = 64;
// The smallest image streamed: the reflected border needs a few rows and columns.
constexpr int kMinSide = 8;

int reflect(int index, int length) {
  return cv::borderInterpolate(index, length, cv::BORDER_REFLECT_101);
}

}  // namespace

bool HarrisResponseRows::supports(const cv::Mat& image, int blockSize) {
  return (blockSize == 3 || blockSize == 5) && image.type() == CV_8UC1 && image.rows >= kMinSide &&
         image.cols >= kMinSide;
}

HarrisResponseRows::HarrisResponseRows(const cv::Mat& image, int first, int last, int blockSize,
                                       double k)
    : image_(image),
      first_(first),
      last_(last),
      anchor_(blockSize / 2),
      k_(k),
      // The library computes the response with AVX when the processor has it, and the
      // association of its products differs from the 128-bit code.
      avx_(cv::checkHardwareSupport(CV_CPU_AVX)),
      roiFirst_(std::max(0, (first - anchor_) / kColumnAlignment * kColumnAlignment)),
      roiLast_(std::min(image.cols, (last + anchor_ + kColumnAlignment - 1) / kColumnAlignment *
                                        kColumnAlignment)),
      rowSums_(static_cast<std::size_t>(blockSize)),
      columnSums_(static_cast<std::size_t>(last - first) * 3),
      covRow_(static_cast<std::size_t>(last - first + 2 * anchor_) * 3),
      blockRow_(static_cast<std::size_t>(last - first) * 3),
      response_(static_cast<std::size_t>(last - first)) {
  CV_Assert(supports(image, blockSize) && 0 <= first && first < last && last <= image.cols);
  for (std::vector<double>& sums : rowSums_) sums.resize(columnSums_.size());
}

// Holds the gradients of `row` from now on: a band from two rows above it (the block
// reaches back that far at the start and the end of the image) that ends at the
// image's last row at the latest.
void HarrisResponseRows::loadGradientsFrom(int row) {
  const int rows = image_.rows;
  bandFirst_ = std::max(0, std::min(row - 2 * anchor_, rows - kBandRows));
  const int bandLast = std::min(rows, bandFirst_ + kBandRows);
  // The library's scale: the Sobel sum of a step of 255 over the block is 1.
  const double scale =
      1.0 / ((1 << (kSobelSize - 1)) * static_cast<double>(2 * anchor_ + 1) * 255.0);
  const cv::Mat band = image_(cv::Range(bandFirst_, bandLast), cv::Range(roiFirst_, roiLast_));
  cv::Sobel(band, dx_, CV_32F, 1, 0, kSobelSize, scale, 0, cv::BORDER_DEFAULT);
  cv::Sobel(band, dy_, CV_32F, 0, 1, kSobelSize, scale, 0, cv::BORDER_DEFAULT);
}

// The box filter's row sums of the covariances of the (reflected) `row`: the block's
// values added left to right in double, as the library's row filter does for 3 and 5.
void HarrisResponseRows::addRowSum(int row, double* sum) {
  const int imageRow = reflect(row, image_.rows);
  if (dx_.empty() || imageRow < bandFirst_ || imageRow >= bandFirst_ + dx_.rows) {
    loadGradientsFrom(imageRow);
  }
  const float* dx = dx_.ptr<float>(imageRow - bandFirst_);
  const float* dy = dy_.ptr<float>(imageRow - bandFirst_);
  const int width = last_ - first_ + 2 * anchor_;
  for (int j = 0; j < width; ++j) {
    const int column = reflect(first_ - anchor_ + j, image_.cols) - roiFirst_;
    covRow_[3 * j] = dx[column] * dx[column];
    covRow_[3 * j + 1] = dx[column] * dy[column];
    covRow_[3 * j + 2] = dy[column] * dy[column];
  }
  const int count = (last_ - first_) * 3;
  const float* cov = covRow_.data();
  if (anchor_ == 1) {
    for (int i = 0; i < count; ++i) {
      sum[i] = static_cast<double>(cov[i]) + static_cast<double>(cov[i + 3]) +
               static_cast<double>(cov[i + 6]);
    }
  } else {
    for (int i = 0; i < count; ++i) {
      sum[i] = static_cast<double>(cov[i]) + static_cast<double>(cov[i + 3]) +
               static_cast<double>(cov[i + 6]) + static_cast<double>(cov[i + 9]) +
               static_cast<double>(cov[i + 12]);
    }
  }
}

// The library computes the response of the whole image as one row, with 8-wide vectors
// (AVX), then 4-wide, then the scalar code in double for the last few pixels; each
// rounds differently, so the path is chosen by the pixel's place in the image.
void HarrisResponseRows::responseOf(int row, const float* cov, float* out) const {
  const std::int64_t total = static_cast<std::int64_t>(image_.rows) * image_.cols;
  const std::int64_t rowStart = static_cast<std::int64_t>(row) * image_.cols + first_;
  const std::int64_t wideEnd = avx_ ? total - total % 8 : 0;
  const std::int64_t narrowEnd = total - total % 4;
  const float k = static_cast<float>(k_);
  const int count = last_ - first_;
  for (int i = 0; i < count; ++i) {
    const float a = cov[3 * i];
    const float b = cov[3 * i + 1];
    const float c = cov[3 * i + 2];
    const float acbb = a * c - b * b;
    const float ac = a + c;
    const std::int64_t pixel = rowStart + i;
    if (pixel < wideEnd) {
      out[i] = acbb - k * (ac * ac);
    } else if (pixel < narrowEnd) {
      out[i] = acbb - k * ac * ac;
    } else {
      out[i] = static_cast<float>(acbb - k_ * static_cast<double>(ac) * static_cast<double>(ac));
    }
  }
}

// The box filter's column sums run down each column in double from the top, adding the
// row below the block and taking off the row above it, as the library's column filter.
const float* HarrisResponseRows::next() {
  const int blockSize = 2 * anchor_ + 1;
  const int y = nextRow_++;
  if (y == 0) {
    std::fill(columnSums_.begin(), columnSums_.end(), 0.0);
    for (int k = 0; k < blockSize - 1; ++k) {
      addRowSum(k - anchor_, rowSums_[static_cast<std::size_t>(k)].data());
      for (std::size_t i = 0; i < columnSums_.size(); ++i) {
        columnSums_[i] += rowSums_[static_cast<std::size_t>(k)][i];
      }
    }
  }
  double* added = rowSums_[static_cast<std::size_t>((y + blockSize - 1) % blockSize)].data();
  addRowSum(y + anchor_, added);
  const double* removed = rowSums_[static_cast<std::size_t>(y % blockSize)].data();
  for (std::size_t i = 0; i < columnSums_.size(); ++i) {
    const double sum = columnSums_[i] + added[i];
    blockRow_[i] = static_cast<float>(sum);
    columnSums_[i] = sum - removed[i];
  }
  responseOf(y, blockRow_.data(), response_.data());
  return response_.data();
}

}  // namespace corvantis
