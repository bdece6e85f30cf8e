#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "test/TestPlatform.h"
#include "test/TestUtil.h"

namespace corvantis {
namespace {

namespace fs = std::filesystem;

const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};

// Run from the cell's bin directory, as the cell's controller runs a check.
class WorkspaceTest : public ::testing::Test {
 protected:
  WorkspaceTest() {
    fs::create_directories(dir_.file("cell/robots/R1/debug"));
    fs::create_directories(dir_.file("cell/bin"));
    fs::current_path(dir_.file("cell/bin"));
  }
  ~WorkspaceTest() override { fs::current_path(before_); }
  std::vector<std::string> files() const { return test::filesBelow(dir_.path().string()); }

  const fs::path before_ = fs::current_path();
  test::TempDir dir_;
  test::TestPlatform platform_;
  std::ostringstream told_;
};

TEST_F(WorkspaceTest, ReferenceIsStoredByFileNameAndTheJournalGoesToTheDebugDirectory) {
  const std::string reference = dir_.file("cell/robots/R1/ref/part.bmp");
  {
    Workspace first(reference, platform_, &told_);
    // Construction creates the store and nothing else.
    EXPECT_EQ(std::vector<std::string>{"cell/robots/R1/corvantis.dat"}, files());
    EXPECT_TRUE(first.readReference(reference).empty());
    first.storeReference(reference, kValues, 1700000000);
    first.writeJournal("Step: 3");
  }
  EXPECT_EQ("part.bmp,1700000000,937,312,4,123.456,17.5\r\n",
            test::readFile(dir_.file("cell/robots/R1/corvantis.dat")));
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            test::readFile(dir_.file("cell/robots/R1/debug/corvantis.log")));
  EXPECT_EQ("", told_.str());
  Workspace second(reference, platform_, &told_);
  EXPECT_EQ(kValues, second.readReference(R"(C:\elsewhere\part.bmp)"));
  EXPECT_EQ(1700000000u, second.storedTime(reference));
}

TEST_F(WorkspaceTest, WithoutRobotsDirectoryTheStoreIsInTheWorkingDirectoryAndNoJournalIsWritten) {
  Workspace workspace("/images/part.bmp", platform_, &told_);
  workspace.writeJournal("Step: 3");
  EXPECT_EQ(std::vector<std::string>{"cell/bin/corvantis.dat"}, files());
  EXPECT_EQ(
      "corvantis: reference path /images/part.bmp names no cell (no directory below a "
      "\"robots\" directory): no journal line is written and the store is kept in the "
      "working directory\n",
      told_.str());
}

}  // namespace
}  // namespace corvantis
