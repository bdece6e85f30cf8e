#include "imageproc/Diagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

namespace corvantis {
namespace {

using Text = std::vector<std::vector<std::string>>;

// The comparison sheet: each stage at the top left of its area below the analysis'
// title and its own; below the rows the text, inside the sheet, the cells of multi-cell
// rows lined up in columns.
TEST(DiagnosticsTest, ComparisonSheetPlacesStagesAndTextColumns) {
  // Two rows of stages 20 wide, the second taller, in grey levels below the background
  // that no anti-aliased text reaches.
  std::vector<std::vector<cv::Mat>> rows(2);
  for (int i = 0; i < 10; ++i)
    rows[i / 5].emplace_back(10 + i / 5 * 20, 20, CV_8UC1, cv::Scalar(i));
  // Rows of a name and four values, as an explanation's; the widest line first a single
  // cell, then a name.
  const std::string wide(150, 'W');
  const Text texts[] = {{{wide}, {"Area", "1", "22", "333", "x"}, {"i", "1", "2", "3", "x"}},
                        {{"Area"}, {wide, "1", "22", "333", "x"}, {"i", "1", "2", "3", "x"}}};
  for (const Text& text : texts) {
    Text without = text;
    for (auto& line : without)
      if (line.size() > 1) line.back().clear();
    const cv::Mat sheet = composeComparisonSheet({"reference", "current"}, rows, text);
    const cv::Mat plain = composeComparisonSheet({"reference", "current"}, rows, without);
    int y = kSheetMargin + 2 * kSheetTitleHeight;
    for (const auto& row : rows) {
      for (int i = 0; i < 5; ++i) {
        const cv::Rect area(kSheetMargin + i * (kSheetMinCellWidth + kSheetMargin), y, 20,
                            row[i].rows);
        EXPECT_EQ(0, cv::norm(sheet(area), row[i], cv::NORM_INF)) << area;
      }
      y += row[0].rows + kSheetMargin + 2 * kSheetTitleHeight;
    }
    const cv::Mat ink = sheet != sheet.at<uchar>(0, 0);
    EXPECT_EQ(0, cv::countNonZero(ink.colRange(ink.cols - kSheetMargin, ink.cols))) << text[0][0];
    // The last cells are what the sheet has over the plain one (narrower, if anything).
    const cv::Rect common(0, 0, std::min(sheet.cols, plain.cols), sheet.rows);
    const cv::Mat xs = sheet(common) != plain(common);
    const cv::Rect both = cv::boundingRect(xs);
    ASSERT_FALSE(both.empty()) << text[0][0];
    const cv::Mat firstCells =
        (plain(common) != sheet.at<uchar>(0, 0))(cv::Range(both.y, both.br().y), cv::Range::all());
    EXPECT_LT(cv::boundingRect(firstCells).br().x, both.x);
    const cv::Rect upper = cv::boundingRect(xs.rowRange(both.y, both.y + both.height / 2));
    const cv::Rect lower = cv::boundingRect(xs.rowRange(both.y + both.height / 2, both.br().y));
    EXPECT_EQ(upper.x, lower.x);
    EXPECT_EQ(upper.width, lower.width);
  }
}

TEST(DiagnosticsTest, WindowsFitSideBySideScaledOnlyWhenTheyMust) {
  const struct {
    cv::Size stage, screen;
    bool fullSize;
  } cases[] = {
      {{641, 481}, {1366, 768}, false}, {{7, 5}, {1920, 1080}, true}, {{3001, 201}, {}, false}};
  for (const auto& c : cases) {
    const WindowLayout layout = layOutWindows(c.stage, c.screen);
    const cv::Rect area = cv::Rect(cv::Point(), kLayoutArea) &
                          cv::Rect(cv::Point(), c.screen.empty() ? kLayoutArea : c.screen);
    SCOPED_TRACE(cv::format("%dx%d on %dx%d", c.stage.width, c.stage.height, c.screen.width,
                            c.screen.height));
    EXPECT_EQ(c.fullSize, layout.shown == c.stage);
    EXPECT_NEAR(1.0,
                double(layout.shown.width) * c.stage.height / c.stage.width / layout.shown.height,
                0.01);
    // Each window with room for a frame and a title bar, inside the area and on no other.
    const cv::Size window(std::max(layout.shown.width, kMinWindowSide) + kWindowGapX,
                          std::max(layout.shown.height, kMinWindowSide) + kWindowGapY);
    cv::Mat covered(area.size(), CV_8UC1, cv::Scalar(0));
    for (const cv::Point& origin : layout.origins) {
      EXPECT_EQ(cv::Rect(origin, window), cv::Rect(origin, window) & area) << origin;
      covered(cv::Rect(origin, window) & area) += 1;
    }
    EXPECT_EQ(0, cv::countNonZero(covered > 1));
  }
}

}  // namespace
}  // namespace corvantis
