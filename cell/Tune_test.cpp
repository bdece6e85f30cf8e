// corvantis-cell tune: the choice of the tolerance and what is said around it, then the
// built program on drawn cells, a backlit one where a check can tell good parts from bad
// and a grey tray where it cannot, and the page as a browser draws it.
#include "cell/Tune.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cell/Tuning.h"
#include "test/RunProgram.h"
#include "test/Scenes.h"
#include "test/TestPlatform.h"
#include "workspace/NumberText.h"

namespace corvantis {
namespace {

using test::RunResult;

// The printed recommendation for each gap, "" for none. The text, read as a check reads
// its tolerance, must lie strictly inside the gap and print as neither bound.
TEST(TuningTest, ToleranceIsARoundNumberInsideTheGapThatPrintsApartFromBoth) {
  const double inf = INFINITY;
  const struct {
    double maxGood, minBad;
    const char* printed;
  } cases[] = {
      {0.047, 0.094, "0.07"},         // the geometric mean, 0.066, rounded
      {0.073, 0.25, "0.1"},           // one digit still in the middle half of the gap
      {0.0, 0.5, "0.05"},             // good errors all 0: a margin of ten below the bad
      {0.2, inf, "2"},                // no bad error is a number: ten above the good
      {0.12345, 0.12347, "0.12346"},  // a narrow gap takes more digits
      {0.1234556, 0.123457, ""},      // 0.123456 would print as the good bound
      {0.1234561, 0.1234574, ""},     // no six-digit number prints apart from both
      {0.5, 0.5, ""},                 // a tolerance accepts an error equal to it
      {0.6, 0.5, ""},
  };
  for (const auto& c : cases) {
    const std::optional<double> t = recommendTolerance(c.maxGood, c.minBad);
    EXPECT_EQ(c.printed, t ? formatNumber(*t) : "") << c.maxGood << " " << c.minBad;
    if (!t) continue;
    const double read = parseTolerance(formatNumber(*t));
    EXPECT_TRUE(c.maxGood < read && read < c.minBad) << read;
  }
}

// A good capture rejected only because its angle turned whole is named, with the error
// it would have had. Each finding is told once with the captures it was raised on.
TEST(TuningTest, SnapOnlyFailuresAndAdviceAreNamed) {
  const FeatureVector reference = {900, 120, 4, 45.5, 20.25};
  const Advice speckle{"speckle", "Light the background until it clips."};
  std::vector<TunedCapture> good = {
      tunedCapture("g1.png", reference, {900, 121, 4, 45.6, 20.3}, {speckle}),
      tunedCapture("g2.png", reference, {900, 120, 4, 45.0, 20.25}, {})};
  std::vector<TunedCapture> bad = {
      tunedCapture("b1.png", reference, {700, 100, 3, 30.5, 20.25}, {speckle})};
  const Tuning t = tuneTolerance("ref.png", {speckle}, good, bad);
  EXPECT_FALSE(t.tolerance);
  std::string text;
  for (const std::string& line : tuningLines(t)) text += line + "\n";
  for (const char* said :
       {"good  g2.png   0.5        Angle\n", "Good errors: 0.0033056 to 0.5 (2 captures)\n",
        "Good captures at or above the smallest bad error: g2.png (0.5)\n",
        "g2.png fails only through a snap of Angle to a whole number: without it its error is 0,",
        "Advice on the reference ref.png:\n  speckle: Light",
        "  speckle (good g1.png, bad b1.png): Light the background until it clips.\n"})
    EXPECT_TRUE(test::holds(text, said));
  EXPECT_TRUE(test::holds(tuningJson(t),
                          "\"separable\": false, \"advice\": {\"reference\": "
                          "[{\"code\": \"speckle\""));
}

// On the page each capture's mark lies on the drawn axis, further right the larger its
// error, an error of 0 leftmost; the tolerance line stands between the good and the bad.
TEST(TuningTest, PagePlacesMarksOnTheAxisInTheOrderOfTheErrors) {
  std::vector<TunedCapture> good(3), bad(2);
  const double errors[] = {0, 0.002, 0.03, 0.2, 0.9};
  for (int i = 0; i < 5; ++i) {
    TunedCapture& c = i < 3 ? good[i] : bad[i - 3];
    c.file = "cap" + std::to_string(i) + ".png", c.error = c.unsnappedError = errors[i];
  }
  std::ostringstream page;
  writeTuningHtml(tuneTolerance("ref.png", {}, good, bad), page);
  const std::string html = page.str();
  std::smatch axis, tolerance;
  ASSERT_TRUE(
      std::regex_search(html, axis, std::regex(R"re(<line x1="(\d+)" y1="\d+" x2="(\d+)")re")));
  ASSERT_TRUE(
      std::regex_search(html, tolerance, std::regex(R"re(<line x1="([0-9.]+)"[^>]*#1f5fbf)re")));
  const std::regex mark(R"re((?:cx="|d="M)([0-9.]+)[" ][^>]*><title>cap(\d)\.png )re");
  std::vector<double> x(5, -1);
  for (std::sregex_iterator m(html.begin(), html.end(), mark), end; m != end; ++m)
    x[std::stoi((*m)[2])] = std::stod((*m)[1]);
  for (int i = 0; i < 5; ++i) {
    EXPECT_LE(std::stod(axis[1]), x[i]) << i;
    EXPECT_LE(x[i], std::stod(axis[2])) << i;
    if (i > 0) {
      EXPECT_LT(x[i - 1], x[i]) << i;
    }
  }
  EXPECT_TRUE(x[2] < std::stod(tolerance[1]) && std::stod(tolerance[1]) < x[3]) << html;
}

// A dark bracket off the image centre, on a backlight overexposed to pure white or on a
// grey tray lit from one side, as a colour camera with sensor noise of 4 grey levels sees it.
test::Scene part(double dx = 0, double dy = 0, double degrees = 0, double gain = 1) {
  test::Scene scene;
  scene.colour = true;
  scene.width = 321, scene.height = 241, scene.partSize = 0.6;
  scene.dx = 40 + dx, scene.dy = -25 + dy, scene.degrees = degrees, scene.gain = gain;
  return scene;
}

// A cell with the part's reference and captures of good and bad parts: the good ones
// moved a pixel or two or turned half a degree, the bad ones with a hole missing, absent,
// mirrored or turned over. The tray also has a good capture 10 % dimmer.
class TuneTest : public ::testing::Test {
 protected:
  std::vector<std::string> drawSet(bool backlit) {
    const std::string ext = backlit ? ".png" : ".bmp";
    unsigned seed = 1;
    const auto draw = [&](const std::string& relative, test::Scene scene) {
      scene.background = backlit ? test::Background::kBacklight : test::Background::kTray;
      scene.seed = seed++;
      const std::string path = cell_.file("robots/R1/" + relative + ext);
      EXPECT_TRUE(cv::imwrite(path, test::drawScene(scene)));
      return path;
    };
    std::vector<std::string> args = {"tune", draw("ref/part", part()), "--good"};
    std::vector<std::pair<std::string, test::Scene>> good = {{"right", part(2)},
                                                             {"up", part(0, -2)},
                                                             {"turned", part(-1, 1, 0.5)},
                                                             {"back", part(0, 0, -0.5)},
                                                             {"same", part()}};
    if (!backlit) good.push_back({"dimmer", part(0, 0, 0, 0.9)});
    for (const auto& [name, scene] : good) args.push_back(draw("cap/good-" + name, scene));
    args.push_back("--bad");
    test::Scene holeMissing = part(), absent = part(), mirrored = part();
    holeMissing.holeMissing = mirrored.mirrored = true;
    absent.part = test::Part::kNone;
    for (const auto& [name, scene] : {std::pair("hole-missing", holeMissing),
                                      {"absent", absent},
                                      {"mirrored", mirrored},
                                      {"turned-over", part(0, 0, 180)}})
      args.push_back(draw(std::string("cap/bad-") + name, scene));
    return args;
  }
  RunResult cellTool(const std::vector<std::string>& args) const {
    return cell_.run(args, {}, CORVANTIS_CELL_EXE);
  }
  // The errors of the JSON output, by file name.
  static std::vector<std::pair<std::string, double>> errors(const std::string& json) {
    std::vector<std::pair<std::string, double>> found;
    const std::regex entry(R"re(\{"file": "[^"]*/(good|bad)-([^"]+)", "error": ([^,]+),)re");
    for (std::sregex_iterator m(json.begin(), json.end(), entry), end; m != end; ++m)
      found.push_back({(*m)[1].str() + "-" + (*m)[2].str(), std::stod((*m)[3])});
    return found;
  }

