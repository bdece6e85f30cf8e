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
#include <functional>
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
using test::programUnderTest;
using test::readFile;
using test::runProgram;
using test::RunResult;
using test::writeFile;

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

// The part as a camera writes it: a JPEG of a noisy colour frame.
std::string colourJpeg() {
  cv::Mat colour, noise(120, 160, CV_8UC3);
  cv::cvtColor(partImage(0, 0), colour, cv::COLOR_GRAY2BGR);
  cv::randu(noise, 0, 40);
  std::vector<uchar> bytes;
  EXPECT_TRUE(cv::imencode(".jpg", colour + noise, bytes));
  return std::string(bytes.begin(), bytes.end());
}

void setFileTime(const std::string& path, long seconds) {
  const utimbuf times{seconds, seconds};
  ASSERT_EQ(0, utime(path.c_str(), &times)) << path;
}

// The lines of a text that ends in CR LF; none otherwise.
std::vector<std::string> lines(const std::string& text) { return test::crLfLines(text); }

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir :
         {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin", "var/tmp"}) {
      fs::create_directories(cell_.path() / dir);
    }
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
                  const std::string& tolerance = "0.1", const std::string& step = "12") {
    return runProgram(programUnderTest(), {step, reference, current, tolerance}, cell("bin"));
  }

  test::TempDir cell_;
};

TEST_F(CheckTest, FirstRunStoresTheReferenceAndJournalsTheVerdict) {
  drawBoth();
  setFileTime(ref(), 1700000000);

  const RunResult run = check(ref(), cap());
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("1", run.out);

  const auto journalLines = lines(journal());
  ASSERT_EQ(1u, journalLines.size());
  EXPECT_TRUE(std::regex_match(
      journalLines[0],
      std::regex(R"(\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] - Step: 12, Image: cap_0001.png, )"
                 R"(Status: accepted, Image error: 0, Tolerance: 0.1)")))
      << journalLines[0];

  const auto records = lines(store());
  ASSERT_EQ(1u, records.size());
  EXPECT_TRUE(std::regex_match(records[0],
                               std::regex(R"(part\.png,1700000000,\d+,\d+,\d+,[0-9.]+,[0-9.]+)")))
      << records[0];
}

TEST_F(CheckTest, CachedSignatureServesEvenAfterTheReferenceIsDeleted) {
  drawBoth();
  ASSERT_EQ("1", check(ref(), cap()).out);
  const std::string stored = store();
  fs::remove(ref());

  const RunResult run = check(ref(), cap());
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("1", run.out);
  EXPECT_EQ(stored, store());
  EXPECT_EQ(2u, lines(journal()).size());
}

// A reference rewritten later, or replaced by an older copy (cp -p, a restore from a
// backup), is another file: it is analysed again and its record replaced in place.
TEST_F(CheckTest, ReferenceWithAnotherTimeIsRecomputedInPlace) {
  drawBoth(30, 20);
  setFileTime(ref(), 1700000000);
  writeFile(cell("robots/R1/corvantis.dat"), "; cell R1\r\nother.png,5,1,2,3,4.5,6.5\r\n");
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
    const auto records = lines(store());
    ASSERT_EQ(2u, records.size()) << store();  // the short comment line is dropped
    EXPECT_EQ("other.png,5,1,2,3,4.5,6.5", records[0]);
    EXPECT_EQ(0u, records[1].rfind("part.png," + std::to_string(r.time) + ",", 0)) << records[1];
  }
  EXPECT_TRUE(fs::is_empty(cell("var/tmp")));
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

TEST_F(CheckTest, ToleranceTextIsReadLikeAtofAndOddTextIsTold) {
  drawBoth();
  const RunResult trailing = check(ref(), cap(), "0.05abc");
  EXPECT_EQ("1", trailing.out);
  EXPECT_NE(std::string::npos, trailing.err.find("\"0.05abc\" is not a plain number; read as 0.05"))
      << trailing.err;
  const RunResult comma = check(ref(), cap(), "0,5");  // reads as 0; the error is exactly 0
  EXPECT_EQ("1", comma.out);
  EXPECT_NE(std::string::npos, comma.err.find("\"0,5\" is not a plain number; read as 0\n"))
      << comma.err;
  const RunResult rejected = check(ref(), cap(), "-1");
  EXPECT_EQ(0, rejected.status);  // a rejection is a verdict, not a failure
  EXPECT_EQ("0", rejected.out);
  EXPECT_EQ("", rejected.err);
  const auto journalLines = lines(journal());
  ASSERT_EQ(3u, journalLines.size());
  EXPECT_NE(std::string::npos, journalLines[0].find(", Tolerance: 0.05"));
  const std::string zero = ", Tolerance: 0";
  EXPECT_EQ(journalLines[1].size() - zero.size(), journalLines[1].rfind(zero)) << journalLines[1];
  EXPECT_NE(std::string::npos, journalLines[2].find("Status: rejected"));
}

