// End-to-end runs that show image advice: the check tells the reference's once, when it
// analyses the reference, and logs both sides' codes; explain gives them in its text and
// its JSON; the view mode tells them and puts them on its sheet. Drawn scenes: a part on
// a grey tray (speckle), on a backlight (no advice), and an empty backlight (no object).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "test/RunProgram.h"
#include "test/Scenes.h"

namespace corvantis {
namespace {

using test::Background;
using test::Part;
using test::RunResult;

class AdviceShownTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Scene scene;
    scene.noise = 4;
    scene.colour = true;
    ASSERT_TRUE(cv::imwrite(backlit_, test::drawScene(scene)));
    scene.part = Part::kNone;
    ASSERT_TRUE(cv::imwrite(empty_, test::drawScene(scene)));
    scene.part = Part::kBracket;
    scene.background = Background::kTray;
    ASSERT_TRUE(cv::imwrite(tray_, test::drawScene(scene)));
    // A check stores no reference written in its own second; taught ones are older.
    for (const std::string& ref : {tray_, backlit_})
      std::filesystem::last_write_time(
          ref, std::filesystem::last_write_time(ref) - std::chrono::seconds(10));
  }
  RunResult cellTool(const std::vector<std::string>& args) const {
    return cell_.run(args, {}, CORVANTIS_CELL_EXE);
  }

  const test::TestCell cell_;
  const std::string tray_ = cell_.file("robots/R1/ref/tray.png");
  const std::string backlit_ = cell_.file("robots/R1/ref/backlit.png");
  const std::string empty_ = cell_.file("robots/R1/cap/empty.png");
  const std::string speckleSaid_ = "corvantis: advice on tray.png, speckle: The object is speckle";
};

TEST_F(AdviceShownTest, CheckTellsTheReferenceOnceAndLogsBothSides) {
  const std::string log = cell_.file("robots/R1/debug/corvantis.csv");
  test::writeFile(log, "");
  const RunResult first = cell_.run({"7", tray_, backlit_, "0.1"});
  const RunResult cached = cell_.run({"7", tray_, empty_, "0.1"});
  const RunResult clean = cell_.run({"8", backlit_, backlit_, "0.1"});
  EXPECT_EQ("0 0 1", first.out + " " + cached.out + " " + clean.out);
  EXPECT_EQ(0, first.status + cached.status + clean.status);
  EXPECT_EQ(speckleSaid_, first.err.substr(0, speckleSaid_.size()));
  EXPECT_EQ(1, std::count(first.err.begin(), first.err.end(), '\n')) << first.err;
  EXPECT_EQ("", cached.err + clean.err);

  const std::string rows = test::readFile(log);
  EXPECT_TRUE(test::holds(rows, ",snapped,advice\r\n"));
  EXPECT_TRUE(test::holds(rows, ",reference:speckle\r\n"));
  EXPECT_TRUE(test::holds(rows, ",current:no-object\r\n"));
  EXPECT_TRUE(test::holds(rows, "accepted,,\r\n"));  // no snap, no advice
}

TEST_F(AdviceShownTest, ExplainGivesItInTheTextAndTheJson) {
  const RunResult text = cellTool({"explain", tray_, empty_});
  EXPECT_EQ(0, text.status) << text.err;
  EXPECT_TRUE(test::holds(text.out, "\nAdvice on the reference, speckle: The object is"));
  EXPECT_TRUE(test::holds(text.out, "\nAdvice on the capture, no-object: There is no object"));

  const RunResult json = cellTool({"explain", tray_, backlit_, "--json"});
  EXPECT_TRUE(test::holds(json.out,
                          ", \"advice\": {\"reference\": [{\"code\": \"speckle\", "
                          "\"text\": \"The object is speckle"));
  EXPECT_TRUE(test::holds(json.out, "\"current\": []}}\n"));
  EXPECT_TRUE(test::holds(cellTool({"explain", backlit_, backlit_, "--json"}).out,
                          "\"advice\": {\"reference\": [], \"current\": []}}\n"));
}

TEST_F(AdviceShownTest, ViewTellsItOnStderrAndBelowTheStagesOfTheSheet) {
  const auto view = [&](const std::string& image) {
    return test::runProgram(test::programUnderTest(), {image}, cell_.file("bin"),
                            test::ChildEnv{"", {"DISPLAY", "WAYLAND_DISPLAY"}});
  };
  const RunResult speckled = view(tray_);
  const RunResult clean = view(backlit_);
  EXPECT_EQ(0, speckled.status + clean.status) << speckled.err << clean.err;
  EXPECT_EQ(5, std::count(speckled.out.begin(), speckled.out.end(), '\n')) << speckled.out;
  EXPECT_EQ(speckleSaid_, speckled.err.substr(0, speckleSaid_.size()));
  EXPECT_FALSE(test::holds(clean.err, "advice"));
  // The same size of image: the advice band alone makes one sheet taller.
  const cv::Mat speckledSheet = cv::imread(cell_.file("bin/tray.png.diagnostics.png"));
  const cv::Mat cleanSheet = cv::imread(cell_.file("bin/backlit.png.diagnostics.png"));
  ASSERT_FALSE(speckledSheet.empty() || cleanSheet.empty());
  EXPECT_EQ(cleanSheet.cols, speckledSheet.cols);
  EXPECT_GT(speckledSheet.rows, cleanSheet.rows);
}

}  // namespace
}  // namespace corvantis
