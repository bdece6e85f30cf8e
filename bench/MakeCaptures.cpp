// Draws the benchmark's captures: a dark bracket on a tray lit from one side, with
// sensor noise, as a reference and as a capture of the part moved a little. Written as
// 8-bit grey BMP and PNG, as a monochrome cell camera delivers them, and as 24-bit
// colour BMP with strong sensor noise, as an industrial colour camera writes them: its
// object boundary is ragged, so the corner cap is reached and the border holds several
// per cent of the pixels.
//   corvantis_bench_captures <directory> <width> <height> [kind...]
// writes ref.<kind> and cap.<kind> into <directory> for each kind (bmp, png, noisy.bmp;
// all three when none is named).
#include <cstdio>
#include <cstdlib>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

// The lit tray with the part, before any sensor noise, in float grey levels.
cv::Mat scene(int width, int height, double dx, double dy, double degrees) {
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
  return tray;
}

// `tray` with Gaussian noise of `sigma` grey levels, times `gain`, in 8 bits.
cv::Mat withNoise(const cv::Mat& tray, double gain, double sigma, std::uint64_t seed) {
  cv::Mat noise(tray.size(), CV_32F);
  cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, sigma);
  cv::Mat image;
  cv::Mat(tray * gain + noise).convertTo(image, CV_8U);
  return image;
}

// A grey capture, or with `noisy` a colour one: each channel its own tint and noise.
cv::Mat capture(const cv::Mat& tray, bool noisy, int seed) {
  if (!noisy) return withNoise(tray, 1.0, 4, seed);
  std::vector<cv::Mat> channels;
  const double gains[] = {0.85, 1.0, 1.1};
  for (int c = 0; c < 3; ++c) channels.push_back(withNoise(tray, gains[c], 12, seed * 3 + c));
  cv::Mat image;
  cv::merge(channels, image);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: corvantis_bench_captures <directory> <width> <height> [kind...]\n");
    return 1;
  }
  const std::string dir = argv[1];
  const int width = std::atoi(argv[2]);
  const int height = std::atoi(argv[3]);
  std::vector<std::string> kinds(argv + 4, argv + argc);
  if (kinds.empty()) kinds = {"bmp", "png", "noisy.bmp"};
  const struct {
    const char* name;
    double dx, dy, degrees;
    int seed;
  } shots[] = {{"ref", 0.0, 0.0, 0.0, 1}, {"cap", 0.02, -0.01, 1.5, 2}};
  for (const auto& shot : shots) {
    const cv::Mat tray = scene(width, height, shot.dx, shot.dy, shot.degrees);
    for (const std::string& kind : kinds) {
      const bool noisy = kind.rfind("noisy.", 0) == 0;
      const std::string path = dir + "/" + shot.name + "." + kind;
      if (!cv::imwrite(path, capture(tray, noisy, shot.seed))) {
        std::fprintf(stderr, "corvantis_bench_captures: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
