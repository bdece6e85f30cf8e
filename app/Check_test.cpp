// End-to-end runs of the built program in temporary cells: the command-line contract,
// cells where files cannot be written, and the sample cell's photographs against a hand
// computation.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/fanotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::ChildEnv;
using test::crLfLines;
using test::programUnderTest;
using test::readFile;
using test::runProgram;
using test::RunResult;

// A dark part on a tray lit unevenly, offset by (dx, dy) from the middle. Offsets of
// 30 and more also turn the tray, so that the light falls from the other side: the
// object then lies elsewhere and the check rejects.
cv::Mat partImage(int dx, int dy) {
  cv::Mat image(120, 160, CV_8U);
  for (int r = 0; r < image.rows; ++r) {
    for (int c = 0; c < image.cols; ++c)
      image.at<uchar>(r, c) = cv::saturate_cast<uchar>(150 + c / 2 + r / 3);
  }
  cv::rectangle(image, cv::Rect(40 + dx, 30 + dy, 60, 40), cv::Scalar(30), cv::FILLED);
  cv::circle(image, cv::Point(60 + dx, 50 + dy), 8, cv::Scalar(200), cv::FILLED);
  if (dx >= 30) cv::flip(image, image, -1);
  return image;
}

void setFileTime(const std::string& path, long seconds) {
  const utimbuf times{seconds, seconds};
  ASSERT_EQ(0, utime(path.c_str(), &times)) << path;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin", "var/tmp"})
      fs::create_directories(cell_.path() / dir);
  }

  std::string cell(const std::string& relative) const { return cell_.file(relative); }
  std::string ref() const { return cell("robots/R1/ref/part.png"); }
  std::string cap() const { return cell("robots/R1/cap/cap_0001.png"); }
  std::string journal() const { return readFile(cell("robots/R1/debug/corvantis.log")); }
  std::string store() const { return readFile(cell("robots/R1/corvantis.dat")); }

  void draw(const std::string& path, int dx, int dy) {
    ASSERT_TRUE(cv::imwrite(path, partImage(dx, dy))) << path;
  }
  // The reference in the middle, the capture offset by (dx, dy).
  void drawBoth(int dx = 0, int dy = 0) {
    draw(ref(), 0, 0);
    draw(cap(), dx, dy);
  }
  RunResult check(const std::string& reference, const std::string& current,
                  const std::string& tolerance = "0.1") {
    return runProgram(programUnderTest(), {"12", reference, current, tolerance}, cell("bin"));
  }

  test::TempDir cell_;
};

// A reference rewritten later, or replaced by an older copy (cp -p, a restore from a
// backup), is another file: it is analysed again and its record replaced in place. A
// reference that is gone is no other file: its record serves on.
TEST_F(CheckTest, ReferenceWithAnotherTimeIsRecomputedInPlace) {
  drawBoth(30, 20);
  setFileTime(ref(), 1700000000);
  test::writeFile(cell("robots/R1/corvantis.dat"), "; cell R1\r\nother.png,5,1,2,3,4.5,6.5\r\n");
  ASSERT_EQ("0", check(ref(), cap()).out);

  const struct {
    int dx, dy;
    long time;
    const char* verdict;
  } replacements[] = {{30, 20, 1700000100, "1"}, {0, 0, 1600000000, "0"}};
  for (const auto& r : replacements) {
    draw(ref(), r.dx, r.dy);
    setFileTime(ref(), r.time);
    const RunResult run = check(ref(), cap());
    EXPECT_EQ(r.verdict, run.out) << r.time << ": " << run.err;
    const auto records = crLfLines(store());
    ASSERT_EQ(2u, records.size()) << store();  // the short comment line is dropped
    EXPECT_EQ("other.png,5,1,2,3,4.5,6.5", records[0]);
    EXPECT_TRUE(std::regex_match(records[1], std::regex("part\\.png," + std::to_string(r.time) +
                                                        R"((,\d+){3}(,[0-9.]+){2})")))
        << records[1];
  }
  EXPECT_TRUE(fs::is_empty(cell("var/tmp")));

  const std::string stored = store();
  fs::remove(ref());
  EXPECT_EQ("0", check(ref(), cap()).out);
  EXPECT_EQ(stored, store());
  const auto journalLines = crLfLines(journal());
  ASSERT_EQ(4u, journalLines.size());
  EXPECT_TRUE(std::regex_match(
      journalLines[1],
      std::regex(R"(\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] - Step: 12, )"
                 R"(Image: cap_0001.png, Status: accepted, Image error: 0, Tolerance: 0.1)")))
      << journalLines[1];
}

