// corvantis-cell's command line through the same entry as its main: the command table,
// and store and forget on real store files of a temporary cell. Portable, so the build
// without the analyser runs these too.
#include "app/Cell.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "app/CellStore.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

struct CellRun {
  int status;
  std::string out;
  std::string err;
};

CellRun runCell(const std::vector<std::string>& args) {
  std::vector<const char*> argv = {"corvantis-cell"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::ostringstream out, err;
  const int status = runCellCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
  return {status, out.str(), err.str()};
}

// Records with a comma and blanks in their names, among lines no check reads.
const std::string kStore =
    "part.png,1700000000,937,312,4,123.456,17.5\r\n"
    "; taught by hand\r\n"
    "left, upper part.png,0,1,2,3,0.66666666666666663,1.0000000000000001e-005\r\n"
    "\r\n"
    "half.png,1700000000,937,31\r\n"
    "bad.png,17x,1,2,3,4,5\r\n"
    "tail.png,951782400,1,2,3,4,5";  // no final line end

class CellTest : public ::testing::Test {
 protected:
  CellTest() { fs::create_directories(dir_.path() / "robots/R1"); }
  std::string base() const { return dir_.file("robots/R1"); }
  std::string store() const { return dir_.file("robots/R1/corvantis.dat"); }

  test::TempDir dir_;
};

TEST_F(CellTest, HelpVersionAndWrongUse) {
  const CellRun help = runCell({"--help"});
  EXPECT_EQ(0, help.status);
  for (const char* command :
       {"explain REF CUR", "store BASE", "forget BASE NAME", "report BASE [--html FILE]"})
    EXPECT_NE(std::string::npos, help.out.find(command)) << help.out;
  const CellRun version = runCell({"--version"});
  EXPECT_EQ(0, version.status);
  EXPECT_EQ(0u, version.out.rfind("corvantis-cell 1.", 0)) << version.out;

  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{}, {"stor", base()}, {"store"}, {"forget", base()}}) {
    const CellRun run = runCell(args);
    EXPECT_EQ(kCellUsageError, run.status) << run.err;
    EXPECT_EQ("", run.out);
    EXPECT_NE("", run.err);
  }
}

TEST_F(CellTest, StoreListsRecordsInIsoTimeThenTheLinesNoCheckReads) {
  writeFile(store(), kStore);
  const CellRun run = runCell({"store", base()});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "part.png\t2023-11-14T22:13:20Z\t937\t312\t4\t123.456\t17.5\n"
      "left, upper "
      "part.png\t1970-01-01T00:00:00Z\t1\t2\t3\t0.66666666666666663\t1.0000000000000001e-005\n"
      "tail.png\t2000-02-29T00:00:00Z\t1\t2\t3\t4\t5\n"
      "line 2 is no record: ; taught by hand\n"
      "line 4 is no record: \n"
      "line 5 is no record: half.png,1700000000,937,31\n"
      "line 6 is no record: bad.png,17x,1,2,3,4,5\n",
      run.out);
  EXPECT_EQ(kStore, readFile(store()));
}

// A path names the record of its file name; every other line stays as it was.
TEST_F(CellTest, ForgetTakesOutTheRecordOfAPathsFileName) {
  writeFile(store(), kStore);
  const CellRun run = runCell({"forget", base(), dir_.file("robots/R1/ref/left, upper part.png")});
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("part.png,1700000000,937,312,4,123.456,17.5\r\n; taught by hand\r\n" +
                kStore.substr(kStore.find("\r\n\r\n") + 2),
            readFile(store()));
  EXPECT_NE(std::string::npos, run.out.find("forgot")) << run.out;
}

TEST_F(CellTest, BadInputFailsAndChangesNothing) {
  const std::string missingBase = dir_.file("robots/R9");
  writeFile(store(), kStore);
  const struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"store", missingBase}, "is no directory"},
      {{"forget", missingBase, "part.png"}, "is no directory"},
      {{"forget", base(), "upper part.png"}, "no record of upper part.png"},
      {{"forget", base(), "half"}, "no record"},  // the first part of a name is no name
  };
  for (const auto& c : cases) {
    const CellRun run = runCell(c.args);
    EXPECT_EQ(1, run.status) << c.args[0] << " " << c.args.back();
    EXPECT_NE(std::string::npos, run.err.find(c.message)) << run.err;
    EXPECT_EQ(kStore, readFile(store()));
    EXPECT_FALSE(fs::exists(missingBase));
  }

  // A cell without a store yet: nothing to list, nothing to forget, and no store made.
  fs::remove(store());
  EXPECT_EQ(0, runCell({"store", base()}).status);
  EXPECT_EQ(1, runCell({"forget", base(), "part.png"}).status);
  EXPECT_FALSE(fs::exists(store()));
}

}  // namespace
}  // namespace corvantis
