// End-to-end runs of the view mode: in real windows on a virtual X server, and without
// a display, where it writes the diagnostics sheet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <thread>
#include <vector>

#include "imageproc/ImageProc.h"
#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::Child;
using test::ChildEnv;
using test::RunResult;

const std::string kSample =
    std::string(CORVANTIS_SOURCE_DIR) + "/examples/cell/robots/R1/ref/part.png";
const std::vector<std::string> kTitles = {"Source image", "Equalized Image",
                                          "Binary from equalized Image", "Corners detected",
                                          "Border detected"};
// The sample's values, as the check computes them (see PhotographTest in Check_test.cpp).
const char kSampleLines[] =
    "Area: 230559\nPerimeter: 11075\nCorners: 408\nAngle: 177.703\nRadius: 135.393\n";

// The five stage images of `path` as the analyser makes them.
std::vector<cv::Mat> stagesOf(const std::string& path) {
  ImageProc proc;
  EXPECT_TRUE(proc.load(path)) << path;
  StageImages stages;
  proc.measureWithStages(&stages);
  return {stages.source, stages.equalized, stages.binary, stages.corners, stages.border};
}

// A child without a display.
ChildEnv headless() {
  ChildEnv env;
  env.unsetVars = {"DISPLAY", "WAYLAND_DISPLAY"};
  return env;
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
  return a.size() == b.size() && a.type() == b.type() && cv::countNonZero(a != b) == 0;
}

cv::Mat grey(const cv::Mat& colour) {
  cv::Mat result;
  cv::cvtColor(colour, result, cv::COLOR_BGR2GRAY);
  return result;
}

// Runs of rows holding light text pixels.
int textLinesIn(const cv::Mat& area) {
  int lines = 0;
  bool inLine = false;
  for (int r = 0; r < area.rows; ++r) {
    const bool text = cv::countNonZero(area.row(r) > 160) > 0;
    lines += text && !inLine;
    inLine = text;
  }
  return lines;
}