// The reference is rewritten as the check opens it to read its pixels: its record keeps
// the time from before, so the next check analyses the new file. The check is held at
// its first open of the reference (a fanotify permission event) while the file changes.
TEST_F(CheckTest, ReferenceRewrittenWhileItIsReadKeepsTheTimeFromBefore) {
  drawBoth();
  setFileTime(ref(), 1700000000);
  const int watch = fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY);
  if (watch < 0 || fanotify_mark(watch, FAN_MARK_ADD, FAN_OPEN_PERM, AT_FDCWD, ref().c_str()) != 0)
    GTEST_SKIP() << "fanotify permission events need CAP_SYS_ADMIN";

  ChildEnv inBin;
  inBin.cwd = cell("bin");
  test::Child child(programUnderTest(), {"12", ref(), cap(), "0.1"}, inBin);
  int opens = 0;
  while (!child.waitFor(std::chrono::milliseconds(0))) {
    pollfd ready{watch, POLLIN, 0};
    if (poll(&ready, 1, 20) <= 0) continue;
    alignas(fanotify_event_metadata) char buffer[4096];
    const ssize_t length = read(watch, buffer, sizeof buffer);
    auto* event = reinterpret_cast<fanotify_event_metadata*>(buffer);
    for (ssize_t left = length; FAN_EVENT_OK(event, left); event = FAN_EVENT_NEXT(event, left)) {
      if (opens++ == 0) setFileTime(ref(), 1700000100);
      const fanotify_response allow{event->fd, FAN_ALLOW};
      EXPECT_EQ(static_cast<ssize_t>(sizeof allow), write(watch, &allow, sizeof allow));
      close(event->fd);
    }
  }
  close(watch);
  EXPECT_EQ(0, child.result().status) << child.result().err;
  EXPECT_GT(opens, 0);
  EXPECT_EQ(0u, store().rfind("part.png,1700000000,", 0)) << store();
}

// A controller that writes "0,5" gets 0: the rule stands, but the reason is told.
TEST_F(CheckTest, ToleranceTextIsReadLikeAtofAndOddTextIsTold) {
  drawBoth();
  const RunResult odd = check(ref(), cap(), "0.05abc");
  EXPECT_EQ("1", odd.out);
  EXPECT_TRUE(contains(odd.err, "\"0.05abc\" is not a plain number; read as 0.05\n")) << odd.err;
  const RunResult rejected = check(ref(), cap(), "-1");
  EXPECT_EQ(0, rejected.status);  // a rejection is a verdict, not a failure
  EXPECT_EQ("0", rejected.out);
  EXPECT_EQ("", rejected.err);
  const auto journalLines = crLfLines(journal());
  ASSERT_EQ(2u, journalLines.size());
  EXPECT_TRUE(contains(journalLines[0], "Status: accepted, Image error: 0, Tolerance: 0.05"));
  EXPECT_TRUE(contains(journalLines[1], "Status: rejected, Image error: 0, Tolerance: -1"));
}

// Only the exact words answer; with a path in front, "--help" is an image to view.
TEST_F(CheckTest, HelpAndVersionAloneAnswerOnStdoutAndWrongUseFailsWithoutEffects) {
  draw(ref(), 0, 0);
  const struct {
    std::vector<std::string> args;
    int status;
    const char* said;  // where stdout begins
    const char* told;  // within stderr
  } cases[] = {{{"--help"}, 0, "usage: corvantis <step>", ""},
               {{"-h"}, 0, "usage: corvantis <step>", ""},
               {{"--version"}, 0, "corvantis " CORVANTIS_VERSION "\n", ""},
               {{"./--help"}, 1, "", "cannot read image ./--help"},
               {{}, 1, "", "usage"},
               {{"1", ref(), ref()}, 1, "", "usage"},
               {{"1", ref(), ref(), "0.1", "x"}, 1, "", "usage"}};
  for (const auto& c : cases) {
    const RunResult run = runProgram(programUnderTest(), c.args, cell("bin"));
    const std::string what = std::to_string(c.args.size()) + " argument(s): " + run.out + run.err;
    EXPECT_EQ(c.status, run.status) << what;
    EXPECT_EQ(0u, run.out.find(c.said)) << what;
    EXPECT_EQ(c.said[0] == '\0', run.out.empty()) << what;
    EXPECT_TRUE(contains(run.err, c.told)) << what;
    EXPECT_EQ(c.told[0] == '\0', run.err.empty()) << what;
  }
  EXPECT_FALSE(fs::exists(cell("robots/R1/corvantis.dat")));
  EXPECT_FALSE(fs::exists(cell("robots/R1/debug/corvantis.log")));
  EXPECT_FALSE(fs::exists(cell("bin/corvantis.dat")));
}

