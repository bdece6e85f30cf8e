// End-to-end runs of the built program in temporary cells.
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
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
    for (int c = 0; c < image.cols; ++c) image.at<uchar>(r, c) = cv::saturate_cast<uchar>(150 + c / 2 + r / 3);
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

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    result.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "text does not end in CR LF: " << text;
  return result;
}

class CheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"robots/R1/ref", "robots/R1/cap", "robots/R1/debug", "bin", "var/tmp"}) {
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

  RunResult check(const std::string& reference, const std::string& current,
                  const std::string& tolerance = "0.1", const std::string& step = "12") {
    return runProgram(CORVANTIS_EXE, {step, reference, current, tolerance}, cell("bin"));
  }

  test::TempDir cell_;
};

TEST_F(CheckTest, FirstRunStoresTheReferenceAndJournalsTheVerdict) {
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
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
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
  ASSERT_EQ("1", check(ref(), cap()).out);
  const std::string stored = store();
  fs::remove(ref());

  const RunResult run = check(ref(), cap());
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("1", run.out);
  EXPECT_EQ(stored, store());
  EXPECT_EQ(2u, lines(journal()).size());
}

TEST_F(CheckTest, RewrittenReferenceIsRecomputedInPlace) {
  draw(ref(), 0, 0);
  draw(cap(), 30, 20);
  setFileTime(ref(), 1700000000);
  writeFile(cell("robots/R1/corvantis.dat"), "; cell R1\r\nother.png,5,1,2,3,4.5,6.5\r\n");
  ASSERT_EQ("0", check(ref(), cap()).out);

  draw(ref(), 30, 20);
  setFileTime(ref(), 1700000100);
  const RunResult run = check(ref(), cap());
  EXPECT_EQ("1", run.out) << run.err;

  const auto records = lines(store());
  ASSERT_EQ(2u, records.size()) << store();  // the short comment line is dropped
  EXPECT_EQ("other.png,5,1,2,3,4.5,6.5", records[0]);
  EXPECT_EQ(0u, records[1].rfind("part.png,1700000100,", 0)) << records[1];
  EXPECT_TRUE(fs::is_empty(cell("var/tmp")) || fs::exists(cell("var/tmp/.keep")));
}

TEST_F(CheckTest, OlderCopyOfTheReferenceKeepsTheStoredSignature) {
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
  setFileTime(ref(), 1700000000);
  ASSERT_EQ("1", check(ref(), cap()).out);
  const std::string stored = store();

  draw(ref(), 30, 20);  // would reject the capture if it were analysed
  setFileTime(ref(), 1600000000);
  const RunResult run = check(ref(), cap());
  EXPECT_EQ("1", run.out) << run.err;
  EXPECT_EQ(stored, store());
}

TEST_F(CheckTest, RejectedImagePrintsZeroAndStillSucceeds) {
  draw(ref(), 0, 0);
  draw(cap(), 30, 20);
  const RunResult run = check(ref(), cap());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("0", run.out);
  EXPECT_NE(std::string::npos, journal().find("Status: rejected"));
}

TEST_F(CheckTest, ToleranceTextIsReadLikeAtof) {
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
  EXPECT_EQ("1", check(ref(), cap(), "0.05abc").out);
  EXPECT_EQ("1", check(ref(), cap(), "abc").out);  // reads as 0, and the error is exactly 0
  EXPECT_EQ("0", check(ref(), cap(), "-1").out);
  const auto journalLines = lines(journal());
  ASSERT_EQ(3u, journalLines.size());
  EXPECT_NE(std::string::npos, journalLines[0].find(", Tolerance: 0.05"));
  const std::string zero = ", Tolerance: 0";
  EXPECT_EQ(journalLines[1].size() - zero.size(), journalLines[1].rfind(zero)) << journalLines[1];
  EXPECT_NE(std::string::npos, journalLines[2].find("Status: rejected"));
}

TEST_F(CheckTest, LineBreaksInTheStepCannotForgeJournalLines) {
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
  ASSERT_EQ("1", check(ref(), cap(), "0.1", "7\r\n[01/01/2020 00:00:00] - Step: 8").out);
  const auto journalLines = lines(journal());
  ASSERT_EQ(1u, journalLines.size());
  EXPECT_NE(std::string::npos, journalLines[0].find("Step: 7  [01/01/2020"));
}

