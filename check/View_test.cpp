// End-to-end runs of the view mode: without a display, where it writes the diagnostics
// sheet, and in real windows on a virtual X server.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <string>
#include <vector>

#include "imageproc/Diagnostics.h"
#include "imageproc/ImageProc.h"
#include "test/RunProgram.h"

namespace corvantis {
namespace {

using namespace std::chrono_literals;
using test::ChildEnv;

const std::string kSample = CORVANTIS_SOURCE_DIR "/examples/cell/robots/R1/ref/part.png";
// The sample's values, as the check computes them (see PhotographTest in Check_test.cpp).
const char kSampleLines[] =
    "Area: 36642\nPerimeter: 1614\nCorners: 14\nAngle: 137.715\nRadius: 71.1604\n";

std::vector<cv::Mat> stagesOf(const std::string& path) {
  ImageProc proc;
  EXPECT_TRUE(proc.load(path).ok()) << path;
  StageImages stages;
  proc.measureWithStages(&stages);
  return {stages.source, stages.equalized, stages.binary, stages.corners, stages.border};
}

TEST(ViewTest, WithoutDisplayWritesTheSheetOrTellsWhyNot) {
  test::TempDir dir;
  const std::string sheetPath = dir.file("part.png.diagnostics.png");
  const auto view = [&] {
    return test::runProgram(test::programUnderTest(), {kSample}, dir.path().string(),
                            ChildEnv{"", {"DISPLAY", "WAYLAND_DISPLAY"}});
  };
  const test::RunResult run = view();
  EXPECT_EQ(0, run.status) << run.err;  // -1 also when it waited and was killed
  EXPECT_EQ(kSampleLines, run.out);
  EXPECT_TRUE(test::holds(run.err, sheetPath));

  // Below a title band, three panels across and two down, each under its title. The
  // corners are circled in red where the window draws grey; all else is grey.
  const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(CV_8UC3, sheet.type());
  const std::vector<cv::Mat> stages = stagesOf(kSample);
  const cv::Size pitch =
      stages[0].size() + cv::Size(kSheetMargin, kSheetTitleHeight + kSheetMargin);
  for (int i = 0; i < 5; ++i) {
    const cv::Point at(kSheetMargin + i % 3 * pitch.width,
                       2 * kSheetTitleHeight + kSheetMargin + i / 3 * pitch.height);
    const cv::Mat panel = sheet(cv::Rect(at, stages[i].size()));
    cv::Mat red, seen;
    cv::inRange(panel, kSheetCornerColour, kSheetCornerColour, red);
    EXPECT_EQ(i == 3, cv::countNonZero(red) > 0) << kStageTitles[i];
    cv::cvtColor(panel, seen, cv::COLOR_BGR2GRAY);
    stages[i].copyTo(seen, red);
    EXPECT_EQ(0, cv::countNonZero(seen != stages[i])) << kStageTitles[i];
  }

  // A directory in the sheet's way: the values are still printed, and the reason told.
  std::filesystem::remove(sheetPath);
  std::filesystem::create_directory(sheetPath);
  const test::RunResult blocked = view();
  EXPECT_EQ(1, blocked.status);
  EXPECT_EQ(kSampleLines, blocked.out);
  EXPECT_TRUE(
      test::holds(blocked.err, "cannot write diagnostics to " + sheetPath + ": Is a directory"));
}

TEST(ViewTest, ShowsFiveWindowsSideBySideAndEndsOnAKey) {
  ChildEnv tools{"", {}, {}, -1, false};
  // Xvfb tells the display it picked once it accepts clients. Without -noreset it resets
  // when its last client leaves, refusing clients meanwhile: xdotool's polls would race.
  test::Child xvfb(
      "Xvfb", {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"},
      tools);
  std::string display;
  for (int i = 0; i < 100 && display.find('\n') == std::string::npos && !xvfb.waitFor(200ms); ++i)
    display = xvfb.result().out;
  ASSERT_NE(std::string::npos, display.find('\n'))
      << "Xvfb did not start; sh scripts/install-deps.sh --test installs Xvfb, xdotool and import";
  display = ":" + display.substr(0, display.find('\n'));
  tools.setVars = {{"DISPLAY", display}};
  const auto xdotool = [&](const std::vector<std::string>& args) {
    return test::runProgram("xdotool", args, "", tools, 20s).out;
  };

  test::TempDir dir;  // also the runtime directory, 0700 as Qt wants it
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  test::Child view(
      test::programUnderTest(), {kSample},
      ChildEnv{dir.path().string(),
               {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
               {{"DISPLAY", display},
                {"XDG_RUNTIME_DIR", dir.path().string()},
                {"LSAN_OPTIONS", "suppressions=" CORVANTIS_SOURCE_DIR "/test/lsan_qt.supp"}}});
  // Each window's id and place on the screen, once it shows; looked up again should the
  // window go before it is measured (wine may replace a window's X window once shown).
  std::vector<int> ids(kStageCount);
  std::vector<cv::Rect> places(kStageCount);
  for (std::size_t i = 0; i < kStageCount; ++i) {
    const std::string title = "^" + std::string(kStageTitles[i]) + "$";
    cv::Rect& r = places[i];
    for (int attempt = 0; attempt < 5 && r.empty() && !view.waitFor(0ms); ++attempt) {
      const std::string info = xdotool(
          {"search", "--sync", "--onlyvisible", "--name", title, "getwindowgeometry", "--shell"});
      std::sscanf(info.c_str(), "WINDOW=%d X=%d Y=%d WIDTH=%d HEIGHT=%d", &ids[i], &r.x, &r.y,
                  &r.width, &r.height);
    }
  }
  // On a full HD screen without a window manager, every window lies on the screen and
  // none covers another. The sample is too wide for three at full size side by side.
  for (std::size_t i = 0; i < kStageCount; ++i) {
    ASSERT_FALSE(places[i].empty()) << kStageTitles[i] << ": " << view.result().err;
    EXPECT_EQ(places[i], places[i] & cv::Rect(0, 0, 1920, 1080)) << kStageTitles[i];
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_TRUE((places[i] & places[j]).empty()) << kStageTitles[i] << " on " << kStageTitles[j];
  }

  // The corners window, with its circles, scaled down to its window; it repaints on its
  // own time.
  cv::Mat expected = stagesOf(kSample)[3];
  ASSERT_LT(places[3].width, expected.cols);
  cv::resize(expected, expected, places[3].size(), 0, 0, cv::INTER_AREA);
  const std::string corners = std::to_string(ids[3]);
  bool shown = false;
  for (int attempt = 0; attempt < 50 && !shown; ++attempt) {
    xdotool({"windowraise", corners, "sleep", "0.2"});
    const std::string png =
        test::runProgram("import", {"-window", corners, "png:-"}, "", tools, 20s).out;
    const cv::Mat shot = png.empty() ? cv::Mat()
                                     : cv::imdecode(std::vector<uchar>(png.begin(), png.end()),
                                                    cv::IMREAD_GRAYSCALE);
    shown = shot.size() == expected.size() && cv::countNonZero(shot != expected) == 0;
  }
  EXPECT_TRUE(shown) << "the window does not show the corners image with its circles";

  for (int attempt = 0; attempt < 10 && !view.waitFor(0ms); ++attempt) {
    xdotool({"windowfocus", "--sync", corners, "key", "space"});
    view.waitFor(2s);
  }
  ASSERT_TRUE(view.waitFor(0ms)) << "the key did not end the view";
  EXPECT_EQ(0, view.result().status) << view.result().err;
  // The Windows program (run through wine) ends its console lines in CR LF.
  EXPECT_EQ(kSampleLines, std::regex_replace(view.result().out, std::regex("\r"), ""));
}

}  // namespace
}  // namespace corvantis
