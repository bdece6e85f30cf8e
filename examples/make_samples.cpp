// Draws the images of the sample cell: a dark bracket on a lit tray, photographed the
// way a cell's camera sees it (uneven light, slight blur, sensor noise).
//
//   corvantis_make_samples <cell directory>
//
// writes robots/R1/ref/part.png (the reference), robots/R1/cap/cap_0001.png (the part
// slightly moved, which a check accepts) and robots/R1/cap/cap_0002.png (the part
// turned on the tray, which a check rejects). The output is the same on every run.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

// The bracket's outline around its own origin, in pixels.
std::vector<cv::Point2d> bracketOutline() {
  return {{-150, -110}, {150, -110}, {150, -30}, {-40, -30}, {-40, 110}, {-150, 110}};
}

cv::Mat photograph(double dx, double dy, double turnDegrees, unsigned seed) {
  // Tray: light falling off from the upper left corner.
  cv::Mat tray(kHeight, kWidth, CV_32F);
  for (int r = 0; r < kHeight; ++r) {
    float* row = tray.ptr<float>(r);
    for (int c = 0; c < kWidth; ++c) {
      const double dist = std::hypot(r + 60.0, c + 80.0) / std::hypot(kHeight, kWidth);
      row[c] = static_cast<float>(215.0 - 70.0 * dist);
    }
  }

  const double turn = turnDegrees * CV_PI / 180.0;
  const cv::Point2d centre(kWidth / 2.0 + dx, kHeight / 2.0 + dy);
  std::vector<cv::Point> outline;
  for (const auto& p : bracketOutline()) {
    outline.emplace_back(cvRound(centre.x + p.x * std::cos(turn) - p.y * std::sin(turn)),
                         cvRound(centre.y + p.x * std::sin(turn) + p.y * std::cos(turn)));
  }
  cv::fillPoly(tray, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(45));
  // Two mounting holes show the tray through the part.
  for (const cv::Point2d hole : {cv::Point2d(95, -70), cv::Point2d(-95, 65)}) {
    const cv::Point at(cvRound(centre.x + hole.x * std::cos(turn) - hole.y * std::sin(turn)),
                       cvRound(centre.y + hole.x * std::sin(turn) + hole.y * std::cos(turn)));
    cv::circle(tray, at, 16, cv::Scalar(190), cv::FILLED, cv::LINE_AA);
  }

  cv::GaussianBlur(tray, tray, cv::Size(5, 5), 1.2);
  cv::Mat noise(kHeight, kWidth, CV_32F);
  cv::RNG rng(seed);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, 3.0);
  tray += noise;

  cv::Mat image;
  tray.convertTo(image, CV_8U);
  return image;
}

bool save(const std::string& path, const cv::Mat& image) {
  if (cv::imwrite(path, image)) return true;
  std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: corvantis_make_samples <cell directory>\n");
    return 1;
  }
  const std::string r1 = std::string(argv[1]) + "/robots/R1";
  const bool ok = save(r1 + "/ref/part.png", photograph(0, 0, 0, 1)) &&
                  save(r1 + "/cap/cap_0001.png", photograph(3, -2, 0.5, 2)) &&
                  save(r1 + "/cap/cap_0002.png", photograph(-30, 25, 25, 3));
  return ok ? 0 : 1;
}