TEST_F(CheckTest, WrongArgumentCountsFailWithoutEffects) {
  draw(ref(), 0, 0);
  const std::vector<std::vector<std::string>> argLists = {
      {}, {"1", ref()}, {"1", ref(), ref()}, {"1", ref(), ref(), "0.1", "x"},
      {"1", ref(), ref(), "0.1", "x", "y"}};
  for (const auto& args : argLists) {
    const RunResult run = runProgram(CORVANTIS_EXE, args, cell("bin"));
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
  const struct {
    const char* name;
    std::string content;
  } bad[] = {{"truncated.png", png.substr(0, png.size() / 2)},
             {"empty.png", ""},
             {"text.bmp", "this is not a bitmap\n"},
             {"lying.bmp", "BM" + std::string(52, '\xff')}};
  for (const auto& b : bad) {
    const std::string path = cell("robots/R1/cap/") + b.name;
    writeFile(path, b.content);
    for (const bool asCurrent : {true, false}) {
      const RunResult run = asCurrent ? check(ref(), path) : check(path, ref());
      EXPECT_EQ(1, run.status) << b.name << " as current " << asCurrent;
      EXPECT_EQ("", run.out) << b.name;
      EXPECT_NE(std::string::npos, run.err.find(path)) << b.name << ": " << run.err;
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

TEST_F(CheckTest, HugeDeclaredImageIsRefusedBeforeItIsRead) {
  draw(ref(), 0, 0);
  // A grey-level PGM header of 9000 x 8000 pixels with almost no pixels behind it; the
  // image library alone would allocate them before it finds the data missing.
  const std::string huge = cell("robots/R1/cap/huge.pgm");
  writeFile(huge, "P5\n9000 8000\n255\n" + std::string(100, '\x80'));
  for (const bool asCurrent : {true, false}) {
    const RunResult run = asCurrent ? check(ref(), huge) : check(huge, ref());
    EXPECT_EQ(1, run.status);
    EXPECT_EQ("", run.out);
    EXPECT_NE(std::string::npos, run.err.find("declares 9000 x 8000 pixels")) << run.err;
  }
  EXPECT_EQ("", journal());
}

TEST_F(CheckTest, UnreadableCurrentImageLeavesTheStoreUntouched) {
  draw(ref(), 0, 0);
  const RunResult run = check(ref(), cell("robots/R1/cap/missing.png"));
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_FALSE(fs::exists(cell("robots/R1/corvantis.dat")));
  EXPECT_FALSE(fs::exists(cell("robots/R1/debug/corvantis.log")));
}

TEST_F(CheckTest, CellWithoutRobotsDirectoryStillGivesAVerdict) {
  const std::string reference = cell("images/part.png");
  fs::create_directories(cell("images"));
  draw(reference, 0, 0);
  draw(cap(), 0, 0);
  const RunResult run = check(reference, cap());
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("1", run.out);
  EXPECT_NE(std::string::npos, run.err.find("journal"));
  EXPECT_EQ(1u, lines(readFile(cell("bin/corvantis.dat"))).size());
  EXPECT_FALSE(fs::exists(cell("robots/R1/debug/corvantis.log")));
}

TEST_F(CheckTest, MissingTemporaryDirectoryStillUpdatesTheStore) {
  fs::remove_all(cell("var"));
  draw(ref(), 0, 0);
  draw(cap(), 0, 0);
  setFileTime(ref(), 1700000000);
  ASSERT_EQ("1", check(ref(), cap()).out);
  setFileTime(ref(), 1700000200);
  const RunResult run = check(ref(), cap());
  EXPECT_EQ("1", run.out) << run.err;
  const auto records = lines(store());
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(0u, records[0].rfind("part.png,1700000200,", 0)) << records[0];
  // No temporary file is left beside the store, only the store and its lock file.
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(cell("robots/R1"))) entries += e.is_regular_file();
  EXPECT_EQ(2u, entries);
  EXPECT_TRUE(fs::exists(cell("robots/R1/corvantis.dat.lock")));
}

}  // namespace
}  // namespace corvantis
