// The calibration of the image advice (imageproc/Advice.cpp): draws scenes on a
// backlight, on a backlight at the edge of clipping, on a vignetted backlight and on a
// grey tray, with noise of 0, 2, 4 and 8 grey levels, parts of several sizes, grey and
// colour, writes each as PNG, JPEG and BMP, analyses it as a check does and prints one
// row per image: the measures the advice rests on and its findings. Images named on the
// command line (the sample cell's photographs) get a row each as well.
//   corvantis_advice_calibration [image...]
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "imageproc/Advice.h"
#include "imageproc/ImageProc.h"
#include "test/Scenes.h"

namespace {

using corvantis::test::Background;
using corvantis::test::Part;
using corvantis::test::Scene;

void printRow(const std::string& name, const std::string& format,
              const corvantis::ShapeMeasures& m) {
  const double area = static_cast<double>(m.area);
  const std::string edges = std::string(m.touchedEdges & corvantis::kEdgeTop ? "T" : "-") +
                            (m.touchedEdges & corvantis::kEdgeBottom ? "B" : "-") +
                            (m.touchedEdges & corvantis::kEdgeLeft ? "L" : "-") +
                            (m.touchedEdges & corvantis::kEdgeRight ? "R" : "-");
  std::printf("%-42s %-4s %8lld %6.3f %7.1f %4d %6.3f %6.3f %s | %s\n", name.c_str(),
              format.c_str(), static_cast<long long>(m.area),
              area > 0 ? static_cast<double>(m.perimeter) / area : 0.0,
              area > 0 ? static_cast<double>(m.perimeter) / std::sqrt(area) : 0.0, m.cornerCount,
              static_cast<double>(m.brightestCount) / static_cast<double>(m.pixelCount),
              area / static_cast<double>(m.pixelCount), edges.c_str(),
              corvantis::adviceCodes(corvantis::adviseOn(m)).c_str());
}

bool analyse(const std::string& path, corvantis::ShapeMeasures* measures) {
  corvantis::ImageProc proc;
  const corvantis::Status loaded = proc.load(path);
  if (!loaded.ok()) {
    std::fprintf(stderr, "cannot read %s: %s\n", path.c_str(), loaded.message().c_str());
    return false;
  }
  proc.getFeatureVector();
  *measures = proc.measures();
  return true;
}

std::vector<Scene> scenes() {
  std::vector<Scene> all;
  for (const Background background : {Background::kBacklight, Background::kEdgeOfClip,
                                      Background::kVignetted, Background::kTray}) {
    for (const double size : {0.1, 0.3, 0.6, 0.9, 1.4}) {
      for (const double noise : {0.0, 2.0, 4.0, 8.0}) {
        for (const bool colour : {false, true}) {
          Scene s;
          s.background = background;
          s.partSize = size;
          s.noise = noise;
          s.colour = colour;
          all.push_back(s);
        }
      }
    }
    for (const Part part : {Part::kNone, Part::kPerforatedPlate}) {
      for (const double noise : {0.0, 4.0, 8.0}) {
        for (const bool colour : {false, true}) {
          Scene s;
          s.background = background;
          s.part = part;
          s.partSize = 0.8;
          s.noise = noise;
          s.colour = colour;
          all.push_back(s);
        }
      }
    }
  }
  return all;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "corvantis-advice-calibration";
  std::filesystem::create_directories(dir);
  std::printf("%-42s %-4s %8s %6s %7s %4s %6s %6s %s | %s\n", "scene", "fmt", "area", "P/A",
              "P/sqrtA", "crn", "bright", "A/N", "edge", "advice");
  int failures = 0;
  for (const Scene& scene : scenes()) {
    const cv::Mat image = corvantis::test::drawScene(scene);
    for (const char* format : {"png", "jpg", "bmp"}) {
      const std::string path = (dir / (std::string("scene.") + format)).string();
      corvantis::ShapeMeasures m;
      if (!cv::imwrite(path, image) || !analyse(path, &m)) {
        ++failures;
        continue;
      }
      printRow(corvantis::test::sceneName(scene), format, m);
    }
  }
  for (int i = 1; i < argc; ++i) {
    corvantis::ShapeMeasures m;
    if (!analyse(argv[i], &m)) {
      ++failures;
      continue;
    }
    printRow(std::filesystem::path(argv[i]).filename().string(), "file", m);
  }
  std::filesystem::remove_all(dir);
  return failures == 0 ? 0 : 1;
}
