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

TEST(DiagnosticsTest, ValueLinesOfAnObjectAndOfNone) {
  cv::Mat onePixel(5, 5, CV_8UC1, cv::Scalar(200));
  onePixel.at<std::uint8_t>(0, 4) = 0;
  DiagnosticView view;
  view.valueLines = diagnosticValueLines(measureShape(onePixel));
  std::ostringstream out;
  writeDiagnosticValues(view, out);
  EXPECT_EQ("Area: 1\nPerimeter: 1\nCorners: 1\nAngle: 44.9994\nRadius: 2.82843\n", out.str());
  EXPECT_EQ((Lines{"Area: 0", "Perimeter: 0", "Corners: -1", "Angle: -1", "Radius: -1"}),
            diagnosticValueLines(measureShape(cv::Mat(9, 9, CV_8UC1, cv::Scalar(128)))));
}

TEST(DiagnosticsTest, WindowsFitSideBySideScaledOnlyWhenTheyMust) {
  const struct {
    cv::Size stage, screen;
    bool fullSize;
  } cases[] = {{{641, 481}, {}, false},
               {{641, 481}, {1366, 768}, false},
               {{301, 201}, {2560, 1440}, true},
               {{7, 5}, {1920, 1080}, true},
               {{4001, 3001}, {1920, 1080}, false},
               {{3001, 201}, {}, false}};
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