TEST_F(CheckTest, HelpAndVersionAloneAnswerOnStdout) {
  const struct {
    std::string arg;
    const char* said;
  } cases[] = {{"--help", "usage: corvantis <step>"},
               {"-h", "usage: corvantis <step>"},
               {"--version", "corvantis " CORVANTIS_VERSION "\n"}};
  for (const auto& c : cases) {
    const RunResult run = runProgram(programUnderTest(), {c.arg}, cell("bin"));
    EXPECT_EQ(0, run.status) << c.arg;
    EXPECT_EQ(0u, run.out.find(c.said)) << c.arg << ": " << run.out;
    EXPECT_EQ("", run.err) << c.arg;
  }
  // With a path in front, the same name is an image to view like any other.
  const RunResult view = runProgram(programUnderTest(), {"./--help"}, cell("bin"));
  EXPECT_EQ(1, view.status);
  EXPECT_NE(std::string::npos, view.err.find("cannot read image ./--help")) << view.err;
}

TEST_F(CheckTest, WrongArgumentCountsFailWithoutEffects) {
  draw(ref(), 0, 0);
  const std::vector<std::vector<std::string>> argLists = {{},
                                                          {"1", ref()},
                                                          {"1", ref(), ref()},
                                                          {"1", ref(), ref(), "0.1", "x"},
                                                          {"1", ref(), ref(), "0.1", "x", "y"}};
  for (const auto& args : argLists) {
    const RunResult run = runProgram(programUnderTest(), args, cell("bin"));
    EXPECT_EQ(1, run.status) << args.size();
    EXPECT_EQ("", run.out) << args.size();
    EXPECT_NE(std::string::npos, run.err.find("usage")) << args.size();
  }
  EXPECT_FALSE(fs::exists(cell("robots/R1/corvantis.dat")));
  EXPECT_FALSE(fs::exists(cell("robots/R1/debug/corvantis.log")));
  EXPECT_FALSE(fs::exists(cell("bin/corvantis.dat")));
}

