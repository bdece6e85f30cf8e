// End-to-end runs of the built programs in temporary cells: the command-line contract,
// a cell where files cannot be written, the values log and the reject archive with the
// report that reads them, explain and forget beside the check, and the sample cell's
// photographs against a hand computation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cell/Report.h"
#include "test/RunProgram.h"
#include "workspace/JournalLine.h"
#include "workspace/StoreRecord.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::ChildEnv;
using test::RunResult;

// A copy of the sample cell, whose part the capture cap_0001.png shows within 0.1.
class CheckTest : public ::testing::Test {
 protected:
  const test::TestCell cell_{CORVANTIS_SOURCE_DIR "/examples/cell"};
  const std::string ref_ = cell_.file("robots/R1/ref/part.png");
  const std::string cap_ = cell_.file("robots/R1/cap/cap_0001.png");
  const std::vector<std::string> check_ = {"12", ref_, cap_, "0.1"};
};
using CellDiagnosticsTest = CheckTest;
using ExplainTest = CheckTest;
using Case = std::pair<std::vector<std::string>, std::string>;  // arguments, what is said

// A reference rewritten later, or replaced by an older copy (cp -p, a restore from a
// backup), is another file: it is analysed again and its record replaced in place. A
// reference that is gone is no other file: its record serves on.
TEST_F(CheckTest, ReferenceWithAnotherTimeIsRecomputedInPlace) {
  const std::string blank = cell_.file("blank.png");  // no object: rejected against any part
  ASSERT_TRUE(cv::imwrite(blank, cv::Mat(40, 60, CV_8U, cv::Scalar(128))));
  fs::copy_file(blank, ref_, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(test::setFileTime(ref_, 1700000000));
  test::writeFile(cell_.file("robots/R1/corvantis.dat"), "; R1\r\nother.png,5,1,2,3,4.5,6.5\r\n");
  ASSERT_EQ("0", cell_.run(check_).out);
  for (const auto& [image, time, verdict] :
       {std::tuple(cap_, 1700000100L, "1"), std::tuple(blank, 1600000000L, "0")}) {
    fs::copy_file(image, ref_, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(test::setFileTime(ref_, time));
    EXPECT_EQ(verdict, cell_.run(check_).out) << time;
    // The short comment line is dropped.
    EXPECT_TRUE(std::regex_match(cell_.store(),
                                 std::regex("other\\.png,5,1,2,3,4\\.5,6\\.5\r\nref/part\\.png," +
                                            std::to_string(time) + R"((,-?[0-9.]+){5}\r\n)")))
        << cell_.store();
  }

  const std::string stored = cell_.store();
  fs::remove(ref_);
  EXPECT_EQ("0", cell_.run(check_).out);
  EXPECT_EQ(stored, cell_.store());
}

// The reference is rewritten as the check opens it to read its pixels: its record keeps
// the time from before, so the next check analyses the new file. The check is held at
// its first open of the reference (a fanotify permission event) while the file changes.
TEST_F(CheckTest, ReferenceRewrittenWhileItIsReadKeepsTheTimeFromBefore) {
  ASSERT_TRUE(test::setFileTime(ref_, 1700000000));
  const int watch = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
  if (watch < 0 || fanotify_mark(watch, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, ref_.c_str()) != 0)
    GTEST_SKIP() << "fanotify permission events need CAP_SYS_ADMIN";

  test::Child child(test::programUnderTest(), check_, ChildEnv{cell_.file("bin")});
  int opens = 0;
  while (!child.waitFor(std::chrono::milliseconds(0))) {
    pollfd ready{watch, POLLIN, 0};
    if (poll(&ready, 1, 20) <= 0) continue;
    alignas(fanotify_event_metadata) char buffer[4096];
    const ssize_t length = read(watch, buffer, sizeof buffer);
    auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
    for (ssize_t left = length; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
      if (opens++ == 0) {
        EXPECT_TRUE(test::setFileTime(ref_, 1700000100));
      }
      const fanotify_response allow{event->fd, FAN_ALLOW};
      EXPECT_EQ(static_cast<ssize_t>(sizeof allow), write(watch, &allow, sizeof allow));
      close(event->fd);
    }
  }
  close(watch);
  EXPECT_EQ(0, child.result().status) << child.result().err;
  EXPECT_GT(opens, 0);
  EXPECT_EQ(0u, cell_.store().rfind("ref/part.png,1700000000,", 0)) << cell_.store();
}

// Only the exact words answer. A controller that writes "0,5" gets 0: the rule stands,
// but the reason is told.
TEST_F(CheckTest, HelpAndVersionAloneAnswerOnStdoutAndOddToleranceTextIsTold) {
  for (const auto& [args, said] :
       {Case{{"--help"}, "usage: corvantis <step>"}, Case{{"-h"}, "usage: corvantis <step>"},
        Case{{"--version"}, "corvantis " CORVANTIS_VERSION "\n"}}) {
    const RunResult run = cell_.run(args);  // status, the beginning of stdout, no stderr
    EXPECT_EQ("0" + said, std::to_string(run.status) + run.out.substr(0, said.size()) + run.err);
  }
  const RunResult odd = cell_.run({"12", cap_, cap_, "0.05abc"});
  EXPECT_EQ("1", odd.out);
  EXPECT_TRUE(test::holds(odd.err, "\"0.05abc\" is not a plain number; read as 0.05\n"));
  EXPECT_EQ(
      "] - Step: 12, Image: cap_0001.png, Status: accepted, Image error: 0, Tolerance: 0.05\r\n",
      cell_.journal().substr(20));  // after the time
}

// With a path in front, "--help" is an image to view. A photograph as the camera writes
// it, a JPEG cut short; a pipe without a writer holds no image (reading it would wait
// for ever).
TEST_F(CheckTest, WrongUseAndUnreadableImagesFailWithoutEffects) {
  std::vector<uchar> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", cv::imread(cap_, cv::IMREAD_COLOR), jpeg));
  const std::string half = cell_.file("robots/R1/cap/half-written.jpg");
  test::writeFile(half, std::string(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
  const std::string pipe = cell_.file("robots/R1/cap/pipe.png");
  ASSERT_EQ(0, mkfifo(pipe.c_str(), 0644));
  const std::string cutShort = half + ": the JPEG data is cut short";
  for (const auto& [args, told] :
       {Case{{"./--help"}, "cannot read image ./--help"}, Case{{}, "usage"},
        Case{{"1", ref_, ref_}, "usage"}, Case{{"1", ref_, ref_, "0.1", "x"}, "usage"},
        Case{{"1", ref_, half, "0.1"}, cutShort}, Case{{"1", half, ref_, "0.1"}, cutShort},
        Case{{"1", ref_, pipe, "0.1"}, ""}}) {
    const RunResult run = cell_.run(args);
    EXPECT_EQ("1", std::to_string(run.status) + run.out) << args.size() << " argument(s)";
    EXPECT_TRUE(test::holds(run.err, told));
  }
  // The store is opened, but nothing is ever written to it.
  EXPECT_EQ("", cell_.store() + cell_.journal());
  EXPECT_FALSE(fs::exists(cell_.file("bin/corvantis.dat")));
}

// The limit lies below the store's size, and just above the journal's: a journal line
// cut at the limit would be a torn line. The child keeps SIGXFSZ at its default, as in a
// cell. The verdict is given, the store is never lost or cut, and stderr says what was
// not written.
TEST_F(CheckTest, FileSizeLimitKeepsTheStoreAndTheJournalWholeAndTheVerdictStands) {
  ASSERT_TRUE(test::setFileTime(ref_, 1700000000));
  // Other parts' records, and one of part.png older than the image, so that the check
  // computes and stores it again.
  std::string store = "; parts of cell R1\r\n", journal;
  for (int n = 0; n < 40; ++n)
    store += "part" + std::to_string(n) + ".png,1600000000,1000,200,4,45.123456789,12.5\r\n";
  store += "part.png,1,1,1,1,1.5,1.5\r\n";
  for (int n = 0; n < 31; ++n)
    journal += "[01/01/2026 00:00:00] - Step: " + std::to_string(n) + "\r\n";
  test::writeFile(cell_.file("robots/R1/corvantis.dat"), store);
  test::writeFile(cell_.file("robots/R1/debug/corvantis.log"), journal);

  const RunResult run = cell_.run(check_, ChildEnv{"", {}, {}, 1100});
  EXPECT_EQ("01", std::to_string(run.status) + run.out) << run.err;  // status 0, verdict 1
  for (const char* told : {"store", "not updated", "journal line not written", "File too large"})
    EXPECT_TRUE(test::holds(run.err, told));
  EXPECT_EQ(store + journal, cell_.store() + cell_.journal());
  // The store write cut short removed its temporary file.
  EXPECT_EQ(std::vector<std::string>{}, test::fileNamesIn(cell_.file("var/tmp")));
}

// Names with commas and blanks, as operators give them; the moved part is out of its
// capture altogether. Only rejected captures are archived, as copies: the camera writing
// its next capture over the file leaves the archived one as the check saw it.
TEST_F(CellDiagnosticsTest, ValuesLogAndRejectArchiveTakeTheirChecksAndTheReportReadsThem) {
  const std::string cap = cell_.file("robots/R1/cap/cap 1,a.png");
  const std::string moved = cell_.file("robots/R1/cap/moved part.png");
  const std::string valuesLog = cell_.file("robots/R1/debug/corvantis.csv");
  fs::copy_file(cap_, cap);
  ASSERT_TRUE(cv::imwrite(moved, cv::Mat(40, 60, CV_8U, cv::Scalar(128))));
  const std::string rejects = cell_.file("robots/R1/debug/rejects");
  fs::create_directories(rejects);
  test::writeFile(valuesLog, "");
  const RunResult accepted = cell_.run({"left, 2", ref_, cap, "0.1"});
  const RunResult rejected = cell_.run({"left, 2", ref_, moved, "0.1"});
  EXPECT_EQ(0, accepted.status + rejected.status);
  EXPECT_EQ("10", accepted.out + rejected.out + test::withoutAdvice(accepted.err) + rejected.err);
  // Ten values, the error and the tolerance between the names and the verdict.
  EXPECT_TRUE(std::regex_match(
      test::readFile(valuesLog),
      std::regex(R"(time,step,reference,current,reference Area,[^\r]*\r\n)"
                 R"([^,]+,"left, 2",part\.png,"cap 1,a\.png",([^,]*,){12}accepted,[^\r]*\r\n)"
                 R"([^,]+,"left, 2",part\.png,moved part\.png,([^,]*,){12}rejected,[^\r]*\r\n)")))
      << test::readFile(valuesLog);
  const std::vector<std::string> names = test::fileNamesIn(rejects);
  ASSERT_EQ(1u, names.size());
  const std::string seen = test::readFile(moved);
  test::writeFile(moved, "next capture");
  EXPECT_EQ(seen, test::readFile(rejects + "/" + names[0])) << names[0];

  // The report counts both logged checks, and passes over a row that is none.
  std::ofstream(valuesLog, std::ios::app) << "not,a,row\r\n";
  const RunResult report = cell_.run({"report", cell_.file("robots/R1")}, {}, CORVANTIS_CELL_EXE);
  EXPECT_EQ(0, report.status) << report.err;
  for (const char* said : {"Values log: 1 file(s), 2 row(s), 1 other row(s) skipped",
                           "checks 2, accepted 1, rejected 1", "errors from a snap: 1 of 2 logged"})
    EXPECT_TRUE(test::holds(report.out, said));
}

// Without a tolerance there is no verdict, and the sheet is the only file written. Once
// the record is forgotten, the next check computes and stores it again. Mistyped paths
// fail, each message naming what is missing.
TEST_F(ExplainTest, AgreesWithTheJournalAndTheStoreOfACheckAndForgetMakesItComputeAgain) {
  const auto cellTool = [&](const std::vector<std::string>& args) {
    return cell_.run(args, {}, CORVANTIS_CELL_EXE);
  };
  const std::string sheetPath = cell_.file("bin/explain.png");
  const std::string cap2 = cell_.file("robots/R1/cap/cap_0002.png");
  const RunResult sheeted = cellTool({"explain", "--sheet", sheetPath, ref_, cap2});
  EXPECT_EQ(0, sheeted.status) << sheeted.err;
  EXPECT_TRUE(test::holds(sheeted.out, "Image error: "));
  EXPECT_FALSE(test::holds(sheeted.out, "Status"));
  EXPECT_EQ(CV_8UC3, cv::imread(sheetPath, cv::IMREAD_UNCHANGED).type());
  for (const char* file : {"robots/R1/corvantis.dat", "robots/R1/debug/corvantis.log"})
    EXPECT_FALSE(fs::exists(cell_.file(file))) << file;

  for (const std::string& cap : {cap_, cap2}) {
    SCOPED_TRACE(cap);
    const RunResult verdict = cell_.run({"7", ref_, cap, "0.1"});
    ASSERT_EQ(0, verdict.status) << verdict.err;
    const std::string journal = cell_.journal();  // its last line: "Image error: e, Tolerance: 0.1"
    const std::string error = journal.substr(journal.rfind("Image error: "));
    const std::string status = verdict.out == "1" ? "accepted" : "rejected";
    EXPECT_TRUE(
        test::holds(cellTool({"explain", ref_, cap, "0.1"}).out,
                    error.substr(0, error.find(',')) + "\nTolerance: 0.1, Status: " + status));

    // The reference values are the very numbers the check stored after name and time.
    const std::string store = cell_.store();
    std::string stored = store.substr(store.find(',', store.find(',') + 1) + 1);
    stored = std::regex_replace(stored.substr(0, stored.size() - 2), std::regex(","), ", ");
    EXPECT_TRUE(test::holds(cellTool({"explain", ref_, cap, "0.1", "--json"}).out,
                            "\"reference\": [" + stored + "]"));
  }
  // Without var/tmp the store's temporary file goes beside the store.
  fs::remove_all(cell_.file("var"));
  const std::string taught = cell_.store();
  const RunResult forget = cellTool({"forget", cell_.file("robots/R1"), ref_});
  EXPECT_EQ("0", std::to_string(forget.status) + forget.err);
  EXPECT_EQ("", cell_.store());
  const RunResult again = cell_.run(check_);
  EXPECT_EQ("1", again.out + test::withoutAdvice(again.err));
  EXPECT_EQ(taught, cell_.store());
  // cap, debug, ref, the store and its lock: no temporary file is left.
  EXPECT_EQ(5u, test::fileNamesIn(cell_.file("robots/R1")).size());

  for (const auto& [args, told] :
       {Case{{"explain", ref_, cell_.file("robots/R1/cap/cap_0003.png")}, "cap_0003.png"},
        Case{{"explain", ref_, cap_, "--sheet", cell_.file("nowhere/s.png")}, "nowhere"}}) {
    const RunResult failed = cellTool(args);
    EXPECT_EQ(1, failed.status) << told;
    EXPECT_TRUE(test::holds(failed.err, told));
  }
}

// The sample cell's photographs against a hand computation of every step made by other
// means: the threshold from sorted grey levels, the border by erosion, the centroid from
// a mask.
std::vector<double> handComputation(const std::string& path) {
  cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
  cv::resize(image, image, cv::Size(image.cols | 1, image.rows | 1), 0, 0, cv::INTER_AREA);
  cv::equalizeHist(image, image);

  // The threshold is one below the grey level at which three quarters are reached.
  std::vector<uchar> levels(image.begin<uchar>(), image.end<uchar>());
  std::sort(levels.begin(), levels.end());
  const cv::Mat object = image <= std::max(0, levels[levels.size() * 3 / 4 - 1] - 1);

  // Border: object pixels that an erosion removes. The erosion's default border value
  // keeps the outside of the image from counting as background.
  cv::Mat inner;
  cv::erode(object, inner, cv::Mat::ones(3, 3, CV_8U));
  const cv::Mat border = object & ~inner;
  std::vector<cv::Point> points;
  cv::findNonZero(border, points);
  const cv::Scalar mean = cv::mean(points);
  const double y = object.rows / 2 - mean[1], x = mean[0] - object.cols / 2;
  std::vector<cv::Point2f> corners;
  cv::goodFeaturesToTrack(object, corners, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  const double angle = std::atan2(y, x) * 57.295;
  return {static_cast<double>(cv::countNonZero(object)), static_cast<double>(points.size()),
          static_cast<double>(corners.size()), angle < 0 ? angle + 360 : angle, std::hypot(y, x)};
}

// Each photograph serves once as the reference, so that its signature lands in the store.
TEST(PhotographTest, StoredSignaturesMatchAHandComputation) {
  const test::TestCell cell(CORVANTIS_SOURCE_DIR "/examples/cell");
  const std::string dir = cell.file("robots/R1/");
  for (const char* name : {"cap/cap_0001.png", "cap/cap_0002.png", "ref/part.png"})
    ASSERT_EQ("1", cell.run({"1", dir + name, dir + name, "0"}).out) << name;

  std::istringstream records(cell.store());
  int count = 0;
  for (std::string record; std::getline(records, record); ++count) {
    record.erase(record.find_last_not_of('\r') + 1);
    StoreRecord parsed;
    ASSERT_TRUE(parseRecord(record, &parsed)) << record;
    const std::string& name = parsed.key;  // the path below the cell's base directory
    const FeatureVector& stored = parsed.values;
    const auto expected = handComputation(dir + name);
    ASSERT_EQ(expected.size(), stored.size()) << record;
    for (std::size_t i = 0; i < expected.size(); ++i)
      EXPECT_NEAR(expected[i], stored[i], i < 3 ? 0 : 1e-9) << name << " entry " << i;
  }
  EXPECT_EQ(3, count);
}

// The report's page, with its log-scaled chart, draws in a headless browser.
TEST_F(CellDiagnosticsTest, ReportPageDrawsInAHeadlessBrowser) {
  std::string journal;
  for (int i = 0; i < 60; ++i) {
    const bool accepted = i % 20 != 7;
    const unsigned minute = 10 + static_cast<unsigned>(i % 50);
    journal += journalLine(LocalTime{2026, 12, 5, 7, minute, 0, 0},
                           composeVerdictLine("left, 2", "c" + std::to_string(i) + ".png", accepted,
                                              accepted ? (1 + i % 9) / 100.0 : 0.5, 0.1));
  }
  test::writeFile(cell_.file("robots/R1/debug/corvantis.log"), journal);
  const std::string page = cell_.file("report.html"), shot = cell_.file("report.png");
  std::ostringstream out, err;
  ASSERT_EQ(0, runReport({cell_.file("robots/R1"), "--html", page}, out, err)) << err.str();

  const RunResult run = test::drawPageInBrowser(page, shot, cell_.file("bin"));
  ASSERT_EQ(0, run.status) << "scripts/install-deps.sh --test installs chromium: " << run.err;
  const cv::Mat image = cv::imread(shot, cv::IMREAD_COLOR);
  ASSERT_FALSE(image.empty()) << run.err;
  // Text and chart are drawn, and the rejects stand out in red.
  cv::Mat dark, red;
  cv::inRange(image, cv::Scalar(0, 0, 0), cv::Scalar(120, 120, 120), dark);
  cv::inRange(image, cv::Scalar(0, 0, 170), cv::Scalar(90, 90, 255), red);
  EXPECT_GT(cv::countNonZero(dark), 2000);
  EXPECT_GT(cv::countNonZero(red), 20);
}

}  // namespace
}  // namespace corvantis
