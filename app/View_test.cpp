// End-to-end runs of the view mode: without a display, where it writes the diagnostics
// sheet, and in real windows on a virtual X server.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "imageproc/ImageProc.h"
#include "test/RunProgram.h"

namespace corvantis {
namespace {

using namespace std::chrono_literals;
using test::ChildEnv;

const std::string kSample =
    std::string(CORVANTIS_SOURCE_DIR) + "/examples/cell/robots/R1/ref/part.png";
const std::vector<std::string> kTitles = {"Source image", "Equalized Image",
                                          "Binary from equalized Image", "Corners detected",
                                          "Border detected"};
// The sample's values, as the check computes them (see PhotographTest in Check_test.cpp).
const char kSampleLines[] =
    "Area: 230559\nPerimeter: 11075\nCorners: 408\nAngle: 177.703\nRadius: 135.393\n";

std::vector<cv::Mat> stagesOf(const std::string& path) {
  ImageProc proc;
  EXPECT_TRUE(proc.load(path)) << path;
  StageImages stages;
  proc.measureWithStages(&stages);
  return {stages.source, stages.equalized, stages.binary, stages.corners, stages.border};
}

TEST(ViewTest, WithoutDisplayWritesTheSheetOrTellsWhyNot) {
  test::TempDir dir;
  const std::string sheetPath = dir.file("part.png.diagnostics.png");
  const ChildEnv headless{"", {"DISPLAY", "WAYLAND_DISPLAY"}};
  const auto view = [&] {
    return test::runProgram(test::programUnderTest(), {kSample}, dir.path().string(), headless);
  };
  const test::RunResult run = view();
  EXPECT_EQ(0, run.status) << run.err;  // -1 also when it waited and was killed
  EXPECT_EQ(kSampleLines, run.out);
  EXPECT_NE(std::string::npos, run.err.find(sheetPath)) << run.err;

  // Below a title band, three panels across and two down, each under its title. The
  // corners are circled in red where the window draws grey; all else is grey.
  const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
  ASSERT_EQ(CV_8UC3, sheet.type());
  const std::vector<cv::Mat> stages = stagesOf(kSample);
  const cv::Size pitch = stages[0].size() + cv::Size(12, 28 + 12);
  EXPECT_EQ(cv::Size(3 * pitch.width + 12, 28 + 2 * pitch.height + 12), sheet.size());
  for (int i = 0; i < 5; ++i) {
    const cv::Point at(12 + i % 3 * pitch.width, 28 + 12 + 28 + i / 3 * pitch.height);
    const cv::Mat panel = sheet(cv::Rect(at, stages[i].size()));
    cv::Mat red, seen;
    cv::inRange(panel, cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), red);
    EXPECT_EQ(i == 3, cv::countNonZero(red) > 0) << kTitles[i];
    cv::cvtColor(panel, seen, cv::COLOR_BGR2GRAY);
    stages[i].copyTo(seen, red);
    EXPECT_EQ(0, cv::countNonZero(seen != stages[i])) << kTitles[i];
  }

