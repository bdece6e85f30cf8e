// explain as a person runs it on a cell: the sheet of small and of large captures, and
// what it says about the tolerance next to what the check says.
#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "imageproc/Diagnostics.h"
#include "test/RunProgram.h"
#include "test/Scenes.h"

namespace corvantis {
namespace {

using test::RunResult;

// A copy of the sample cell, whose part the capture cap_0001.png shows within 0.1.
class ExplainRunTest : public ::testing::Test {
 protected:
  RunResult explain(const std::vector<std::string>& args) const {
    std::vector<std::string> line = {"explain"};
    line.insert(line.end(), args.begin(), args.end());
    return cell_.run(line, {}, CORVANTIS_CELL_EXE);
  }
  // A grey camera frame of a part on a backlight.
  std::string writeFrame(const std::string& name, cv::Size size) const {
    test::Scene scene;
    scene.width = size.width, scene.height = size.height;
    const std::string path = cell_.file("robots/R1/cap/" + name);
    EXPECT_TRUE(cv::imwrite(path, test::drawScene(scene)));
    return path;
  }

  const test::TestCell cell_{CORVANTIS_SOURCE_DIR "/examples/cell"};
  const std::string ref_ = cell_.file("robots/R1/ref/part.png");
  const std::string cap_ = cell_.file("robots/R1/cap/cap_0001.png");
};

// The reference's source panel lies below its title and the stage titles, at the left.
cv::Mat sourcePanel(const cv::Mat& sheet, cv::Size size) {
  return sheet(cv::Rect(cv::Point(kSheetMargin, kSheetMargin + 2 * kSheetTitleHeight), size));
}

// The source panel shows the image as loaded, not what the analysis made of its pixels;
// a camera's full-size frames are scaled down so the sheet fits a full HD screen.
TEST_F(ExplainRunTest, SheetShowsTheSourceAsLoadedAndFitsAFullHdScreen) {
  const std::string small = writeFrame("small.png", cv::Size(201, 151));
  const std::string large = writeFrame("large.png", cv::Size(2401, 1601));
  const std::string sheetPath = cell_.file("bin/sheet.png");
  for (const std::string& image : {small, large}) {
    SCOPED_TRACE(image);
    const RunResult run = explain({image, small, "--sheet", sheetPath});
    ASSERT_EQ(0, run.status) << run.err;
    const cv::Mat sheet = cv::imread(sheetPath, cv::IMREAD_COLOR);
    ASSERT_FALSE(sheet.empty());
    EXPECT_LE(sheet.cols, kSheetMaxWidth);

    cv::Mat source = cv::imread(image, cv::IMREAD_GRAYSCALE);
    if (source.cols > kSheetMaxStageWidth) {
      const double scale = static_cast<double>(kSheetMaxStageWidth) / source.cols;
      cv::resize(source, source, cv::Size(kSheetMaxStageWidth, cvRound(source.rows * scale)), 0, 0,
                 cv::INTER_AREA);
    }
    cv::cvtColor(source, source, cv::COLOR_GRAY2BGR);
    EXPECT_EQ(0, cv::norm(sourcePanel(sheet, source.size()), source, cv::NORM_INF));
  }
}

// A tolerance that decides every check alike, or text that is no plain number, is told
// on stderr by both programs; the verdict is the rule's, as before.
TEST_F(ExplainRunTest, OddToleranceIsToldByCheckAndExplainAndTheVerdictStands) {
  const struct {
    const char* tolerance;
    bool accepted;
    const char* told;  // empty: nothing
  } cases[] = {
      {"0.1", true, ""},
      {"-0.5", false, "tolerance \"-0.5\" is negative: every check is rejected\n"},
      {"inf", true, "tolerance \"inf\" is infinite: every check is accepted\n"},
      {"0,5", false, "tolerance \"0,5\" is not a plain number; read as 0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tolerance);
    const RunResult check = cell_.run({"12", ref_, cap_, c.tolerance});
    EXPECT_EQ(c.accepted ? "01" : "00", std::to_string(check.status) + check.out);
    EXPECT_EQ(*c.told ? std::string("corvantis: ") + c.told : "", test::withoutAdvice(check.err));

    const RunResult explained = explain({ref_, cap_, c.tolerance});
    EXPECT_EQ(0, explained.status);
    EXPECT_TRUE(test::holds(explained.out, c.accepted ? "accepted" : "rejected"));
    EXPECT_EQ(*c.told ? std::string("corvantis-cell: ") + c.told : "", explained.err);
  }
}

// --sheet with no file after it is wrong use: the usage, nothing done.
TEST_F(ExplainRunTest, SheetWithoutAFileIsWrongUse) {
  const RunResult run = explain({ref_, cap_, "--sheet"});
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_EQ(0u, run.err.find("usage: corvantis-cell explain ")) << run.err;
}

}  // namespace
}  // namespace corvantis
