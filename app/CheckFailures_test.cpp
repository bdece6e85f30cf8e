// End-to-end runs of the built program in cells where files cannot be written: the
// check still gives its verdict, the store is never lost or cut, and stderr says what
// was not written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <filesystem>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string>

#include "test/RunProgram.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::RunOptions;
using test::RunResult;

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
  RunOptions options;
  bool storeUpdated;              // otherwise it must stay byte for byte as it was
  bool journalWritten;            // otherwise it must stay byte for byte as it was
  std::vector<const char*> told;  // each appears on stderr
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

RunOptions fileSizeLimit(long bytes) {
  RunOptions options;
  options.fileSizeLimit = bytes;
  return options;
}

RunOptions unprivileged() {
  RunOptions options;
  options.unprivileged = true;
  return options;
}

void makeReadOnly(const fs::path& dir) { fs::permissions(dir, fs::perms(0555)); }
void makeWritableForAll(const fs::path& dir) { fs::permissions(dir, fs::perms(0777)); }

const FailureCase kCases[] = {
    // Below the store's size, and just above the journal's: a journal line cut at the
    // limit would be a torn line.
    {"FileSizeLimit",
     [](const fs::path&) {},
     fileSizeLimit(1100),
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
     unprivileged(),
     false,
     false,
     {"store not opened", "journal line not written"}},
    {"MissingDebugDirectory",
     [](const fs::path& cell) { fs::remove_all(cell / "robots/R1/debug"); },
     RunOptions(),
     true,
     false,
     {"journal line not written"}},
    {"MissingTemporaryDirectory",
     [](const fs::path& cell) { fs::remove_all(cell / "var"); },
     RunOptions(),
     true,
     true,
     {}},
};

class CheckFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(CheckFailureTest, VerdictIsGivenAndTheStoreIsNeverLostOrCut) {
  const FailureCase& c = GetParam();
  test::TempDir cell;
  const fs::path root = cell.path();
  for (const char* dir : {"robots/R1/ref", "robots/R1/debug", "bin", "var/tmp"})
    fs::create_directories(root / dir);
  cv::Mat image(41, 61, CV_8U, cv::Scalar(200));
  cv::rectangle(image, cv::Rect(10, 8, 25, 15), cv::Scalar(20), cv::FILLED);
  const std::string ref = cell.file("robots/R1/ref/part.png");
  const std::string cap = cell.file("robots/R1/ref/cap.png");
  ASSERT_TRUE(cv::imwrite(ref, image));
  ASSERT_TRUE(cv::imwrite(cap, image));
  const utimbuf times{1700000000, 1700000000};
  ASSERT_EQ(0, utime(ref.c_str(), &times));

  const std::string storePath = cell.file("robots/R1/corvantis.dat");
  const std::string journalPath = cell.file("robots/R1/debug/corvantis.log");
  const std::string store = storeOfSeveralParts();
  std::string journal;
  for (int n = 0; n < 31; ++n)
    journal += "[01/01/2026 00:00:00] - Step: " + std::to_string(n) + "\r\n";
  test::writeFile(storePath, store);
  test::writeFile(journalPath, journal);
  ASSERT_GT(store.size(), 1100u);
  ASSERT_LT(journal.size(), 1100u);
  ASSERT_GT(journal.size() + 60, 1100u);  // a verdict line does not fit below the limit
  c.breakCell(root);

  const RunResult run =
      test::runProgram(CORVANTIS_EXE, {"12", ref, cap, "0.1"}, cell.file("bin"), c.options);
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("1", run.out) << run.err;
  for (const char* told : c.told) {
    EXPECT_NE(std::string::npos, run.err.find(told)) << run.err;
  }
  if (c.told.empty()) {
    EXPECT_EQ("", run.err);
  }

  const std::string storeAfter = readFile(storePath);
  if (c.storeUpdated) {
    const std::string old = "part.png,1,1,1,1,1.5,1.5\r\n";
    EXPECT_EQ(store.substr(0, store.size() - old.size()),
              storeAfter.substr(0, store.size() - old.size()));
    EXPECT_EQ(store.size() - old.size(),
              storeAfter.find("part.png,1700000000,", store.size() - old.size()))
        << storeAfter;
  } else {
    EXPECT_EQ(store, storeAfter);
  }
  const std::string journalAfter = readFile(journalPath);
  if (c.journalWritten) {
    EXPECT_EQ(0u, journalAfter.find(journal));
    EXPECT_NE(std::string::npos, journalAfter.find("Status: accepted", journal.size()));
  } else if (fs::exists(journalPath)) {
    EXPECT_EQ(journal, journalAfter);
  }
}

INSTANTIATE_TEST_SUITE_P(Cells, CheckFailureTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace corvantis