TEST_F(CheckTest, UnreadableImagesEndWithStatusOneAndNothingJournalled) {
  draw(ref(), 0, 0);
  // The part as a camera writes it, a JPEG of a noisy colour frame, cut short.
  cv::Mat colour, noise(120, 160, CV_8UC3);
  cv::cvtColor(partImage(0, 0), colour, cv::COLOR_GRAY2BGR);
  cv::randu(noise, 0, 40);
  std::vector<uchar> jpeg;
  ASSERT_TRUE(cv::imencode(".jpg", colour + noise, jpeg));
  const std::string half = cell("robots/R1/cap/half-written.jpg");
  test::writeFile(half, std::string(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
  for (const bool asCurrent : {true, false}) {
    const RunResult run = asCurrent ? check(ref(), half) : check(half, ref());
    EXPECT_EQ(1, run.status) << "as current " << asCurrent;
    EXPECT_EQ("", run.out);
    EXPECT_TRUE(contains(run.err, half + ": the JPEG data is cut short")) << run.err;
  }
  // Neither a directory nor a pipe without a writer holds an image; reading the pipe
  // would wait for ever.
  ASSERT_EQ(0, mkfifo(cell("robots/R1/cap/pipe.png").c_str(), 0644));
  for (const char* path : {"robots/R1/cap", "robots/R1/cap/pipe.png"}) {
    const RunResult run = check(ref(), cell(path));
    EXPECT_EQ(1, run.status) << path;
    EXPECT_EQ("", run.out) << path;
  }
  EXPECT_EQ("", journal());
  EXPECT_EQ("", store());  // the store is created, but nothing was ever written to it
}

// Run from the cell's own directory, the reference path begins with the robots folder.
TEST_F(CheckTest, RelativePathFindsItsCell) {
  drawBoth();
  const RunResult run = runProgram(
      programUnderTest(), {"12", "robots/R1/ref/part.png", "robots/R1/cap/cap_0001.png", "0.1"},
      cell_.path().string());
  EXPECT_EQ("1", run.out) << run.err;
  EXPECT_EQ(1u, crLfLines(journal()).size());
  EXPECT_EQ(1u, crLfLines(store()).size());
  EXPECT_FALSE(fs::exists(cell("corvantis.dat")));
}

// Cells where files cannot be written: the check still gives its verdict, the store is
// never lost or cut, and stderr says what was not written.
struct FailureCase {
  const char* name;
  void (*breakCell)(const fs::path& cell);
  ChildEnv options;
  bool written;                   // store and journal updated; else each stays byte for byte
  std::vector<const char*> told;  // each appears on stderr; none: stderr stays empty
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

const FailureCase kCases[] = {
    // Below the store's size, and just above the journal's: a journal line cut at the
    // limit would be a torn line. SIGXFSZ has its default action, as in a cell.
    {"FileSizeLimit",
     [](const fs::path&) {},
     ChildEnv{"", {}, {}, 1100, false},
     false,
     {"store", "not updated", "journal line not written", "File too large"}},
    // As the user nobody when run as root, since root writes into read-only directories.
    {"ReadOnlyBaseDirectory",
     [](const fs::path& cell) {
       for (const char* dir : {"bin", "var/tmp"}) fs::permissions(cell / dir, fs::perms(0777));
       for (const char* dir : {"robots/R1/debug", "robots/R1"})
         fs::permissions(cell / dir, fs::perms(0555));
     },
     ChildEnv{"", {}, {}, -1, true},
     false,
     {"store not opened", "journal line not written"}},
    {"MissingTemporaryDirectory",
     [](const fs::path& cell) { fs::remove_all(cell / "var"); },
     ChildEnv(),
     true,
     {}},
};

class CheckFailureTest : public CheckTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CheckFailureTest, VerdictIsGivenAndTheStoreIsNeverLostOrCut) {
  const FailureCase& c = GetParam();
  drawBoth();
  setFileTime(ref(), 1700000000);
  // Other parts' records, and one of part.png older than the image, so that the check
  // computes and stores it again.
  std::string storeBefore = "; parts of cell R1\r\n";
  for (int n = 0; n < 40; ++n)
    storeBefore += "part" + std::to_string(n) + ".png,1600000000,1000,200,4,45.123456789,12.5\r\n";
  const std::string kept = storeBefore;
  storeBefore += "part.png,1,1,1,1,1.5,1.5\r\n";
  std::string journalBefore;
  for (int n = 0; n < 31; ++n)
    journalBefore += "[01/01/2026 00:00:00] - Step: " + std::to_string(n) + "\r\n";
  test::writeFile(cell("robots/R1/corvantis.dat"), storeBefore);
  test::writeFile(cell("robots/R1/debug/corvantis.log"), journalBefore);
  // The limit lies below the store's size, and a verdict line does not fit below it.
  ASSERT_GT(storeBefore.size(), 1100u);
  ASSERT_GT(journalBefore.size() + 60, 1100u);
  c.breakCell(cell_.path());

  // The user nobody may not reach the build directory (below /root, say): that run
  // gets a copy of the program in the cell, which needs no plugin for PNG files.
  std::string program = programUnderTest();
  if (c.options.unprivileged) {
    program = cell("corvantis");
    fs::copy_file(programUnderTest(), program);
    fs::permissions(cell_.path(), fs::perms(0755));
    fs::permissions(program, fs::perms(0755));
  }
  const RunResult run = runProgram(program, {"12", ref(), cap(), "0.1"}, cell("bin"), c.options);
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("1", run.out) << run.err;
  for (const char* told : c.told) EXPECT_TRUE(contains(run.err, told)) << run.err;
  if (c.told.empty()) {
    EXPECT_EQ("", run.err);
  }

  if (c.written) {
    EXPECT_EQ(0u, store().find(kept + "part.png,1700000000,")) << store();
    EXPECT_EQ(0u, journal().find(journalBefore));
    EXPECT_TRUE(contains(journal().substr(journalBefore.size()), "Status: accepted"));
  } else {
    EXPECT_EQ(storeBefore, store());
    EXPECT_EQ(journalBefore, journal());
  }
  // A store write that failed, or was cut short, removed its temporary file.
  for (const char* dir : {"var/tmp", "robots/R1"}) {
    if (!fs::exists(cell(dir))) continue;
    for (const auto& entry : fs::directory_iterator(cell(dir)))
      EXPECT_FALSE(contains(entry.path().filename().string(), ".tmp")) << entry.path();
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, CheckFailureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
  double sumY = 0, sumX = 0;
  for (int r = 0; r < border.rows; ++r) {
    for (int c = 0; c < border.cols; ++c) {
      if (!border.at<uchar>(r, c)) continue;
      sumY += object.rows / 2 - r;
      sumX += c - object.cols / 2;
    }
  }
  const double n = cv::countNonZero(border);
  std::vector<cv::Point2f> corners;
  cv::goodFeaturesToTrack(object, corners, 500, 0.005, 7.0, cv::noArray(), 5, true, 0.1);
  double angle = std::atan2(sumY / n, sumX / n) * 57.295;
  if (angle < 0) angle += 360;
  return {static_cast<double>(cv::countNonZero(object)), n, static_cast<double>(corners.size()),
          angle, std::hypot(sumY / n, sumX / n)};
}

TEST(PhotographTest, StoredSignaturesMatchAHandComputation) {
  test::TempDir dir;
  const fs::path cell = dir.path() / "cell";
  fs::copy(fs::path(CORVANTIS_SOURCE_DIR) / "examples/cell", cell, fs::copy_options::recursive);
  fs::remove(cell / "robots/R1/corvantis.dat");
  const std::string capDir = (cell / "robots/R1/cap/").string();
  const std::string bin = (cell / "bin").string();

  // Each photograph serves once as the reference, so its signature lands in the store.
  for (const char* name : {"cap_0001.png", "cap_0002.png"}) {
    const auto run = runProgram(programUnderTest(), {"1", capDir + name, capDir + name, "0"}, bin);
    ASSERT_EQ("1", run.out) << run.err;
  }
  const std::string part = (cell / "robots/R1/ref/part.png").string();
  const auto run = runProgram(programUnderTest(), {"1", part, capDir + "cap_0001.png", "0.1"}, bin);
  ASSERT_EQ("1", run.out) << run.err;

  const auto records = crLfLines(readFile((cell / "robots/R1/corvantis.dat").string()));
  ASSERT_EQ(3u, records.size());
  for (const std::string& record : records) {
    std::istringstream fields(record);
    std::string name, field;
    std::getline(fields, name, ',');
    std::getline(fields, field, ',');  // the file's time
    const auto expected = handComputation(name == "part.png" ? part : capDir + name);
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_TRUE(std::getline(fields, field, ',')) << record;
      EXPECT_NEAR(expected[i], std::stod(field), i < 3 ? 0 : 1e-9) << name << " entry " << i;
    }
  }
}

}  // namespace
}  // namespace corvantis
