#include "workspace/Workspace.h"

#include <gtest/gtest.h>

#include <sstream>

#include "test/FakePlatform.h"

namespace corvantis {
namespace {

const FeatureVector kValues = {937, 312, 4, 123.456, 17.5};

class WorkspaceTest : public ::testing::Test {
 protected:
  WorkspaceTest() { platform_.addDirectory("/cell/robots/R1/debug"); }

  test::FakePlatform platform_;
  std::ostringstream diagnostics_;
};

TEST_F(WorkspaceTest, ReferenceIsStoredByFileNameAndTheJournalGoesToTheDebugDirectory) {
  {
    Workspace first("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
    // Construction creates the store and nothing else.
    EXPECT_EQ(std::vector<std::string>{"/cell/robots/R1/corvantis.dat"}, platform_.fileNames());
    EXPECT_TRUE(first.readReference("/cell/robots/R1/ref/part.bmp").empty());
    first.storeReference("/cell/robots/R1/ref/part.bmp", kValues, 1700000000);
    first.writeJournal("Step: 3");
  }
  EXPECT_EQ("part.bmp,1700000000,937,312,4,123.456,17.5\r\n",
            platform_.contentOf("/cell/robots/R1/corvantis.dat"));
  EXPECT_EQ("[05/12/2026 07:04:09] - Step: 3\r\n",
            platform_.contentOf("/cell/robots/R1/debug/corvantis.log"));
  EXPECT_EQ("", diagnostics_.str());
  Workspace second("/cell/robots/R1/ref/part.bmp", platform_, &diagnostics_);
  EXPECT_EQ(kValues, second.readReference(R"(C:\elsewhere\part.bmp)"));
  EXPECT_EQ(1700000000u, second.storedTime("/cell/robots/R1/ref/part.bmp"));
}

TEST_F(WorkspaceTest, WithoutRobotsDirectoryTheStoreIsInTheWorkingDirectoryAndNoJournalIsWritten) {
  platform_.addDirectory("/debug");  // a journal must not land at the file-system root
  Workspace workspace("/images/part.bmp", platform_, &diagnostics_);
  workspace.writeJournal("Step: 3");
  EXPECT_EQ(std::vector<std::string>{"/cell/bin/corvantis.dat"}, platform_.fileNames());
  EXPECT_EQ(
      "corvantis: reference path /images/part.bmp names no cell (no directory below a "
      "\"robots\" directory): no journal line is written and the store is kept in the "
      "working directory\n",
      diagnostics_.str());
}

}  // namespace
}  // namespace corvantis
