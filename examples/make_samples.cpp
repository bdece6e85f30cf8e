// Draws the images of the sample cell: a dark bracket with three holes on a backlight,
// photographed the way a camera set up for the check sees it. The light is uneven, but
// exposed so that it clips to pure white all over the background; the part keeps its
// own shading and sensor noise and is nowhere white. That is the set-up the measurement
// needs: its object is every pixel below the brightest grey level, so the background
// must sit at that one level.
//
//   corvantis_make_samples <cell directory>
//
// writes, below robots/R1/:
//   ref/part.png        the reference
//   cap/cap_0001.png    the part slightly moved, which a check accepts
//   cap/cap_0002.png    the part turned on the tray, which a check rejects
//   cap/good/*.png      good parts as the cell meets them: shifted a few pixels, turned
//                       half a degree, each with noise of its own
//   cap/bad/*.png       a hole missing, a screw on the tray, no part, the part mirrored,
//                       the part turned half round
//
//   corvantis_make_samples --tray <directory>
//
// writes part.png and cap_0001.png there: the same reference and moved capture on a
// grey tray (level 230) lit from the front, the set-up the check cannot work with, for
// the pictures in the README. The output is the same on every run.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace {

// Odd sizes: the analyser makes both sides odd, so these are analysed as drawn.
constexpr int kWidth = 641;
constexpr int kHeight = 481;
// Where the bracket's origin lies: off the image's centre, so that the border's centroid
// is far from it and a shift of a few pixels moves its angle and radius only a little.
constexpr double kPartX = kWidth / 2.0 - 30;
constexpr double kPartY = kHeight / 2.0 - 25;
constexpr double kSensorNoise = 4.0;  // grey levels, one standard deviation

// One photograph: the part's pose and what is wrong with it, if anything.
struct Scene {
  double dx = 0, dy = 0;   // shift in pixels
  double turnDegrees = 0;  // about the bracket's origin
  unsigned seed = 1;       // the sensor noise
  int holes = 3;           // the first `holes` holes are drilled
  bool mirrored = false;   // left and right swapped
  bool present = true;     // false: an empty backlight
  bool screw = false;      // a screw lying on the backlight beside the part
  bool tray = false;       // on a grey tray instead of the backlight
};

// The bracket's outline and holes around its own origin, in pixels.
std::vector<cv::Point2d> bracketOutline() {
  return {{-150, -110}, {150, -110}, {150, -30}, {-40, -30}, {-40, 110}, {-150, 110}};
}
std::vector<cv::Point2d> holeCentres() { return {{-95, 75}, {-95, -70}, {115, -70}}; }
constexpr int kHoleRadius = 22;

// The backlight's brightness before the sensor clips it: brightest at the upper left,
// falling off across the frame, yet everywhere far enough above 255 that the sensor
// noise never brings a background pixel below white.
cv::Mat backlight() {
  cv::Mat light(kHeight, kWidth, CV_32F);
  for (int r = 0; r < kHeight; ++r) {
    float* row = light.ptr<float>(r);
    for (int c = 0; c < kWidth; ++c) {
      const double dist = std::hypot(r + 60.0, c + 80.0) / std::hypot(kHeight + 60, kWidth + 80);
      row[c] = static_cast<float>(320.0 - 45.0 * dist);
    }
  }
  return light;
}

// The part's own shading: what little front light falls on it, brighter towards the top.
cv::Mat partShading() {
  cv::Mat shade(kHeight, kWidth, CV_32F);
  for (int r = 0; r < kHeight; ++r) shade.row(r).setTo(58.0 - 22.0 * r / kHeight);
  return shade;
}

cv::Point place(const Scene& s, cv::Point2d p) {
  const double turn = s.turnDegrees * CV_PI / 180.0;
  if (s.mirrored) p.x = -p.x;
  return {cvRound(kPartX + s.dx + p.x * std::cos(turn) - p.y * std::sin(turn)),
          cvRound(kPartY + s.dy + p.x * std::sin(turn) + p.y * std::cos(turn))};
}

