// corvantis-cell's command line through the same entry as its main, with store and forget
// on real store files of a temporary cell. Portable, so the build without the analyser
// runs these too.
#include "cell/Cell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "cell/CellStore.h"
#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

// Records of references with one file name in two folders, blanks in a name, one from
// an earlier version under its file name alone, among lines no check reads or trusts.
const std::string kStore =
    "ref/part.png,1700000000,937,312,4,123.456,17.5\r\n"
    "; taught by hand\r\n"
    "ref/st10/upper part.png,1,1,2,3,0.66666666666666663,1.0000000000000001e-005\r\n"
    "\r\n"
    "ref/half.png,1700000000,937,31\r\n"
    "ref/bad.png,17x,1,2,3,4,5\r\n"
    "ref/st10/part.png,1700000000,937,312,4,-inf,17.5\r\n"
    "ref/six.png,1700000000,937,312,4,123.456,17.5,1\r\n"
    "ref/part.png,1700000001,937,312,4,123.456,17.5\r\n"
    "left, upper part.png,0,1,2,3,4,5\r\n"
    "part.png,951782400,1,2,3,4,5";  // no final line end

class CellTest : public ::testing::Test {
 protected:
  CellTest() { test::writeFile(store_, kStore); }
  // Status, then stdout, then stderr, each on its line.
  std::string run(std::vector<std::string> args) {
    std::vector<const char*> argv = {"corvantis-cell"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::ostringstream out, err;
    const int status = runCellCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    return std::to_string(status) + "\n" + out.str() + "\n" + err.str();
  }

  test::TempDir dir_;
  const std::string base_ = dir_.file("robots/R1");
  const std::string cell_ = dir_.path().string();
  const std::string store_ = dir_.file("robots/R1/corvantis.dat");
};

// The listing shows what a check reads: the first record of a key, and only one it
// trusts. Forget takes a reference's path to its record; every other line stays as it was.
// The cell may stand for its only robot folder.
TEST_F(CellTest, StoreListsRecordsInIsoTimeThenTheLinesNoCheckReadsAndForgetTakesOneOut) {
  const auto notTrusted = [](int line, const std::string& why, const std::string& text) {
    return "line " + std::to_string(line) + " is not trusted (" + why +
           "), so a check computes its reference again: " + text + "\n";
  };
  EXPECT_EQ(
      "0\n"
      "ref/part.png\t2023-11-14T22:13:20Z\t937\t312\t4\t123.456\t17.5\n"
      "ref/st10/upper part.png\t1970-01-01T00:00:01Z\t1\t2\t3\t0.66666666666666663\t"
      "1.0000000000000001e-005\n"
      "part.png\t2000-02-29T00:00:00Z\t1\t2\t3\t4\t5\n"
      "line 2 is no record: ; taught by hand\n"
      "line 4 is no record: \n" +
          notTrusted(5, "2 values instead of 5", "ref/half.png,1700000000,937,31") +
          notTrusted(6, "time \"17x\" is no whole number", "ref/bad.png,17x,1,2,3,4,5") +
          notTrusted(7, "value 4 (\"-inf\") is no finite number",
                     "ref/st10/part.png,1700000000,937,312,4,-inf,17.5") +
          notTrusted(8, "6 values instead of 5",
                     "ref/six.png,1700000000,937,312,4,123.456,17.5,1") +
          "line 9 is not read: line 1 holds the record of ref/part.png: "
          "ref/part.png,1700000001,937,312,4,123.456,17.5\n" +
          notTrusted(10, "time \" upper part.png\" is no whole number",
                     "left, upper part.png,0,1,2,3,4,5") +
          "\n",
      run({"store", base_}));
  // Given the cell, its only robot folder is meant.
  EXPECT_EQ(run({"store", base_}), run({"store", cell_}));
  EXPECT_EQ(kStore, test::readFile(store_));
  EXPECT_EQ("0\nforgot ref/st10/upper part.png: the next check computes its signature again\n\n",
            run({"forget", base_, dir_.file("robots/R1/ref/st10/upper part.png")}));
  EXPECT_EQ("ref/part.png,1700000000,937,312,4,123.456,17.5\r\n; taught by hand\r\n" +
                kStore.substr(kStore.find("\r\n\r\n") + 2),
            test::readFile(store_));
}

// A store the system fails to read, or has no room to rewrite, is told in its words; the
// store stays as it was.
TEST_F(CellTest, StoreTheSystemFailsOnIsToldAndStaysAsItWas) {
  test::TestPlatform unreadable, full;
  unreadable.failOn("readFile", "corvantis.dat", "Input/output error");
  full.failOn("writeUniqueFile", "corvantis", "No space left on device");
  const std::string reference = dir_.file("robots/R1/ref/part.png");
  std::ostringstream out, err;
  EXPECT_EQ(1, runStoreListing({base_}, out, err, unreadable));
  EXPECT_EQ(1, runForget({base_, reference}, out, err, unreadable));
  EXPECT_EQ(1, runForget({base_, reference}, out, err, full));
  EXPECT_EQ("", out.str());
  // The cell tool names the store as the system joins its path.
  const std::string store = (std::filesystem::path(base_) / "corvantis.dat").string();
  const std::string ioError = "corvantis-cell: " + store + ": Input/output error\n";
  EXPECT_EQ(0u, err.str().find(ioError + ioError + "corvantis-cell: store " + store +
                               " not updated; it stays as it was (" + store))
      << err.str();
  EXPECT_TRUE(test::holds(err.str(), ": No space left on device;")) << err.str();
  EXPECT_EQ(kStore, test::readFile(store_));
}

// Help and version answer on stdout; wrong use and bad input put nothing there, the
// reason on stderr. A cell without a store yet has nothing to list or forget.
TEST_F(CellTest, CommandLineAnswersOrFailsAndChangesNothing) {
  const std::string missingBase = dir_.file("robots/R9"), emptyBase = dir_.file("robots/R2");
  fs::create_directories(emptyBase);
  const std::string usage = std::to_string(kCellUsageError) + "\n\n";
  const fs::path robots = fs::path(cell_) / "robots";
  const std::string severalFolders = " is a cell of 2 robot folders; give the one meant:\n  " +
                                     (robots / "R1").string() + "\n  " + (robots / "R2").string() +
                                     "\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--help"}, "0\nusage: corvantis-cell <command> [arguments]\n"},
      {{"--version"}, "0\ncorvantis-cell 1."},
      {{}, usage + "corvantis-cell: no command given"},
      {{"stor", base_}, usage + "corvantis-cell: unknown command stor"},
      {{"store"}, usage + "usage: corvantis-cell store BASE"},
      {{"forget", base_}, usage + "usage: corvantis-cell forget BASE REF"},
      {{"store", missingBase}, "1\n\ncorvantis-cell: " + missingBase + " is no directory"},
      {{"store", emptyBase}, "0\n\ncorvantis-cell: " + emptyBase},
      {{"forget", emptyBase, "part.png"}, "1\n"},
      {{"forget", base_, "upper part.png"}, "1\n\ncorvantis-cell: no record of upper part.png in"},
      {{"forget", base_, "ref/st20/part.png"},
       "1\n\ncorvantis-cell: no record of ref/st20/part.png in the store\ncorvantis-cell: records "
       "of that file name: ref/part.png, ref/st10/part.png, part.png\n"},
      // The cell itself, with R1 and R2: which robot folder is meant is asked.
      {{"store", cell_}, "2\n\ncorvantis-cell: " + cell_ + severalFolders},
      {{"forget", cell_, "part.png"}, "2\n\ncorvantis-cell: " + cell_ + severalFolders},
      {{"report", cell_}, "2\n\ncorvantis-cell: " + cell_ + severalFolders},
      {{"report", missingBase}, "1\n\ncorvantis-cell: no base directory: " + missingBase},
      {{"report", base_, "--html"}, usage + "corvantis-cell: usage: corvantis-cell report BASE"},
      {{"report", base_, "--jsn"}, usage + "corvantis-cell: usage: corvantis-cell report BASE"},
  };
  for (const auto& [args, expected] : cases) {
    const std::string said = run(args);
    EXPECT_EQ(0u, said.find(expected)) << said;
    EXPECT_EQ(kStore, test::readFile(store_));
    EXPECT_FALSE(fs::exists(missingBase));
    EXPECT_EQ(std::vector<std::string>{}, test::fileNamesIn(emptyBase));
  }
}

}  // namespace
}  // namespace corvantis