  const test::TestCell cell_;
};

// The recommended tolerance, given to the check, accepts every good capture and rejects
// every bad one. Only the page is written.
TEST_F(TuneTest, BacklitSetSeparatesAndTheCheckDecidesAsTold) {
  std::vector<std::string> args = drawSet(true);
  const std::vector<std::string> before = test::filesBelow(cell_.file(""));
  const RunResult text = cellTool(args);
  ASSERT_EQ(0, text.status) << text.err;
  args.insert(args.end(), {"--json", "--html", cell_.file("tune.html")});
  const RunResult json = cellTool(args);
  ASSERT_EQ("0", std::to_string(json.status) + json.err);
  std::vector<std::string> after = test::filesBelow(cell_.file(""));
  after.erase(std::find(after.begin(), after.end(), "tune.html"));
  EXPECT_EQ(before, after);

  std::smatch tolerance;
  ASSERT_TRUE(std::regex_search(json.out, tolerance, std::regex(R"("tolerance": ([^,]+),)")))
      << json.out;
  const double t = std::stod(tolerance[1]);
  EXPECT_TRUE(test::holds(text.out, "Recommended tolerance: " + formatNumber(t) + "\n"));
  const auto found = errors(json.out);
  ASSERT_EQ(9u, found.size()) << json.out;
  for (const auto& [name, error] : found) {
    const bool good = name.rfind("good", 0) == 0;
    EXPECT_EQ(good, error < t) << name << " " << error;
    const std::string cap = cell_.file("robots/R1/cap/" + name);
    const RunResult check = cell_.run({"7", args[1], cap, formatNumber(t)});
    EXPECT_EQ(good ? "1" : "0", check.out) << name << check.err;
  }
}

