#include "imageproc/Diagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "imageproc/ShapeAnalysis.h"
#include "imageproc/ViewPlugin.h"

namespace corvantis {
namespace {

using Lines = std::vector<std::string>;

TEST(DiagnosticsTest, ValueLinesOfEachOutcome) {
  cv::Mat onePixel(5, 5, CV_8UC1, cv::Scalar(200));
  onePixel.at<std::uint8_t>(0, 4) = 0;
  const struct {
    const char* name;
    cv::Mat source;
    Lines expected;
  } cases[] = {
      {"no object pixel",
       cv::Mat(9, 9, CV_8UC1, cv::Scalar(128)),
       {"Area: 0", "Perimeter: 0", "Corners: -1", "Angle: -1", "Radius: -1"}},
      {"all object",
       cv::Mat(9, 7, CV_8UC1, cv::Scalar(0)),
       {"Area: 63", "Perimeter: 0", "Corners: 0", "Angle: 0", "Radius: 0"}},
      {"one pixel up right",
       onePixel,
       {"Area: 1", "Perimeter: 1", "Corners: 1", "Angle: 44.9994", "Radius: 2.82843"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DiagnosticView view;
    view.valueLines = diagnosticValueLines(measureShape(c.source));
    EXPECT_EQ(c.expected, view.valueLines);
    std::ostringstream out;
    writeDiagnosticValues(view, out);
    std::string text;
    for (const std::string& line : c.expected) text += line + "\n";
    EXPECT_EQ(text, out.str());
  }
}

TEST(DiagnosticsTest, WindowsFitSideBySideScaledOnlyWhenTheyMust) {
  const struct {
    cv::Size stage, screen;
    bool fullSize;
  } cases[] = {
      {{641, 481}, {}, false},
      {{641, 481}, {1366, 768}, false},
      {{301, 201}, {2560, 1440}, true},
      {{7, 5}, {1920, 1080}, true},
      {{4001, 3001}, {1920, 1080}, false},
      {{3001, 201}, {}, false},
  };
  for (const auto& c : cases) {
    const WindowLayout layout = layOutWindows(c.stage, c.screen);
    const cv::Rect area = cv::Rect(cv::Point(), kLayoutArea) &
                          cv::Rect(cv::Point(), c.screen.empty() ? kLayoutArea : c.screen);
    std::ostringstream name;
    name << c.stage << " on " << c.screen;
    SCOPED_TRACE(name.str());
    EXPECT_EQ(c.fullSize, layout.shown == c.stage);
    EXPECT_NEAR(1.0,
                double(layout.shown.width) * c.stage.height / c.stage.width / layout.shown.height,
                0.01);
    std::vector<cv::Rect> windows;
    for (const cv::Point& origin : layout.origins) {
      // Each window with room for a frame and a title bar.
      windows.emplace_back(origin,
                           cv::Size(std::max(layout.shown.width, kMinWindowSide) + kWindowGapX,
                                    std::max(layout.shown.height, kMinWindowSide) + kWindowGapY));
      EXPECT_EQ(windows.back(), windows.back() & area) << windows.back();
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
      for (std::size_t j = i + 1; j < windows.size(); ++j)
        EXPECT_TRUE((windows[i] & windows[j]).empty()) << i << " and " << j;
    }
  }
}

}  // namespace
}  // namespace corvantis