TEST(ViewTest, WithoutDisplayWritesTheSheetAndDoesNotWait) {
  test::TempDir dir;
  const std::string blank = dir.file("blank.png");  // no object pixel anywhere
  ASSERT_TRUE(cv::imwrite(blank, cv::Mat(40, 60, CV_8UC1, cv::Scalar(128))));
  const struct {
    std::string image;
    std::string lines;
    cv::Size sheet;  // three cells across, two down, each at least 300 x 136 under a title
  } cases[] = {
      {kSample, kSampleLines, {3 * (641 + 12) + 12, 2 * (28 + 481 + 12) + 12}},
      {blank,
       "Area: 0\nPerimeter: 0\nCorners: -1\nAngle: -1\nRadius: -1\n",
       {3 * (300 + 12) + 12, 2 * (28 + 136 + 12) + 12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.image);
    const RunResult run =
        test::runProgram(test::programUnderTest(), {c.image}, dir.path().string(), headless(), 60s);
    EXPECT_EQ(0, run.status) << run.err;  // -1 also when it waited and was killed
    EXPECT_EQ(c.lines, run.out);
    const std::string sheetPath =
        dir.file(fs::path(c.image).filename().string() + ".diagnostics.png");
    EXPECT_NE(std::string::npos, run.err.find(sheetPath)) << run.err;

    // In colour, below a title band naming the image and its values.
    const cv::Mat colour = cv::imread(sheetPath, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(CV_8UC3, colour.type()) << sheetPath;
    EXPECT_EQ(c.sheet + cv::Size(0, 28), colour.size());
    EXPECT_EQ(1, textLinesIn(grey(colour.rowRange(0, 28))));
    const cv::Mat sheet = colour.rowRange(28, colour.rows);
    const std::vector<cv::Mat> stages = stagesOf(c.image);
    const int pitchX = (sheet.cols - 12) / 3;
    const int pitchY = (sheet.rows - 12) / 2;
    for (std::size_t i = 0; i < stages.size(); ++i) {
      const cv::Rect panel(cv::Point(12 + static_cast<int>(i % 3) * pitchX,
                                     12 + 28 + static_cast<int>(i / 3) * pitchY),
                           stages[i].size());
      // The corners are circled in red where the window draws grey; all else is grey.
      cv::Mat red;
      cv::inRange(sheet(panel), cv::Scalar(0, 0, 255), cv::Scalar(0, 0, 255), red);
      EXPECT_EQ(i == 3 && c.image == kSample, cv::countNonZero(red) > 0) << kTitles[i];
      cv::Mat outside = grey(sheet(panel));
      stages[i].copyTo(outside, red);
      EXPECT_TRUE(samePixels(stages[i], outside)) << kTitles[i];
    }
    // The sixth cell, below its title, carries the five values as five lines of text.
    const cv::Mat values = grey(sheet(cv::Rect(12 + 2 * pitchX, 12 + 28 + pitchY, 300, 136)));
    EXPECT_EQ(5, textLinesIn(values));
  }
}

// A file in the sheet's way: the values are still printed, and the reason told.
TEST(ViewTest, SheetThatCannotBeWrittenEndsWithStatusOneAndTheReason) {
  test::TempDir dir;
  fs::create_directory(dir.path() / "part.png.diagnostics.png");
  const RunResult run =
      test::runProgram(test::programUnderTest(), {kSample}, dir.path().string(), headless(), 60s);
  EXPECT_EQ(1, run.status);
  EXPECT_EQ(kSampleLines, run.out);
  EXPECT_NE(std::string::npos, run.err.find("cannot write")) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("Is a directory")) << run.err;
}

// A virtual X server on a display number it picks itself, stopped with the object.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const std::string& xvfb) {
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      const int devNull = open("/dev/null", O_WRONLY);
      dup2(devNull, 1);
      dup2(devNull, 2);
      const std::string fd = std::to_string(fds[1]);
      // Without -noreset the server resets whenever its last client leaves, and a client
      // that connects meanwhile is refused: xdotool's polls would race the view's start.
      execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1920x1080x24",
            "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    // Xvfb writes the display number and a line end once it accepts clients, and dies
    // if the pipe closes before the line end is written.
    std::string number;
    char c = 0;
    pollfd ready{fds[0], POLLIN, 0};
    while (poll(&ready, 1, 20000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    if (c == '\n') name_ = ":" + number;
    close(fds[0]);
  }
  ~VirtualDisplay() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& name() const { return name_; }

 private:
  pid_t pid_ = -1;
  std::string name_;
};

// A window's place and size on the screen, from what xwininfo says of it.
cv::Rect geometryOf(const std::string& xwininfo) {
  const auto field = [&](const std::string& name) {
    const std::size_t at = xwininfo.find(name + ":");
    return at == std::string::npos ? -1 : std::atoi(xwininfo.c_str() + at + name.size() + 1);
  };
  return cv::Rect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                  field("Height"));
}