// Where the scene is dark (255) and where the light comes through (0).
cv::Mat silhouette(const Scene& s) {
  cv::Mat mask(kHeight, kWidth, CV_8U, cv::Scalar(0));
  if (s.present) {
    std::vector<cv::Point> outline;
    for (const cv::Point2d& p : bracketOutline()) outline.push_back(place(s, p));
    cv::fillPoly(mask, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(255), cv::LINE_AA);
    const std::vector<cv::Point2d> holes = holeCentres();
    for (int i = 0; i < s.holes; ++i)
      cv::circle(mask, place(s, holes[i]), kHoleRadius, cv::Scalar(0), cv::FILLED, cv::LINE_AA);
  }
  if (s.screw) {
    // A countersunk screw lying on its side on the lower right of the backlight.
    const cv::Point head(540, 400);
    cv::rectangle(mask, cv::Rect(head.x - 45, head.y - 5, 45, 10), cv::Scalar(255), cv::FILLED);
    cv::fillPoly(
        mask,
        std::vector<std::vector<cv::Point>>{{head + cv::Point(0, -5), head + cv::Point(12, -12),
                                             head + cv::Point(12, 12), head + cv::Point(0, 5)}},
        cv::Scalar(255), cv::LINE_AA);
  }
  return mask;
}

cv::Mat photograph(const Scene& s) {
  cv::Mat dark;
  silhouette(s).convertTo(dark, CV_32F, 1.0 / 255);
  // The lens blurs the edges a little; then the sensor adds its noise and clips.
  // A tray lit from the front stays grey, well below white, however it is exposed.
  const cv::Mat light = s.tray ? cv::Mat(kHeight, kWidth, CV_32F, cv::Scalar(230)) : backlight();
  cv::Mat scene = light.mul(1 - dark) + partShading().mul(dark);
  cv::GaussianBlur(scene, scene, cv::Size(5, 5), 1.2);
  cv::Mat noise(kHeight, kWidth, CV_32F);
  cv::RNG rng(s.seed);
  rng.fill(noise, cv::RNG::NORMAL, 0.0, kSensorNoise);
  scene += noise;
  cv::Mat image;
  scene.convertTo(image, CV_8U);  // saturates: the backlight becomes 255
  return image;
}

bool save(const std::string& path, const cv::Mat& image) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  if (cv::imwrite(path, image)) return true;
  std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return false;
}

struct Sample {
  const char* path;  // below robots/R1/
  Scene scene;
};

std::vector<Sample> samples() {
  Scene hole{}, screw{}, absent{}, mirrored{}, half{};
  hole.holes = 2;
  screw.screw = true;
  absent.present = false;
  mirrored.mirrored = true;
  half.turnDegrees = 180;
  std::vector<Sample> list = {
      {"ref/part.png", Scene{}},
      {"cap/cap_0001.png", Scene{3, -2, 0.5, 2}},
      {"cap/cap_0002.png", Scene{-30, 25, 25, 3}},
      {"cap/good/good_01.png", Scene{2, 1, 0, 11}},
      {"cap/good/good_02.png", Scene{-3, 2, 0.5, 12}},
      {"cap/good/good_03.png", Scene{1, -3, -0.5, 13}},
      {"cap/good/good_04.png", Scene{-2, -2, 0.3, 14}},
      {"cap/good/good_05.png", Scene{3, 3, -0.4, 15}},
      {"cap/good/good_06.png", Scene{0, 0, 0, 16}},
      {"cap/bad/hole_missing.png", hole},
      {"cap/bad/screw_on_tray.png", screw},
      {"cap/bad/part_absent.png", absent},
      {"cap/bad/mirrored.png", mirrored},
      {"cap/bad/turned_180.png", half},
  };
  // Each bad capture with noise of its own, and the part a little off its place.
  for (std::size_t i = 9; i < list.size(); ++i) {
    list[i].scene.seed = static_cast<unsigned>(20 + i);
    list[i].scene.dx = i % 2 == 0 ? 2 : -1;
    list[i].scene.dy = i % 3 == 0 ? -2 : 1;
  }
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  const bool tray = argc == 3 && std::string(argv[1]) == "--tray";
  if (argc != 2 && !tray) {
    std::fprintf(stderr,
                 "usage: corvantis_make_samples <cell directory>\n"
                 "       corvantis_make_samples --tray <directory>\n");
    return 1;
  }
  bool ok = true;
  if (tray) {
    const std::string dir = std::string(argv[2]) + "/";
    for (const Sample& sample : samples()) {
      const std::string path = sample.path;
      if (path != "ref/part.png" && path != "cap/cap_0001.png") continue;
      Scene scene = sample.scene;
      scene.tray = true;
      ok = save(dir + path.substr(path.find('/') + 1), photograph(scene)) && ok;
    }
    return ok ? 0 : 1;
  }
  const std::string r1 = std::string(argv[1]) + "/robots/R1/";
  for (const Sample& sample : samples())
    ok = save(r1 + sample.path, photograph(sample.scene)) && ok;
  return ok ? 0 : 1;
}