TEST_F(CheckTest, UnreadableImagesEndWithStatusOneAndNothingJournalled) {
  draw(ref(), 0, 0);
  const std::string png = readFile(ref());
  const std::string jpeg = colourJpeg();
  // A grey-level PGM header of 9000 x 8000 pixels with almost no pixels behind it is
  // refused before it is read: the image library alone would allocate them first.
  const struct {
    const char* name;
    std::string content;
    const char* told;
  } bad[] = {{"truncated.png", png.substr(0, png.size() / 2), ""},
             {"half-written.jpg", jpeg.substr(0, jpeg.size() / 2), "cut short"},
             {"empty.png", "", ""},
             {"text.bmp", "this is not a bitmap\n", ""},
             {"lying.bmp", "BM" + std::string(52, '\xff'), ""},
             {"huge.pgm", "P5\n9000 8000\n255\n" + std::string(100, '\x80'),
              "declares 9000 x 8000 pixels"}};
  for (const auto& b : bad) {
    const std::string path = cell("robots/R1/cap/") + b.name;
    writeFile(path, b.content);
    for (const bool asCurrent : {true, false}) {
      const RunResult run = asCurrent ? check(ref(), path) : check(path, ref());
      EXPECT_EQ(1, run.status) << b.name << " as current " << asCurrent;
      EXPECT_EQ("", run.out) << b.name;
      EXPECT_NE(std::string::npos, run.err.find(path)) << b.name << ": " << run.err;
      EXPECT_NE(std::string::npos, run.err.find(b.told)) << b.name << ": " << run.err;
    }
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

TEST_F(CheckTest, RelativePathFindsItsCellAndAPathWithoutOneIsTold) {
  drawBoth();
  // Run from the cell's own directory, the reference path begins with the robots folder.
  const RunResult relative = runProgram(
      programUnderTest(), {"12", "robots/R1/ref/part.png", "robots/R1/cap/cap_0001.png", "0.1"},
      cell_.path().string());
  EXPECT_EQ("1", relative.out) << relative.err;
  EXPECT_EQ(1u, lines(journal()).size());
  EXPECT_EQ(1u, lines(store()).size());
  EXPECT_FALSE(fs::exists(cell("corvantis.dat")));

  const std::string reference = cell("images/part.png");
  fs::create_directories(cell("images"));
  draw(reference, 0, 0);
  const RunResult run = check(reference, cap());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("1", run.out);
  EXPECT_NE(std::string::npos, run.err.find(reference + " names no cell")) << run.err;
  EXPECT_EQ(1u, lines(readFile(cell("bin/corvantis.dat"))).size());
  EXPECT_EQ(1u, lines(journal()).size());
}

// Cells where files cannot be written: the check still gives its verdict, the store is
// never lost or cut, and stderr says what was not written.

// A store of several cells' parts, with the record of part.png older than the image so
// that every check here computes and stores it again.
std::string storeOfSeveralParts() {
  std::string store = "; parts of cell R1\r\n";
  for (int n = 0; n < 40; ++n)
    store += "part" + std::to_string(n) + ".png,1600000000,1000,200,4,45.123456789,12.5\r\n";
  return store + "part.png,1,1,1,1,1.5,1.5\r\n";
}

struct FailureCase {
  const char* name;
  std::function<void(const fs::path& cell)> breakCell;
  ChildEnv options;
  bool storeUpdated;              // otherwise it must stay byte for byte as it was
  bool journalWritten;            // otherwise it must stay byte for byte as it was
  std::vector<const char*> told;  // each appears on stderr
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

void makeReadOnly(const fs::path& dir) { fs::permissions(dir, fs::perms(0555)); }
void makeWritableForAll(const fs::path& dir) { fs::permissions(dir, fs::perms(0777)); }

const FailureCase kCases[] = {
    // Below the store's size, and just above the journal's: a journal line cut at the
    // limit would be a torn line. SIGXFSZ has its default action, as in a cell.
    {"FileSizeLimit",
     [](const fs::path&) {},
     ChildEnv{"", {}, {}, 1100, false},
     false,
     false,
     {"store", "not updated", "journal line not written", "File too large"}},
    // As the user nobody when run as root, since root writes into read-only directories.
    {"ReadOnlyBaseDirectory",
     [](const fs::path& cell) {
       for (const char* dir : {"bin", "var/tmp"}) makeWritableForAll(cell / dir);
       makeReadOnly(cell / "robots/R1/debug");
       makeReadOnly(cell / "robots/R1");
     },
     ChildEnv{"", {}, {}, -1, true},
     false,
     false,
     {"store not opened", "journal line not written"}},
    {"MissingTemporaryDirectory",
     [](const fs::path& cell) { fs::remove_all(cell / "var"); },
     ChildEnv(),
     true,
     true,
     {}},
};

class CheckFailureTest : public CheckTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(CheckFailureTest, VerdictIsGivenAndTheStoreIsNeverLostOrCut) {
  const FailureCase& c = GetParam();
  drawBoth();
  setFileTime(ref(), 1700000000);
  const std::string storePath = cell("robots/R1/corvantis.dat");
  const std::string journalPath = cell("robots/R1/debug/corvantis.log");
  const std::string storeBefore = storeOfSeveralParts();
  std::string journalBefore;
  for (int n = 0; n < 31; ++n)
    journalBefore += "[01/01/2026 00:00:00] - Step: " + std::to_string(n) + "\r\n";
  test::writeFile(storePath, storeBefore);
  test::writeFile(journalPath, journalBefore);
  ASSERT_GT(storeBefore.size(), 1100u);
  ASSERT_LT(journalBefore.size(), 1100u);
  ASSERT_GT(journalBefore.size() + 60, 1100u);  // a verdict line does not fit below the limit
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
  for (const char* told : c.told) {
    EXPECT_NE(std::string::npos, run.err.find(told)) << run.err;
  }
  if (c.told.empty()) {
    EXPECT_EQ("", run.err);
  }

  const std::string storeAfter = store();
  if (c.storeUpdated) {
    const std::string old = "part.png,1,1,1,1,1.5,1.5\r\n";
    EXPECT_EQ(storeBefore.substr(0, storeBefore.size() - old.size()),
              storeAfter.substr(0, storeBefore.size() - old.size()));
    EXPECT_EQ(storeBefore.size() - old.size(),
              storeAfter.find("part.png,1700000000,", storeBefore.size() - old.size()))
        << storeAfter;
  } else {
    EXPECT_EQ(storeBefore, storeAfter);
  }
  // A store write that failed, or was cut short, removed its temporary file.
  for (const char* dir : {"var/tmp", "robots/R1"}) {
    if (!fs::exists(cell(dir))) continue;
    for (const auto& entry : fs::directory_iterator(cell(dir)))
      EXPECT_EQ(std::string::npos, entry.path().filename().string().find(".tmp")) << entry.path();
  }
  const std::string journalAfter = journal();
  if (c.journalWritten) {
    EXPECT_EQ(0u, journalAfter.find(journalBefore));
    EXPECT_NE(std::string::npos, journalAfter.find("Status: accepted", journalBefore.size()));
  } else if (fs::exists(journalPath)) {
    EXPECT_EQ(journalBefore, journalAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, CheckFailureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The check on the sample cell's photographs, against a hand computation of every step
// made by other means: the threshold from sorted grey levels, the border by erosion,
// the centroid from a mask.
std::vector<double> handComputation(const std::string& path) {
  cv::Mat image = cv::imread(path, cv::IMREAD_GRAYSCALE);
  cv::resize(image, image, cv::Size(image.cols | 1, image.rows | 1), 0, 0, cv::INTER_AREA);
  cv::Mat equalized;
  cv::equalizeHist(image, equalized);

  // The threshold is one below the grey level at which three quarters are reached.
  std::vector<uchar> levels(equalized.begin<uchar>(), equalized.end<uchar>());
  std::sort(levels.begin(), levels.end());
  const std::size_t target = levels.size() * 3 / 4;
  const int threshold = std::max(0, levels[target - 1] - 1);
  const cv::Mat object = equalized <= threshold;

  // Border: object pixels that an erosion removes. The erosion's default border value
  // keeps the outside of the image from counting as background.
  cv::Mat inner;
  cv::erode(object, inner, cv::Mat::ones(3, 3, CV_8U));
  const cv::Mat border = object & ~inner;

  double sumY = 0, sumX = 0;
  const int cy = object.rows / 2, cx = object.cols / 2;
  for (int r = 0; r < border.rows; ++r) {
    for (int c = 0; c < border.cols; ++c) {
      if (border.at<uchar>(r, c)) {
        sumY += cy - r;
        sumX += c - cx;
      }
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

std::vector<double> storedValues(const std::string& record) {
  std::vector<double> values;
  std::istringstream fields(record);
  std::string field;
  for (int i = 0; std::getline(fields, field, ','); ++i) {
    if (i >= 2) values.push_back(std::stod(field));
  }
  return values;
}

TEST(PhotographTest, StoredSignaturesMatchAHandComputation) {
  test::TempDir dir;
  const fs::path cell = dir.path() / "cell";
  fs::copy(fs::path(CORVANTIS_SOURCE_DIR) / "examples/cell", cell, fs::copy_options::recursive);
  fs::remove(cell / "robots/R1/corvantis.dat");
  const std::string capDir = (cell / "robots/R1/cap").string();

  // Each photograph serves once as the reference, so its signature lands in the store.
  for (const char* name : {"cap_0001.png", "cap_0002.png"}) {
    const std::string reference = capDir + "/" + name;
    const auto run =
        runProgram(programUnderTest(), {"1", reference, reference, "0"}, (cell / "bin").string());
    ASSERT_EQ("1", run.out) << run.err;
  }
  const auto run =
      runProgram(programUnderTest(),
                 {"1", (cell / "robots/R1/ref/part.png").string(), capDir + "/cap_0001.png", "0.1"},
                 (cell / "bin").string());
  ASSERT_EQ("1", run.out) << run.err;

  std::istringstream store(test::readFile((cell / "robots/R1/corvantis.dat").string()));
  std::string line;
  int records = 0;
  while (std::getline(store, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string name = line.substr(0, line.find(','));
    const std::string path =
        name == "part.png" ? (cell / "robots/R1/ref/part.png").string() : capDir + "/" + name;
    const auto expected = handComputation(path);
    const auto stored = storedValues(line);
    ASSERT_EQ(5u, stored.size()) << line;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(expected[i], stored[i]) << name << " entry " << i;
    for (int i = 3; i < 5; ++i) EXPECT_NEAR(expected[i], stored[i], 1e-9) << name << " entry " << i;
    ++records;
  }
  EXPECT_EQ(3, records);
}

}  // namespace
}  // namespace corvantis