TEST(ViewTest, ShowsFiveWindowsSideBySideAndEndsOnAKey) {
  const std::string xvfb = test::findOnPath("Xvfb");
  const std::string xdotool = test::findOnPath("xdotool");
  const std::string xwininfo = test::findOnPath("xwininfo");
  const std::string import = test::findOnPath("import");
  if (xvfb.empty() || xdotool.empty() || xwininfo.empty() || import.empty()) {
    GTEST_SKIP() << "needs Xvfb, xdotool, xwininfo and import (ImageMagick) on PATH; "
                    "sh scripts/install-deps.sh --test installs them";
  }
  const VirtualDisplay display(xvfb);
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";

  test::TempDir dir;
  const std::string runtimeDir = dir.file("runtime");
  fs::create_directory(runtimeDir);
  fs::permissions(runtimeDir, fs::perms::owner_all);  // Qt insists on 0700
  const ChildEnv env{dir.path().string(),
                     {"WAYLAND_DISPLAY", "QT_QPA_PLATFORM"},
                     {{"DISPLAY", display.name()},
                      {"XDG_RUNTIME_DIR", runtimeDir},
                      {"LSAN_OPTIONS", "suppressions=" + std::string(CORVANTIS_SOURCE_DIR) +
                                           "/test/lsan_qt.supp"}}};
  const auto tool = [&](const std::string& program, const std::vector<std::string>& args) {
    Child child(program, args, ChildEnv{"", {}, {{"DISPLAY", display.name()}}});
    if (!child.waitFor(20s)) child.kill();
    return child.result();
  };

  const auto find = [&](const std::string& title) {
    const RunResult found = tool(xdotool, {"search", "--onlyvisible", "--name", "^" + title + "$"});
    return found.out.substr(0, found.out.find('\n'));
  };

  Child view(test::programUnderTest(), {kSample}, env);
  // Wait, bounded, until a window of each title is mapped.
  std::vector<std::string> windows(kTitles.size());
  for (auto deadline = std::chrono::steady_clock::now() + 60s;
       std::chrono::steady_clock::now() < deadline && !view.waitFor(200ms);) {
    for (std::size_t i = 0; i < kTitles.size(); ++i)
      if (windows[i].empty()) windows[i] = find(kTitles[i]);
    if (std::count(windows.begin(), windows.end(), "") == 0) break;
  }
  for (std::size_t i = 0; i < kTitles.size(); ++i)
    ASSERT_FALSE(windows[i].empty()) << kTitles[i] << ": " << view.result().err;

  // On a full HD screen without a window manager, every window lies on the screen and
  // none covers another. The sample is too wide for three at full size side by side.
  // Wine may replace a window's X window once it has shown it: one gone by the time it
  // is measured is looked up again by its title, for a bounded time.
  const cv::Rect screen(0, 0, 1920, 1080);
  std::vector<cv::Rect> placed;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    cv::Rect place = geometryOf(tool(xwininfo, {"-id", windows[i]}).out);
    for (int attempt = 0; attempt < 50 && place.width < 0; ++attempt) {
      std::this_thread::sleep_for(200ms);
      windows[i] = find(kTitles[i]);
      if (!windows[i].empty()) place = geometryOf(tool(xwininfo, {"-id", windows[i]}).out);
    }
    placed.push_back(place);
    EXPECT_EQ(place, place & screen) << kTitles[i] << " " << place;
    for (std::size_t j = 0; j < i; ++j)
      EXPECT_TRUE((placed[i] & placed[j]).empty()) << kTitles[i] << " overlaps " << kTitles[j];
  }
  const std::string corners = windows[3];

  // The corners window, with its circles, scaled down to its window; it repaints on its
  // own time.
  const cv::Mat full = stagesOf(kSample)[3];
  ASSERT_GT(cv::countNonZero(full == 120), 0) << "the sample has no corner circles";
  ASSERT_LT(placed[3].width, full.cols);
  cv::Mat expected;
  cv::resize(full, expected, placed[3].size(), 0, 0, cv::INTER_AREA);
  const std::string shotPath = std::string(CORVANTIS_BINARY_DIR) + "/view-test-corners-window.png";
  bool shown = false;
  for (int attempt = 0; attempt < 50 && !shown; ++attempt) {
    tool(xdotool, {"windowraise", corners});
    std::this_thread::sleep_for(200ms);
    if (tool(import, {"-window", corners, shotPath}).status != 0) continue;
    const cv::Mat shot = cv::imread(shotPath, cv::IMREAD_GRAYSCALE);
    if (shot.cols < expected.cols || shot.rows < expected.rows) continue;
    cv::Mat match;
    cv::matchTemplate(shot, expected, match, cv::TM_SQDIFF);
    cv::Point at;
    cv::minMaxLoc(match, nullptr, nullptr, &at);
    shown = samePixels(expected, shot(cv::Rect(at, expected.size())));
  }
  std::cout << "screenshot of \"Corners detected\": " << shotPath << "\n";
  EXPECT_TRUE(shown) << "the window does not show the corners image with its circles";

  for (int attempt = 0; attempt < 10; ++attempt) {
    tool(xdotool, {"windowfocus", "--sync", corners});
    tool(xdotool, {"key", "space"});
    if (view.waitFor(2s)) break;
  }
  ASSERT_TRUE(view.waitFor(0ms)) << "the key did not end the view";
  RunResult run = view.result();
  EXPECT_EQ(0, run.status) << run.err;
  // The Windows program (run through wine) ends its console lines in CR LF.
  run.out.erase(std::remove(run.out.begin(), run.out.end(), '\r'), run.out.end());
  EXPECT_EQ(kSampleLines, run.out);
}

}  // namespace
}  // namespace corvantis
