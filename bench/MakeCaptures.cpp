// Draws the benchmark's captures: a dark bracket on a tray lit from one side, with
// sensor noise, as a reference and as a capture of the part moved a little. Written as
// 8-bit grey BMP and PNG, as a monochrome cell camera delivers them.
//   corvantis_bench_captures <directory> <width> <height>
// writes ref.bmp, ref.png, cap.bmp and cap.png into <directory>.
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

namespace {

cv::Mat capture(int width, int height, double dx, double dy, double degrees, int seed) {
  cv::Mat tray(height, width, CV_32F);
  for (int r = 0; r < height; ++r) {
    float* row = tray.ptr<float>(r);
    for (int c = 0; c < width; ++c) row[c] = 140.0f + 70.0f * c / width + 25.0f * r / height;
  }
  // The bracket: an L-shaped plate with two holes, drawn in the unit square of the part.
  const double s = std::min(width, height) / 3.0;
  const cv::Point2d centre(width / 2.0 + dx * s, height / 2.0 + dy * s);
  const double a = degrees * CV_PI / 180.0;
  const auto at = [&](double x, double y) {
    return cv::Point(cvRound(centre.x + s * (x * std::cos(a) - y * std::sin(a))),
                     cvRound(centre.y + s * (x * std::sin(a) + y * std::cos(a))));
  };
  const std::vector<cv::Point> outline = {at(-0.5, -0.5), at(0.5, -0.5), at(0.5, -0.2),
                                          at(-0.2, -0.2), at(-0.2, 0.5), at(-0.5, 0.5)};
  cv::fillPoly(tray, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(35));
  cv::circle(tray, at(-0.35, 0.3), cvRound(0.07 * s), cv::Scalar(170), cv::FILLED);
  cv::circle(tray, at(0.3, -0.35), cvRound(0.07 * s), cv::Scalar(175), cv::FILLED);
  cv::GaussianBlur(tray, tray, cv::Size(5, 5), 1.5);
  cv::Mat noise(height, width, CV_32F);
  cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, 4);
  cv::Mat image;
  cv::Mat(tray + noise).convertTo(image, CV_8U);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: corvantis_bench_captures <directory> <width> <height>\n");
    return 1;
  }
  const std::string dir = argv[1];
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  const cv::Mat reference = capture(width, height, 0.0, 0.0, 0.0, 1);
  const cv::Mat current = capture(width, height, 0.02, -0.01, 1.5, 2);
  for (const char* extension : {".bmp", ".png"}) {
    if (!cv::imwrite(dir + "/ref" + extension, reference) ||
        !cv::imwrite(dir + "/cap" + extension, current)) {
      std::fprintf(stderr, "corvantis_bench_captures: cannot write into %s\n", dir.c_str());
      return 1;
    }
  }
  return 0;
}
