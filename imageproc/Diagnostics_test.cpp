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

// The left and right edge of the last cell in a band of a text line: the ink after the
// last gap wider than a blank.
std::pair<int, int> lastCell(const cv::Mat& ink) {
  std::vector<int> columns;
  for (int x = 0; x < ink.cols; ++x)
    if (cv::countNonZero(ink.col(x)) > 0) columns.push_back(x);
  if (columns.empty()) return {-1, -1};
  std::size_t first = columns.size() - 1;
  while (first > 0 && columns[first] - columns[first - 1] < kSheetMargin) --first;
  return {columns[first], columns.back()};
}

// A column of figures below its heading is set flush right, one of words flush left, so
// that the figures of a term or a value can be compared down the column.
TEST(DiagnosticsTest, ComparisonSheetSetsFiguresFlushRightAndWordsFlushLeft) {
  const int stageHeight = 9;
  const std::vector<std::vector<cv::Mat>> rows(
      1, std::vector<cv::Mat>(5, cv::Mat(stageHeight, 9, CV_8UC1, cv::Scalar(0))));
  const int textTop = kSheetMargin + 2 * kSheetTitleHeight + stageHeight + kSheetMargin;
  const Text figures = {
      {"entry", "class", "term"}, {"Angle", "fractional", "0.00122122"}, {"Radius", "whole", "1"}};
  const Text words = {
      {"entry", "term", "class"}, {"Angle", "0.00122122", "fractional"}, {"Radius", "1", "whole"}};
  for (const auto& [table, right] : {std::pair(figures, true), {words, false}}) {
    const cv::Mat sheet = composeComparisonSheet({"r"}, rows, table);
    const cv::Mat ink = sheet != sheet.at<uchar>(0, 0);
    const auto band = [&](int line) {
      return lastCell(ink.rowRange(textTop + line * 24, textTop + line * 24 + 24));
    };
    const auto [angleLeft, angleRight] = band(1);
    const auto [radiusLeft, radiusRight] = band(2);
    SCOPED_TRACE(right ? "figures" : "words");
    if (right) {
      EXPECT_NEAR(angleRight, radiusRight, 4);  // the ink of a 1 ends short of its advance
      EXPECT_GT(radiusLeft, angleLeft + 20);
    } else {
      EXPECT_EQ(angleLeft, radiusLeft);
      EXPECT_GT(angleRight, radiusRight + 20);
    }
  }
}

// A sentence of advice is wrapped to the width the stages and the table give, however
// long it is: the sheet stays within a screen.
TEST(DiagnosticsTest, ComparisonSheetWrapsSentencesToItsWidth) {
  const std::vector<std::vector<cv::Mat>> rows(
      1, std::vector<cv::Mat>(5, cv::Mat(9, 9, CV_8UC1, cv::Scalar(0))));
  const Text table = {{"entry", "term"}, {"Angle", "0.5"}};
  Text advised = table;
  std::string sentence = "Advice:";
  for (int i = 0; i < 60; ++i) sentence += " light the part";
  advised.push_back({sentence});
  const cv::Mat plain = composeComparisonSheet({"r"}, rows, table);
  const cv::Mat sheet = composeComparisonSheet({"r"}, rows, advised);
  EXPECT_EQ(plain.cols, sheet.cols);
  EXPECT_GE(sheet.rows, plain.rows + 3 * 24);
}

// Every value line is drawn, the first too; a blank after a word wider than the sheet
// does not give the text band a line of its own.
TEST(DiagnosticsTest, ValueSheetDrawsEachLineAndTextBandAddsNoEmptyOne) {
  const std::vector<cv::Mat> stages(kStageCount, cv::Mat(40, 40, CV_8UC1, cv::Scalar(0)));
  const cv::Mat sheet = composeDiagnosticSheet(stages, {});
  EXPECT_GT(cv::norm(composeDiagnosticSheet(stages, {"Area 937"}), sheet, cv::NORM_INF), 0);
  const std::string wide(300, 'W');
  EXPECT_EQ(withTextBand(sheet, {wide}).rows, withTextBand(sheet, {wide + " "}).rows);
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
