// The yardstick of the benchmark: only the library calls of one analysis, as a program
// written directly against OpenCV would make them. imread grey, odd-size resize,
// equalizeHist, the three-quarter threshold and Harris goodFeaturesToTrack; prints the
// corner count so that nothing is optimised away.
#include <cstdio>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvantis_bench_baseline <image>\n");
    return 1;
  }
  cv::Mat image = cv::imread(argv[1], cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION);
  if (image.empty()) return 1;
  cv::resize(image, image, cv::Size(image.cols | 1, image.rows | 1), 0, 0, cv::INTER_AREA);
  cv::Mat equalized;
  cv::equalizeHist(image, equalized);

  int histogram[256] = {};
  for (auto it = equalized.begin<uchar>(); it != equalized.end<uchar>(); ++it) ++histogram[*it];
  const auto target = static_cast<long long>(0.75 * static_cast<double>(equalized.total()));
  long long sum = histogram[0];
  int level = 0;
  while (sum < target && level < 255) sum += histogram[++level];
  cv::Mat binary;
  cv::threshold(equalized, binary, level > 0 ? level - 1 : 0, 255, cv::THRESH_BINARY_INV);

  std::vector<cv::Point2f> corners;
  cv::goodFeaturesToTrack(binary, corners, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  std::printf("%zu\n", corners.size());
  return 0;
}
