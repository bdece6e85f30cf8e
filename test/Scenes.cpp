#include "test/Scenes.h"

#include <cmath>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace corvantis::test {
namespace {

// The light before the part, in float grey levels that may exceed 255.
cv::Mat lightOf(Background background, cv::Size size) {
  cv::Mat light(size, CV_32F);
  const double diagonal = std::hypot(size.width / 2.0, size.height / 2.0);
  for (int r = 0; r < size.height; ++r) {
    float* row = light.ptr<float>(r);
    for (int c = 0; c < size.width; ++c) {
      const double across = static_cast<double>(c) / size.width;
      const double fromCentre = std::hypot(c - size.width / 2.0, r - size.height / 2.0) / diagonal;
      double level = 0;
      switch (background) {
        case Background::kBacklight: level = 280 + 40 * across; break;
        case Background::kEdgeOfClip: level = 245 + 20 * across; break;
        case Background::kVignetted: level = 320 - 170 * fromCentre * fromCentre; break;
        case Background::kTray: level = 150 + 60 * across + 20.0 * r / size.height; break;
      }
      row[c] = static_cast<float>(level);
    }
  }
  return light;
}

void drawPart(cv::Mat& light, const Scene& scene, float backgroundLevel) {
  const double s = std::min(light.cols, light.rows) * scene.partSize;
  const cv::Point2d centre(light.cols / 2.0 + 3 + scene.dx, light.rows / 2.0 - 2 + scene.dy);
  const double a = scene.degrees * CV_PI / 180, m = scene.mirrored ? -1 : 1;
  const auto at = [&](double x, double y) {
    return cv::Point(cvRound(centre.x + s * (m * x * std::cos(a) - y * std::sin(a))),
                     cvRound(centre.y + s * (m * x * std::sin(a) + y * std::cos(a))));
  };
  const cv::Scalar dark(35), hole(backgroundLevel);
  if (scene.part == Part::kBracket) {
    const std::vector<cv::Point> outline = {at(-0.5, -0.5), at(0.5, -0.5), at(0.5, -0.2),
                                            at(-0.2, -0.2), at(-0.2, 0.5), at(-0.5, 0.5)};
    cv::fillPoly(light, std::vector<std::vector<cv::Point>>{outline}, dark);
    cv::circle(light, at(-0.35, 0.3), cvRound(0.07 * s), hole, cv::FILLED);
    if (!scene.holeMissing) cv::circle(light, at(0.3, -0.35), cvRound(0.07 * s), hole, cv::FILLED);
  } else if (scene.part == Part::kPerforatedPlate) {
    cv::rectangle(light, at(-0.5, -0.5), at(0.5, 0.5), dark, cv::FILLED);
    constexpr int kHoles = 14;  // per side: 196 holes of four corners each
    for (int i = 0; i < kHoles; ++i) {
      for (int j = 0; j < kHoles; ++j) {
        const double x = -0.5 + (i + 0.3) / kHoles, y = -0.5 + (j + 0.3) / kHoles;
        cv::rectangle(light, at(x, y), at(x + 0.4 / kHoles, y + 0.4 / kHoles), hole, cv::FILLED);
      }
    }
  }
}

cv::Mat exposed(const cv::Mat& light, double gain, double sigma, std::uint64_t seed) {
  cv::Mat noise(light.size(), CV_32F, cv::Scalar(0));
  if (sigma > 0) cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, sigma);
  cv::Mat image;
  cv::Mat(light * gain + noise).convertTo(image, CV_8U);  // rounds and clips
  return image;
}

}  // namespace

cv::Mat drawScene(const Scene& scene) {
  cv::Mat light = lightOf(scene.background, cv::Size(scene.width, scene.height));
  // Holes show the light behind the part; the level of the middle stands for it.
  drawPart(light, scene, light.at<float>(light.rows / 2, light.cols / 2));
  cv::GaussianBlur(light, light, cv::Size(5, 5), 1.5);
  if (!scene.colour) return exposed(light, scene.gain, scene.noise, scene.seed);
  std::vector<cv::Mat> channels;
  const double gains[] = {0.95, 1.0, 1.05};
  for (int c = 0; c < 3; ++c)
    channels.push_back(exposed(light, gains[c] * scene.gain, scene.noise, scene.seed * 3 + c));
  cv::Mat image;
  cv::merge(channels, image);
  return image;
}

std::string sceneName(const Scene& scene) {
  static const char* const backgrounds[] = {"backlight", "edge-of-clip", "vignetted", "tray"};
  static const char* const parts[] = {"none", "bracket", "perforated"};
  char text[128];
  std::snprintf(text, sizeof text, "%s %s %.2f noise %g%s", backgrounds[int(scene.background)],
                parts[int(scene.part)], scene.partSize, scene.noise, scene.colour ? " colour" : "");
  return text;
}

}  // namespace corvantis::test
