// The library's cornerHarris response (3x3 Sobel gradients, block size 3 or 5, reflected
// border) row after row for a range of columns of an 8-bit image, to the last bit, while
// holding only a band of rows.
//
// The library's box filter sums each column with a running double sum from the top of
// the image down, so a band of rows computed on its own would round differently; here
// the running sums are carried from band to band in the same order of additions. The
// gradients come from the library's own Sobel on a band of the image, which reads its
// neighbours from the whole image. Rows sum 3 or 5 values directly, so columns split.
#pragma once

#include <opencv2/core.hpp>
#include <vector>

namespace corvantis {

class HarrisResponseRows {
 public:
  // True when the rows can be streamed for this block size and image; otherwise the
  // library's cornerHarris of the whole image is the way.
  static bool supports(const cv::Mat& image, int blockSize);

  // The response of the columns [first, last) of the 8-bit `image`, which must outlive
  // this; `first` and `last` are any columns of the image.
  HarrisResponseRows(const cv::Mat& image, int first, int last, int blockSize, double k);

  // The response of the next row, from row 0 down: last - first values, valid until the
  // next call.
  const float* next();

 private:
  void loadGradientsFrom(int row);
  void addRowSum(int row, double* sum);
  void responseOf(int row, const float* cov, float* out) const;

  const cv::Mat& image_;
  int first_;
  int last_;
  int anchor_;  // block size / 2
  double k_;
  bool avx_;
  // The gradients of rows [bandFirst_, bandFirst_ + dx_.rows) of columns [roiFirst_,
  // roiLast_): the columns this range's block sums reach, widened to vector boundaries.
  int roiFirst_;
  int roiLast_;
  int bandFirst_ = 0;
  cv::Mat dx_;
  cv::Mat dy_;
  // The row sums of the last block-size rows added (a ring), the running column sums,
  // one row of covariances and the response row handed out.
  std::vector<std::vector<double>> rowSums_;
  std::vector<double> columnSums_;
  std::vector<float> covRow_;
  std::vector<float> blockRow_;
  std::vector<float> response_;
  int nextRow_ = 0;
};

}  // namespace corvantis