// On the tray the object is the background's noise: the dimmer good capture scores worse
// than defects, and the output names the captures on the wrong side.
TEST_F(TuneTest, NoisyTraySetCannotBeSeparatedAndTheOverlapIsNamed) {
  std::vector<std::string> args = drawSet(false);
  const RunResult text = cellTool(args);
  ASSERT_EQ(0, text.status) << text.err;
  EXPECT_TRUE(test::holds(text.out, "Cannot separate: the largest good error "));
  EXPECT_TRUE(std::regex_search(text.out, std::regex("Good captures at or above the smallest "
                                                     "bad error: [^\n]*good-dimmer\\.bmp")))
      << text.out;
  EXPECT_TRUE(std::regex_search(text.out, std::regex("Bad captures at or below the largest "
                                                     "good error: [^\n]*bad-hole-missing\\.bmp")))
      << text.out;
  args.push_back("--json");
  const RunResult json = cellTool(args);
  const std::size_t at = json.out.find("\"separable\": false, \"advice\": {\"reference\": [");
  ASSERT_NE(std::string::npos, at) << json.out;
  // The reason given: the findings on the images, every one on the reference by its code,
  // or that the analysis has none.
  const bool advised = json.out.find("{\"code\": ") != std::string::npos;
  EXPECT_EQ(advised, text.out.find("\nAdvice on ") != std::string::npos) << text.out;
  EXPECT_EQ(!advised, text.out.find("\nNo advice on these images: ") != std::string::npos);
  const std::string reference = json.out.substr(at, json.out.find(']', at) - at);
  const std::regex code(R"re(\{"code": "([^"]+)")re");
  for (std::sregex_iterator m(reference.begin(), reference.end(), code), end; m != end; ++m)
    EXPECT_TRUE(test::holds(text.out, "\n  " + (*m)[1].str() + ": ")) << text.out;
}

// Wrong use answers 2, an unreadable image 1 naming it; stdout stays empty and no page
// is written.
TEST_F(TuneTest, WrongUseAndUnreadableImagesFailNamingTheReason) {
  const std::string ref = cell_.file("robots/R1/ref/part.png");
  ASSERT_TRUE(cv::imwrite(ref, test::drawScene(part())));
  std::vector<uchar> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", test::drawScene(part(1)), jpeg));
  const std::string half = cell_.file("robots/R1/cap/half.jpg");
  test::writeFile(half, std::string(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
  const std::string missing = cell_.file("robots/R1/cap/bad/cap 7.png"),
                    page = cell_.file("p.html");
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"tune", ref, "--good", ref}, "2corvantis-cell: tune: give at least one capture after"},
      {{"tune", "--good", ref, "--bad", ref}, "2corvantis-cell: tune: give exactly one reference"},
      {{"tune", ref, ref, "--good", ref, "--bad", ref}, "2corvantis-cell: tune: give exactly one"},
      {{"tune", ref, "--good", ref, "--bad", ref, "--jsn"},
       "2corvantis-cell: tune: unknown option --jsn"},
      {{"tune", ref, "--good", ref, "--bad", ref, "--html"}, "2corvantis-cell: tune: --html needs"},
      {{"tune", ref, "--good", ref, "--bad", missing, "--html", page},
       "1corvantis-cell: cannot read image " + missing + ": no such file"},
      {{"tune", ref, "--good", half, "--bad", ref},
       "1corvantis-cell: cannot read image " + half + ": the JPEG data is cut short"},
      {{"tune", ref, "--good", ref, "--bad", ref, "--html", cell_.file("no/p.html")},
       "1corvantis-cell: cannot write the page"},
  };
  for (const auto& [args, said] : cases) {
    const RunResult run = cellTool(args);
    EXPECT_EQ(0u, (std::to_string(run.status) + run.err).find(said)) << run.status << run.err;
    if (said.find("write") == std::string::npos) {
      EXPECT_EQ("", run.out) << said;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(page));
}

TEST_F(TuneTest, PageDrawsInAHeadlessBrowser) {
  std::vector<std::string> args = drawSet(true);
  const std::string page = cell_.file("tune.html"), shot = cell_.file("tune.png");
  args.insert(args.end(), {"--html", page});
  ASSERT_EQ(0, cellTool(args).status);
  const std::string html = test::readFile(page);
  EXPECT_EQ(std::string::npos, html.find("<script"));
  EXPECT_EQ(std::string::npos, html.find("src="));
  for (const char* tick : {">0.01</text>", ">0.05</text>", ">0.1</text>", ">1</text>"})
    EXPECT_TRUE(test::holds(html, tick));

  const RunResult run = test::drawPageInBrowser(page, shot, cell_.file("bin"));
  ASSERT_EQ(0, run.status) << "scripts/install-deps.sh --test installs chromium: " << run.err;
  const cv::Mat image = cv::imread(shot, cv::IMREAD_COLOR);
  ASSERT_FALSE(image.empty()) << run.err;
  // Text, the good captures in green, the bad in red and the tolerance in blue.
  cv::Mat dark, green, red, blue;
  cv::inRange(image, cv::Scalar(0, 0, 0), cv::Scalar(120, 120, 120), dark);
  cv::inRange(image, cv::Scalar(0, 100, 0), cv::Scalar(90, 180, 90), green);
  cv::inRange(image, cv::Scalar(0, 0, 170), cv::Scalar(90, 90, 255), red);
  cv::inRange(image, cv::Scalar(150, 60, 0), cv::Scalar(255, 130, 80), blue);
  EXPECT_GT(cv::countNonZero(dark), 2000);
  EXPECT_GT(cv::countNonZero(green), 40);
  EXPECT_GT(cv::countNonZero(red), 40);
  EXPECT_GT(cv::countNonZero(blue), 100);
}

// A capture the system fails to read and a page the disk has no room for are each told
// in the system's words.
TEST_F(TuneTest, FilesTheSystemFailsOnAreToldWithItsReason) {
  std::vector<std::string> args = drawSet(true);
  args.erase(args.begin());  // the words after "tune"
  const std::string page = cell_.file("p.html");
  args.insert(args.end(), {"--html", page});
  test::TestPlatform unreadable, full;
  unreadable.failReadsAfter(0, "good-up", "Input/output error");
  full.failOn("writeFile", "p.html", "No space left on device");
  std::ostringstream out, err;
  EXPECT_EQ(1, runTune(args, out, err, unreadable));
  EXPECT_EQ("corvantis-cell: cannot read image " + cell_.file("robots/R1/cap/good-up.png") +
                ": Input/output error\n",
            err.str());
  err.str("");
  EXPECT_EQ(1, runTune(args, out, err, full));
  EXPECT_EQ("corvantis-cell: cannot write the page " + page + ": No space left on device\n",
            err.str());
  EXPECT_FALSE(std::filesystem::exists(page));
}

}  // namespace
}  // namespace corvantis