  // A directory in the sheet's way: the values are still printed, and the reason told.
  std::filesystem::remove(sheetPath);
  std::filesystem::create_directory(sheetPath);
  const test::RunResult blocked = view();
  EXPECT_EQ(1, blocked.status);
  EXPECT_EQ(kSampleLines, blocked.out);
  EXPECT_NE(std::string::npos,
            blocked.err.find("cannot write diagnostics to " + sheetPath + ": Is a directory"))
      << blocked.err;
}

TEST(ViewTest, ShowsFiveWindowsSideBySideAndEndsOnAKey) {
  ChildEnv tools{"", {}, {}, -1, false, false};
  // Xvfb tells the display it picked once it accepts clients. Without -noreset it resets
  // when its last client leaves, refusing clients meanwhile: xdotool's polls would race.
  test::Child xvfb(
      "Xvfb", {"-displayfd", "1", "-screen", "0", "1920x1080x24", "-nolisten", "tcp", "-noreset"},
      tools);
  std::string display;
  for (int i = 0; i < 100 && display.find('\n') == std::string::npos && !xvfb.waitFor(200ms); ++i)
    display = xvfb.result().out;
  if (xvfb.result().status == 127)
    GTEST_SKIP() << "sh scripts/install-deps.sh --test installs Xvfb, xdotool, xwininfo, import";
  ASSERT_NE(std::string::npos, display.find('\n')) << "Xvfb did not start";
  display = ":" + display.substr(0, display.find('\n'));
  tools.setVars = {{"DISPLAY", display}};
  const auto tool = [&](const std::string& program, const std::vector<std::string>& args) {
    return test::runProgram(program, args, "", tools, 20s);
  };
  // A window of the title and its place on the screen, looked up anew each time: wine
  // may replace a window's X window once it has shown it.
  const auto find = [&](const std::string& title) {
    std::string id = tool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}).out;
    id = id.substr(0, id.find('\n'));
    const std::string info = id.empty() ? "" : tool("xwininfo", {"-id", id}).out;
    const auto field = [&](const std::string& name) {
      const std::size_t at = info.find(name + ":");
      return at == std::string::npos ? -1 : std::atoi(info.c_str() + at + name.size() + 1);
    };
    return std::make_pair(
        id, cv::Rect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                     field("Height")));
  };

  test::TempDir dir;  // also the runtime directory, 0700 as Qt wants it
  std::filesystem::permissions(dir.path(), std::filesystem::perms::owner_all);
  test::Child view(test::programUnderTest(), {kSample},
                   ChildEnv{dir.path().string(),
                            {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
                            {{"DISPLAY", display},
                             {"XDG_RUNTIME_DIR", dir.path().string()},
                             {"LSAN_OPTIONS", "suppressions=" + std::string(CORVANTIS_SOURCE_DIR) +
                                                  "/test/lsan_qt.supp"}}});
  std::vector<std::pair<std::string, cv::Rect>> windows(kTitles.size());
  const auto unplaced = [](const auto& window) { return window.second.width <= 0; };
  for (auto deadline = std::chrono::steady_clock::now() + 60s;
       std::chrono::steady_clock::now() < deadline && !view.waitFor(200ms) &&
       std::any_of(windows.begin(), windows.end(), unplaced);) {
    for (std::size_t i = 0; i < kTitles.size(); ++i)
      if (unplaced(windows[i])) windows[i] = find(kTitles[i]);
  }
  // On a full HD screen without a window manager, every window lies on the screen and
  // none covers another. The sample is too wide for three at full size side by side.
  for (std::size_t i = 0; i < kTitles.size(); ++i) {
    const cv::Rect place = windows[i].second;
    ASSERT_FALSE(unplaced(windows[i])) << kTitles[i] << ": " << view.result().err;
    EXPECT_EQ(place, place & cv::Rect(0, 0, 1920, 1080)) << kTitles[i] << " " << place;
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_TRUE((place & windows[j].second).empty()) << kTitles[i] << " on " << kTitles[j];
  }

  // The corners window, with its circles, scaled down to its window; it repaints on its
  // own time.
  const std::string corners = windows[3].first;
  cv::Mat expected = stagesOf(kSample)[3];
  ASSERT_LT(windows[3].second.width, expected.cols);
  cv::resize(expected, expected, windows[3].second.size(), 0, 0, cv::INTER_AREA);
  bool shown = false;
  for (int attempt = 0; attempt < 50 && !shown; ++attempt) {
    tool("xdotool", {"windowraise", corners});
    std::this_thread::sleep_for(200ms);
    const std::string png = tool("import", {"-window", corners, "png:-"}).out;
    const cv::Mat shot = png.empty() ? cv::Mat()
                                     : cv::imdecode(std::vector<uchar>(png.begin(), png.end()),
                                                    cv::IMREAD_GRAYSCALE);
    if (shot.cols < expected.cols || shot.rows < expected.rows) continue;
    cv::Mat match;
    cv::matchTemplate(shot, expected, match, cv::TM_SQDIFF);
    cv::Point at;
    cv::minMaxLoc(match, nullptr, nullptr, &at);
    shown = cv::countNonZero(shot(cv::Rect(at, expected.size())) != expected) == 0;
  }
  EXPECT_TRUE(shown) << "the window does not show the corners image with its circles";

  for (int attempt = 0; attempt < 10 && !view.waitFor(0ms); ++attempt) {
    tool("xdotool", {"windowfocus", "--sync", corners});
    tool("xdotool", {"key", "space"});
    view.waitFor(2s);
  }
  ASSERT_TRUE(view.waitFor(0ms)) << "the key did not end the view";
  EXPECT_EQ(0, view.result().status) << view.result().err;
  // The Windows program (run through wine) ends its console lines in CR LF.
  EXPECT_EQ(kSampleLines, std::regex_replace(view.result().out, std::regex("\r"), ""));
}

}  // namespace
}  // namespace corvantis
