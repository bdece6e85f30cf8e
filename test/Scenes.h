// Drawn camera scenes for the advice tests and their calibration (bench/
// AdviceCalibration.cpp): a dark part on a backlight or on a lit grey tray, with a
// lighting gradient, blur and sensor noise, as a grey or a colour camera delivers it.
#pragma once

#include <opencv2/core.hpp>
#include <string>

namespace corvantis::test {

enum class Background {
  kBacklight,   // 280 to 320 before clipping: pure white after it, whatever the noise
  kEdgeOfClip,  // 245 to 265: clips over part of the frame only
  kVignetted,   // a backlight clipping in the middle, falling to 150 in the corners
  kTray,        // a grey tray, 150 to 230
};

enum class Part {
  kNone,
  kBracket,         // an L-shaped plate with two holes
  kPerforatedPlate  // a square plate with a grid of small square holes
};

struct Scene {
  Background background = Background::kBacklight;
  Part part = Part::kBracket;
  double partSize = 0.5;  // the part's side over the frame's shorter side
  double noise = 4;       // sigma of the sensor noise in grey levels
  bool colour = false;    // three channels, each its own tint and noise
  int width = 641;
  int height = 481;
  unsigned seed = 1;
  // The part's place as a robot leaves it: moved by pixels, turned, mirrored, a hole
  // missing; and the light's gain.
  double dx = 0, dy = 0, degrees = 0, gain = 1;
  bool mirrored = false, holeMissing = false;
};

// The 8-bit image of `scene` (CV_8UC1, or CV_8UC3 in colour). The same on every run.
cv::Mat drawScene(const Scene& scene);

// A short name of `scene` for tables and failure messages.
std::string sceneName(const Scene& scene);

}  // namespace corvantis::test
