#include "imageproc/Diagnostics.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace corvantis
